#include "gateway/gateway_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <vector>

#include "gateway/gateway_server_parts.h"
#include "gateway/portmapper.h"
#include "net/monotonic.h"
#include "vxi11/vxi11_rpc.h"

namespace gateway {

namespace {

constexpr uint32_t kTcp = 6, kUdp = 17;
// Operations running this long have their connection looked at for a hang-up.
constexpr int64_t kLongOperationUs = 100'000;
constexpr int kLookEveryMs = 100;
// Refusals logged in one second; the rest are counted in one line.
constexpr int kRefusalsLoggedASecond = 10;

}  // namespace

GatewayServer::GatewayServer(ServerSettings settings)
    : m_settings(std::move(settings)),
      m_datagrams(m_settings.policy.datagramsPerClient, m_settings.policy.datagramsInAll) {}

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
            m_ports.portmapperTcp = uint16_t(net::localPort(m_mapperTcp.fd()));
            m_mapperUdp = net::listenOn(m_settings.listen, m_ports.portmapperTcp, SOCK_DGRAM, why);
            if (m_mapperUdp.valid())
                m_ports.portmapperUdp = m_ports.portmapperTcp;
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
        logRefusal("");  // the count of refusals left out, once their second is over
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
        logRefusal("refused " + peer.text() + ": not in the allowed networks (" +
                   m_settings.allow.describe() + ")");
        return;
    }
    reap();
    std::lock_guard<std::mutex> hold(m_lock);
    if (!admit(channel, peer, core))
        return;
    auto c = std::make_unique<Connection>();
    c->id = m_nextConnection++;
    c->channel = channel;
    c->socket = std::move(s);
    c->peer = peer;
    c->quietSinceUs = net::monotonicUs();
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

bool GatewayServer::admit(Channel channel, const net::Address& peer, GatewayCore& core) {
    const ConnectionPolicy& p = m_settings.policy;
    const TableLimits limits =
        channel == Channel::Portmapper
            ? TableLimits{p.portmapperConnections, p.portmapperShare(), "--portmapper-connections",
                          "a quarter of --portmapper-connections"}
            : TableLimits{p.maxConnections, p.coreShare(), "--max-connections", "--max-per-client"};
    const std::string client = peer.host();
    // A connection that is being closed to make room may still be in the
    // table: it has given its place back already.
    auto counts = [&](const Connection& c) {
        return c.channel == channel && !c.done && c.phase != kClosing;
    };
    int total = 0, own = 0;
    for (const auto& c : m_connections)
        if (counts(*c)) {
            ++total;
            own += c->peer.host() == client;
        }
    if (total < limits.table && own < limits.share)
        return true;
    // Abort connections of an address beyond its core connections are spare
    // too, links or not: an honest client opens one with each at most.
    std::map<std::string, int> spareAborts;
    if (channel == Channel::Abort)
        for (const auto& c : m_connections)
            if (!c->done && c->phase != kClosing && c->channel != Channel::Portmapper)
                spareAborts[c->peer.host()] += c->channel == Channel::Abort ? 1 : -1;
    auto mayGo = [&](const Connection& c, const GatewayCore::LinkHolders& holders) {
        return expendable(c, holders) || spareAborts[c.peer.host()] > 0;
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        const GatewayCore::LinkHolders holders = core.linkHolders();
        std::vector<Occupant> occupants;
        for (const auto& c : m_connections)
            if (counts(*c))
                occupants.push_back({c->id, c->peer.host(),
                                     c->phase == kWaiting && mayGo(*c, holders), c->quietSinceUs});
        const Admission a =
            gateway::admit(occupants, client, limits, net::monotonicUs(), p.graceUs);
        if (a.verdict == Admission::Verdict::Refuse) {
            ++m_refusedFull;
            logRefusal("refused " + peer.text() + ": " + a.why);
            return false;
        }
        if (a.verdict == Admission::Verdict::Admit)
            return true;
        auto victim = std::find_if(m_connections.begin(), m_connections.end(),
                                   [&](const auto& c) { return c->id == a.victim; });
        int waiting = kWaiting;
        if (!(*victim)->phase.compare_exchange_strong(waiting, kClaimed))
            continue;  // a call of its own came meanwhile: judge again
        // Claimed, it makes no link and drops none: judged now, it stays so.
        if (!mayGo(**victim, core.linkHolders())) {
            (*victim)->phase = kWaiting;
            continue;
        }
        {
            std::lock_guard<std::mutex> why((*victim)->whyLock);
            (*victim)->closedBecause = a.why;
        }
        (*victim)->phase = kClosing;
        ::shutdown((*victim)->socket.fd(), SHUT_RDWR);
        return true;
    }
    ++m_refusedFull;
    logRefusal("refused " + peer.text() + ": no connection gave its place in time");
    return false;
}

void GatewayServer::logRefusal(const std::string& line) {
    // A client refused over and over must not fill the log: a few lines a
    // second, then one line with the count of the rest.
    const int64_t now = net::monotonicUs();
    if (now - m_refusalSecondUs >= 1'000'000) {
        if (m_refusalsLeftOut)
            m_settings.log(std::to_string(m_refusalsLeftOut) +
                           " more connections refused in one second, not logged each");
        m_refusalSecondUs = now;
        m_refusalsLogged = m_refusalsLeftOut = 0;
    }
    if (line.empty())
        return;
    if (m_refusalsLogged++ < kRefusalsLoggedASecond)
        m_settings.log(line);
    else
        ++m_refusalsLeftOut;
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
