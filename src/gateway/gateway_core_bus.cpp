// The interface link's device_docmd: command bytes with ATN, bus status,
// ATN and REN, the gateway's bus address and IFC. A kind that cannot put
// command bytes on the bus itself (an adapter) still serves them: the
// addressing is kept here, GET, SDC, GTL, DCL and LLO become its own bus
// operations, and NDAC is answered from its listener check, so that a
// client's listener search through the gateway finds what the kind finds.
#include <algorithm>
#include <map>

#include "abi/gpib_abi.h"
#include "gateway/gateway_core.h"
#include "gateway/gateway_core_parts.h"
#include "vxi11/vxi11_codes.h"

namespace gateway {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

int GatewayCore::sendCommands(Board& b, std::string_view bytes, gpibdrv::Timeout t) {
    gpibdrv::Board& board = *b.entry.board;
    long sent = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::span<const uint8_t> all(data, bytes.size());
    int err = board.command(all, t, sent);
    b.commandsPassed = err == kDone;
    if (err != kDone && err != GPIB_ECAP) {
        // What went onto the bus before the failure addressed whom it says.
        b.addressing.take(all.first(size_t(std::clamp<long>(sent, 0, long(all.size())))),
                          b.entry.ownPad);
        return err;
    }
    for (uint8_t byte : all) {
        if (b.addressing.take(byte, b.entry.ownPad) || err == kDone)
            continue;
        // The kind took no command bytes: what this one tells the devices
        // addressed, it does with its own operations.
        using namespace gpibdrv::cmd;
        const std::vector<BusAddress> listeners = b.addressing.listeners();
        int done = kDone;
        switch (byte & 0x7F) {
            case GET:
            case SDC:
            case GTL:
                for (BusAddress a : listeners) {
                    done = (byte & 0x7F) == GET   ? board.trigger(&a)
                           : (byte & 0x7F) == SDC ? board.clear(&a)
                                                  : board.goToLocal(a);
                    if (done != kDone)
                        break;
                }
                break;
            case DCL:
                done = board.clear(nullptr);
                break;
            case LLO:
                done = board.localLockout(nullptr);
                break;
            default:
                done = GPIB_ECAP;  // polls, parallel poll set-up, TCT: not without the bus
        }
        if (done != kDone)
            return done;
    }
    return kDone;
}

int GatewayCore::emulatedNdac(Board& b, bool& ndac) {
    // The addresses by primary. A device at a primary address alone listens
    // whatever secondaries follow its listen address, so it is asked about
    // too. Several secondaries of one primary are one listener search of the
    // kind, the rest one check each.
    std::map<int, std::vector<int>> byPrimary;
    for (const BusAddress& a : b.addressing.listeners()) {
        std::vector<int>& sads = byPrimary[a.pad];
        if (sads.empty() && a.sad >= 0)
            sads.push_back(-1);
        sads.push_back(a.sad);
    }
    ndac = false;
    for (const auto& [pad, sads] : byPrimary) {
        if (sads.size() > 2) {
            std::vector<BusAddress> found;
            const int pads[] = {pad};
            if (int err = b.entry.board->findListeners(pads, 31, found); err != kDone)
                return err;
            for (const BusAddress& f : found)
                ndac = ndac || std::find(sads.begin(), sads.end(), f.sad) != sads.end();
        } else {
            for (int sad : sads) {
                bool yes = false;
                if (int err = b.entry.board->listens({pad, sad}, yes); err != kDone)
                    return err;
                ndac = ndac || yes;
                if (ndac)
                    break;
            }
        }
        if (ndac)
            break;
    }
    return kDone;
}

int GatewayCore::busStatus(Board& b, int which, int& value) {
    gpibdrv::Board& board = *b.entry.board;
    int lines = 0;
    // Only REN and NDAC need the lines: on some kinds a look costs a round trip.
    auto shows = [&](int valid) { return board.lines(lines) == kDone && (lines & valid); };
    switch (which) {
        case vxi11::kStatusRen:
            value = shows(gpibdrv::kValidRen) ? (lines & gpibdrv::kBusRen) != 0 : b.ren;
            return kDone;
        case vxi11::kStatusSrq: {
            bool srq = false;
            int err = board.srqLine(srq);
            value = srq;
            return err;
        }
        case vxi11::kStatusNdac: {
            if (b.commandsPassed && shows(gpibdrv::kValidNdac)) {
                value = (lines & gpibdrv::kBusNdac) != 0;
                return kDone;
            }
            bool ndac = false;
            int err = emulatedNdac(b, ndac);
            value = ndac;
            return err;
        }
        case vxi11::kStatusSystemController:
            value = 1;
            return kDone;
        case vxi11::kStatusControllerInCharge:
            value = (board.statusBits() & GPIB_CIC) != 0;
            return kDone;
        case vxi11::kStatusTalker:
            value = (board.statusBits() & GPIB_TACS) != 0 || b.addressing.ownTalks();
            return kDone;
        case vxi11::kStatusListener:
            value = (board.statusBits() & GPIB_LACS) != 0 || b.addressing.ownListens();
            return kDone;
        case vxi11::kStatusBusAddress:
            value = b.entry.ownPad;
            return kDone;
        default:
            return GPIB_EARG;
    }
}

int GatewayCore::docmd(const Client& c, const DocmdArgs& a, std::string& out) {
    out.clear();
    const auto* in = reinterpret_cast<const uint8_t*>(a.data.data());
    // Two-byte values in the byte order the client says it uses.
    const int argument =
        a.data.size() >= 2 ? (a.networkOrder ? in[0] << 8 | in[1] : in[1] << 8 | in[0]) : -1;
    auto answer = [&](int v) {
        out = a.networkOrder ? std::string{char(v >> 8), char(v)}
                             : std::string{char(v), char(v >> 8)};
    };
    switch (a.cmd) {
        case vxi11::kDocmdSendCommand:
            if (a.datasize != 1 || a.data.size() > vxi11::kMaxCommandBytes)
                return vxi11::kParameterError;
            break;
        case vxi11::kDocmdBusStatus:
        case vxi11::kDocmdAtn:
        case vxi11::kDocmdRemoteEnable:
        case vxi11::kDocmdBusAddress:
            if (argument < 0)
                return vxi11::kParameterError;
            break;
        case vxi11::kDocmdInterfaceClear:
            break;
        default:
            // Pass control, and what this gateway does not know.
            return vxi11::kNotSupported;
    }
    return run(c, a.lid, Need::Any, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout t) {
                   if (!link.target.interface)
                       return GPIB_ECAP;  // bus commands belong to the interface link
                   gpibdrv::Board& board = *b.entry.board;
                   int value = 0, err = kDone;
                   switch (a.cmd) {
                       case vxi11::kDocmdSendCommand:
                           err = sendCommands(b, a.data, t);
                           if (err == kDone)
                               out.assign(a.data);  // echoed, as sent
                           return err;
                       case vxi11::kDocmdBusStatus:
                           err = busStatus(b, argument, value);
                           if (err == kDone)
                               answer(value);
                           return err;
                       case vxi11::kDocmdAtn:
                           return board.setAtn(argument != 0);
                       case vxi11::kDocmdRemoteEnable:
                           err = board.remoteEnable(argument != 0);
                           if (err == kDone)
                               b.ren = argument != 0;
                           return err;
                       case vxi11::kDocmdBusAddress:
                           if (argument > 30)
                               return GPIB_EARG;
                           err = board.setOwnAddress(argument, 0);
                           if (err == kDone)
                               b.entry.ownPad = argument;
                           return err;
                       case vxi11::kDocmdInterfaceClear:
                           b.addressing.reset();
                           return board.interfaceClear();
                   }
                   return GPIB_ECAP;
               });
}

}  // namespace gateway
