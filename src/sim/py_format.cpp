#include "sim/py_format.h"

#include <fmt/format.h>

#include <cmath>
#include <cstring>

namespace sim {

namespace {

bool isTypeLetter(char c) {
    return c != 0 && std::strchr("bcdeEfFgGnosxX%", c) != nullptr;
}
bool isFloatType(char c) {
    return c != 0 && std::strchr("eEfFgG%", c) != nullptr;
}
bool isIntegerType(char c) {
    return c != 0 && std::strchr("bcdnoxX", c) != nullptr;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool startsWith(std::string_view text, std::string_view prefix, bool ignoreCase) {
    if (text.size() < prefix.size())
        return false;
    if (!ignoreCase)
        return text.substr(0, prefix.size()) == prefix;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

// "[[fill]align][width]" and nothing else.
bool onlyAlignAndWidth(std::string_view spec) {
    size_t i = 0;
    if (spec.size() >= 2 && std::strchr("<>^=", spec[1]))
        i = 2;
    else if (!spec.empty() && std::strchr("<>^=", spec[0]))
        i = 1;
    for (; i < spec.size(); ++i)
        if (!isDigit(spec[i]))
            return false;
    return true;
}

bool hasAlign(std::string_view spec) {
    return (spec.size() >= 2 && std::strchr("<>^", spec[1])) ||
           (!spec.empty() && std::strchr("<>^", spec[0]));
}

// Length of the longest integer at the start of text (sign and digits).
size_t integerToken(std::string_view t) {
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    size_t digits = i;
    while (digits < t.size() && isDigit(t[digits])) ++digits;
    return digits > i ? digits : 0;
}

// Length of the longest decimal-number-looking text at the start of text.
size_t floatToken(std::string_view t) {
    size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    for (std::string_view word : {"inf", "nan"})
        if (startsWith(t.substr(i), word, true))
            return i + 3;
    while (i < t.size() && (isDigit(t[i]) || t[i] == '.')) ++i;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            ++j;
        size_t k = j;
        while (k < t.size() && isDigit(t[k])) ++k;
        if (k > j)
            i = k;
    }
    return i;
}

}  // namespace

std::optional<PyFormat> PyFormat::compile(std::string_view pattern, std::string& error) {
    PyFormat f;
    Segment seg;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '}') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '}') {
                seg.literal += '}';
                ++i;
                continue;
            }
            error = "a single '}' in the pattern \"" + std::string(pattern) + "\"";
            return std::nullopt;
        }
        if (c != '{') {
            seg.literal += c;
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '{') {
            seg.literal += '{';
            ++i;
            continue;
        }
        size_t close = pattern.find('}', i + 1);
        std::string_view body =
            close == std::string_view::npos ? "" : pattern.substr(i + 1, close - i - 1);
        if (close == std::string_view::npos || body.find('{') != std::string_view::npos) {
            error = "an unclosed '{' in the pattern \"" + std::string(pattern) + "\"";
            return std::nullopt;
        }
        size_t colon = body.find(':');
        std::string_view spec = colon == std::string_view::npos ? "" : body.substr(colon + 1);
        seg.field = true;
        seg.spec = std::string(spec);
        seg.type = !spec.empty() && isTypeLetter(spec.back()) ? spec.back() : 0;
        seg.simpleSpec = onlyAlignAndWidth(spec);
        f.m_segments.push_back(std::move(seg));
        seg = Segment{};
        ++f.m_fields;
        i = close;
    }
    f.m_segments.push_back(std::move(seg));
    for (auto& s : f.m_segments) {
        std::string spec = s.spec;
        if (s.type == '%')
            spec.back() = 'f';
        if (s.type == 'n')
            spec.back() = 'g';
        s.fmtSpec = "{:" + spec + "}";
    }
    return f;
}

void PyFormat::formatField(const Segment& seg, const Value& value, std::string& out) const {
    auto put = [&](auto v) {
        fmt::format_to(std::back_inserter(out), fmt::runtime(seg.fmtSpec), v);
    };
    try {
        if (auto* i = std::get_if<long long>(&value)) {
            if (isFloatType(seg.type)) {
                put(seg.type == '%' ? double(*i) * 100.0 : double(*i));
                if (seg.type == '%')
                    out += '%';
            } else if (seg.type == 's') {
                out += valueText(value);
            } else if (seg.type == 'n') {
                fmt::format_to(std::back_inserter(out),
                               fmt::runtime("{:" + seg.spec.substr(0, seg.spec.size() - 1) + "d}"),
                               *i);
            } else {
                put(*i);
            }
        } else if (auto* d = std::get_if<double>(&value)) {
            if (isIntegerType(seg.type) && seg.type != 'n') {
                if (std::trunc(*d) == *d && std::fabs(*d) < 9e18)
                    put(static_cast<long long>(*d));
                else
                    out += valueText(value);
            } else if (seg.type == 0 && seg.simpleSpec) {
                std::string spec = hasAlign(seg.spec) ? seg.spec : ">" + seg.spec;
                fmt::format_to(std::back_inserter(out), fmt::runtime("{:" + spec + "}"),
                               pythonRepr(*d));
            } else if (seg.type == 's') {
                out += valueText(value);
            } else {
                put(seg.type == '%' ? *d * 100.0 : *d);
                if (seg.type == '%')
                    out += '%';
            }
        } else {
            const auto& s = std::get<std::string>(value);
            if (seg.type == 0 || seg.type == 's')
                put(std::string_view(s));
            else
                out += s;
        }
    } catch (const fmt::format_error&) {
        // A spec {fmt} cannot follow (Python's "," grouping, "=" alignment):
        // the plain text of the value is the most useful answer left.
        out += valueText(value);
    }
}

void PyFormat::format(const Value& value, std::string& out) const {
    for (const auto& seg : m_segments) {
        out += seg.literal;
        if (seg.field)
            formatField(seg, value, out);
    }
}

bool PyFormat::match(size_t index, std::string_view rest, Value& value, bool ignoreCase,
                     bool first) const {
    const Segment& seg = m_segments[index];
    if (!startsWith(rest, seg.literal, ignoreCase))
        return false;
    rest.remove_prefix(seg.literal.size());
    if (!seg.field)
        return rest.empty();
    auto tryLength = [&](size_t n) -> bool {
        std::string_view piece = rest.substr(0, n);
        Value v;
        if (isIntegerType(seg.type)) {
            auto i = readInteger(piece);
            if (!i)
                return false;
            v = *i;
        } else if (isFloatType(seg.type)) {
            auto d = readFloat(piece);
            if (!d)
                return false;
            v = *d;
        } else {
            v = std::string(piece);
        }
        if (!match(index + 1, rest.substr(n), value, ignoreCase, false))
            return false;
        if (first)
            value = std::move(v);
        return true;
    };
    if (isIntegerType(seg.type) || isFloatType(seg.type)) {
        size_t longest = isIntegerType(seg.type) ? integerToken(rest) : floatToken(rest);
        for (size_t n = longest; n > 0; --n)
            if (tryLength(n))
                return true;
        return false;
    }
    for (size_t n = 0; n <= rest.size(); ++n)
        if (tryLength(n))
            return true;
    return false;
}

bool PyFormat::parse(std::string_view text, Value& value, bool ignoreCase) const {
    return match(0, text, value, ignoreCase, true);
}

}  // namespace sim
