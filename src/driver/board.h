#pragma once
// One controller board behind the driver: the bus operations the entry points
// are built from. A kind of board (the simulated bench, a serial or network
// adapter, a LAN gateway) implements them; the descriptor table, the
// per-thread status, argument checks, injected faults and the IEEE 488.2
// routines are written once above the kinds (Driver).
//
// Every operation answers kDone or the iberr code the entry point reports
// (GPIB_EABO for a timeout: the driver adds TIMO). The driver has already
// checked the arguments, decoded the address and made sure the board is
// controller in charge where the operation needs it.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"

namespace gpibdrv {

constexpr int kDone = -1;

// A device on the bus: primary 0-30 and secondary 0-30, or -1 for none.
struct BusAddress {
    int pad = 0;
    int sad = -1;
    bool operator==(const BusAddress&) const = default;
};

enum class EndMode {
    None,       // no EOI
    EoiOnLast,  // EOI with the last byte
    AppendLf    // a line feed with EOI after the data
};

// The driver's timeout codes in microseconds; 0 for code 0 (no timeout).
int64_t timeoutUs(int code);
// The code of the shortest time not shorter than us (17 beyond the longest),
// and of the longest time not longer than us (0 when even code 1 is longer).
int timeoutCodeNotShorter(int64_t us);
int timeoutCodeNotLonger(int64_t us);

// How long an operation may take. One meaning in every kind: the caller's
// exact time where it gave one (exactUs >= 0: a network client's io_timeout,
// a slice of a longer wait), the time of the driver's code otherwise (0 for
// none; each kind bounds "none" by a long limit of its own, so that nothing
// hangs for good). A kind that can only wait whole codes makes the exact
// time out of them (see platform/code_slices.h); none may round it up.
struct Timeout {
    int code = 13;
    int64_t exactUs = -1;  // >= 0: this many microseconds, whatever the code says

    // The code is the one the time rounds up to, for whatever reads codes alone.
    static Timeout ofUs(int64_t us) {
        us = us < 0 ? 0 : us;
        return {timeoutCodeNotShorter(us), us};
    }
    bool exact() const { return exactUs >= 0; }
    // The limit in microseconds; noneUs where the code says "no timeout".
    int64_t limitUs(int64_t noneUs) const {
        return exactUs >= 0 ? exactUs : code ? timeoutUs(code) : noneUs;
    }
};

// Why a read ended, bit by bit (the values of VXI-11's read reasons): the
// count was reached, the last byte was the termination byte, the last byte
// came with EOI. More than one may hold for the same last byte.
enum ReadEnd : int { kEndCount = 1, kEndChar = 2, kEndEoi = 4 };

// The bus lines as iblines reports them: which lines the board can see
// (low byte) and which of those are asserted (high byte).
enum BusLine : int {
    kValidDav = 0x01,
    kValidNdac = 0x02,
    kValidNrfd = 0x04,
    kValidIfc = 0x08,
    kValidRen = 0x10,
    kValidSrq = 0x20,
    kValidAtn = 0x40,
    kValidEoi = 0x80,
    kBusDav = 0x100,
    kBusNdac = 0x200,
    kBusNrfd = 0x400,
    kBusIfc = 0x800,
    kBusRen = 0x1000,
    kBusSrq = 0x2000,
    kBusAtn = 0x4000,
    kBusEoi = 0x8000,
};

// The IEEE 488.1 command bytes the driver builds bus messages from.
namespace cmd {
constexpr uint8_t GTL = 0x01, SDC = 0x04, PPC = 0x05, GET = 0x08, TCT = 0x09, LLO = 0x11,
                  DCL = 0x14, PPU = 0x15, SPE = 0x18, SPD = 0x19, UNL = 0x3F, UNT = 0x5F;
constexpr uint8_t LAD(int pad) {
    return uint8_t(0x20 | pad);
}
constexpr uint8_t TAD(int pad) {
    return uint8_t(0x40 | pad);
}
constexpr uint8_t SAD(int sad) {
    return uint8_t(0x60 | sad);
}
// Parallel poll enable (0x60 | sense << 3 | line) and disable.
constexpr uint8_t PPD = 0x70;
}  // namespace cmd

// What the operator is shown of a board that is configured: its kind and
// where it is ("Prologix GPIB-USB Controller version 6.107 on /dev/ttyUSB0").
class Board {
  public:
    virtual ~Board() = default;

