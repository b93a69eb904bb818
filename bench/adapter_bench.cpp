// The adapter figures: *IDN? queries per second through the emulated adapter
// (answering at once, --instant) over a pseudo-terminal and over TCP, read
// the fast and the safe way, against pyvisa-py's Prologix backend on the same
// emulator, round by round;
// an instrument that never asserts EOI against one that does; the lines the
// driver writes per query; and the listener search with three instruments in
// real bus timing. Prints the rows of the benchmark table; exits 1 when a
// goal is missed.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "adapters/adapter_board.h"
#include "adapters/emulator_process.h"
#include "rate_child.h"
#include "table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr gpibdrv::BusAddress kDmm{9, -1}, kOld{10, -1};
constexpr gpibdrv::Timeout kThreeSeconds{12};
constexpr int kRounds = 5, kRoundMs = 300;

struct Emulator {
    std::unique_ptr<EmulatorProcess> process;
    adapters::AdapterOptions options;
};

Emulator startEmulator(bool ar488, bool tcp, const char* bench, bool instant,
                       const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{"--flavour", ar488 ? "ar488" : "prologix", "--bench",
                                  std::string(BENCH_FILES) + "/" + bench};
    if (instant)
        args.push_back("--instant");
    if (tcp)
        args.insert(args.end(), {"--tcp", "0"});
    args.insert(args.end(), extra.begin(), extra.end());
    Emulator e;
    e.process = std::make_unique<EmulatorProcess>(args);
    e.options.flavour = ar488 ? adapters::Flavour::Ar488 : adapters::Flavour::Prologix;
    if (tcp)
        e.options.host = "127.0.0.1", e.options.tcpPort = std::atoi(e.process->where().c_str());
    else
        e.options.port = e.process->where();
    e.options.secondaries = {{5, 1}};
    return e;
}

std::unique_ptr<gpibdrv::Board> openBoard(const Emulator& e,
                                          adapters::ReadWay way = adapters::ReadWay::Probe) {
    adapters::AdapterOptions options = e.options;
    options.reads = way;
    auto board = adapters::makeAdapterBoard(options);
    std::string reason;
    if (!e.process->started() || board->open(reason) != gpibdrv::kDone)
        return nullptr;
    return board;
}

// One query as the window makes it: Send with EOI, Receive to LF.
bool query(gpibdrv::Board& board, gpibdrv::BusAddress at) {
    long n = 0;
    int end = 0;
    char answer[100];
    return board.send(at, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, kThreeSeconds, n) ==
               gpibdrv::kDone &&
           board.receive(at, answer, sizeof answer, '\n', kThreeSeconds, n, end) ==
               gpibdrv::kDone &&
           n == 19;
}

// Queries per second to a and to b for a round's time, one to each in turn
// (so that a busy machine slows both alike), after two each not counted: an
// instrument without EOI shows it in its first answer, which the adapter
// reads to its timeout (half a second) while the next query waits.
std::pair<double, double> rates(gpibdrv::Board& board, gpibdrv::BusAddress a,
                                gpibdrv::BusAddress b) {
    for (int i = 0; i < 2; ++i)
        if (!query(board, a) || !query(board, b))
            return {0, 0};
    const auto start = Clock::now();
    Clock::duration spent[2] = {};
    long n = 0;
    for (; Clock::now() - start < std::chrono::milliseconds(kRoundMs); ++n) {
        for (int i = 0; i < 2; ++i) {
            const auto t = Clock::now();
            if (!query(board, i == 0 ? a : b))
                return {0, 0};
            spent[i] += Clock::now() - t;
        }
    }
    auto perSecond = [&](Clock::duration d) {
        return double(n) / std::chrono::duration<double>(d).count();
    };
    return {perSecond(spent[0]), perSecond(spent[1])};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// pyvisa_prologix_rate.py as a child, on PEERS_DIR's pyvisa and pyvisa-py:
// a duration in, a rate out.
class Peer : public RateChild {
  public:
    Peer(const std::string& peers, const std::string& resource)
        : RateChild({PEER_SCRIPT, resource, "9"}, peers + "/pyvisa:" + peers + "/pyvisa-py") {}
};

std::string peerResource(const Emulator& e) {
    return e.options.host.empty()
               ? "PRLGX-ASRL0::" + e.options.port + "::INTFC"
               : "PRLGX-TCPIP0::127.0.0.1::" + std::to_string(e.options.tcpPort) + "::INTFC";
}

double findListenersSeconds(gpibdrv::Board& board, size_t& found) {
    std::vector<int> pads;
    for (int pad = 1; pad <= 30; ++pad) pads.push_back(pad);
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        std::vector<gpibdrv::BusAddress> listeners;
        const auto start = Clock::now();
        if (board.findListeners(pads, 31, listeners) != gpibdrv::kDone)
            return -1;
        runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        found = listeners.size();
    }
    return median(runs);
}

}  // namespace

