#pragma once
// VXI-11 gateways that announce themselves by DNS-SD (_vxi-11._tcp), as the
// system's Avahi daemon sees them: browsed and resolved through
// libavahi-client until the deadline. Without a daemon (none installed, or
// not running) the browse ends at once with a note; nothing here answers
// multicast itself.

#include <cstdint>
#include <string>
#include <vector>

namespace boards {

struct AnnouncedGateway {
    std::string name;     // the service's instance name: "lab-pc tm-gateway"
    std::string host;     // its host name: "lab-pc.local"
    std::string address;  // in digits
    int port = 0;         // the port announced (the portmapper's, 111, on LXI devices)
};

struct BrowseResult {
    std::vector<AnnouncedGateway> gateways;
    std::string note;  // why nothing could be browsed, or ""
};

BrowseResult browseVxi11(int64_t deadlineUs);

}  // namespace boards
