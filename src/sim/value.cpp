#include "sim/value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? char(a[i] + 32) : a[i];
        if (x != b[i])
            return false;
    }
    return true;
}

}  // namespace

std::string pythonRepr(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view sci(buf, size_t(res.ptr - buf));
    bool negative = !sci.empty() && sci.front() == '-';
    if (negative)
        sci.remove_prefix(1);
    size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c != '.')
            digits += c;
    int exponent = std::atoi(std::string(sci.substr(ePos + 1)).c_str());
    std::string out = negative ? "-" : "";
    if (exponent >= -4 && exponent < 16) {
        if (exponent < 0) {
            out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
        } else if (size_t(exponent) + 1 >= digits.size()) {
            out += digits + std::string(size_t(exponent) + 1 - digits.size(), '0') + ".0";
        } else {
            out +=
                digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
        }
        return out;
    }
    out += digits.substr(0, 1);
    if (digits.size() > 1)
        out += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + exp;
}

std::string valueText(const Value& value) {
    if (auto* i = std::get_if<long long>(&value))
        return std::to_string(*i);
    if (auto* d = std::get_if<double>(&value))
        return pythonRepr(*d);
    return std::get<std::string>(value);
}

std::optional<long long> readInteger(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    long long v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

std::optional<double> readFloat(std::string_view text) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-')
        return std::nullopt;
    if (equalsNoCase(text, "inf") || equalsNoCase(text, "infinity"))
        return negative ? -HUGE_VAL : HUGE_VAL;
    if (equalsNoCase(text, "nan"))
        return std::nan("");
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Python reads 1e999 as inf and 1e-999 as 0.0; so do we.
        bool big = text.find_first_of("eE") != std::string_view::npos &&
                   text[text.find_first_of("eE") + 1] != '-';
        v = big ? HUGE_VAL : 0.0;
    } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

std::optional<Value> convertValue(const Value& value, ValueType type) {
    switch (type) {
        case ValueType::Any:
            return value;
        case ValueType::Str:
            return Value(valueText(value));
        case ValueType::Int:
            if (std::holds_alternative<long long>(value))
                return value;
            if (auto* d = std::get_if<double>(&value)) {
                if (!std::isfinite(*d) || std::fabs(*d) > 9.2e18)
                    return std::nullopt;
                return Value(static_cast<long long>(std::trunc(*d)));
            }
            if (auto i = readInteger(std::get<std::string>(value)))
                return Value(*i);
            return std::nullopt;
        case ValueType::Float:
            if (auto* i = std::get_if<long long>(&value))
                return Value(double(*i));
            if (std::holds_alternative<double>(value))
                return value;
            if (auto d = readFloat(std::get<std::string>(value)))
                return Value(*d);
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<int> compareValues(const Value& a, const Value& b) {
    auto number = [](const Value& v) -> std::optional<double> {
        if (auto* i = std::get_if<long long>(&v))
            return double(*i);
        if (auto* d = std::get_if<double>(&v))
            return *d;
        return std::nullopt;
    };
    auto* sa = std::get_if<std::string>(&a);
    auto* sb = std::get_if<std::string>(&b);
    if (sa && sb)
        return sa->compare(*sb) < 0 ? -1 : (*sa == *sb ? 0 : 1);
    if (sa || sb)
        return std::nullopt;
    if (auto* ia = std::get_if<long long>(&a))
        if (auto* ib = std::get_if<long long>(&b))
            return *ia < *ib ? -1 : (*ia == *ib ? 0 : 1);
    double x = *number(a), y = *number(b);
    if (std::isnan(x) || std::isnan(y))
        return std::nullopt;
    return x < y ? -1 : (x == y ? 0 : 1);
}

}  // namespace sim

namespace sim {

std::optional<Value> applySpecs(const Value& raw, const PropertySpecs& specs) {
    auto value = convertValue(raw, specs.type);
    if (!value)
        return std::nullopt;
    if (specs.min) {
        auto c = compareValues(*value, *specs.min);
        if (!c || *c < 0)
            return std::nullopt;
    }
    if (specs.max) {
        auto c = compareValues(*value, *specs.max);
        if (!c || *c > 0)
            return std::nullopt;
    }
    if (!specs.valid.empty()) {
        bool found = false;
        for (const auto& v : specs.valid) {
            auto c = compareValues(*value, v);
            found = found || (c && *c == 0);
        }
        if (!found)
            return std::nullopt;
    }
    return value;
}

}  // namespace sim
