/* The C interface of libgpib.so.0 as our bundled driver offers it to programs
 * written for linux-gpib: the same names, argument types, constants and
 * numbering, so that such a program compiles against this header and runs
 * against our library unchanged (see README, "Use the driver from other
 * programs"). Written from linux-gpib's public reference pages.
 *
 * Differences a program may notice are the driver's, not this header's:
 * asynchronous transfers (ibrda, ibwrta, ibcmda) are complete when their call
 * returns; what a board kind cannot do fails with ECAP. */
#ifndef TM_LINUX_GPIB_IB_H
#define TM_LINUX_GPIB_IB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A bus address word: primary address in the low byte, secondary address
 * (0x60-0x7E, 0 for none) in the high byte. */
typedef uint16_t Addr4882_t;
#define NOADDR ((Addr4882_t)0xFFFF)

/* ibsta */
enum ibsta_bits {
    DCAS = 0x1,    /* the board received a device clear */
    DTAS = 0x2,    /* the board received a trigger */
    LACS = 0x4,    /* the board is addressed to listen */
    TACS = 0x8,    /* the board is addressed to talk */
    ATN = 0x10,    /* ATN is asserted */
    CIC = 0x20,    /* the board is controller in charge */
    REM = 0x40,    /* remote state */
    LOK = 0x80,    /* lockout state */
    CMPL = 0x100,  /* the transfer is complete */
    EVENT = 0x200, /* an event waits in the event queue */
    SPOLL = 0x400, /* the board was serial polled */
    RQS = 0x800,   /* a device requests service (automatic serial polls) */
    SRQI = 0x1000, /* SRQ is asserted */
    END = 0x2000,  /* the transfer ended with EOI or the EOS byte */
    TIMO = 0x4000, /* the timeout ran out */
    ERR = 0x8000   /* the call failed: iberr says why */
};

/* iberr */
enum iberr_code {
    EDVR = 0,  /* system error: ibcnt holds errno */
    ECIC = 1,  /* the board is not controller in charge */
    ENOL = 2,  /* nobody listens */
    EADR = 3,  /* nobody was addressed for a board-level transfer */
    EARG = 4,  /* a bad argument */
    ESAC = 5,  /* the board is not system controller */
    EABO = 6,  /* the transfer was aborted (timeout) */
    ENEB = 7,  /* no such board, or it is offline */
    EDMA = 8,  /* DMA error (never here) */
    EOIP = 10, /* an asynchronous transfer is in progress */
    ECAP = 11, /* the board cannot do this */
    EFSO = 12, /* file error: ibcnt holds errno */
    EBUS = 14, /* command bytes could not be sent */
    ESTB = 15, /* serial poll status bytes were lost */
    ESRQ = 16, /* SRQ stays asserted */
    ETAB = 20  /* a table was too small, or nobody requests service */
};

/* Timeout codes: TNONE waits without end, then 10 us to 1000 s. */
enum gpib_timeout {
    TNONE = 0,
    T10us = 1,
    T30us = 2,
    T100us = 3,
    T300us = 4,
    T1ms = 5,
    T3ms = 6,
    T10ms = 7,
    T30ms = 8,
    T100ms = 9,
    T300ms = 10,
    T1s = 11,
    T3s = 12,
    T10s = 13,
    T30s = 14,
    T100s = 15,
    T300s = 16,
    T1000s = 17
};

/* The EOS mode bits ORed with the EOS byte (ibeos, ibdev). */
enum eos_flags { EOS_MASK = 0x1C00, REOS = 0x400, XEOS = 0x800, BIN = 0x1000 };

/* Send and SendList end modes; Receive stops at EOI alone with STOPend. */
enum send_eotmode { NULLend = 0, DABend = 1, NLend = 2 };
#define STOPend 0x100

/* ibln's secondary address: none, or every one. */
enum sad_special_address { NO_SAD = 0, ALL_SAD = -1 };

/* iblines: which lines are known (low byte) and which are asserted. */
enum bus_control_line {
    ValidDAV = 0x1,
    ValidNDAC = 0x2,
    ValidNRFD = 0x4,
    ValidIFC = 0x8,
    ValidREN = 0x10,
    ValidSRQ = 0x20,
    ValidATN = 0x40,
    ValidEOI = 0x80,
    ValidALL = 0xFF,
    BusDAV = 0x100,
    BusNDAC = 0x200,
    BusNRFD = 0x400,
    BusIFC = 0x800,
    BusREN = 0x1000,
    BusSRQ = 0x2000,
    BusATN = 0x4000,
    BusEOI = 0x8000
};

