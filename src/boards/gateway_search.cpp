#include "boards/gateway_search.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "boards/portmap_datagram.h"
#include "net/lookup.h"
#include "net/monotonic.h"
#include "net/socket.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11_rpc.h"

namespace boards {

namespace {

// Answers read at most, and datagrams looked at: a flood ends the search
// early rather than making it read for ever.
constexpr size_t kMaxAnswers = 256;
constexpr size_t kMaxDatagrams = 4096;

struct Target {
    net::Address to;
    std::string host;  // as the person named it; "" for a broadcast
    std::string how;
};

net::Socket udpSocket(int family) {
    net::Socket s(::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.valid() && family == AF_INET) {
        int on = 1;
        ::setsockopt(s.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    return s;
}

class Asker {
  public:
    Asker(SearchResult& out, int portmapperPort)
        : m_out(out), m_port(portmapperPort), m_xid(std::random_device{}()) {}

    void add(Target t) { m_targets.push_back(std::move(t)); }
    bool empty() const { return m_targets.empty(); }

    void sendAll() {
        const std::string call = getPortCall(m_xid);
        for (const Target& t : m_targets) {
            net::Socket& s = t.to.family() == AF_INET6 ? m_v6 : m_v4;
            if (!s.valid())
                s = udpSocket(t.to.family());
            if (s.valid())
                ::sendto(s.fd(), call.data(), call.size(), MSG_NOSIGNAL, t.to.get(), t.to.length);
        }
    }

    // Reads answers until the deadline (or every named host answered).
    void collect(int64_t deadlineUs, bool untilAllAnswered) {
        const int64_t start = net::monotonicUs();
        int64_t resendAt = start + (deadlineUs - start) / 3;
        while (m_datagrams < kMaxDatagrams && m_out.gateways.size() < kMaxAnswers) {
            if (untilAllAnswered && allAnswered())
                return;
            const int64_t now = net::monotonicUs();
            if (now >= deadlineUs)
                return;
            if (resendAt && now >= resendAt) {
                sendAll();
                resendAt = 0;
            }
            const int64_t until = resendAt ? std::min(resendAt, deadlineUs) : deadlineUs;
            pollfd fds[] = {{m_v4.fd(), POLLIN, 0}, {m_v6.fd(), POLLIN, 0}};
            int ms = int(std::max<int64_t>((until - now + 999) / 1000, 0));
            if (::poll(fds, 2, ms) <= 0)
                continue;
            for (const pollfd& p : fds)
                if (p.revents & POLLIN)
                    readOne(p.fd);
        }
    }

    // The named hosts none of whose addresses answered.
    std::vector<std::string> silent() const {
        std::vector<std::string> left;
        for (const Target& t : m_targets) {
            if (t.host.empty() || std::find(left.begin(), left.end(), t.host) != left.end())
                continue;
            if (std::none_of(m_targets.begin(), m_targets.end(),
                             [&](const Target& u) { return u.host == t.host && answered(u); }))
                left.push_back(t.host);
        }
        return left;
    }

    int notRegistered() const { return m_notRegistered; }

  private:
    bool answered(const Target& t) const {
        return std::any_of(m_from.begin(), m_from.end(),
                           [&](const net::Address& a) { return a.sameHost(t.to); });
    }
    bool allAnswered() const { return silent().empty(); }

    void readOne(int fd) {
        uint8_t buffer[1500];
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return;
        ++m_datagrams;
        if (size_t(n) > sizeof buffer)
            return;  // no reply of this question is that long
        PortReply r = readPortReply(buffer, size_t(n), m_xid);
        net::Address a = net::Address::of(reinterpret_cast<sockaddr*>(&from), length);
        if (r.verdict == PortReply::Other || r.verdict == PortReply::Garbage)
            return;
        if (std::none_of(m_from.begin(), m_from.end(),
                         [&](const net::Address& seen) { return seen.sameHost(a); }))
            m_from.push_back(a);
        else
            return;  // its answer to the second datagram
        if (r.verdict == PortReply::NotRegistered || r.verdict == PortReply::Refused) {
            ++m_notRegistered;
            return;
        }
        const Target* by = nullptr;
        for (const Target& t : m_targets)
            if (t.to.sameHost(a) || (!by && t.host.empty()))
                by = &t;
        // A host asked by name keeps that name: it outlives an address.
        const bool named = by && !by->host.empty();
        m_out.gateways.push_back(
            {named ? by->host : a.host(), m_port, r.port, named ? by->how : "broadcast"});
    }

    SearchResult& m_out;
    int m_port;
    uint32_t m_xid;
    std::vector<Target> m_targets;
    std::vector<net::Address> m_from;
    net::Socket m_v4, m_v6;
    size_t m_datagrams = 0;
    int m_notRegistered = 0;
};

}  // namespace

std::vector<BroadcastPlace> broadcastPlaces() {
    std::vector<BroadcastPlace> places;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return places;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            (i->ifa_flags & IFF_LOOPBACK) || !(i->ifa_flags & IFF_BROADCAST) || !i->ifa_broadaddr)
            continue;
        net::Address a = net::Address::of(i->ifa_broadaddr, sizeof(sockaddr_in));
        places.push_back({i->ifa_name, a.host()});
    }
    ::freeifaddrs(list);
    return places;
}

SearchResult askPortmappers(const SearchRequest& q) {
    SearchResult out;
    Asker asker(out, q.portmapperPort);
    for (const std::string& host : q.hosts) {
        std::vector<net::Address> found;
        std::string why;
        if (!net::lookUp(host, q.portmapperPort, q.deadlineUs, found, why)) {
            out.notes.push_back(host + ": " + why);
            continue;
        }
        for (const net::Address& a : found) asker.add({a, host, "host"});
    }
    if (q.hosts.empty() && q.broadcast) {
        std::vector<BroadcastPlace> places = broadcastPlaces();
        std::string names;
        for (const BroadcastPlace& p : places) {
            net::Address a;
            if (net::numericAddress(p.address, q.portmapperPort, a)) {
                asker.add({a, "", "broadcast"});
                names += (names.empty() ? "" : ", ") + p.interface + " (" + p.address + ")";
            }
        }
        out.notes.push_back(names.empty() ? "no network interface has a broadcast address: "
                                            "--host HOST asks one host"
                                          : "broadcast on " + names);
    }
    if (asker.empty())
        return out;
    asker.sendAll();
    if (q.hosts.empty()) {
        asker.collect(q.deadlineUs, false);
    } else {
        // Half the time for the datagrams; a host that stays silent is then
        // asked over TCP, which a portmapper behind a firewall may still take.
        const int64_t now = net::monotonicUs();
        asker.collect(now + (q.deadlineUs - now) / 2, true);
        for (const std::string& host : asker.silent()) {
            std::string why;
            auto deadline = vxi11::Clock::now() + std::chrono::microseconds(std::max<int64_t>(
                                                      q.deadlineUs - net::monotonicUs(), 0));
            int port = vxi11::lookUpPort(host, q.portmapperPort, DEVICE_CORE, DEVICE_CORE_VERSION,
                                         deadline, why);
            if (port > 0)
                out.gateways.push_back({host, q.portmapperPort, port, "host"});
            else
                out.notes.push_back(
                    host + (port == 0 ? ": its portmapper knows no VXI-11 server" : ": " + why));
        }
    }
    if (asker.notRegistered())
        out.notes.push_back(std::to_string(asker.notRegistered()) +
                            " portmapper(s) answered without a VXI-11 server");
    return out;
}

}  // namespace boards
