#pragma once
// The command lines of tm-gateway and tm-gateway-emulator (CLI11). The
// emulator is tm-gateway serving a bench (the built-in one unless --bench
// names another), with the emulator's own spelling of --inst0.

#include <optional>
#include <string>
#include <vector>

#include "gateway/connection_policy.h"
#include "gateway/gateway_server.h"
#include "gateway/gateway_service.h"
#include "gateway/link_name.h"

namespace gateway {

struct GatewayOptions {
    std::string boardsFile;  // "" : the program's board map lookup
    std::string benchFile;   // with serveBench: "" for the built-in bench
    bool serveBench = false;
    bool instant = false;
    std::string listen = "127.0.0.1";
    std::vector<std::string> allow;  // empty: loopback only
    int corePort = 0;
    PortmapperUse portmapper = PortmapperUse::IfFree;
    int portmapperPort = 111;
    ConnectionPolicy policy;  // --max-connections and the rest of the policy
    uint32_t maxRecvSize = 256 * 1024;
    std::optional<LinkTarget> inst0;
    std::string user = "nobody";
    bool exitOnStdinEof = false;
    Fault fault = Fault::None;
    int faultError = 0;
    // Finding and seeing the gateway: the status page's port (-1: no page,
    // 0: any free port), and whether it announces itself through DNS-SD.
    int httpPort = -1;
    bool announce = true;
};

// Parses the command line. Answers -1 to go on, or the exit status: 0 after
// --help (printed), 2 for a bad command line (the reason printed on
// standard error).
int parseGatewayOptions(int argc, char** argv, bool emulator, GatewayOptions& o);

}  // namespace gateway