/* IEEE 488.1 command bytes (ibcmd, SendCmds). */
enum cmd_byte {
    GTL = 0x1,
    SDC = 0x4,
    PPConfig = 0x5,
    GET = 0x8,
    TCT = 0x9,
    LLO = 0x11,
    DCL = 0x14,
    PPU = 0x15,
    SPE = 0x18,
    SPD = 0x19,
    CFE = 0x1F,
    LAD = 0x20,
    UNL = 0x3F,
    TAD = 0x40,
    UNT = 0x5F,
    SAD = 0x60,
    PPE = 0x60,
    PPD = 0x70
};
#ifndef __powerpc__
enum { PPC = PPConfig };
#endif

/* Parallel poll configuration bits (PPE_byte). */
enum ppe_bits { PPC_DISABLE = 0x10, PPC_SENSE = 0x8, PPC_DIO_MASK = 0x7 };

/* ibask options */
enum ibask_option {
    IbaPAD = 0x1,
    IbaSAD = 0x2,
    IbaTMO = 0x3,
    IbaEOT = 0x4,
    IbaPPC = 0x5,
    IbaREADDR = 0x6,
    IbaAUTOPOLL = 0x7,
    IbaCICPROT = 0x8,
    IbaIRQ = 0x9,
    IbaSC = 0xA,
    IbaSRE = 0xB,
    IbaEOSrd = 0xC,
    IbaEOSwrt = 0xD,
    IbaEOScmp = 0xE,
    IbaEOSchar = 0xF,
    IbaPP2 = 0x10,
    IbaTIMING = 0x11,
    IbaDMA = 0x12,
    IbaReadAdjust = 0x13,
    IbaWriteAdjust = 0x14,
    IbaEventQueue = 0x15,
    IbaSPollBit = 0x16,
    IbaSpollBit = 0x16,
    IbaSendLLO = 0x17,
    IbaSPollTime = 0x18,
    IbaPPollTime = 0x19,
    IbaEndBitIsNormal = 0x1A,
    IbaUnAddr = 0x1B,
    IbaHSCableLength = 0x1F,
    IbaIst = 0x20,
    IbaRsv = 0x21,
    IbaBNA = 0x200,
    Iba7BitEOS = 0x1000
};

/* ibconfig options */
enum ibconfig_option {
    IbcPAD = 0x1,
    IbcSAD = 0x2,
    IbcTMO = 0x3,
    IbcEOT = 0x4,
    IbcPPC = 0x5,
    IbcREADDR = 0x6,
    IbcAUTOPOLL = 0x7,
    IbcCICPROT = 0x8,
    IbcIRQ = 0x9,
    IbcSC = 0xA,
    IbcSRE = 0xB,
    IbcEOSrd = 0xC,
    IbcEOSwrt = 0xD,
    IbcEOScmp = 0xE,
    IbcEOSchar = 0xF,
    IbcPP2 = 0x10,
    IbcTIMING = 0x11,
    IbcDMA = 0x12,
    IbcReadAdjust = 0x13,
    IbcWriteAdjust = 0x14,
    IbcEventQueue = 0x15,
    IbcSPollBit = 0x16,
    IbcSpollBit = 0x16,
    IbcSendLLO = 0x17,
    IbcSPollTime = 0x18,
    IbcPPollTime = 0x19,
    IbcEndBitIsNormal = 0x1A,
    IbcUnAddr = 0x1B,
    IbcHSCableLength = 0x1F,
    IbcIst = 0x20,
    IbcRsv = 0x21,
    IbcBNA = 0x200
};

/* What ibevent hands back: the oldest event a board acting as a device
 * received. The boards of this driver never act as one: always EventNone. */
enum gpib_events { EventNone = 0, EventDevTrg = 1, EventDevClr = 2, EventIFC = 3 };

/* T1 delays (IbcTIMING) and the status byte's standard bits. */
enum t1_delays { T1_DELAY_2000ns = 1, T1_DELAY_500ns = 2, T1_DELAY_350ns = 3 };
enum stb_bits { IbStbRQS = 0x40, IbStbESB = 0x20, IbStbMAV = 0x10 };

/* The status of the last call: of whichever thread called last (the
 * globals), or of the calling thread (the Thread functions). */
extern volatile int ibsta, iberr, ibcnt;
extern volatile long ibcntl;
int ThreadIbsta(void);
int ThreadIberr(void);
int ThreadIbcnt(void);
long ThreadIbcntl(void);
/* The status of the last asynchronous transfer of the calling thread. */
int AsyncIbsta(void);
int AsyncIberr(void);
int AsyncIbcnt(void);
long AsyncIbcntl(void);
/* A sentence for an iberr code. */
const char* gpib_error_string(int iberr);

