#pragma once
// VXI-11 gateways, found every way tm-boards find knows (the portmapper by
// broadcast or by host, DNS-SD) and merged by address, each with its
// interfaces. The gateways are asked for their interfaces side by side, each
// within the same time, so that one that stalls costs the others nothing.

#include <cstdint>
#include <string>
#include <vector>

namespace boards {

struct FoundGateway {
    std::string host;      // what the board map's host: gets
    std::string name;      // its DNS-SD name, when announced
    std::string identity;  // its *IDN?, when it says it on inst0
    int portmapperPort = 111;
    int corePort = 0;
    std::vector<std::string> how;  // "broadcast", "DNS-SD", "host" (asked by name)
    std::vector<std::string> interfaces;
    std::string interfacesHow;
    std::string problem;  // why its interfaces are not known
};

struct GatewayFinding {
    std::vector<FoundGateway> gateways;
    std::vector<std::string> notes;
};

struct GatewayQuestion {
    std::vector<std::string> hosts;  // none: broadcast and DNS-SD
    bool broadcast = true, dnsSd = true;
    int portmapperPort = 111;
    int timeoutMs = 1000;
};

GatewayFinding findGateways(const GatewayQuestion& q);

}  // namespace boards
