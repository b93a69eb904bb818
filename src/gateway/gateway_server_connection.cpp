// A connection's own thread: whole records within the record time from
// their first byte, each call served and its reply written, and the
// connection closed when it has been idle and holds nothing worth keeping;
// and the portmapper's datagrams, answered within their budget.
#include <sys/socket.h>

#include <cerrno>

#include "gateway/gateway_server.h"
#include "gateway/gateway_server_parts.h"
#include "net/monotonic.h"

namespace gateway {

namespace {

// A reply must be taken within this, or the connection ends.
constexpr int64_t kReplyUs = 10'000'000;
// How long a connection's next call is looked for before its thread sleeps:
// a client's next call mostly follows its last answer at once, and waking a
// sleeping thread costs more than the call on a virtual machine.
constexpr int64_t kSpinUs = 100;

}  // namespace

bool GatewayServer::expendable(const Connection& c, const GatewayCore::LinkHolders& holders) const {
    switch (c.channel) {
        case Channel::Core:
            return !holders.connections.count(c.id);
        case Channel::Abort:
            // A VISA keeps its abort connection as long as its link.
            return !holders.hosts.count(c.peer.host());
        case Channel::Portmapper:
            break;
    }
    return true;
}

void GatewayServer::serveConnection(Connection& c, GatewayService& service, GatewayCore& core) {
    const ConnectionPolicy& policy = m_settings.policy;
    const int64_t idleUs =
        c.channel == Channel::Portmapper ? policy.portmapperIdleUs : policy.idleUs;
    const Client client{c.id, c.peer};
    RecordAssembler records(service.keepLimit(), GatewayService::kHardLimit);
    std::string buffer(64 * 1024, '\0'), reply;
    size_t have = 0, used = 0;
    int64_t arrivedUs = 0;     // when the bytes in the buffer came
    int64_t recordFromUs = 0;  // the first byte of the record under way; 0: none
    int64_t idleFromUs = c.quietSinceUs;
    std::string why = "closed by the client";
    for (;;) {
        if (used == have) {
            have = used = 0;
            // A record has the record time from its first byte, however it
            // trickles in; between records, the idle time.
            const int64_t deadline =
                recordFromUs ? recordFromUs + policy.recordUs : idleFromUs + idleUs;
            const int64_t spinUntil = net::monotonicUs() + kSpinUs;
            ssize_t n = -1;
            do {
                n = ::recv(c.socket.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            } while (n < 0 && (errno == EAGAIN || errno == EINTR) &&
                     net::monotonicUs() < spinUntil);
            if (n > 0) {
                have = size_t(n);
            } else if (n == 0) {
                break;
            } else {
                int error = 0;
                const net::Io io = net::readSome(c.socket.fd(), buffer.data(), buffer.size(),
                                                 deadline, have, error);
                if (io == net::Io::Timeout && recordFromUs) {
                    why = "a record not whole within " + secondsText(policy.recordUs) +
                          " of its first byte";
                    break;
                }
                if (io == net::Io::Timeout) {
                    if (expendable(c, core.linkHolders())) {
                        why = "idle for " + secondsText(idleUs) +
                              (c.channel == Channel::Core    ? ", holding no link"
                               : c.channel == Channel::Abort ? ", its address holding no link"
                                                             : "");
                        break;
                    }
                    idleFromUs = net::monotonicUs();
                    continue;
                }
                if (io != net::Io::Done)
                    break;
            }
            arrivedUs = net::monotonicUs();
            c.quietSinceUs = arrivedUs;
            idleFromUs = arrivedUs;
        }
        used += records.feed(buffer.data() + used, have - used);
        if (records.state() == RecordAssembler::State::Partial) {
            if (!recordFromUs && records.started())
                recordFromUs = arrivedUs;
            continue;
        }
        if (records.state() == RecordAssembler::State::Refused) {
            why = records.refusal();
            break;
        }
        // A connection claimed to make room waits for the verdict; one
        // being closed serves nothing more.
        int phase = kWaiting;
        while (!c.phase.compare_exchange_weak(phase, kServing) && phase != kClosing) {
            phase = kWaiting;
            std::this_thread::yield();
        }
        if (phase == kClosing)
            break;
        Outcome outcome;
        const int64_t began = net::monotonicUs();
        c.busySinceUs = began;
        if (c.channel == Channel::Portmapper)
            service.servePortmapper(records.record(), reply, outcome);
        else
            service.serve(client, records.record(), records.truncated(), reply, outcome);
        c.busySinceUs = 0;
        records.next();
        recordFromUs = 0;
        if (*outcome.why && !outcome.close)
            m_settings.log("connection " + std::to_string(c.id) + ": answered " + outcome.why);
        const size_t send =
            outcome.sendOnly ? std::min(outcome.sendOnly, reply.size()) : reply.size();
        int error = 0;
        if (send && net::writeAll(c.socket.fd(), reply.data(), send, net::monotonicUs() + kReplyUs,
                                  error) != net::Io::Done) {
            why = "its reply was not taken within 10 s";
            break;
        }
        service.served(net::monotonicUs() - began);
        idleFromUs = net::monotonicUs();
        c.quietSinceUs = idleFromUs;
        c.phase = kWaiting;
        if (outcome.close || outcome.sendOnly) {
            why = outcome.sendOnly ? "dropped in the middle of a reply (--fault)" : outcome.why;
            break;
        }
    }
    if (c.phase == kClosing) {
        std::lock_guard<std::mutex> hold(c.whyLock);
        why = c.closedBecause;
    }
    ::shutdown(c.socket.fd(), SHUT_RDWR);
    core.connectionClosed(c.id);
    m_settings.log("connection " + std::to_string(c.id) + " closed: " + why);
    c.done = true;
}

void GatewayServer::answerDatagram(GatewayService& service) {
    char in[8800];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    ssize_t n = ::recvfrom(m_mapperUdp.fd(), in, sizeof in, MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0)
        return;
    const net::Address peer = net::Address::of(reinterpret_cast<sockaddr*>(&from), length);
    const bool allowed = m_settings.allow.allows(peer);
    const int64_t now = net::monotonicUs();
    // Datagrams come without a connection, and their sender may be forged:
    // a budget of answers a second, and at most one line a second of log.
    if (!allowed || !m_datagrams.take(peer.host(), now)) {
        ++(allowed ? m_refusedFull : m_refusedNotAllowed);
        if (now - m_lastUdpRefusalLog > 1'000'000) {
            m_lastUdpRefusalLog = now;
            m_settings.log(
                "refused a portmapper datagram from " + peer.text() +
                (allowed ? ": beyond " + std::to_string(m_settings.policy.datagramsPerClient) +
                               " a second from one address or " +
                               std::to_string(m_settings.policy.datagramsInAll) + " in all"
                         : ": not in the allowed networks"));
        }
        return;
    }
    std::string reply;
    Outcome outcome;
    service.servePortmapper(std::string_view(in, size_t(n)), reply, outcome);
    if (reply.size() > 4)  // a datagram carries no record mark
        ::sendto(m_mapperUdp.fd(), reply.data() + 4, reply.size() - 4, MSG_DONTWAIT,
                 reinterpret_cast<sockaddr*>(&from), length);
}

}  // namespace gateway