/* The traditional calls: a board index or a descriptor from ibdev/ibfind. */
int ibask(int ud, int option, int* value);
int ibbna(int ud, char* board_name);
int ibcac(int ud, int synchronous);
int ibclr(int ud);
int ibcmd(int ud, const void* commands, long count);
int ibcmda(int ud, const void* commands, long count);
int ibconfig(int ud, int option, int value);
int ibdev(int board_index, int pad, int sad, int timeout, int send_eoi, int eos);
int ibdma(int ud, int dma);
int ibeos(int ud, int eos);
int ibeot(int ud, int send_eoi);
int ibevent(int ud, short* event);
int ibfind(const char* name);
int ibgts(int ud, int shadow_handshake);
int ibist(int ud, int ist);
int iblines(int ud, short* line_status);
int ibln(int ud, int pad, int sad, short* found_listener);
int ibloc(int ud);
int ibonl(int ud, int online);
int ibpad(int ud, int pad);
int ibpct(int ud);
int ibppc(int ud, int configuration);
int ibrd(int ud, void* buffer, long count);
int ibrda(int ud, void* buffer, long count);
int ibrdf(int ud, const char* file_path);
int ibrpp(int ud, char* result);
int ibrsc(int ud, int request_control);
int ibrsp(int ud, char* result);
int ibrsv(int ud, int status_byte);
int ibrsv2(int ud, int status_byte, int new_reason_for_service);
int ibsad(int ud, int sad);
int ibsic(int ud);
int ibspb(int ud, short* count);
int ibsre(int ud, int enable);
int ibstop(int ud);
int ibtmo(int ud, int timeout);
int ibtrg(int ud);
void ibvers(char** version);
int ibwait(int ud, int mask);
int ibwrt(int ud, const void* data, long count);
int ibwrta(int ud, const void* data, long count);
int ibwrtf(int ud, const char* file_path);

/* The IEEE 488.2 routines: a board index and address words; lists end with
 * NOADDR. */
void AllSPoll(int board, const Addr4882_t addresses[], short results[]);
void AllSpoll(int board, const Addr4882_t addresses[], short results[]);
void DevClear(int board, Addr4882_t address);
void DevClearList(int board, const Addr4882_t addresses[]);
void EnableLocal(int board, const Addr4882_t addresses[]);
void EnableRemote(int board, const Addr4882_t addresses[]);
void FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit);
void FindRQS(int board, const Addr4882_t addresses[], short* status);
void PassControl(int board, Addr4882_t address);
void PPoll(int board, short* result);
void PPollConfig(int board, Addr4882_t address, int dio_line, int line_sense);
void PPollUnconfig(int board, const Addr4882_t addresses[]);
void RcvRespMsg(int board, void* buffer, long count, int termination);
void ReadStatusByte(int board, Addr4882_t address, short* result);
void Receive(int board, Addr4882_t address, void* buffer, long count, int termination);
void ReceiveSetup(int board, Addr4882_t address);
void ResetSys(int board, const Addr4882_t addresses[]);
void Send(int board, Addr4882_t address, const void* data, long count, int eot_mode);
void SendCmds(int board, const void* commands, long count);
void SendDataBytes(int board, const void* data, long count, int eot_mode);
void SendIFC(int board);
void SendLLO(int board);
void SendList(int board, const Addr4882_t addresses[], const void* data, long count, int eot_mode);
void SendSetup(int board, const Addr4882_t addresses[]);
void SetRWLS(int board, const Addr4882_t addresses[]);
void TestSRQ(int board, short* result);
void TestSys(int board, const Addr4882_t addresses[], short results[]);
void Trigger(int board, Addr4882_t address);
void TriggerList(int board, const Addr4882_t addresses[]);
void WaitSRQ(int board, short* result);

/* Address words and command bytes. */
static inline Addr4882_t MakeAddr(unsigned int pad, unsigned int sad) {
    return (Addr4882_t)((pad & 0xFF) | ((sad << 8) & 0xFF00));
}
static inline unsigned int GetPAD(Addr4882_t address) {
    return address & 0xFF;
}
static inline unsigned int GetSAD(Addr4882_t address) {
    return (address >> 8) & 0xFF;
}
static inline uint8_t MLA(unsigned int address) {
    return (uint8_t)(address | LAD);
}
static inline uint8_t MTA(unsigned int address) {
    return (uint8_t)(address | TAD);
}
static inline uint8_t MSA(unsigned int address) {
    return (uint8_t)(address | SAD);
}
static inline uint8_t PPE_byte(unsigned int dio_line, int sense) {
    return (uint8_t)(PPE | (sense ? PPC_SENSE : 0) | ((dio_line - 1) & PPC_DIO_MASK));
}

#ifdef __cplusplus
}
#endif

#endif /* TM_LINUX_GPIB_IB_H */
