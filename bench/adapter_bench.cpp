// The adapter figures: *IDN? queries per second through the emulated adapter
// over a pseudo-terminal and over TCP, the lines the driver writes per query,
// and the listener search with three instruments on each flavour. The
// emulator runs in real bus timing (its adapter timeouts take real time).
// Prints the rows of the benchmark table; exits 1 when a goal is missed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "adapters/adapter_board.h"
#include "adapters/emulator_process.h"
#include "table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr gpibdrv::BusAddress kDmm{9, -1};
constexpr gpibdrv::Timeout kThreeSeconds{12};

struct Adapter {
    std::unique_ptr<EmulatorProcess> emulator;
    std::unique_ptr<gpibdrv::Board> board;
};

Adapter start(bool ar488, bool tcp, const std::vector<std::string>& extra = {},
              int quietMs = adapters::AdapterOptions().quietMs) {
    std::vector<std::string> args{"--flavour", ar488 ? "ar488" : "prologix", "--bench",
                                  BENCH_FILES "/three_instruments.yaml"};
    if (tcp)
        args.insert(args.end(), {"--tcp", "0"});
    args.insert(args.end(), extra.begin(), extra.end());
    Adapter a;
    a.emulator = std::make_unique<EmulatorProcess>(args);
    adapters::AdapterOptions o;
    o.flavour = ar488 ? adapters::Flavour::Ar488 : adapters::Flavour::Prologix;
    if (tcp)
        o.host = "127.0.0.1", o.tcpPort = std::atoi(a.emulator->where().c_str());
    else
        o.port = a.emulator->where();
    o.secondaries = {{5, 1}};
    o.quietMs = quietMs;
    a.board = adapters::makeAdapterBoard(o);
    std::string reason;
    if (!a.emulator->started() || a.board->open(reason) != gpibdrv::kDone)
        a.board.reset();
    return a;
}

// One query as the window makes it: Send with EOI, Receive to LF.
bool query(gpibdrv::Board& board) {
    long n = 0;
    int end = 0;
    char answer[100];
    return board.send(kDmm, "*IDN?\n", 6, gpibdrv::EndMode::EoiOnLast, kThreeSeconds, n) ==
               gpibdrv::kDone &&
           board.receive(kDmm, answer, sizeof answer, '\n', kThreeSeconds, n, end) ==
               gpibdrv::kDone &&
           n == 19;
}

double queriesPerSecond(gpibdrv::Board& board) {
    if (!query(board))
        return 0;
    int done = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(2) && query(board)) ++done;
    return done / std::chrono::duration<double>(Clock::now() - start).count();
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
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main() {
    bool met = true;
    for (bool ar488 : {false, true}) {
        const char* name = ar488 ? "AR488" : "Prologix";
        for (bool tcp : {false, true}) {
            Adapter a = start(ar488, tcp);
            const double rate = a.board ? queriesPerSecond(*a.board) : 0;
            // The reference: the same with a 1 ms quiet time after the EOI
            // mark, which is what bounds the rate (see read_tracker.h).
            Adapter fast = start(ar488, tcp, {}, 1);
            const double ref = fast.board ? queriesPerSecond(*fast.board) : 0;
            printTableRow(
                {std::string("adapter *IDN?/s: ") + name + (tcp ? " over TCP" : " over a pty"),
                 formatted("%.0f/s", rate), formatted("%.0f/s quiet 1 ms", ref),
                 ref > 0 ? rate / ref : 0, "none: for scale", rate > 0 ? "" : "did not run"});
        }
        // Lines per query with an unchanged address, counted by the emulator:
        // "lines: ++addr 1, ++read 200, ..., data 200".
        Adapter a = start(ar488, false, {"--count-lines"});
        const long queries = 200;
        bool ok = a.board != nullptr;
        for (long i = 0; ok && i < queries; ++i) ok = query(*a.board);
        a.board.reset();
        const std::string counts = a.emulator->stop();
        auto count = [&](const std::string& kind) {
            size_t at = counts.find(" " + kind + " ");
            return at == std::string::npos ? 0L : std::atol(counts.c_str() + at + kind.size() + 2);
        };
        const bool twoLines =
            ok && count("data") == queries && count("++read") == queries && count("++addr") == 1;
        met = met && twoLines;
        printTableRow({std::string("adapter lines per query, same address: ") + name,
                       formatted("%.2f", double(count("data") + count("++read")) / queries),
                       "1 ++addr in all", 0, "2 (data, ++read)", verdict(twoLines)});

        Adapter f = start(ar488, false);
        size_t found = 0;
        const double s = f.board ? findListenersSeconds(*f.board, found) : -1;
        const double goal = ar488 ? 0.5 : 2.0;
        const bool good = s >= 0 && s < goal && found == 3;
        met = met && good;
        printTableRow({std::string("adapter Find Listeners, 3 instruments: ") + name,
                       formatted("%.3f s", s), formatted("%.0f found", double(found)), 0,
                       formatted("< %.1f s", goal), verdict(good)});
    }
    return met ? 0 : 1;
}
