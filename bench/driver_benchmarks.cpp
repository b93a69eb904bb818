// The call layer against bare entry points (trace off and on), and the
// simulated bench's own throughput. Every loop is one query transaction: a
// Send and a Receive.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "sim_bench.h"

namespace {

constexpr char kQuery[] = "*IDN?\n";
constexpr long kQueryBytes = sizeof kQuery - 1;
constexpr int kDevice = 8;
constexpr int kStopAtLF = '\n';

// Checks the last transaction answered the whole identification.
void checkAnswer(benchmark::State& state, long expected) {
    SimBench& sim = SimBench::get();
    if ((sim.ibsta() & GPIB_ERR) != 0 || sim.ibcntl() != expected)
        state.SkipWithError("the transaction failed or answered something else");
}

void CallLayer_Direct(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(BENCH_FILES "/idn40.yaml"))
        return state.SkipWithError("no simulated bench");
    char answer[100];
    for (auto _ : state) {
        sim.send(0, kDevice, kQuery, kQueryBytes, GPIB_DABend);
        sim.receive(0, kDevice, answer, sizeof answer, kStopAtLF);
        benchmark::DoNotOptimize(answer);
    }
    checkAnswer(state, 40);
}
BENCHMARK(CallLayer_Direct);

void CallLayer_Wrappers(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(BENCH_FILES "/idn40.yaml"))
        return state.SkipWithError("no simulated bench");
    auto library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
    GPIB32 gpib(*library);
    // As the window calls them: the message, and a buffer of 100 blanks.
    Text query = FromUtf8(kQuery);
    Text answer(100, u' ');
    for (auto _ : state) {
        gpib.Send(0, kDevice, query, GPIB_DABend);
        gpib.Receive(0, kDevice, answer, kStopAtLF);
        benchmark::DoNotOptimize(answer.data());
    }
    checkAnswer(state, 40);
}
BENCHMARK(CallLayer_Wrappers);

// The same with the trace on as GPIB_TRACE turns it on: every call formatted,
// written to a file on the local disk (the build folder) and kept in the feed.
void CallLayer_Traced(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(BENCH_FILES "/idn40.yaml"))
        return state.SkipWithError("no simulated bench");
    auto library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
    GPIB32 gpib(*library);
    const std::string path = BENCH_TRACE_DIR "/call-layer-trace.log";
    std::remove(path.c_str());
    if (!gpib.Trace().openFile(path, library->Path()))
        return state.SkipWithError(gpib.Trace().problem().c_str());
    Text query = FromUtf8(kQuery);
    Text answer(100, u' ');
    for (auto _ : state) {
        gpib.Send(0, kDevice, query, GPIB_DABend);
        gpib.Receive(0, kDevice, answer, kStopAtLF);
        benchmark::DoNotOptimize(answer.data());
    }
    checkAnswer(state, 40);
    gpib.Trace().closeFile();
    std::remove(path.c_str());
}
BENCHMARK(CallLayer_Traced);

// pyvisa-sim's own bench file, its GPIB0::8 instrument, its "?IDN" dialogue.
void SimBench_Transactions(benchmark::State& state) {
    SimBench& sim = SimBench::get();
    if (!sim.serve(PYVISA_DEFAULT_YAML))
        return state.SkipWithError("no simulated bench or no default.yaml");
    char answer[100];
    for (auto _ : state) {
        sim.send(0, kDevice, "?IDN\n", 5, GPIB_DABend);
        sim.receive(0, kDevice, answer, sizeof answer, kStopAtLF);
        benchmark::DoNotOptimize(answer);
    }
    if (std::memcmp(answer, "LSG Serial #1234\n", 17) != 0)
        state.SkipWithError("the instrument answered something else");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SimBench_Transactions);

}  // namespace
