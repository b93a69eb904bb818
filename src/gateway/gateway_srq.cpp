// Service requests for clients that asked for them: the interrupt channel a
// client opens back to itself (create_intr_chan), the links that enabled
// SRQ on it (device_enable_srq), and the watch that looks at each such
// board's SRQ line and calls device_intr_srq with each link's handle when
// the line goes up.
#include <poll.h>
#include <sys/socket.h>

#include "gateway/gateway_core.h"
#include "gateway/gateway_core_parts.h"
#include "gateway/rpc_message.h"
#include "gateway/xdr.h"
#include "net/monotonic.h"
#include "vxi11/vxi11_codes.h"

namespace gateway {

namespace {

constexpr uint32_t kDeviceIntr = 0x0607B1, kDeviceIntrVersion = 1, kIntrSrq = 30;
constexpr uint32_t kFamilyTcp = 0;
// How often a watched SRQ line is looked at, and how long the watch waits
// in line for a busy bus before it looks next time.
constexpr auto kSrqLookEvery = std::chrono::milliseconds(20);
constexpr int64_t kSrqBusWaitUs = 20'000;
// A client whose interrupt channel takes no call within this loses it.
constexpr int64_t kIntrWriteUs = 200'000;
constexpr int64_t kIntrConnectUs = 1'000'000;

}  // namespace

int GatewayCore::enableSrq(const Client& c, const EnableSrqArgs& a) {
    std::lock_guard<std::mutex> hold(m_lock);
    int error = 0;
    auto link = owned(c, a.lid, Need::Any, error);
    if (!link)
        return error;
    link->srqEnabled = a.enable;
    link->srqHandle.assign(a.handle);
    m_srqWake.notify_all();
    return 0;
}

int GatewayCore::createIntrChannel(const Client& c, const RemoteFuncArgs& a) {
    if (a.family != kFamilyTcp)
        return vxi11::kNotSupported;  // interrupts over UDP: not here
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_intr.count(c.connection))
            return vxi11::kChannelAlreadyEstablished;
    }
    // The channel goes back to the client's own host, whatever address the
    // client wrote: a gateway must not be made to call anyone else.
    net::Address to = c.peer;
    to.setPort(int(a.hostPort));
    std::string why;
    net::Socket s = net::connectTo(to, net::monotonicUs() + kIntrConnectUs, why);
    if (!s.valid()) {
        m_settings.log("connection " + std::to_string(c.connection) + ": no interrupt channel to " +
                       to.text() + " (" + why + ")");
        return vxi11::kChannelNotEstablished;
    }
    auto channel = std::make_shared<IntrChannel>();
    channel->socket = std::move(s);
    channel->where = to.text();
    channel->program = a.progNum;
    channel->version = a.progVers;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_intr.count(c.connection))
        return vxi11::kChannelAlreadyEstablished;
    m_intr[c.connection] = channel;
    m_settings.log("connection " + std::to_string(c.connection) + ": interrupt channel to " +
                   channel->where);
    m_srqWake.notify_all();
    return 0;
}

int GatewayCore::destroyIntrChannel(const Client& c) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_intr.erase(c.connection) ? 0 : vxi11::kChannelNotEstablished;
}

void GatewayCore::notifySrq(Board& b) {
    std::vector<std::pair<std::shared_ptr<IntrChannel>, std::string>> calls;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& [lid, link] : m_links) {
            if (link->board != &b || !link->srqEnabled)
                continue;
            if (auto it = m_intr.find(link->connection); it != m_intr.end())
                calls.emplace_back(it->second, link->srqHandle);
        }
    }
    for (auto& [channel, handle] : calls) {
        if (channel->broken)
            continue;
        // Whatever the client answers is read and dropped: it must not fill
        // the socket and stop the next call.
        char sink[512];
        while (::recv(channel->socket.fd(), sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        std::string call;
        beginCall(call, ++channel->xid, channel->program ? channel->program : kDeviceIntr,
                  channel->version ? channel->version : kDeviceIntrVersion, kIntrSrq);
        XdrWriter(call).opaque(handle);
        finishReply(call);
        int error = 0;
        if (net::writeAll(channel->socket.fd(), call.data(), call.size(),
                          net::monotonicUs() + kIntrWriteUs, error) != net::Io::Done) {
            channel->broken = true;
            m_settings.log("interrupt channel to " + channel->where + " dropped: it takes no call");
        }
    }
}

void GatewayCore::watchSrq() {
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_stopping) {
        // The boards someone wants to hear from.
        std::vector<Board*> watched;
        for (auto& [lid, link] : m_links)
            if (link->srqEnabled && m_intr.count(link->connection) &&
                std::find(watched.begin(), watched.end(), link->board) == watched.end())
                watched.push_back(link->board);
        if (watched.empty()) {
            for (auto& b : m_boards) b->srqWas = false;
            m_srqWake.wait(hold);
            continue;
        }
        hold.unlock();
        for (Board* b : watched) {
            // In line with the operations: the line is the bus's.
            if (!b->bus.lockUntil(net::monotonicUs() + kSrqBusWaitUs))
                continue;
            bool srq = false;
            const bool looked = b->open && b->entry.board->srqLine(srq) == gpibdrv::kDone;
            b->bus.unlock();
            if (looked && srq && !b->srqWas)
                notifySrq(*b);
            if (looked)
                b->srqWas = srq;
        }
        hold.lock();
        m_srqWake.wait_for(hold, kSrqLookEvery, [&] { return m_stopping; });
    }
}

}  // namespace gateway
