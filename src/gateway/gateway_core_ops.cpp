// The device operations of the core channel, each as the board's bus
// operation on the link's address (or, for the interface link, on the
// whole bus).
#include <algorithm>

#include "abi/gpib_abi.h"
#include "gateway/gateway_core.h"
#include "gateway/gateway_core_parts.h"
#include "vxi11/vxi11_codes.h"

namespace gateway {

using gpibdrv::BusAddress;
using gpibdrv::kDone;

int GatewayCore::write(const Client& c, const WriteArgs& a, uint32_t& size) {
    size = 0;
    // More than this server announced is refused whole: nothing of it is
    // taken, and nothing of it reaches the bus.
    if (a.data.size() > m_settings.maxRecvSize)
        return vxi11::kParameterError;
    return run(c, a.lid, Need::Device, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout t) {
                   long sent = 0;
                   const auto end = (a.flags & vxi11::kFlagEnd) ? gpibdrv::EndMode::EoiOnLast
                                                                : gpibdrv::EndMode::None;
                   int err = b.entry.board->send(link.target.address, a.data.data(),
                                                 long(a.data.size()), end, t, sent);
                   size = uint32_t(std::max(0L, sent));
                   return err;
               });
}

int GatewayCore::read(const Client& c, const ReadArgs& a, char* dst, uint32_t& got, int& reason) {
    got = 0;
    reason = 0;
    const uint32_t count = std::min(a.requestSize, kMaxReadChunk);
    return run(c, a.lid, Need::Device, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout t) {
                   long n = 0;
                   int ended = 0;
                   const int eos = (a.flags & vxi11::kFlagTermChar) ? int(a.termChar) : -1;
                   int err = b.entry.board->receive(link.target.address, dst, long(count), eos, t,
                                                    n, ended);
                   got = uint32_t(std::clamp(n, 0L, long(count)));
                   // The board's reasons are VXI-11's, bit for bit; the count
                   // is the client's, not the part this call carries.
                   reason = ended & (vxi11::kReasonChar | vxi11::kReasonEnd);
                   if (got == a.requestSize)
                       reason |= vxi11::kReasonRequestCount;
                   return err;
               });
}

int GatewayCore::readStb(const Client& c, const GenericArgs& a, uint8_t& stb) {
    stb = 0;
    return run(c, a.lid, Need::Device, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout t) {
                   return b.entry.board->serialPoll(link.target.address, t, stb);
               });
}

int GatewayCore::trigger(const Client& c, const GenericArgs& a) {
    return run(
        c, a.lid, Need::Any, a.flags, a.lockTimeout, a.ioTimeout,
        [&](Board& b, Link& link, gpibdrv::Timeout) {
            // The interface: GET to whoever is addressed to listen.
            return b.entry.board->trigger(link.target.interface ? nullptr : &link.target.address);
        });
}

int GatewayCore::clear(const Client& c, const GenericArgs& a) {
    return run(
        c, a.lid, Need::Any, a.flags, a.lockTimeout, a.ioTimeout,
        [&](Board& b, Link& link, gpibdrv::Timeout) {
            // The interface: DCL to every device.
            return b.entry.board->clear(link.target.interface ? nullptr : &link.target.address);
        });
}

int GatewayCore::remote(const Client& c, const GenericArgs& a) {
    return run(c, a.lid, Need::Any, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout t) {
                   // REN, and for a device its listen address, which puts it
                   // in remote at once; a kind without command bytes puts it
                   // there with its next message.
                   int err = b.entry.board->remoteEnable(true);
                   if (err != kDone)
                       return err;
                   b.ren = true;
                   if (link.target.interface)
                       return kDone;
                   const BusAddress at = link.target.address;
                   std::string bytes{char(gpibdrv::cmd::UNL), char(gpibdrv::cmd::LAD(at.pad))};
                   if (at.sad >= 0)
                       bytes += char(gpibdrv::cmd::SAD(at.sad));
                   err = sendCommands(b, bytes, t);
                   return err == GPIB_ECAP ? kDone : err;
               });
}

int GatewayCore::local(const Client& c, const GenericArgs& a) {
    return run(c, a.lid, Need::Any, a.flags, a.lockTimeout, a.ioTimeout,
               [&](Board& b, Link& link, gpibdrv::Timeout) {
                   // The interface: REN off, every device local; a device: GTL.
                   if (!link.target.interface)
                       return b.entry.board->goToLocal(link.target.address);
                   int err = b.entry.board->remoteEnable(false);
                   if (err == kDone)
                       b.ren = false;
                   return err;
               });
}

}  // namespace gateway
