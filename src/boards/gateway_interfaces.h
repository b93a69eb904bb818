#pragma once
// What a VXI-11 gateway has behind it: the names of its interfaces (gpib0,
// gpib1, hpib, ...), which a board map's vxi11 board names.
//
// A gateway of ours says who it is on the link inst0 (*IDN? names
// tm-gateway) and lists its interfaces there (SYSTem:INTerface:LIST?);
// any other gateway is asked by making a link to each usual interface name
// in turn (create_link puts nothing on the bus) and dropping it again.
// Every call is bounded by the deadline; an answer is believed only in the
// shape it must have, and at most 16 interfaces are taken.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace boards {

struct GatewayInterfaces {
    std::vector<std::string> names;
    std::string identity;  // the *IDN? answer on inst0, when it gave one
    std::string how;       // "as it lists them" or "by making links"
    std::string problem;   // why none could be found out
};

GatewayInterfaces askInterfaces(const std::string& host, int corePort, int64_t deadlineUs);

// The interface names in an answer to SYSTem:INTerface:LIST? ("gpib0",
// "gpib0,gpib1", quoted or not); empty for an answer of any other shape.
std::vector<std::string> interfaceList(std::string_view answer);

}  // namespace boards
