#include "gateway/gateway_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>

#include "gateway/gateway_help.h"

namespace gateway {

namespace {

// Digits only, within low..high: "70000 is not a number it takes".
CLI::Validator numberIn(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& text) {
            long value = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
                value < low || value > high)
                return text + " is not a number it takes (" + std::to_string(low) + " to " +
                       std::to_string(high) + ")";
            return std::string();
        },
        "");
}

}  // namespace

int parseGatewayOptions(int argc, char** argv, bool emulator, GatewayOptions& o) {
    const std::string program = emulator ? "tm-gateway-emulator" : "tm-gateway";
    CLI::App app(gatewayDescription(emulator), program);
    app.set_help_flag("--help,-h", "show this text");
    app.footer(gatewayFooter(emulator));
    app.get_formatter()->column_width(30);
    if (!emulator)
        app.add_option("--boards", o.boardsFile,
                       "the board map to serve (default: as the program "
                       "finds it: $GPIB_BOARDS, the XDG file, "
                       "/etc/tarvel-morrow/boards.yaml)")
            ->type_name("FILE");
    CLI::Option* bench = app.add_option("--bench", o.benchFile,
                                        emulator ? "the bench file to serve (default: the "
                                                   "built-in bench)"
                                                 : "serve a simulated bench file's boards instead "
                                                   "of a board map")
                             ->type_name("FILE");
    if (!emulator)
        bench->excludes(app.get_option("--boards"));
    app.add_flag("--instant", o.instant,
                 "simulated boards: bus time costs nothing, timeouts come at once");
    app.add_option("--listen", o.listen,
                   "the address to listen on, IPv4 or IPv6 (default 127.0.0.1: loopback only)")
        ->type_name("ADDRESS");
    app.add_option("--allow", o.allow,
                   "a client network to serve (repeatable; \"any\" for everyone; default: "
                   "loopback only)")
        ->type_name("CIDR")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--port", o.corePort, "the core channel's TCP port (default: any free port)")
        ->type_name("N")
        ->check(numberIn(0, 65535));
    bool mapperOn = false, mapperOff = false;
    CLI::Option* on = app.add_flag("--portmapper", mapperOn,
                                   "register with the system's portmapper or answer port 111 "
                                   "ourselves, or refuse to start");
    app.add_flag("--no-portmapper", mapperOff, "leave the portmapper alone")->excludes(on);
    app.add_option("--portmapper-port", o.portmapperPort,
                   "the portmapper's port (default 111; 0 with our own: any free port)")
        ->type_name("N")
        ->check(numberIn(0, 65535));
    app.add_option("--max-connections", o.maxConnections,
                   "connections served at once; more are refused (default 64)")
        ->type_name("N")
        ->check(numberIn(1, 4096));
    app.add_option("--max-recv-size", o.maxRecvSize,
                   "the largest write taken in one call (default 262144)")
        ->type_name("N")
        ->check(numberIn(1, 16 << 20));
    std::string inst0;
    app.add_option("--inst0", inst0,
                   emulator ? "answer a link named inst0 as this device (PAD[,SAD]), for "
                              "clients that cannot name a link (lxi scpi)"
                            : "answer a link named inst0 as this device (BOARD,PAD[,SAD], "
                              "e.g. 0,9 or gpib1,5,2), for clients that cannot name a link")
        ->type_name(emulator ? "PAD[,SAD]" : "BOARD,PAD[,SAD]");
    app.add_option("--user", o.user,
                   "the user to become after binding the ports, when started as root "
                   "(default nobody)")
        ->type_name("NAME");
    app.add_flag("--exit-on-stdin-eof", o.exitOnStdinEof, "exit when standard input closes");
    std::vector<std::string> fault;
    app.add_option("--fault", fault,
                   "for tests: drop-mid-read, never-answer, or error-code N on every "
                   "device_write and device_read")
        ->type_name("KIND")
        ->expected(1, 2);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ExtrasError&) {
        std::string extras;
        for (const std::string& e : app.remaining()) extras += (extras.empty() ? "" : " ") + e;
        std::fprintf(stderr, "%s: unknown option %s\n(--help lists the options)\n", program.c_str(),
                     extras.c_str());
        return 2;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\n(--help lists the options)\n", program.c_str(), e.what());
        return 2;
    }
    auto refuse = [&](const std::string& why) {
        std::fprintf(stderr, "%s: %s\n(--help lists the options)\n", program.c_str(), why.c_str());
        return 2;
    };
    o.serveBench = emulator || bench->count() > 0;
    o.portmapper = mapperOff  ? PortmapperUse::Off
                   : mapperOn ? PortmapperUse::Required
                              : PortmapperUse::IfFree;
    if (!inst0.empty()) {
        // The emulator serves its bench's board 0 under that name, as it did.
        LinkTarget t;
        const std::string name =
            emulator
                ? "gpib0," + inst0
                : (inst0.rfind("gpib", 0) == 0 || inst0.rfind("hpib", 0) == 0 ? inst0
                                                                              : "gpib" + inst0);
        if (parseLinkName(name, std::nullopt, t) != 0 || t.interface)
            return refuse("--inst0: " + inst0 + " is no address (" +
                          (emulator ? "PAD[,SAD]" : "BOARD,PAD[,SAD]") + ")");
        o.inst0 = t;
    }
    if (!fault.empty()) {
        int n = 0;
        const bool number =
            fault.size() == 2 &&
            std::from_chars(fault[1].data(), fault[1].data() + fault[1].size(), n).ec ==
                std::errc() &&
            n >= 1 && n <= 1000;
        if (fault == std::vector<std::string>{"drop-mid-read"}) {
            o.fault = Fault::DropMidRead;
        } else if (fault == std::vector<std::string>{"never-answer"}) {
            o.fault = Fault::NeverAnswer;
        } else if (fault[0] == "error-code" && number) {
            o.fault = Fault::ErrorCode;
            o.faultError = n;
        } else {
            return refuse("--fault takes drop-mid-read, never-answer or error-code N");
        }
    }
    return -1;
}

}  // namespace gateway
