#pragma once
// What a link's name reaches on this gateway: board GPIBn is the interface
// "gpibn" (or "hpibn"; "gpib" and "hpib" alone are board 0), its devices
// "gpibn,PAD" and "gpibn,PAD,SAD" (SAD written 0-30), and "inst0" the device
// the operator named for clients that cannot name a link, or else the
// gateway itself (the name a LAN instrument answers to).

#include <optional>
#include <string_view>

#include "driver/board.h"

namespace gateway {

// The board number of the gateway itself.
constexpr int kGatewayBoard = -1;

struct LinkTarget {
    int board = 0;
    bool interface = false;
    gpibdrv::BusAddress address;
    bool gateway = false;  // inst0 as the gateway itself
};

// 0 with the target (inst0 without a device named for it: the gateway
// itself), or the VXI-11 error: 3 for a name of no interface of
// ours, 21 for an address that is none.
int parseLinkName(std::string_view name, const std::optional<LinkTarget>& inst0, LinkTarget& out);

// "GPIB0,9,2" style text of a target, for the log.
std::string describeTarget(const LinkTarget& t);

}  // namespace gateway
