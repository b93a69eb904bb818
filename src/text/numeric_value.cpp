// The numeric value of a text, read the way the operator's numbers have
// always been read: blanks ignored, a leading number, the rest dropped.

#include <charconv>
#include <cmath>
#include <string>

#include "text/text.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c) {
    if (isDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 99;
}

// Blanks, tabs and line feeds vanish wherever they are; anything outside
// ASCII cannot continue a number and becomes a stopper.
std::string squeezed(TextView text) {
    std::string s;
    s.reserve(text.size());
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        s += c < 0x80 ? static_cast<char>(c) : '\x7F';
    }
    return s;
}

double radixInteger(const std::string& s, size_t i, int radix) {
    double value = 0;
    for (; i < s.size() && digitValue(s[i]) < radix; ++i) value = value * radix + digitValue(s[i]);
    return value;
}

}  // namespace

double NumericValue(TextView text) {
    const std::string s = squeezed(text);
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return radixInteger(s, 2, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return radixInteger(s, 2, 8);
        return 0;
    }
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    std::string intDigits, fracDigits;
    while (i < s.size() && isDigit(s[i])) intDigits += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) fracDigits += s[i++];
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0;

    long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            expNegative = s[j++] == '-';
        // Saturate: far past the double range the exact exponent no longer matters.
        for (; j < s.size() && isDigit(s[j]); ++j) {
            exponent = std::min(exponent * 10 + (s[j] - '0'), 100000L);
        }
        if (expNegative)
            exponent = -exponent;
    }

    const std::string digits = intDigits + fracDigits;
    const std::string number =
        (intDigits.empty() ? "0" : intDigits) + "." + fracDigits + "e" + std::to_string(exponent);
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: decide by the order of magnitude of the
        // first significant digit.
        size_t first = digits.find_first_not_of('0');
        if (first == std::string::npos) {
            value = 0;
        } else {
            long order = static_cast<long>(intDigits.size()) - static_cast<long>(first) + exponent;
            value = order > 0 ? HUGE_VAL : 0.0;
        }
    }
    return negative ? -value : value;
}

std::optional<int16_t> RoundToInt16(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1;
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

std::optional<int16_t> ReadInt16(TextView text) {
    return RoundToInt16(NumericValue(text));
}
