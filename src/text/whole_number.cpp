#include <charconv>

#include "text/text.h"

std::string WholeNumberProblem(std::string_view text, long low, long high) {
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size() && value >= low &&
        value <= high)
        return {};
    return std::string(text) + " is not a number it takes (" + std::to_string(low) + " to " +
           std::to_string(high) + ")";
}