    virtual std::string describe() const = 0;

    // Opening the board by name (ibfind, and ibonl back online): connect or
    // reconnect where the kind has a connection. kDone, or the error (ENEB
    // for an adapter that cannot be reached) with a reason for the operator.
    virtual int open(std::string& reason) {
        (void)reason;
        return kDone;
    }

    // The bus state this board shows in ibsta: CIC, ATN, TACS, LACS, and SRQI
    // where the kind knows the SRQ line without asking for it.
    virtual int statusBits() = 0;

    // The board's own bus address may be set only where the kind can; ECAP
    // otherwise (an adapter whose address is fixed).
    virtual int setOwnAddress(int pad, int sad) = 0;

    virtual int send(BusAddress to, const char* data, long count, EndMode end, Timeout t,
                     long& sent) = 0;
    // Reads into dst up to count bytes, stopping after the byte eos (0-255;
    // -1 for none) or at EOI; ended gets the ReadEnd bits of why the read
    // stopped. A timeout answers GPIB_EABO with got set and ended 0.
    virtual int receive(BusAddress from, char* dst, long count, int eos, Timeout t, long& got,
                        int& ended) = 0;
    virtual int serialPoll(BusAddress device, Timeout t, uint8_t& status) = 0;
    // nullptr: Group Execute Trigger to whoever is addressed to listen.
    virtual int trigger(const BusAddress* device) = 0;
    // nullptr: Device Clear (DCL) to every device on the bus.
    virtual int clear(const BusAddress* device) = 0;
    virtual int interfaceClear() = 0;
    virtual int remoteEnable(bool on) = 0;
    // Whether a device listens at this address (secondary -1: the primary
    // address alone).
    virtual int listens(BusAddress device, bool& listening) = 0;
    // For each primary address in turn: the listener at the primary address
    // alone or, when there is none, the listeners at its secondary addresses.
    // Stops once more than stopAfter were found. Built from listens() unless
    // the kind can ask the bus faster.
    virtual int findListeners(std::span<const int> pads, size_t stopAfter,
                              std::vector<BusAddress>& found);
    virtual int srqLine(bool& asserted) = 0;

    // What not every kind can do; each default says what it is built from.

    // Command bytes sent with ATN asserted (ibcmd, and the bus messages the
    // driver builds from them); sent counts the bytes the bus took. ECAP
    // where the kind cannot put arbitrary bytes on the bus.
    virtual int command(std::span<const uint8_t> bytes, Timeout t, long& sent);
    // Go To Local to one device: unlisten, its listen address, GTL.
    virtual int goToLocal(BusAddress device);
    // The bus lines (BusLine bits); by default the SRQ line alone is known.
    virtual int lines(int& state);
    // A parallel poll: the byte of the eight DIO lines.
    virtual int parallelPoll(Timeout t, uint8_t& result);
    // Waits until SRQ is asserted or the timeout is over (asserted says
    // which); by default by asking srqLine now and then.
    virtual int waitSrq(Timeout t, bool& asserted);
    // Local lockout (LLO): to one device (addressed to listen first, so that
    // it goes to remote with lockout) or, with nullptr, to the bus as it is
    // addressed. By default from command bytes.
    virtual int localLockout(const BusAddress* device);
    // Takes control (asserts ATN) or goes to standby (releases it), where
    // the kind lets the driver drive ATN itself; ECAP by default.
    virtual int setAtn(bool asserted);

    // The board's own clock in microseconds and a pause on it: the simulated
    // bench keeps bus time of its own (instant in tests); the others run on
    // the monotonic clock. The driver times its waits (ibwait) with these.
    virtual int64_t clockUs();
    virtual void pauseUntilUs(int64_t us);

    // For a server that shares the board: from another thread, ends what the
    // operation in progress waits for (a read for its device, the bus time
    // of a long write), which then fails at once; every wait after it ends
    // at once too, until clearInterrupt(). By default nothing waits that
    // could be interrupted.
    virtual void interrupt() {}
    virtual void clearInterrupt() {}

    // Where the board tells the operator what changed between calls (an
    // adapter that changed how it reads, and why): the trace, when one is
    // kept. By default a board has nothing to tell.
    virtual void setNotices(std::function<void(const std::string&)> sink) { (void)sink; }
};

}  // namespace gpibdrv
