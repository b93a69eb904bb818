#pragma once
// LAN/GPIB gateways that speak VXI-11 (ONC RPC over TCP): one kind of board of
// the bundled driver, reaching a GPIB bus in another room.

#include <memory>
#include <string>

#include "driver/board.h"

namespace vxi11 {

struct GatewayOptions {
    std::string host;                     // name or address
    std::string interfaceName = "gpib0";  // the gateway's interface (some call it hpib)
    int corePort = 0;                     // 0: ask the portmapper
    int portmapperPort = 111;             // where the portmapper is asked (tests move it)
    int controllerAddress = 0;            // what ibask reports as the board's own address
};

// The board; it connects when it is opened (ibfind), not before.
std::unique_ptr<gpibdrv::Board> makeGatewayBoard(const GatewayOptions& options);

}  // namespace vxi11
