#pragma once
// What an emulated adapter or gateway serves: one board of a simulated bench,
// driven through the same bus operations the bundled driver uses.

#include <memory>
#include <string>

#include "sim/sim_board.h"

namespace emulators {

struct ServedBench {
    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<sim::SimBoard> board;  // made controller in charge
    std::string problem;                   // why the bench was refused (board empty)
};

// The bench file at path ("" for the built-in bench); its board with this index.
ServedBench serveBench(const std::string& path, int boardIndex, bool instant);

}  // namespace emulators
