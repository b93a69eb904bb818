// Response and setter patterns: Python format strings formatted with {fmt}
// and parsed back, and the value conversions of property specs.

#include <gtest/gtest.h>

#include "sim/py_format.h"

namespace {

using sim::PyFormat;
using sim::Value;

PyFormat compiled(const std::string& pattern) {
    std::string error;
    auto f = PyFormat::compile(pattern, error);
    EXPECT_TRUE(f) << pattern << ": " << error;
    return f ? *f : *PyFormat::compile("", error);
}

struct FormatCase {
    const char* pattern;
    Value value;
    const char* expected;
};

class Formats : public testing::TestWithParam<FormatCase> {};

TEST_P(Formats, AsPythonWould) {
    const FormatCase& c = GetParam();
    std::string out;
    compiled(c.pattern).format(c.value, out);
    EXPECT_EQ(out, c.expected) << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Formats,
    testing::Values(FormatCase{"{:.2f}", 10.3, "10.30"}, FormatCase{"{:.2f}", 100LL, "100.00"},
                    FormatCase{"{:d}", 1LL, "1"}, FormatCase{"{:d}", 3.0, "3"},
                    FormatCase{"{:+.8E}", 1.0, "+1.00000000E+00"},
                    FormatCase{"{:+.6E}", -0.0012, "-1.200000E-03"},
                    FormatCase{"{}", 100.0, "100.0"}, FormatCase{"{:}", 2.5, "2.5"},
                    FormatCase{"{}", 1e16, "1e+16"}, FormatCase{"{}", 0.0001, "0.0001"},
                    FormatCase{"{}", 1e-5, "1e-05"}, FormatCase{"{}", -0.0, "-0.0"},
                    FormatCase{"{:s}", std::string("P6V"), "P6V"},
                    FormatCase{"hello {:}", std::string("x"), "hello x"},
                    FormatCase{"{{{:d}}}", 7LL, "{7}"}, FormatCase{"{:>6}", 1.5, "   1.5"},
                    FormatCase{"{:05d}", 42LL, "00042"}, FormatCase{"{:x}", 255LL, "ff"},
                    FormatCase{"{:.1%}", 0.25, "25.0%"},
                    FormatCase{"\"{}\"", std::string("VOLT"), "\"VOLT\""},
                    // Python's thousands separator is beyond {fmt}: the plain value is shown.
                    FormatCase{"{:,}", 1234567LL, "1234567"}));

struct ParseCase {
    const char* pattern;
    const char* text;
    bool matches;
    Value value;
};

class Parses : public testing::TestWithParam<ParseCase> {};

TEST_P(Parses, TheValueBack) {
    const ParseCase& c = GetParam();
    Value v;
    EXPECT_EQ(compiled(c.pattern).parse(c.text, v), c.matches) << c.pattern << " / " << c.text;
    if (c.matches) {
        EXPECT_EQ(v, c.value) << c.pattern << " / " << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Setters, Parses,
    testing::Values(ParseCase{"!FREQ {:.2f}", "!FREQ 10.3", true, 10.3},
                    ParseCase{"!FREQ {:.2f}", "!FREQ 1e3", true, 1000.0},
                    ParseCase{"!FREQ {:.2f}", "!FREQ -5", true, -5.0},
                    ParseCase{"!FREQ {:.2f}", "!FREQ abc", false, {}},
                    ParseCase{"!FREQ {:.2f}", "!FREQ ", false, {}},
                    ParseCase{"!FREQ {:.2f}", "!FREQ 10.3 extra", false, {}},
                    ParseCase{"!OUT {:d}", "!OUT 1", true, 1LL},
                    ParseCase{"!OUT {:d}", "!OUT 1.5", false, {}},
                    ParseCase{"INST {:s}", "INST P25V", true, std::string("P25V")},
                    ParseCase{"CURR:LIM {:}", "CURR:LIM 2.5", true, std::string("2.5")},
                    ParseCase{"SENS1:FREQ {:.2f} MHZ", "SENS1:FREQ 3.5 MHZ", true, 3.5},
                    ParseCase{"FREQ {:.2f}MHZ", "FREQ 3MHZ", true, 3.0},
                    ParseCase{"A {} B {:d}", "A x y B 5", true, std::string("x y")},
                    ParseCase{"VOLT {:f}", "volt 2", false, {}}));

TEST(PyFormat, MatchesHeadersInAnyCaseWhenAsked) {
    Value v;
    EXPECT_TRUE(compiled("VOLT {:f}").parse("volt 2", v, true));
    EXPECT_EQ(v, Value(2.0));
}

TEST(PyFormat, RefusesMalformedPatterns) {
    std::string error;
    for (const char* bad : {"{:.2f", "}", "a {x{y}} b"}) {
        EXPECT_FALSE(PyFormat::compile(bad, error)) << bad;
        EXPECT_NE(error.find("pattern"), std::string::npos) << error;
    }
}

struct SpecCase {
    Value raw;
    sim::ValueType type;
    std::optional<Value> min, max;
    std::vector<Value> valid;
    std::optional<Value> expected;
};

class Specs : public testing::TestWithParam<SpecCase> {};

TEST_P(Specs, ConvertAndCheck) {
    const SpecCase& c = GetParam();
    sim::PropertySpecs specs{c.type, c.min, c.max, c.valid};
    EXPECT_EQ(sim::applySpecs(c.raw, specs), c.expected);
}

using VT = sim::ValueType;
INSTANTIATE_TEST_SUITE_P(
    Properties, Specs,
    testing::Values(
        SpecCase{std::string("10.3"), VT::Float, 1.0, 100000.0, {}, 10.3},
        SpecCase{0.5, VT::Float, 1.0, 100000.0, {}, std::nullopt},
        SpecCase{100001LL, VT::Float, 1.0, 100000.0, {}, std::nullopt},
        SpecCase{std::string("2"), VT::Int, {}, {}, {0LL, 1LL, 2LL, 3LL}, 2LL},
        SpecCase{std::string("4"), VT::Int, {}, {}, {0LL, 1LL, 2LL, 3LL}, std::nullopt},
        SpecCase{std::string("1.5"), VT::Int, {}, {}, {}, std::nullopt},
        SpecCase{2.9, VT::Int, {}, {}, {}, 2LL},
        SpecCase{0LL, VT::Str, {}, {}, {std::string("0"), std::string("ON")}, std::string("0")},
        SpecCase{std::string("x"), VT::Float, {}, {}, {}, std::nullopt},
        SpecCase{std::string("P6V"), VT::Any, 1.0, {}, {}, std::nullopt}));

}  // namespace
