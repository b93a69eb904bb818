#include "gateway/gateway_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "gateway/portmapper.h"
#include "net/monotonic.h"
#include "vxi11/vxi11_rpc.h"

namespace gateway {

namespace {

constexpr uint32_t kTcp = 6, kUdp = 17;
// A record under way must be complete within this: a client that sends part
// of one and stops holds its own connection only so long.
constexpr int64_t kRecordUs = 10'000'000;
// A reply must be taken within this, or the connection ends.
constexpr int64_t kReplyUs = 10'000'000;
// How long a connection's next call is looked for before its thread sleeps:
// a client's next call mostly follows its last answer at once, and waking a
// sleeping thread costs more than the call on a virtual machine.
constexpr int64_t kSpinUs = 100;
// Operations running this long have their connection looked at for a hang-up.
constexpr int64_t kLongOperationUs = 100'000;
constexpr int kLookEveryMs = 100;

}  // namespace

struct GatewayServer::Connection {
    int id = 0;
    Channel channel = Channel::Core;
    net::Socket socket;
    net::Address peer;
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<int64_t> busySinceUs{0};  // 0: between calls
    bool hangUpSeen = false;
};

GatewayServer::GatewayServer(ServerSettings settings) : m_settings(std::move(settings)) {}

GatewayServer::~GatewayServer() {
    shutDown();
}

bool GatewayServer::registerMappings(std::string& why) {
    const Mapping core{DEVICE_CORE, DEVICE_CORE_VERSION, kTcp, m_ports.core};
    const Mapping abort{DEVICE_ASYNC, DEVICE_ASYNC_VERSION, kTcp, m_ports.abort};
    PortmapperAnswer a = askPortmapper(m_settings.portmapperPort, core, true, why);
    if (a == PortmapperAnswer::No) {
        // A mapping left by a gateway that is gone (or replaced): the last
        // one started is the one clients find, as with any RPC server.
        m_settings.log("the portmapper maps the VXI-11 core channel elsewhere; mapping it here");
        askPortmapper(m_settings.portmapperPort, core, false, why);
        a = askPortmapper(m_settings.portmapperPort, core, true, why);
    }
    if (a != PortmapperAnswer::Yes)
        return false;
    askPortmapper(m_settings.portmapperPort, abort, false, why);
    askPortmapper(m_settings.portmapperPort, abort, true, why);
    return true;
}

bool GatewayServer::bind(std::string& problem) {
    m_core = net::listenOn(m_settings.listen, m_settings.corePort, SOCK_STREAM, problem);
    if (!m_core.valid())
        return false;
    m_abort = net::listenOn(m_settings.listen, 0, SOCK_STREAM, problem);
    if (!m_abort.valid())
        return false;
    m_ports = {uint16_t(net::localPort(m_core.fd())), uint16_t(net::localPort(m_abort.fd()))};
    if (m_settings.portmapper == PortmapperUse::Off) {
        m_portmapperNote = "no portmapper";
        return true;
    }
    const std::string port = std::to_string(m_settings.portmapperPort);
    std::string why;
    if (registerMappings(why)) {
        m_registered = true;
        m_mapperPort = m_settings.portmapperPort;
        m_portmapperNote = "portmapper on 127.0.0.1:" + port + " (the system's)";
        return true;
    }
    if (why != "Connection refused" && !why.empty()) {
        // Something is there and will not map us: our own cannot bind either.
        m_portmapperNote = "no portmapper (the one on port " + port + ": " + why + ")";
    } else {
        m_mapperTcp = net::listenOn(m_settings.listen, m_settings.portmapperPort, SOCK_STREAM, why);
        if (m_mapperTcp.valid()) {
            m_mapperUdp =
                net::listenOn(m_settings.listen, net::localPort(m_mapperTcp.fd()), SOCK_DGRAM, why);
            const std::string host = m_settings.listen.find(':') != std::string::npos
                                         ? "[" + m_settings.listen + "]"
                                         : m_settings.listen;
            m_mapperPort = net::localPort(m_mapperTcp.fd());
            m_portmapperNote = "portmapper on " + host + ":" + std::to_string(m_mapperPort);
            return true;
        }
        m_portmapperNote = "no portmapper (" + why + ")";
    }
    if (m_settings.portmapper == PortmapperUse::Required) {
        problem = "portmapper: " + m_portmapperNote;
        return false;
    }
    return true;
}

void GatewayServer::run(GatewayService& service, GatewayCore& core, int stopFd, bool watchStdin) {
    for (bool running = true; running;) {
        pollfd fds[] = {{stopFd, POLLIN, 0},           {m_core.fd(), POLLIN, 0},
                        {m_abort.fd(), POLLIN, 0},     {m_mapperTcp.fd(), POLLIN, 0},
                        {m_mapperUdp.fd(), POLLIN, 0}, {watchStdin ? 0 : -1, POLLIN, 0}};
        int ready = ::poll(fds, std::size(fds), kLookEveryMs);
        if (ready < 0 && errno != EINTR)
            break;
        lookForHangUps(core);
        if (ready <= 0)
            continue;
        if (fds[0].revents)
            running = false;
        if (fds[5].revents) {
            char buffer[256];
            running = running && ::read(0, buffer, sizeof buffer) > 0;
        }
        if (fds[1].revents)
            accept(m_core.fd(), Channel::Core, service, core);
        if (fds[2].revents)
            accept(m_abort.fd(), Channel::Abort, service, core);
        if (fds[3].revents)
            accept(m_mapperTcp.fd(), Channel::Portmapper, service, core);
        if (fds[4].revents)
            answerDatagram(service);
    }
}

void GatewayServer::accept(int listener, Channel channel, GatewayService& service,
                           GatewayCore& core) {
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    net::Socket s(::accept4(listener, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC));
    if (!s.valid())
        return;
    const net::Address peer = net::Address::of(reinterpret_cast<sockaddr*>(&from), length);
    // Refused clients are closed before a byte of theirs is read.
    if (!m_settings.allow.allows(peer)) {
        ++m_refusedNotAllowed;
        m_settings.log("refused " + peer.text() + ": not in the allowed networks (" +
                       m_settings.allow.describe() + ")");
        return;
    }
    reap();
    std::lock_guard<std::mutex> hold(m_lock);
    if (int(m_connections.size()) >= m_settings.maxConnections) {
        ++m_refusedFull;
        m_settings.log("refused " + peer.text() + ": " + std::to_string(m_connections.size()) +
                       " connections already (--max-connections)");
        return;
    }
    auto c = std::make_unique<Connection>();
    c->id = m_nextConnection++;
    c->channel = channel;
    c->socket = std::move(s);
    c->peer = peer;
    net::noDelay(c->socket.fd());
    const char* what = channel == Channel::Core    ? "core channel"
                       : channel == Channel::Abort ? "abort channel"
                                                   : "portmapper";
    m_settings.log("connection " + std::to_string(c->id) + " from " + peer.text() + " on the " +
                   what);
    Connection* raw = c.get();
    try {
        c->thread =
            std::thread([this, raw, &service, &core] { serveConnection(*raw, service, core); });
    } catch (const std::system_error& e) {
        ++m_refusedFull;
        m_settings.log("refused " + peer.text() + ": no thread for it (" + e.what() + ")");
        return;
    }
    m_connections.push_back(std::move(c));
}

void GatewayServer::serveConnection(Connection& c, GatewayService& service, GatewayCore& core) {
    const Client client{c.id, c.peer};
    RecordAssembler records(service.keepLimit(), GatewayService::kHardLimit);
    std::string buffer(64 * 1024, '\0'), reply;
    size_t have = 0, used = 0;
    std::string why = "closed by the client";
    for (;;) {
        if (used == have) {
            have = used = 0;
            // Between records a client may rest as long as it likes; within
            // one, it has kRecordUs to finish it.
            const int64_t deadline =
                records.started() ? net::monotonicUs() + kRecordUs : INT64_MAX / 2;
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
                net::Io io = net::readSome(c.socket.fd(), buffer.data(), buffer.size(), deadline,
                                           have, error);
                if (io != net::Io::Done) {
                    if (io == net::Io::Timeout)
                        why = "a record not finished within 10 s";
                    break;
                }
            }
        }
        used += records.feed(buffer.data() + used, have - used);
        if (records.state() == RecordAssembler::State::Partial)
            continue;
        if (records.state() == RecordAssembler::State::Refused) {
            why = records.refusal();
            break;
        }
        Outcome outcome;
        const int64_t began = net::monotonicUs();
        c.busySinceUs = began;
        if (c.channel == Channel::Portmapper)
            service.servePortmapper(records.record(), reply, outcome);
        else
            service.serve(client, records.record(), records.truncated(), reply, outcome);
        c.busySinceUs = 0;
        records.next();
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
        if (outcome.close || outcome.sendOnly) {
            why = outcome.sendOnly ? "dropped in the middle of a reply (--fault)" : outcome.why;
            break;
        }
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
    if (!m_settings.allow.allows(peer)) {
        ++m_refusedNotAllowed;
        // Datagrams come without a connection: at most one line a second.
        if (net::monotonicUs() - m_lastUdpRefusalLog > 1'000'000) {
            m_lastUdpRefusalLog = net::monotonicUs();
            m_settings.log("refused a portmapper datagram from " + peer.text() +
                           ": not in the allowed networks");
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

void GatewayServer::reap() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            auto next = std::next(it);
            if ((*it)->done)
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    for (auto& c : finished) c->thread.join();
}

void GatewayServer::lookForHangUps(GatewayCore& core) {
    reap();
    const int64_t now = net::monotonicUs();
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto& c : m_connections) {
        const int64_t since = c->busySinceUs;
        if (since == 0 || now - since < kLongOperationUs || c->hangUpSeen || c->done)
            continue;
        pollfd p{c->socket.fd(), POLLRDHUP, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            c->hangUpSeen = true;
            m_settings.log("connection " + std::to_string(c->id) +
                           ": the client went away while its operation runs");
            core.connectionClosed(c->id);
        }
    }
}

std::vector<ConnectionView> GatewayServer::connections() {
    std::vector<ConnectionView> all;
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto& c : m_connections)
        if (!c->done)
            all.push_back({c->id, c->peer.text(),
                           c->channel == Channel::Core    ? "core"
                           : c->channel == Channel::Abort ? "abort"
                                                          : "portmapper"});
    return all;
}

void GatewayServer::shutDown() {
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& c : m_connections) ::shutdown(c->socket.fd(), SHUT_RDWR);
        all.swap(m_connections);
    }
    for (auto& c : all) c->thread.join();
    if (m_registered) {
        std::string why;
        askPortmapper(m_settings.portmapperPort,
                      {DEVICE_CORE, DEVICE_CORE_VERSION, kTcp, m_ports.core}, false, why);
        askPortmapper(m_settings.portmapperPort,
                      {DEVICE_ASYNC, DEVICE_ASYNC_VERSION, kTcp, m_ports.abort}, false, why);
        m_registered = false;
    }
    (void)kUdp;
}

}  // namespace gateway
