// The numeric value of whatever the operator types, and its rounding to a
// 16-bit integer: never a crash, and a value that comes back fits.

#include <cmath>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool wide = input.number<uint8_t>() & 1;
    const Text text = wide ? input.restAsText() : input.restAsLatin1();
    const double value = NumericValue(text);
    const std::optional<int16_t> rounded = RoundToInt16(value);
    if (rounded) {
        FUZZ_CHECK(std::fabs(value - *rounded) <= 0.5);
    } else {
        FUZZ_CHECK(!(value >= -32768.5 && value <= 32767.5) || std::isnan(value));
    }
    FUZZ_CHECK(ReadInt16(text) == rounded);
    // Number texts of what came out read back as the same value.
    if (rounded) {
        FUZZ_CHECK(ReadInt16(NumberText(static_cast<long long>(*rounded))) == rounded);
    }
    return 0;
}
