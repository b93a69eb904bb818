#include "emulators/served_bench.h"

#include "sim/bench_loader.h"

namespace emulators {

ServedBench serveBench(const std::string& path, int boardIndex, bool instant) {
    sim::LoadResult r = sim::loadBench(path);
    ServedBench served;
    if (!r.bench) {
        served.problem = r.problem;
        return served;
    }
    served.bus = std::make_shared<sim::SimBus>(std::move(*r.bench), instant);
    for (const auto& def : served.bus->definition().boards)
        if (def.index == boardIndex)
            served.board = std::make_unique<sim::SimBoard>(served.bus, def);
    if (!served.board) {
        served.problem = "the bench has no board " + std::to_string(boardIndex);
        return served;
    }
    // An adapter or gateway in controller mode is the controller in charge.
    served.board->interfaceClear();
    return served;
}

}  // namespace emulators
