#include "boards/gateway_finder.h"

#include <algorithm>
#include <chrono>
#include <future>

#include "boards/dns_sd_browse.h"
#include "boards/gateway_interfaces.h"
#include "boards/gateway_search.h"
#include "net/monotonic.h"
#include "vxi11/rpc_client.h"
#include "vxi11/vxi11_rpc.h"

namespace boards {

namespace {

// Gateways asked for their interfaces, at most.
constexpr size_t kMaxGateways = 32;

int64_t after(int ms) {
    return net::monotonicUs() + int64_t(ms) * 1000;
}

void addHow(FoundGateway& g, const std::string& how) {
    if (std::find(g.how.begin(), g.how.end(), how) == g.how.end())
        g.how.push_back(how);
}

// An announced gateway's core port, from the portmapper on the port it announced.
int corePortOf(const AnnouncedGateway& a, int64_t deadlineUs, std::string& why) {
    auto deadline = vxi11::Clock::time_point(std::chrono::microseconds(deadlineUs));
    return vxi11::lookUpPort(a.address, a.port, DEVICE_CORE, DEVICE_CORE_VERSION, deadline, why);
}

}  // namespace

GatewayFinding findGateways(const GatewayQuestion& q) {
    GatewayFinding out;
    const int64_t answersBy = after(q.timeoutMs);
    std::future<BrowseResult> announced;
    const bool browse = q.hosts.empty() && q.dnsSd;
    if (browse)
        announced = std::async(std::launch::async, [answersBy] { return browseVxi11(answersBy); });
    SearchResult asked;
    if (!q.hosts.empty() || q.broadcast)
        asked = askPortmappers({q.hosts, q.broadcast, q.portmapperPort, answersBy});
    out.notes = asked.notes;
    for (const PortmapperAnswer& a : asked.gateways) {
        FoundGateway g;
        g.host = a.address;
        g.portmapperPort = a.portmapperPort;
        g.corePort = a.corePort;
        g.how = {a.how};
        out.gateways.push_back(g);
    }
    // The second half of the time: what the announcements left to ask, and
    // every gateway's interfaces.
    const int64_t interfacesBy = after(q.timeoutMs);
    if (browse) {
        BrowseResult r = announced.get();
        if (!r.note.empty())
            out.notes.push_back(r.note);
        for (const AnnouncedGateway& a : r.gateways) {
            auto same = std::find_if(out.gateways.begin(), out.gateways.end(),
                                     [&](const FoundGateway& g) { return g.host == a.address; });
            if (same != out.gateways.end()) {
                same->name = a.name;
                addHow(*same, "DNS-SD");
                continue;
            }
            std::string why;
            int port = corePortOf(a, interfacesBy, why);
            if (port <= 0) {
                out.notes.push_back("\"" + a.name + "\" at " + a.address + " is announced, but " +
                                    (port == 0 ? "its portmapper knows no VXI-11 server" : why));
                continue;
            }
            FoundGateway g;
            g.host = a.address;
            g.name = a.name;
            g.portmapperPort = a.port;
            g.corePort = port;
            g.how = {"DNS-SD"};
            out.gateways.push_back(g);
        }
    }
    if (out.gateways.size() > kMaxGateways) {
        out.notes.push_back(std::to_string(out.gateways.size() - kMaxGateways) +
                            " more gateways answered; the first " + std::to_string(kMaxGateways) +
                            " are shown (--host HOST asks one)");
        out.gateways.resize(kMaxGateways);
    }
    std::vector<std::future<GatewayInterfaces>> asking;
    for (const FoundGateway& g : out.gateways)
        asking.push_back(std::async(std::launch::async, [&g, interfacesBy] {
            return askInterfaces(g.host, g.corePort, interfacesBy);
        }));
    for (size_t i = 0; i < asking.size(); ++i) {
        GatewayInterfaces r = asking[i].get();
        FoundGateway& g = out.gateways[i];
        g.interfaces = r.names;
        g.identity = r.identity;
        g.interfacesHow = r.how;
        g.problem = r.problem;
    }
    std::sort(out.gateways.begin(), out.gateways.end(),
              [](const FoundGateway& a, const FoundGateway& b) { return a.host < b.host; });
    return out;
}

}  // namespace boards
