// The gateway figures, printed as rows of the benchmark table:
//   *IDN? queries per second through the emulated gateway over loopback, with
//   our gateway kind (the bundled library on a board map, as the program
//   calls it) and with pyvisa-py, in interleaved rounds of one run;
//   the RPCs each of our queries costs, counted by the emulator;
//   Find Listeners on a gateway with three instruments, in real bus timing.
//
//   gateway_bench          (paths to the emulator, library and script are built in)
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "abi/gpib_abi.h"
#include "bundled/gpib_sim.h"
#include "gateway_process.h"
#include "rate_child.h"
#include "table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 7;
constexpr int kOurQueries = 2000, kPyvisaQueries = 400, kCountedQueries = 1000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The bundled library with a board map that names the gateway as GPIB0.
struct Bundled {
    void* handle = dlopen(GPIB_SIM_LIBRARY, RTLD_NOW);
    Send_fn send = symbol<Send_fn>("Send");
    Receive_fn receive = symbol<Receive_fn>("Receive");
    FindLstn_fn findLstn = symbol<FindLstn_fn>("FindLstn");
    ThreadIbsta_fn ibsta = symbol<ThreadIbsta_fn>("ThreadIbsta");
    ThreadIbcntl_fn ibcntl = symbol<ThreadIbcntl_fn>("ThreadIbcntl");
    GpibSimReload_fn reload = symbol<GpibSimReload_fn>("GpibSimReload");

    template <typename F>
    F symbol(const char* name) {
        return handle ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    }
    bool usable() const { return send && receive && findLstn && ibsta && ibcntl && reload; }

    bool serveGateway(int corePort) {
        const auto map = std::filesystem::temp_directory_path() /
                         ("tm-gateway-bench-" + std::to_string(getpid()) + ".yaml");
        std::ofstream(map) << "boards:\n  GPIB0: {kind: vxi11, host: 127.0.0.1, interface: gpib0, "
                              "core_port: "
                           << corePort << "}\n";
        setenv("GPIB_BOARDS", map.c_str(), 1);
        const bool served = reload(nullptr) == 0;
        unsetenv("GPIB_BOARDS");
        std::filesystem::remove(map);
        return served;
    }
    // n *IDN? transactions to 9; false when one failed.
    bool queries(int n) {
        char answer[128];
        for (int i = 0; i < n; ++i) {
            send(0, 9, "*IDN?", 5, GPIB_NLend);
            receive(0, 9, answer, sizeof answer, GPIB_STOPend);
            if (ibsta() & GPIB_ERR)
                return false;
        }
        return true;
    }
};

// pyvisa_idn_rate.py as a child: a count in, a rate out.
class PyvisaClient : public RateChild {
  public:
    explicit PyvisaClient(int portmapperPort)
        : RateChild({PYVISA_SCRIPT, std::to_string(portmapperPort)}) {}
};

int countOf(const std::string& calls, const std::string& procedure) {
    std::smatch m;
    return std::regex_search(calls, m, std::regex(procedure + " ([0-9]+)")) ? std::stoi(m[1]) : 0;
}

}  // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    Bundled lib;
    if (!lib.usable()) {
        printTableRow({"gateway figures", "-", "-", 0, "", "the bundled library did not load"});
        return 1;
    }
    bool allMet = true;
    auto goal = [&](bool met) {
        allMet = allMet && met;
        return std::string(verdict(met));
    };

    // Queries per second, ours and pyvisa-py's, round by round.
    {
        GatewayProcess gateway(GATEWAY_EMULATOR,
                               {"--instant", "--portmapper", "--portmapper-port", "0"});
        PyvisaClient pyvisa(gateway.portmapperPort());
        if (!gateway.running() || !lib.serveGateway(gateway.corePort()) || !pyvisa.ready()) {
            printTableRow({"gateway: *IDN?/s", "-", "-", 0, "", "did not run: " + gateway.line()});
            return 1;
        }
        std::vector<double> ours, theirs;
        for (int round = 0; round < kRounds; ++round) {
            const auto start = Clock::now();
            if (!lib.queries(kOurQueries))
                allMet = false;
            ours.push_back(kOurQueries / secondsSince(start));
            theirs.push_back(pyvisa.rate(kPyvisaQueries));
        }
        const double o = median(ours), t = median(theirs);
        printTableRow({"gateway: *IDN?/s over loopback (ours/pyvisa-py)", formatted("%.0f/s", o),
                       formatted("%.0f/s pyvisa-py", t), t > 0 ? o / t : 0, "ratio >= 2",
                       goal(t > 0 && o / t >= 2)});
    }
    // RPCs per query, as the emulator counts them.
    {
        GatewayProcess gateway(GATEWAY_EMULATOR, {"--instant", "--no-portmapper"});
        const bool ran = gateway.running() && lib.serveGateway(gateway.corePort()) &&
                         lib.queries(kCountedQueries);
        lib.reload("");  // the connection closes before the emulator stops
        const std::string calls = gateway.stop();
        const double writes = double(countOf(calls, "device_write")) / kCountedQueries;
        const double reads = double(countOf(calls, "device_read")) / kCountedQueries;
        printTableRow({"gateway: RPCs per *IDN? query (write + read)",
                       formatted("%.3f", writes + reads), "1 write + 1 read", 0, "1 + 1",
                       ran ? goal(writes == 1 && reads == 1) + formatted(" (%.3f writes", writes) +
                                 formatted(", %.3f reads)", reads)
                           : goal(false) + " did not run"});
    }
    // Find Listeners over 30 primaries, three instruments, real bus timing.
    {
        GatewayProcess gateway(GATEWAY_EMULATOR,
                               {"--no-portmapper", "--bench", BENCH_FILES "/gateway_three.yaml"});
        std::vector<double> times;
        long found = 0;
        if (gateway.running() && lib.serveGateway(gateway.corePort())) {
            Addr4882_t pads[31], results[32];
            for (int p = 0; p < 30; ++p) pads[p] = Addr4882_t(p + 1);
            pads[30] = GPIB_NOADDR;
            for (int round = 0; round < 5; ++round) {
                const auto start = Clock::now();
                lib.findLstn(0, pads, results, 31);
                times.push_back(secondsSince(start));
                found = (lib.ibsta() & GPIB_ERR) ? -1 : lib.ibcntl();
            }
        }
        lib.reload("");
        const double t = median(times);
        printTableRow({"gateway: Find Listeners, 3 instruments, 30 pads", formatted("%.3f s", t),
                       "", 0, "< 0.5 s",
                       found == 3 && !times.empty() ? goal(t < 0.5) : goal(false) + " failed"});
    }
    return allMet ? 0 : 1;
}
