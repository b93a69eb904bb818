#pragma once
// Loads a bench file: the device-definition format (spec, devices, resources)
// plus our "gpib" section. A file that cannot serve as a whole bench is
// refused with one sentence naming the file, the line and the reason; a key
// or resource we do not simulate is skipped with a note.

#include <optional>
#include <string>
#include <string_view>

#include "sim/bench_definition.h"

namespace sim {

struct LoadResult {
    std::optional<BenchDefinition> bench;
    std::string problem;  // the refusal, for the operator, when bench is empty
};

// Files larger than this are refused unread.
constexpr size_t kMaxBenchFileBytes = 4 * 1024 * 1024;

LoadResult loadBenchFile(const std::string& path);

// The bench file at path, or the built-in bench for "".
LoadResult loadBench(const std::string& path);

// source names the text in messages and in BenchDefinition::source: "built-in
// bench", or "bench file <path>" for loadBenchFile.
LoadResult loadBenchText(std::string_view text, const std::string& source);

}  // namespace sim
