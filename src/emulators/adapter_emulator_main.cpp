// tm-adapter-emulator: a simulated bench served as a Prologix or AR488 GPIB
// adapter on a pseudo-terminal or a TCP port.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "emulators/adapter_emulator.h"
#include "emulators/adapter_line_server.h"

namespace {

constexpr const char* kHelp = R"(Usage: tm-adapter-emulator [options]

Serves a simulated GPIB bench as a Prologix GPIB-USB controller or an AR488
adapter, so that the adapter path can be tried without the hardware.

  --flavour prologix|ar488  the adapter to be (default prologix)
  --bench FILE              the bench file to serve (default: the built-in bench)
  --board N                 the bench's board the adapter sits on (default 0)
  --instant                 the bench's bus time and timeouts cost nothing (the
                            adapter's own ++read_tmo_ms still takes its time)
  --tcp PORT                serve on a TCP port instead of a pseudo-terminal
                            (0 picks a free one); 127.0.0.1 only unless --bind
  --bind ADDRESS            the IPv4 address to listen on with --tcp
  --link PATH               keep a symbolic link at PATH to the pseudo-terminal
  --count-lines             at the end, print how many lines of each kind came in
  --exit-on-stdin-eof       stop when standard input ends (for a parent process)
  --fault KIND              close-mid-answer, garbage or silent (for tests)
  --fault-after N           the first N answers the fault applies to are right
  --fault-times N           then N are faulty (default: all of them)

Firmware behaviours met on adapters in the field:
  --read-ends-on-input      a complete "++" line from the host ends a running
                            read between two bytes (no EOI mark); the line is
                            then carried out
  --ver-delay MS            ++ver is answered MS milliseconds late
  --ver-text TEXT           ++ver answers TEXT instead of the flavour's line
  --jitter MS               every byte sent is held back by a random delay of
                            up to MS milliseconds, order kept
  --seed N                  the delays of --jitter (default 1: the same each run)
  --help                    this text

It prints one line, the device to open (or the TCP port), then serves one
host at a time until SIGTERM or SIGINT. A board map entry for it:

  boards:
    GPIB0:
      kind: prologix
      port: /dev/pts/7      # the printed device
)";

int g_stopPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    (void)!::write(g_stopPipe[1], &byte, 1);
}

int usage(const std::string& problem) {
    std::fprintf(stderr, "tm-adapter-emulator: %s (--help lists the options)\n", problem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    emulators::AdapterEmulatorOptions options;
    emulators::LineServerOptions line;
    std::string bench, flavour = "prologix", fault;
    bool instant = false, countLines = false, exitOnEof = false, help = false;
    int tcpPort = -1;

    // The options in kHelp, parsed by CLI11; our own text for --help.
    CLI::App app("tm-adapter-emulator");
    app.set_help_flag();
    app.add_flag("--help", help);
    app.add_option("--flavour", flavour)->check(CLI::IsMember({"prologix", "ar488"}));
    app.add_option("--bench", bench);
    app.add_option("--board", options.boardIndex)->check(CLI::Range(0, 15));
    app.add_flag("--instant", instant);
    app.add_option("--tcp", tcpPort)->check(CLI::Range(0, 65535));
    app.add_option("--bind", line.bind);
    app.add_option("--link", line.link);
    app.add_flag("--count-lines", countLines);
    app.add_flag("--exit-on-stdin-eof", exitOnEof);
    app.add_option("--fault", fault)
        ->check(CLI::IsMember({"close-mid-answer", "garbage", "silent"}));
    app.add_option("--fault-after", options.faultAfter)->check(CLI::Range(0L, 1000000000L));
    app.add_option("--fault-times", options.faultTimes)->check(CLI::Range(0L, 1000000000L));
    app.add_flag("--read-ends-on-input", options.readEndsOnInput);
    app.add_option("--ver-delay", options.verDelayMs)->check(CLI::Range(0, 60000));
    app.add_option("--ver-text", options.verText)->check([](const std::string& text) {
        const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        });
        return plain && !text.empty() && text.size() <= 200
                   ? std::string()
                   : std::string("a version line is 1 to 200 printable characters");
    });
    app.add_option("--jitter", line.jitterMs)->check(CLI::Range(0, 10000));
    app.add_option("--seed", line.seed);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    if (help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    options.flavour =
        flavour == "ar488" ? emulators::AdapterFlavour::Ar488 : emulators::AdapterFlavour::Prologix;
    if (!fault.empty())
        emulators::parseAdapterFault(fault, options.fault);
    if (tcpPort >= 0) {
        line.tcp = true;
        line.port = tcpPort;
    }

    emulators::ServedBench served = emulators::serveBench(bench, options.boardIndex, instant);
    if (!served.board) {
        std::fprintf(stderr, "tm-adapter-emulator: %s\n", served.problem.c_str());
        return 1;
    }
    if (::pipe2(g_stopPipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction stop {};
    stop.sa_handler = onSignal;
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    line.stopFd = g_stopPipe[0];
    line.eofFd = exitOnEof ? STDIN_FILENO : -1;

    emulators::LineServer server(line);
    // A read may look at what the host sends meanwhile: it is kept for later.
    emulators::AdapterEmulator adapter(
        served, options,
        {[&](const std::string& bytes) { return server.write(bytes); }, [&] { server.hangUp(); },
         [&](int64_t untilUs) {
             server.waitForInput(untilUs,
                                 [&](const char* bytes, size_t n) { adapter.stash(bytes, n); });
         }});
    std::string why;
    auto announce = [](const std::string& where) {
        std::printf("%s\n", where.c_str());
        std::fflush(stdout);
    };
    if (!server.start(announce, why)) {
        std::fprintf(stderr, "tm-adapter-emulator: %s\n", why.c_str());
        return 1;
    }
    server.serve([&](const char* bytes, size_t n) { adapter.receive(bytes, n); },
                 [&] { adapter.newHost(); });
    if (countLines) {
        std::string counts;
        for (const auto& [kind, count] : adapter.lineCounts())
            counts += (counts.empty() ? "" : ", ") + kind + " " + std::to_string(count);
        std::printf("lines: %s\n", counts.c_str());
        std::fflush(stdout);
    }
    return 0;
}
