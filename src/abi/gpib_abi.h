/* The C interface of a GPIB driver library, as the program calls it.
 *
 * These are the prototypes of the IEEE 488.2 routines and the 488.1 "ib"
 * functions in the numbering most drivers share (ibsta bits, iberr codes,
 * timeout codes, ibask/ibconfig options). Where driver families differ (the
 * end-mode numbering of Send), the constants here are the ones this program
 * speaks; the call layer translates for the library it loaded.
 *
 * Both sides use this header: the call layer types its function pointers with
 * it, and the simulated bench exports exactly these functions.
 */
#ifndef GPIB_ABI_H
#define GPIB_ABI_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define GPIB_CALL __stdcall
#else
#define GPIB_CALL
#endif

#if defined(_WIN32)
#define GPIB_EXPORT __declspec(dllexport)
#else
#define GPIB_EXPORT __attribute__((visibility("default")))
#endif

typedef unsigned short Addr4882_t;

/* ibsta bits */
#define GPIB_ERR 0x8000
#define GPIB_TIMO 0x4000
#define GPIB_END 0x2000
#define GPIB_SRQI 0x1000
#define GPIB_RQS 0x0800
#define GPIB_SPOLL 0x0400
#define GPIB_EVENT 0x0200
#define GPIB_CMPL 0x0100
#define GPIB_LOK 0x0080
#define GPIB_REM 0x0040
#define GPIB_CIC 0x0020
#define GPIB_ATN 0x0010
#define GPIB_TACS 0x0008
#define GPIB_LACS 0x0004
#define GPIB_DTAS 0x0002
#define GPIB_DCAS 0x0001

/* iberr codes */
#define GPIB_EDVR 0
#define GPIB_ECIC 1
#define GPIB_ENOL 2
#define GPIB_EADR 3
#define GPIB_EARG 4
#define GPIB_ESAC 5
#define GPIB_EABO 6
#define GPIB_ENEB 7
#define GPIB_EDMA 8
#define GPIB_EOIP 10
#define GPIB_ECAP 11
#define GPIB_EFSO 12
#define GPIB_EBUS 14
#define GPIB_ESTB 15
#define GPIB_ESRQ 16
#define GPIB_ETAB 20

/* timeout codes (ibtmo, ibdev, ibconfig IbcSPollTime): TNONE 0, T10us 1 ... T1000s 17 */
#define GPIB_TNONE 0
#define GPIB_T10ms 7
#define GPIB_T100ms 9
#define GPIB_T1s 11
#define GPIB_T3s 12
#define GPIB_T10s 13
#define GPIB_T1000s 17

/* Send end modes and Receive termination, in the numbering this program speaks */
#define GPIB_NULLend 0x00 /* no EOI */
#define GPIB_NLend 0x01   /* append LF with EOI */
#define GPIB_DABend 0x02  /* EOI with the last byte, append nothing */
#define GPIB_STOPend 0x0100
#define GPIB_NOADDR 0xFFFF

/* ibask / ibconfig options */
#define GPIB_IbaPAD 0x0001
#define GPIB_IbcPAD 0x0001
#define GPIB_IbcSAD 0x0002
#define GPIB_IbcTMO 0x0003
#define GPIB_IbcEOT 0x0004
#define GPIB_IbcSC 0x000A
#define GPIB_IbcSRE 0x000B
#define GPIB_IbcEOS 0x000C
#define GPIB_IbcSPollTime 0x0018

/* The 23 entry points the program calls. */
typedef int(GPIB_CALL* ibask_fn)(int ud, int option, int* value);
typedef int(GPIB_CALL* ibconfig_fn)(int ud, int option, int value);
typedef int(GPIB_CALL* ibdev_fn)(int board, int pad, int sad, int tmo, int eot, int eos);
typedef int(GPIB_CALL* ibfind_fn)(const char* name);
typedef int(GPIB_CALL* ibln_fn)(int ud, int pad, int sad, short* listen);
typedef int(GPIB_CALL* ibonl_fn)(int ud, int v);
typedef int(GPIB_CALL* ibpad_fn)(int ud, int pad);
typedef int(GPIB_CALL* ibsre_fn)(int ud, int v);
typedef int(GPIB_CALL* ibtmo_fn)(int ud, int tmo);
typedef int(GPIB_CALL* ThreadIbsta_fn)(void);
typedef int(GPIB_CALL* ThreadIberr_fn)(void);
typedef int(GPIB_CALL* ThreadIbcnt_fn)(void);
typedef long(GPIB_CALL* ThreadIbcntl_fn)(void);
typedef void(GPIB_CALL* AllSpoll_fn)(int board, const Addr4882_t* addrlist, short* results);
typedef void(GPIB_CALL* DevClear_fn)(int board, Addr4882_t addr);
typedef void(GPIB_CALL* FindLstn_fn)(int board, const Addr4882_t* padlist, Addr4882_t* found,
                                     int limit);
typedef void(GPIB_CALL* FindRQS_fn)(int board, const Addr4882_t* addrlist, short* status);
typedef void(GPIB_CALL* ReadStatusByte_fn)(int board, Addr4882_t addr, short* status);
typedef void(GPIB_CALL* Receive_fn)(int board, Addr4882_t addr, void* buffer, long count,
                                    int termination);
typedef void(GPIB_CALL* Send_fn)(int board, Addr4882_t addr, const void* buffer, long count,
                                 int eotmode);
typedef void(GPIB_CALL* SendIFC_fn)(int board);
typedef void(GPIB_CALL* TestSRQ_fn)(int board, short* result);
typedef void(GPIB_CALL* Trigger_fn)(int board, Addr4882_t addr);

/* Optional: a library may export this to tell the operator what it is (for the
 * simulated bench: which bench file it serves). The loader shows it beside the
 * library's path when present. The text stays owned by the library. */
typedef const char*(GPIB_CALL* GpibDriverDescription_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* GPIB_ABI_H */
