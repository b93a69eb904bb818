#include "sim/sim_host.h"

#include "sim/bench_loader.h"
#include "sim/builtin_bench.h"

namespace sim::host {

// The status is read after every driver call, three entry points at a time:
// initial-exec spares each read the __tls_get_addr call of a loaded library
// (the 16 bytes fit the static TLS space glibc keeps for dlopen).
#if defined(__GNUC__) && defined(__ELF__)
#define SIM_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define SIM_FAST_TLS
#endif

ThreadStatus& threadStatus() {
    SIM_FAST_TLS thread_local ThreadStatus status;
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

namespace {

Host*& hostSlot() {
    static Host* h = new Host;  // no static destructor: no teardown-order surprises
    return h;
}

// Runs when the library is closed (dlclose) or after every static destructor
// at exit, when nothing can call in any more. Without it each close and reopen
// (tests do it for every bench) would leave a whole bench behind.
#if defined(__GNUC__)
__attribute__((destructor)) void releaseHost() {
    delete hostSlot();
    hostSlot() = nullptr;
}
#endif

}  // namespace

Host& host() {
    return *hostSlot();
}

}  // namespace sim::host
