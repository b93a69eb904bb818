// The figures of tm-gateway, the VXI-11 server, as rows of the benchmark table:
//   what the server (and loopback) adds to an *IDN? query: our gateway kind
//   through tm-gateway to a simulated board in instant timing, against the
//   same simulated board called in-process;
//   queries per second with 1, 2, 4 and 8 clients, on four boards against
//   one board, in real bus timing (a slow bus: a query holds it 25 ms);
//   what a Prologix board served remotely adds to a query over the same
//   board used locally (the emulated adapter, real timing);
//   python-vxi11-server beside tm-gateway when its checkout is at hand
//   ($PEERS_DIR/python-vxi11-server).
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "adapters/adapter_board.h"
#include "adapters/emulator_process.h"
#include "gateway_process.h"
#include "sim/bench_loader.h"
#include "sim/sim_board.h"
#include "table.h"
#include "vxi11/gateway_board.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr gpibdrv::Timeout kThreeSeconds{12};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One *IDN? on a board: true when an answer came.
bool query(gpibdrv::Board& board, gpibdrv::BusAddress at) {
    long sent = 0, got = 0;
    int ended = 0;
    char answer[128];
    return board.send(at, "*IDN?", 5, gpibdrv::EndMode::AppendLf, kThreeSeconds, sent) ==
               gpibdrv::kDone &&
           board.receive(at, answer, sizeof answer, '\n', kThreeSeconds, got, ended) ==
               gpibdrv::kDone &&
           got > 0;
}

// Microseconds per query over n queries (median of rounds); 0 when one failed.
double usPerQuery(gpibdrv::Board& board, gpibdrv::BusAddress at, int n, int rounds = 7) {
    std::vector<double> us;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        for (int i = 0; i < n; ++i)
            if (!query(board, at))
                return 0;
        us.push_back(secondsSince(start) * 1e6 / n);
    }
    return median(us);
}

std::unique_ptr<gpibdrv::Board> gatewayBoard(int corePort, const std::string& interface) {
    vxi11::GatewayOptions o;
    o.host = "127.0.0.1";
    o.corePort = corePort;
    o.interfaceName = interface;
    return vxi11::makeGatewayBoard(o);
}

bool allMet = true;
std::string goal(bool met) {
    allMet = allMet && met;
    return verdict(met);
}

// The server's own time per call, as it counts it ("...; 3.1 us per call").
double serverUsPerCall(const std::string& calls) {
    std::smatch m;
    return std::regex_search(calls, m, std::regex("([0-9.]+) us per call")) ? std::stod(m[1]) : 0;
}

void serverCost() {
    sim::LoadResult r = sim::loadBench("");
    auto bus = std::make_shared<sim::SimBus>(std::move(*r.bench), true);
    sim::SimBoard local(bus, bus->definition().boards.front());
    local.interfaceClear();
    GatewayProcess gateway(TM_GATEWAY, {"--bench", "", "--instant", "--no-portmapper"});
    auto remote = gatewayBoard(gateway.corePort(), "gpib0");
    const double in = usPerQuery(local, {9, -1}, 20000);
    const double through = gateway.running() ? usPerQuery(*remote, {9, -1}, 4000) : 0;
    remote.reset();
    // Two calls a query (device_write, device_read), each from its whole
    // request to its whole answer written, the board's own time within.
    const double own = 2 * serverUsPerCall(gateway.stop());
    printTableRow({"gateway server: its own time per *IDN? (2 calls)", formatted("%.1f us", own),
                   formatted("%.2f us in-process", in), in > 0 ? own / in : 0, "< 25 us",
                   own > 0 ? goal(own < 25) : goal(false) + " did not run"});
    printTableRow({"gateway server: a query through it, loopback", formatted("%.1f us", through),
                   formatted("%.2f us in-process", in), in > 0 ? through / in : 0, "< 25 us added",
                   through > 0
                       ? goal(through - in < 25) + formatted(" (adds %.1f us)", through - in)
                       : goal(false) + " did not run"});
}

// Queries per second of n clients, client i on board i % boards, for a while.
double rate(int corePort, int clients, int boards, double seconds) {
    std::atomic<long> done{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            auto board = gatewayBoard(corePort, "gpib" + std::to_string(i % boards));
            while (Clock::now() < until) {
                if (!query(*board, {9, -1})) {
                    failed = true;
                    return;
                }
                ++done;
            }
        });
    for (auto& t : threads) t.join();
    return failed ? 0 : double(done) / seconds;
}