int main() {
    bool met = true;
    const char* peers = std::getenv("PEERS_DIR");
    const bool withPeer = peers && *peers;
    if (!withPeer)
        std::printf(
            "adapter_bench: PEERS_DIR names no folder with pyvisa and pyvisa-py, so "
            "pyvisa-py's Prologix backend is not measured\n");
    for (bool ar488 : {false, true}) {
        const char* name = ar488 ? "AR488" : "Prologix";
        for (bool tcp : {false, true}) {
            const std::string route = std::string(name) + (tcp ? " over TCP" : " over a pty");
            // Rounds in turn on one emulator: each side has the line alone.
            Emulator e = startEmulator(ar488, tcp, "adapter_idn.yaml", true);
            std::unique_ptr<Peer> peer;
            if (withPeer)
                peer = std::make_unique<Peer>(peers, peerResource(e));
            std::vector<double> fastRates, safeRates, theirs;
            for (int round = 0; round < kRounds; ++round) {
                if (auto board = openBoard(e, adapters::ReadWay::Fast))
                    fastRates.push_back(rates(*board, kDmm, kDmm).first);
                if (auto board = openBoard(e, adapters::ReadWay::Safe))
                    safeRates.push_back(rates(*board, kDmm, kDmm).first);
                if (peer && peer->ready())
                    theirs.push_back(peer->rate(kRoundMs));
            }
            const double them = median(theirs);
            for (const auto& [way, ours, goal] :
                 {std::tuple{"fast", median(fastRates), 1.5}, {"safe", median(safeRates), 1.0}}) {
                const std::string figure =
                    std::string("adapter *IDN?/s, ") + way + " way: " + route;
                const std::string wanted = formatted(">= %.1f", goal);
                if (withPeer) {
                    const bool good = them > 0 && ours >= goal * them;
                    met = met && good;
                    printTableRow({figure, formatted("%.0f/s", ours),
                                   formatted("%.0f/s pyvisa-py", them), them > 0 ? ours / them : 0,
                                   wanted, them > 0 ? verdict(good) : "pyvisa-py did not run"});
                } else {
                    printTableRow({figure, formatted("%.0f/s", ours), "pyvisa-py: no PEERS_DIR", 0,
                                   wanted, "not compared"});
                }
            }
            // Without EOI against with EOI, in real time: there the adapter's
            // read timeout takes its time (half a second on the first read).
            Emulator real = startEmulator(ar488, tcp, "adapter_idn.yaml", false);
            std::vector<double> with, without;
            for (int round = 0; round < kRounds; ++round) {
                if (auto board = openBoard(real)) {
                    auto [a, b] = rates(*board, kDmm, kOld);
                    with.push_back(a);
                    without.push_back(b);
                }
            }
            const double eoi = median(with), plain = median(without);
            const bool same = eoi > 0 && plain >= 0.8 * eoi;
            met = met && same;
            printTableRow({"adapter *IDN?/s without EOI: " + route, formatted("%.0f/s", plain),
                           formatted("%.0f/s with EOI", eoi), eoi > 0 ? plain / eoi : 0, ">= 0.8",
                           verdict(same)});
        }
        // An adapter that ends a read when host input arrives: read the way
        // opening finds (safe), against pyvisa-py on the same adapter.
        {
            Emulator e =
                startEmulator(ar488, false, "adapter_idn.yaml", true, {"--read-ends-on-input"});
            std::unique_ptr<Peer> peer;
            if (withPeer)
                peer = std::make_unique<Peer>(peers, peerResource(e));
            std::vector<double> ours, theirs;
            for (int round = 0; round < kRounds; ++round) {
                if (auto board = openBoard(e))
                    ours.push_back(rates(*board, kDmm, kDmm).first);
                if (peer && peer->ready())
                    theirs.push_back(peer->rate(kRoundMs));
            }
            const double us = median(ours), them = median(theirs);
            const bool good = !withPeer || (them > 0 && us >= them);
            met = met && good;
            printTableRow(
                {std::string("adapter *IDN?/s, host input ends reads: ") + name + " over a pty",
                 formatted("%.0f/s", us),
                 withPeer ? formatted("%.0f/s pyvisa-py", them)
                          : std::string("pyvisa-py: no PEERS_DIR"),
                 them > 0 ? us / them : 0, ">= 1.0",
                 !withPeer  ? "not compared"
                 : them > 0 ? verdict(good)
                            : "pyvisa-py did not run"});
        }
        // Lines per query with an unchanged address, counted by the emulator
        // ("lines: ++addr 1, ++read 200, ++ver 201, ..., data 200"), beyond
        // what opening alone sends.
        for (adapters::ReadWay way : {adapters::ReadWay::Fast, adapters::ReadWay::Safe}) {
            const bool fast = way == adapters::ReadWay::Fast;
            auto counted = [&](long queries, bool& ok) {
                Emulator c =
                    startEmulator(ar488, false, "adapter_idn.yaml", true, {"--count-lines"});
                auto board = openBoard(c, way);
                ok = board != nullptr;
                for (long i = 0; ok && i < queries; ++i) ok = query(*board, kDmm);
                board.reset();
                return c.process->stop();
            };
            auto count = [](const std::string& counts, const std::string& kind) {
                size_t at = counts.find(" " + kind + " ");
                return at == std::string::npos ? 0L
                                               : std::atol(counts.c_str() + at + kind.size() + 2);
            };
            const long queries = 200;
            bool opened = false, ok = false;
            const std::string base = counted(0, opened), counts = counted(queries, ok);
            auto more = [&](const char* kind) { return count(counts, kind) - count(base, kind); };
            // One ++ver behind each ++read; the safe way sends it in front of the
            // next command, so the last read's is not sent.
            const bool threeLines =
                opened && ok && more("data") == queries && more("++read") == queries &&
                more("++ver") == (fast ? queries : queries - 1) && more("++addr") == 1;
            met = met && threeLines;
            printTableRow(
                {std::string("adapter lines per query, same address, ") + (fast ? "fast" : "safe") +
                     " way: " + name,
                 formatted("%.2f", double(more("data") + more("++read") + more("++ver")) / queries),
                 "1 ++addr in all", 0, "3 (data, ++read, ++ver)", verdict(threeLines)});
        }

        Emulator f = startEmulator(ar488, false, "three_instruments.yaml", false);
        auto finder = openBoard(f);
        size_t found = 0;
        const double s = finder ? findListenersSeconds(*finder, found) : -1;
        const double goal = ar488 ? 0.5 : 2.0;
        const bool good = s >= 0 && s < goal && found == 3;
        met = met && good;
        printTableRow({std::string("adapter Find Listeners, 3 instruments: ") + name,
                       formatted("%.3f s", s), formatted("%.0f found", double(found)), 0,
                       formatted("< %.1f s", goal), verdict(good)});
    }
    return met ? 0 : 1;
}
