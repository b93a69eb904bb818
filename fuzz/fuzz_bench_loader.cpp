// Any bench file: loaded or refused with a sentence, never a crash or a
// hang; a bench that loads can be served.

#include <cstdint>
#include <string_view>

#include "sim/bench.h"
#include "sim/bench_loader.h"

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) {   \
            __builtin_trap(); \
        }                     \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::LoadResult result = sim::loadBenchText(text, "bench file fuzz.yaml");
    if (!result.bench) {
        FUZZ_CHECK(!result.problem.empty());
        return 0;
    }
    sim::Bench bench(std::move(*result.bench), true);
    return 0;
}