void boardsSideBySide() {
    GatewayProcess gateway(TM_GATEWAY,
                           {"--bench", BENCH_FILES "/four_boards.yaml", "--no-portmapper"});
    if (!gateway.running()) {
        printTableRow({"gateway: queries/s on 4 boards", "-", "-", 0, "", "did not run"});
        allMet = false;
        return;
    }
    for (int clients : {1, 2, 4, 8}) {
        const double one = rate(gateway.corePort(), clients, 1, 3);
        const double four = rate(gateway.corePort(), clients, 4, 3);
        const bool judged = clients == 8;
        printTableRow({"gateway: *IDN?/s, " + std::to_string(clients) +
                           " clients, 4 boards / 1 board (slow bus)",
                       formatted("%.1f/s", four), formatted("%.1f/s one board", one),
                       one > 0 ? four / one : 0, judged ? "ratio >= 3" : "",
                       judged ? goal(one > 0 && four / one >= 3) : "for scale"});
    }
}

void prologixServedRemotely() {
    // The emulated adapter serves one host at a time: the local board first,
    // then the gateway's.
    EmulatorProcess adapter(
        {"--flavour", "prologix", "--tcp", "0", "--bench", BENCH_FILES "/three_instruments.yaml"});
    adapters::AdapterOptions o;
    o.host = "127.0.0.1";
    o.tcpPort = std::atoi(adapter.where().c_str());
    double local = 0;
    {
        auto board = adapters::makeAdapterBoard(o);
        std::string reason;
        if (adapter.started() && board->open(reason) == gpibdrv::kDone)
            local = usPerQuery(*board, {9, -1}, 200, 5);
    }
    const auto map = std::filesystem::temp_directory_path() /
                     ("tm-gateway-bench-" + std::to_string(getpid()) + ".yaml");
    std::ofstream(map) << "boards:\n  GPIB0: {kind: prologix, host: 127.0.0.1, tcp_port: "
                       << o.tcpPort << "}\n";
    GatewayProcess gateway(TM_GATEWAY, {"--boards", map.string(), "--no-portmapper"});
    double remote = 0;
    if (gateway.running()) {
        auto board = gatewayBoard(gateway.corePort(), "gpib0");
        remote = usPerQuery(*board, {9, -1}, 200, 5);
    }
    std::filesystem::remove(map);
    printTableRow(
        {"gateway: a Prologix served remotely, per *IDN?", formatted("%.0f us", remote),
         formatted("%.0f us locally", local), local > 0 ? remote / local : 0, "for scale",
         remote > 0 && local > 0 ? formatted("adds %.0f us", remote - local) : "did not run"});
}

void peer() {
    const char* peers = std::getenv("PEERS_DIR");
    const std::string checkout = std::string(peers ? peers : "") + "/python-vxi11-server";
    if (!peers || !std::filesystem::exists(checkout + "/vxi11_server")) {
        printTableRow({"peer: python-vxi11-server per *IDN?", "-", "-", 0, "",
                       "not at hand: fetch github:coburnw/python-vxi11-server into "
                       "$PEERS_DIR/python-vxi11-server"});
        return;
    }
    GatewayProcess server(PEER_SCRIPT, {checkout});
    GatewayProcess gateway(TM_GATEWAY, {"--bench", "", "--instant", "--no-portmapper"});
    double theirs = 0, ours = 0;
    if (server.running()) {
        auto board = gatewayBoard(server.corePort(), "gpib0");
        theirs = usPerQuery(*board, {9, -1}, 500, 5);
    }
    if (gateway.running()) {
        auto board = gatewayBoard(gateway.corePort(), "gpib0");
        ours = usPerQuery(*board, {9, -1}, 2000, 5);
    }
    printTableRow({"peer: tm-gateway / python-vxi11-server per *IDN?", formatted("%.1f us", ours),
                   formatted("%.1f us peer", theirs), theirs > 0 ? ours / theirs : 0, "for scale",
                   theirs > 0 ? "same client, same loopback" : "the peer did not start"});
}

}  // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    serverCost();
    boardsSideBySide();
    prologixServedRemotely();
    peer();
    return allMet ? 0 : 1;
}
