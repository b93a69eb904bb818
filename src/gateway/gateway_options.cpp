#include "gateway/gateway_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>

#include "gateway/connection_policy_options.h"
#include "gateway/gateway_help.h"
#include "text/text.h"

namespace gateway {

namespace {

// Digits only, within low..high: "70000 is not a number it takes".
CLI::Validator numberIn(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& text) { return WholeNumberProblem(text, low, high); }, "");
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
                       "the board map (default: where the program finds it)")
            ->type_name("FILE");
    CLI::Option* bench = app.add_option("--bench", o.benchFile,
                                        emulator ? "the bench to serve (default: the built-in one)"
                                                 : "serve a bench file's boards, not a board map")
                             ->type_name("FILE");
    app.add_flag("--instant", o.instant, "simulated boards: bus time and timeouts cost nothing");
    app.add_option("--listen", o.listen, "IPv4 or IPv6 address to listen on (default 127.0.0.1)")
        ->type_name("ADDRESS");
    app.add_option("--allow", o.allow, "clients to serve, repeatable, or any (default: loopback)")
        ->type_name("CIDR")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--port", o.corePort, "the core channel's port (default: any free one)")
        ->type_name("N")
        ->check(numberIn(0, 65535));
    bool mapperOn = false, mapperOff = false;
    app.add_flag("--portmapper", mapperOn,
                 "the system's portmapper or our own on port 111, or refuse to start");
    app.add_flag("--no-portmapper", mapperOff, "leave the portmapper alone");
    app.add_option("--portmapper-port", o.portmapperPort,
                   "the portmapper's port (default 111; 0: our own, anywhere)")
        ->type_name("N")
        ->check(numberIn(0, 65535));
    addPolicyOptions(app, o.policy);
    app.add_option("--max-recv-size", o.maxRecvSize,
                   "the largest write taken in a call (default 262144)")
        ->type_name("N")
        ->check(numberIn(1, 16 << 20));
    std::string inst0;
    app.add_option("--inst0", inst0, "the device inst0 reaches (default: the gateway itself)")
        ->type_name(emulator ? "PAD[,SAD]" : "BOARD,PAD[,SAD]");
    app.add_option("--user", o.user, "started as root: the user to become (default nobody)")
        ->type_name("NAME");
    app.add_flag("--exit-on-stdin-eof", o.exitOnStdinEof, "exit when standard input closes");
    app.add_option("--http", o.httpPort, "serve the status page on this port (default: none)")
        ->type_name("PORT")
        ->check(numberIn(0, 65535));
    bool noAnnounce = false;
    app.add_flag("--no-announce", noAnnounce, "announce nothing through DNS-SD (Avahi)");
    std::vector<std::string> fault;
    app.add_option("--fault", fault, "for tests: drop-mid-read, never-answer, error-code N")
        ->type_name("KIND")
        ->expected(1, 2);
    auto refuse = [&](const std::string& why) {
        std::fprintf(stderr, "%s: %s\n(--help lists the options)\n", program.c_str(), why.c_str());
        return 2;
    };
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
    o.announce = !noAnnounce;
    if (mapperOn && mapperOff)
        return refuse("--portmapper and --no-portmapper exclude each other");
    if (!emulator && bench->count() && app.get_option("--boards")->count())
        return refuse("--bench and --boards exclude each other");
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
