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

// How long an operation may take: the driver's timeout code (0 for none;
// each kind bounds "none" by a long limit of its own, so that nothing hangs
// for good).
struct Timeout {
    int code = 13;
};

// The driver's timeout codes in microseconds; 0 for code 0 (no timeout).
int64_t timeoutUs(int code);

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
    // -1 for none) or at EOI; end says whether the last byte carried EOI or
    // was the eos byte. A timeout answers GPIB_EABO with got set.
    virtual int receive(BusAddress from, char* dst, long count, int eos, Timeout t, long& got,
                        bool& end) = 0;
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
};

}  // namespace gpibdrv
