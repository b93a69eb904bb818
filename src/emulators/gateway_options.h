#pragma once
// The command line of tm-gateway-emulator.

#include <string>

#include "emulators/gateway_core.h"
#include "emulators/gateway_service.h"

namespace emulators {

enum class Portmapper {
    IfFree,    // answer it when its port can be bound (the default)
    Required,  // refuse to start without it
    Off
};

struct EmulatorOptions {
    std::string benchFile;  // "" for the built-in bench
    bool instant = false;
    std::string listen = "127.0.0.1";
    int corePort = 0;  // any free port
    Portmapper portmapper = Portmapper::IfFree;
    int portmapperPort = 111;
    bool exitOnStdinEof = false;
    GatewayFault fault = GatewayFault::None;
    int faultError = 0;
    GatewaySettings settings;
    bool help = false;
};

// false, with the problem, for a command line that does not parse.
bool parseEmulatorOptions(int argc, char** argv, EmulatorOptions& options, std::string& problem);

const char* emulatorHelp();

}  // namespace emulators
