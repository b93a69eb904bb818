// The handlers on the toolkit-free window against the bare driver calls they
// make: Send with Auto Query, one loop tick, and the listener search at
// several bus populations.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench_window.h"
#include "bus/listener_search.h"
#include "messaging/command_send.h"
#include "messaging/repeating_loops.h"

namespace {

constexpr int kDevice = 8;
constexpr int kStopAtLF = '\n';
const std::string kIdnBench = BENCH_FILES "/idn40.yaml";

// One query as the window makes it: the bare entry points, and after each the
// four status values the call layer reads.
void bareQuery(SimBench& sim, char (&answer)[100]) {
    sim.send(0, kDevice, "*IDN?\n", 6, GPIB_DABend);
    sim.readStatus();
    sim.receive(0, kDevice, answer, sizeof answer, kStopAtLF);
    sim.readStatus();
}

void Handler_SendAutoQuery(benchmark::State& state) {
    BenchWindow bench(kIdnBench);
    if (bench.failed())
        return state.SkipWithError(bench.problem().c_str());
    Window& w = bench.w();
    w.combCmd.setText(u"*IDN?");
    for (auto _ : state) {
        cmdSend_Click(w);
    }
    if (w.txtError.visible() || w.txtResults.text() != u"SIMULATED BENCH,FORTY-BYTE,0000001,1.00")
        state.SkipWithError("the query did not show the identification");
}
BENCHMARK(Handler_SendAutoQuery);

void Handler_BareCalls(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(kIdnBench))
        return state.SkipWithError("no simulated bench");
    char answer[100];
    for (auto _ : state) {
        bareQuery(sim, answer);
        benchmark::DoNotOptimize(answer);
    }
    if ((sim.ibsta() & GPIB_ERR) != 0 || sim.ibcntl() != 40)
        state.SkipWithError("the transaction failed");
}
BENCHMARK(Handler_BareCalls);

// Both loops running: the identification loop and the command loop each make
// one query per tick.
void LoopTick_Timer1(benchmark::State& state) {
    BenchWindow bench(kIdnBench);
    if (bench.failed())
        return state.SkipWithError(bench.problem().c_str());
    Window& w = bench.w();
    w.cmdIDNtst.press();
    w.combCmd.setText(u"*IDN?");
    w.cmdCmdtst.press();
    if (w.IDNTestFlg != 1 || w.CMDloopFlg != 1)
        return state.SkipWithError("the loops did not start");
    for (auto _ : state) {
        Timer1_Timer(w);
    }
    if (w.TestHalt != 0 || w.txtError.visible() || w.LpCount == 0)
        state.SkipWithError("the loops halted");
}
BENCHMARK(LoopTick_Timer1);

void LoopTick_BareCalls(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(kIdnBench))
        return state.SkipWithError("no simulated bench");
    char answer[100];
    for (auto _ : state) {
        bareQuery(sim, answer);
        bareQuery(sim, answer);
        benchmark::DoNotOptimize(answer);
    }
    if ((sim.ibsta() & GPIB_ERR) != 0)
        state.SkipWithError("the transaction failed");
}
BENCHMARK(LoopTick_BareCalls);

// --- Listener search ------------------------------------------------------

// A bus of n instruments at primary addresses 1..n; every second one listens
// only at a secondary address. Written once per process into a folder of its
// own, removed at exit.
class Populations {
  public:
    static const std::string& bench(int n) {
        static Populations files;
        auto [it, added] = files.m_paths.try_emplace(n);
        if (added)
            it->second = files.write(n);
        return it->second;
    }

    static bool atSecondary(int pad) { return pad % 2 == 0; }

    // The addresses the bench examines for pads 1..probed of a bus of n: one
    // check where a primary listens, else the primary and its 31 secondaries.
    static long addressesProbed(int n, int probed) {
        long checks = 0;
        for (int pad = 1; pad <= probed; ++pad) checks += (pad <= n && !atSecondary(pad)) ? 1 : 32;
        return checks;
    }

  private:
    Populations()
        : m_dir(std::filesystem::temp_directory_path() /
                ("tm-bench-" + std::to_string(static_cast<long>(getpid())))) {
        std::filesystem::create_directories(m_dir);
    }
    ~Populations() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    std::string write(int n) const {
        const std::filesystem::path path = m_dir / ("bus-" + std::to_string(n) + ".yaml");
        std::ofstream out(path);
        out << "spec: \"1.1\"\n"
               "devices:\n"
               "  meter:\n"
               "    eom:\n"
               "      GPIB INSTR: {q: \"\\n\", r: \"\\n\"}\n"
               "    error: ERROR\n"
               "    dialogues:\n"
               "      - {q: \"*IDN?\", r: \"SIMULATED BENCH,METER,1,1.0\"}\n"
               "resources:\n";
        for (int pad = 1; pad <= n; ++pad) {
            out << "  GPIB0::" << pad;
            if (atSecondary(pad))
                out << "::" << pad % 31;
            out << "::INSTR: {device: meter}\n";
        }
        return path.string();
    }

    std::filesystem::path m_dir;
    std::map<int, std::string> m_paths;
};

void ListenerSearch_Handler(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    BenchWindow bench(Populations::bench(n));
    if (bench.failed())
        return state.SkipWithError(bench.problem().c_str());
    Window& w = bench.w();
    for (auto _ : state) {
        cmdFindLstn_Click(w);
    }
    if (w.gpib.ibcnt != n || w.txtError.visible())
        state.SkipWithError("the search did not find every listener");
    state.counters["listeners"] = n;
    state.counters["probed"] = static_cast<double>(Populations::addressesProbed(n, 30));
}

// The call the handler makes: the primaries 1-30 (the controller is at 0).
void ListenerSearch_Bare(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int probed = static_cast<int>(state.range(1));
    SimBench& sim = SimBench::get();
    if (!sim.serve(Populations::bench(n)))
        return state.SkipWithError("no simulated bench");
    std::array<Addr4882_t, 32> pads{};
    for (int i = 0; i < probed; ++i) pads[static_cast<size_t>(i)] = static_cast<Addr4882_t>(i + 1);
    pads[static_cast<size_t>(probed)] = GPIB_NOADDR;
    std::array<Addr4882_t, kFoundListCells> found{};
    for (auto _ : state) {
        sim.findLstn(0, pads.data(), found.data(), 32);
        sim.readStatus();
        benchmark::DoNotOptimize(found.data());
    }
    int listening = 0;
    for (int pad = 1; pad <= probed && pad <= n; ++pad) ++listening;
    if ((sim.ibsta() & GPIB_ERR) != 0 || sim.ibcnt() != listening)
        state.SkipWithError("the search did not find every listener");
    state.counters["listeners"] = listening;
    state.counters["probed"] = static_cast<double>(Populations::addressesProbed(n, probed));
}

// Bus populations: the handler always probes all 30 primaries.
BENCHMARK(ListenerSearch_Handler)->Arg(2)->Arg(8)->Arg(16)->Arg(30);
BENCHMARK(ListenerSearch_Bare)->Args({2, 30})->Args({8, 30})->Args({16, 30})->Args({30, 30});
// Probe counts on the full bus.
BENCHMARK(ListenerSearch_Bare)->Args({30, 4})->Args({30, 8})->Args({30, 16});

}  // namespace
