// tm-adapter-check: opens a Prologix or AR488 adapter as the driver does,
// asks it what it does, and prints what it found.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "adapters/adapter_board.h"

namespace {

constexpr const char* kHelp = R"(Usage: tm-adapter-check PORT [options]
       tm-adapter-check --host HOST [--port N] [options]

Opens a Prologix or AR488 GPIB adapter as the program's driver does, asks the
adapter what it does and prints what it found: its version line and dialect,
how late its answers come, whether it takes the EOI mark, which read ends and
listener search it has, whether host input ends a read, and the way the
driver reads from it and why. Attach what it prints to a bug report about an
adapter.

Nothing is sent to any instrument: it asks the adapter only, and the test of
host input reads from an address where no instrument can be (an AR488's own,
which it refuses to address otherwise). A Prologix has no such address of
its own: name one where you know no instrument is, or the test is not made.

  PORT                      the adapter's serial device, e.g. /dev/ttyUSB0
  --host HOST               a network adapter instead (name or address)
  --port N                  its TCP port (default 1234)
  --baud N                  the serial line's speed (default 115200)
  --flavour prologix|ar488  talk to it as this (default: as its version line says)
  --controller-address N    the adapter's own bus address (default 0)
  --empty-address N         test host input with a read from N, an address where
                            you know no instrument is
  --timeout MS              how long opening may take (default 4000; an Arduino
                            restarts when its port opens)
  --help                    this text

Exit status: 0 it answered (the report follows), 1 it could not be opened
(the reason follows), 2 the command line is wrong.
)";

int usage(const std::string& problem) {
    std::fprintf(stderr, "tm-adapter-check: %s (--help lists the options)\n", problem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    adapters::AdapterOptions options;
    std::string port, host, flavour;
    int tcpPort = 1234, emptyAddress = -1;
    bool help = false;

    // The options in kHelp, parsed by CLI11; our own text for --help.
    CLI::App app("tm-adapter-check");
    app.set_help_flag();
    app.add_flag("--help", help);
    app.add_option("PORT", port);
    app.add_option("--host", host);
    app.add_option("--port", tcpPort)->check(CLI::Range(1, 65535));
    app.add_option("--baud", options.baud)->check(CLI::Range(50, 4000000));
    app.add_option("--flavour", flavour)->check(CLI::IsMember({"prologix", "ar488"}));
    app.add_option("--controller-address", options.controllerAddress)->check(CLI::Range(0, 30));
    app.add_option("--empty-address", emptyAddress)->check(CLI::Range(0, 30));
    app.add_option("--timeout", options.openTimeoutMs)->check(CLI::Range(100, 60000));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    if (help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (port.empty() == host.empty())
        return usage("name either a serial device or --host");
    if (!host.empty() && app.count("--baud"))
        return usage("--baud is for a serial device, not --host");
    if (host.empty() && app.count("--port"))
        return usage("--port is for --host; a serial device is named alone");
    options.port = port;
    options.host = host;
    options.tcpPort = tcpPort;
    options.flavour = flavour == "ar488" ? adapters::Flavour::Ar488 : adapters::Flavour::Prologix;

    adapters::AdapterReport report;
    std::string why;
    const std::string where = host.empty() ? port : host + ":" + std::to_string(tcpPort);
    if (adapters::checkAdapter(options, emptyAddress, flavour.empty(), report, why) !=
        gpibdrv::kDone) {
        std::fprintf(stderr, "tm-adapter-check: %s\n", why.c_str());
        return 1;
    }
    std::printf("tm-adapter-check: %s\n%s", where.c_str(), adapters::formatReport(report).c_str());
    std::fflush(stdout);
    return 0;
}
