#pragma once
// A response or setter pattern of the bench file, written as a Python format
// string ("{:.2f}", "{:d}", "{}", "!FREQ {:.2f}"). Compiled once when the
// bench loads; formatting and parsing then do no pattern work of their own.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/value.h"

namespace sim {

class PyFormat {
  public:
    // Nothing, with the reason in error, when the pattern is malformed.
    static std::optional<PyFormat> compile(std::string_view pattern, std::string& error);

    bool hasFields() const { return m_fields > 0; }

    // Appends the pattern with every field replaced by value, as Python's
    // str.format(value) would (each field gets the same value).
    void format(const Value& value, std::string& out) const;

    // Matches the whole text against the pattern. A field takes a number in
    // the shape its type asks for (d: integer; f, e, g: decimal number) or,
    // without a type or with s, any text. On a match, value is the first
    // field's content (an int for d, a float for f/e/g, else the text).
    bool parse(std::string_view text, Value& value, bool ignoreCase = false) const;

  private:
    struct Segment {
        std::string literal;  // the text before the field (or the tail)
        bool field = false;
        char type = 0;           // the conversion letter, 0 when none
        std::string spec;        // the text after ':'
        std::string fmtSpec;     // "{:spec}" for {fmt}
        bool simpleSpec = true;  // only fill, align and width
    };

    void formatField(const Segment& seg, const Value& value, std::string& out) const;
    bool match(size_t seg, std::string_view rest, Value& value, bool ignoreCase, bool first) const;

    std::vector<Segment> m_segments;
    int m_fields = 0;
};

}  // namespace sim
