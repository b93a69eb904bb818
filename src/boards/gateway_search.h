#pragma once
// Finding VXI-11 gateways by their portmapper: one UDP question (GETPORT for
// the core channel) to the broadcast address of each network this computer
// is on, or to the hosts a person names, and the answers that come back
// before the deadline. One datagram out per place (sent again once, since a
// datagram may be lost), a bounded number of answers read, nothing waited
// for past the deadline.

#include <cstdint>
#include <string>
#include <vector>

namespace boards {

struct PortmapperAnswer {
    std::string address;     // the host that answered, in digits
    int portmapperPort = 0;  // where its portmapper was asked
    int corePort = 0;        // its VXI-11 core channel
    std::string how;         // "broadcast", or "host" for a host asked by name
};

struct SearchRequest {
    std::vector<std::string> hosts;  // asked one by one; none: broadcast
    bool broadcast = true;
    int portmapperPort = 111;
    int64_t deadlineUs = 0;  // monotonic
};

struct SearchResult {
    std::vector<PortmapperAnswer> gateways;
    std::vector<std::string> notes;  // what was asked where, what was skipped
};

SearchResult askPortmappers(const SearchRequest& request);

// The networks a broadcast goes to: each interface that is up, not
// loopback, with an IPv4 broadcast address ("eth0", "10.77.0.255").
struct BroadcastPlace {
    std::string interface;
    std::string address;
};
std::vector<BroadcastPlace> broadcastPlaces();

}  // namespace boards
