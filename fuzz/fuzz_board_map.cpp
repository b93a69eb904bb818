// Any board map: read or refused with a sentence naming the map, never a
// crash or a hang. Nothing is opened: reading a map builds no board.

#include <cstdint>
#include <string_view>

#include "bundled/board_map.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bundled::BoardMapResult result = bundled::loadBoardMapText(text, "fuzz.yaml");
    if (!result.map) {
        FUZZ_CHECK(result.problem.rfind("board map fuzz.yaml", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(!result.map->boards.empty());
    for (const auto& b : result.map->boards)
        FUZZ_CHECK(b.index >= 0 && b.index <= 15 && b.controllerAddress >= 0 &&
                   b.controllerAddress <= 30);
    return 0;
}
