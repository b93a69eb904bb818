// Numbers written into messages: the sign position (blank or minus), plain
// decimal, and the 16-bit hexadecimal pattern of status words.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/text.h"

namespace {

Text ascii(const std::string& s) {
    return Text(s.begin(), s.end());
}

// Shortest decimal (at most 15 significant digits) that reads back as the
// same double; fixed notation in the everyday range, E notation outside it.
std::string magnitudeText(double magnitude) {
    if (std::isnan(magnitude))
        return "nan";
    if (std::isinf(magnitude))
        return "inf";
    if (magnitude == 0)
        return "0";
    char buf[64];
    std::string sci;
    for (int precision = 0; precision < 15; ++precision) {
        auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                                 precision);
        sci.assign(buf, res.ptr);
        double back = 0;
        std::from_chars(sci.data(), sci.data() + sci.size(), back);
        if (back == magnitude)
            break;
    }
    // sci is "d.ddde+XX": split into significant digits and exponent.
    const size_t e = sci.find('e');
    std::string digits = sci.substr(0, 1) + (e > 1 ? sci.substr(2, e - 2) : "");
    const int exponent = std::atoi(sci.c_str() + e + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    if (exponent >= 15 || exponent < -4) {
        std::string out = digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return out + exp;
    }
    if (exponent < 0)
        return "0." + std::string(-exponent - 1, '0') + digits;
    const size_t intLen = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intLen)
        return digits + std::string(intLen - digits.size(), '0');
    return digits.substr(0, intLen) + "." + digits.substr(intLen);
}

}  // namespace

Text NumberText(long long value) {
    return value < 0 ? PlainDecimal(value) : u" " + PlainDecimal(value);
}

Text NumberText(double value) {
    return value < 0 ? PlainDecimal(value) : u" " + PlainDecimal(value);
}

Text PlainDecimal(long long value) {
    return ascii(std::to_string(value));
}

Text PlainDecimal(double value) {
    const bool negative = value < 0;
    return ascii((negative ? "-" : "") + magnitudeText(std::fabs(value)));
}

Text Hex16(int16_t value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(static_cast<uint16_t>(value)));
    return ascii(buf);
}
