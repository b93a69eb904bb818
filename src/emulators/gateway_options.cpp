#include "emulators/gateway_options.h"

#include <charconv>
#include <cstring>

namespace emulators {

namespace {

bool number(const char* text, int low, int high, int& value) {
    const char* end = text + std::strlen(text);
    auto [rest, error] = std::from_chars(text, end, value);
    return error == std::errc() && rest == end && value >= low && value <= high;
}

// "9" or "9,2".
bool address(const std::string& text, gpibdrv::BusAddress& a) {
    size_t comma = text.find(',');
    a.sad = -1;
    return number(text.substr(0, comma).c_str(), 0, 30, a.pad) &&
           (comma == std::string::npos || number(text.substr(comma + 1).c_str(), 0, 30, a.sad));
}

}  // namespace

bool parseEmulatorOptions(int argc, char** argv, EmulatorOptions& o, std::string& problem) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needs = [&](const char* what) {
            if (!value)
                problem = option + " needs " + what;
            else
                ++i;
            return value != nullptr;
        };
        int n = 0;
        gpibdrv::BusAddress a;
        if (option == "--help" || option == "-h") {
            o.help = true;
        } else if (option == "--instant") {
            o.instant = true;
        } else if (option == "--exit-on-stdin-eof") {
            o.exitOnStdinEof = true;
        } else if (option == "--portmapper") {
            o.portmapper = Portmapper::Required;
        } else if (option == "--no-portmapper") {
            o.portmapper = Portmapper::Off;
        } else if (option == "--bench") {
            if (!needs("a bench file"))
                return false;
            o.benchFile = value;
        } else if (option == "--listen") {
            if (!needs("an address"))
                return false;
            o.listen = value;
        } else if (option == "--interface") {
            if (!needs("a name"))
                return false;
            o.settings.interfaceName = value;
        } else if (option == "--board" || option == "--port" || option == "--portmapper-port" ||
                   option == "--max-recv-size") {
            const bool size = option == "--max-recv-size";
            if (!needs("a number"))
                return false;
            if (!number(value, size ? 1 : 0, size ? 1 << 30 : 65535, n)) {
                problem = option + ": " + value + " is not a number it takes";
                return false;
            }
            if (size)
                o.settings.maxRecvSize = unsigned(n);
            else
                *(option == "--board"  ? &o.settings.boardIndex
                  : option == "--port" ? &o.corePort
                                       : &o.portmapperPort) = n;
        } else if (option == "--inst0") {
            if (!needs("an address"))
                return false;
            if (!address(value, a)) {
                problem = std::string("--inst0: ") + value + " is no address (9 or 9,2)";
                return false;
            }
            o.settings.inst0 = a;
        } else if (option == "--fault") {
            if (!needs("a fault"))
                return false;
            const std::string fault = value;
            if (fault == "drop-mid-read") {
                o.fault = GatewayFault::DropMidRead;
            } else if (fault == "never-answer") {
                o.fault = GatewayFault::NeverAnswer;
            } else if (fault == "error-code" && i + 1 < argc &&
                       number(argv[i + 1], 1, 1000, o.faultError)) {
                o.fault = GatewayFault::ErrorCode;
                ++i;
            } else {
                problem = "--fault takes drop-mid-read, never-answer or error-code N";
                return false;
            }
        } else {
            problem = "unknown option " + option;
            return false;
        }
    }
    return true;
}

const char* emulatorHelp() {
    return R"(Usage: tm-gateway-emulator [options]

Serves a simulated bench as a VXI-11 LAN/GPIB gateway: the bench's board is
the gateway's interface "gpib0", its instruments are reached through links
named gpib0,PAD or gpib0,PAD,SAD. On start it prints one line,

  core_port: N  # abort port A, portmapper on 127.0.0.1:111

whose first part can go into a board map as it is. Clients that look the
gateway up through the portmapper (pyvisa-py, lxi-tools) need it on port 111,
which usually takes root; without it, give the board map the core port.

Options:
  --bench FILE          the bench file to serve (default: the built-in bench)
  --board N             the bench board to serve (default 0)
  --instant             bus time costs nothing: no response delays, timeouts at once
  --listen ADDRESS      the address to listen on (default 127.0.0.1, loopback only)
  --port N              the core channel's TCP port (default: any free port)
  --interface NAME      the interface's link name (default gpib0; some gateways say hpib)
  --max-recv-size N     the largest write taken in one call (default 262144)
  --inst0 PAD[,SAD]     answer a link named inst0 as this device, for clients
                        that cannot name a link (lxi scpi)
  --portmapper          answer the portmapper, or refuse to start
  --no-portmapper       do not answer the portmapper (default: when its port is free)
  --portmapper-port N   the portmapper's port (default 111)
  --exit-on-stdin-eof   exit when standard input closes
  --fault drop-mid-read       close the connection in the middle of each read's reply
  --fault error-code N        answer every device_write and device_read with error N
  --fault never-answer        take every device_write and device_read, answer none
  --help                show this text

SIGTERM and SIGINT end it; it then prints the calls it served on standard error.
)";
}

}  // namespace emulators
