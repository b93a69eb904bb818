#include "sim/sim_host.h"

#include "sim/bench_loader.h"
#include "sim/builtin_bench.h"

namespace sim::host {

ThreadStatus& threadStatus() {
    thread_local ThreadStatus status;
    return status;
}

int Host::load(const char* pathOrNull) {
    const char* env = std::getenv("GPIB_SIM_BENCH");
    std::string path = pathOrNull ? pathOrNull : (env ? env : "");
    LoadResult r =
        path.empty() ? loadBenchText(builtinBenchText(), "built-in bench") : loadBenchFile(path);
    const char* instant = std::getenv("GPIB_SIM_INSTANT");
    const char* tracePath = std::getenv("GPIB_SIM_TRACE");
    trace.open(tracePath ? tracePath : "");
    loaded = true;
    bench.reset();
    notes.clear();
    if (!r.bench) {
        description = r.problem;
        trace.line("# " + description);
        return -1;
    }
    for (const auto& n : r.bench->notes) notes += n + "\n";
    description = "simulated bench, " + r.bench->source;
    bench = std::make_unique<Bench>(std::move(*r.bench), instant && std::string(instant) == "1");
    trace.line("# " + description + (bench->clock().instant() ? " (instant timing)" : ""));
    return 0;
}

Host& host() {
    static Host* h = new Host;  // lives as long as the process: no teardown-order surprises
    return *h;
}

}  // namespace sim::host
