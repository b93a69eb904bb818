#pragma once
// The bench served when GPIB_SIM_BENCH names no file.

#include <string_view>

namespace sim {

// The built-in bench, as bench-file text (it doubles as the example of the
// format).
std::string_view builtinBenchText();

}  // namespace sim
