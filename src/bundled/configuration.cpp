#include "bundled/configuration.h"

#include <cstdlib>

#include "sim/bench.h"
#include "sim/bench_loader.h"
#include "sim/builtin_bench.h"

namespace bundled {

Configuration benchConfiguration(const std::string& path, bool instant) {
    sim::LoadResult r = path.empty() ? sim::loadBenchText(sim::builtinBenchText(), "built-in bench")
                                     : sim::loadBenchFile(path);
    Configuration c;
    if (!r.bench) {
        c.description = r.problem;
        return c;
    }
    c.notes = r.bench->notes;
    c.description = "simulated bench, " + r.bench->source;
    auto bench = std::make_unique<sim::Bench>(std::move(*r.bench), instant);
    c.instantTiming = bench->clock().instant();
    c.driver = std::move(bench);
    return c;
}

Configuration environmentConfiguration(bool instant) {
    const char* bench = std::getenv("GPIB_SIM_BENCH");
    return benchConfiguration(bench ? bench : "", instant);
}

}  // namespace bundled
