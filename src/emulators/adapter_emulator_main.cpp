// tm-adapter-emulator: a simulated bench served as a Prologix or AR488 GPIB
// adapter on a pseudo-terminal or a TCP port.
#include <fcntl.h>
#include <unistd.h>

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
  --instant                 bus time and timeouts cost nothing
  --tcp PORT                serve on a TCP port instead of a pseudo-terminal
                            (0 picks a free one); 127.0.0.1 only unless --bind
  --bind ADDRESS            the IPv4 address to listen on with --tcp
  --link PATH               keep a symbolic link at PATH to the pseudo-terminal
  --count-lines             at the end, print how many lines of each kind came in
  --exit-on-stdin-eof       stop when standard input ends (for a parent process)
  --fault KIND              close-mid-answer, garbage or silent (for tests)
  --fault-after N           the first N answers the fault applies to are right
  --fault-times N           then N are faulty (default: all of them)
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

bool numberArg(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == 0 && value >= low && value <= high;
}

int usage(const std::string& problem) {
    std::fprintf(stderr, "tm-adapter-emulator: %s (--help lists the options)\n", problem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    emulators::AdapterEmulatorOptions options;
    emulators::LineServerOptions line;
    std::string bench;
    bool instant = false, countLines = false, exitOnEof = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        auto needs = [&](bool ok) {
            if (!ok)
                throw std::string("bad or missing value for " + arg);
            ++i;
        };
        try {
            if (arg == "--help") {
                std::fputs(kHelp, stdout);
                return 0;
            } else if (arg == "--flavour") {
                needs(value && (!std::strcmp(value, "prologix") || !std::strcmp(value, "ar488")));
                options.flavour = !std::strcmp(value, "ar488")
                                      ? emulators::AdapterFlavour::Ar488
                                      : emulators::AdapterFlavour::Prologix;
            } else if (arg == "--bench") {
                needs(value != nullptr);
                bench = value;
            } else if (arg == "--board") {
                needs(value && numberArg(value, 0, 15, n));
                options.boardIndex = int(n);
            } else if (arg == "--tcp") {
                needs(value && numberArg(value, 0, 65535, n));
                line.tcp = true;
                line.port = int(n);
            } else if (arg == "--bind" || arg == "--link") {
                needs(value != nullptr);
                (arg == "--bind" ? line.bind : line.link) = value;
            } else if (arg == "--fault") {
                needs(value && emulators::parseAdapterFault(value, options.fault));
            } else if (arg == "--fault-after" || arg == "--fault-times") {
                needs(value && numberArg(value, 0, 1000000000, n));
                (arg == "--fault-after" ? options.faultAfter : options.faultTimes) = n;
            } else if (arg == "--instant") {
                instant = true;
            } else if (arg == "--count-lines") {
                countLines = true;
            } else if (arg == "--exit-on-stdin-eof") {
                exitOnEof = true;
            } else {
                return usage("unknown option " + arg);
            }
        } catch (const std::string& problem) {
            return usage(problem);
        }
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
    emulators::AdapterEmulator adapter(
        served, options,
        {[&](const std::string& bytes) { return server.write(bytes); }, [&] { server.hangUp(); }});
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
