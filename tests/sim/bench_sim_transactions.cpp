// Throughput of the simulated bench in instant timing: one transaction is a
// query sent and its answer received, on an instrument of pyvisa-sim's own
// file. Run by hand: build-*/bin/bench_sim_transactions. The bench must stay
// well above a million transactions a second.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdlib>
#include <fstream>

#include "gpib/gpib32.h"
#include "sim/gpib_sim.h"

namespace {

struct Driver {
    void* handle = nullptr;
    Send_fn send = nullptr;
    Receive_fn receive = nullptr;
    ThreadIbsta_fn ibsta = nullptr;
    bool ready = false;

    Driver() {
        setenv("GPIB_SIM_INSTANT", "1", 1);
        handle = dlopen(GPIB_SIM_LIBRARY, RTLD_NOW);
        if (!handle || !std::ifstream(PYVISA_DEFAULT_YAML))
            return;
        auto reload = reinterpret_cast<GpibSimReload_fn>(dlsym(handle, "GpibSimReload"));
        send = reinterpret_cast<Send_fn>(dlsym(handle, "Send"));
        receive = reinterpret_cast<Receive_fn>(dlsym(handle, "Receive"));
        ibsta = reinterpret_cast<ThreadIbsta_fn>(dlsym(handle, "ThreadIbsta"));
        auto ifc = reinterpret_cast<SendIFC_fn>(dlsym(handle, "SendIFC"));
        ready = reload && send && receive && ifc && reload(PYVISA_DEFAULT_YAML) == 0;
        if (ready)
            ifc(0);
    }
};

void EntryPoints(benchmark::State& state) {
    static Driver d;
    if (!d.ready)
        return state.SkipWithError("no simulated bench or no default.yaml");
    char buf[100];
    for (auto _ : state) {
        d.send(0, 8, "?IDN\n", 5, GPIB_DABend);
        d.receive(0, 8, buf, sizeof buf, '\n');
        benchmark::DoNotOptimize(buf);
    }
    if (d.ibsta() & GPIB_ERR)
        state.SkipWithError("the transaction failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EntryPoints);

void ThroughTheWrappers(benchmark::State& state) {
    static Driver d;  // loads the bench for this process
    auto library = DriverLibrary::Open(GPIB_SIM_LIBRARY);
    GPIB32 gpib(*library);
    Text query = FromUtf8("?IDN\n");
    Text buf(100, u' ');
    for (auto _ : state) {
        gpib.Send(0, 8, query, GPIB_DABend);
        gpib.Receive(0, 8, buf, 10);
    }
    if (gpib.ibsta & GPIB_ERR)
        state.SkipWithError("the transaction failed");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ThroughTheWrappers);

}  // namespace

BENCHMARK_MAIN();
