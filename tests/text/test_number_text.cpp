#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "text/text.h"

namespace {

TEST(NumberText, IntegersCarryASignPosition) {
    EXPECT_EQ(ToUtf8(NumberText(5LL)), " 5");
    EXPECT_EQ(ToUtf8(NumberText(0LL)), " 0");
    EXPECT_EQ(ToUtf8(NumberText(-1LL)), "-1");
    EXPECT_EQ(ToUtf8(NumberText(25095LL)), " 25095");
    EXPECT_EQ(ToUtf8(NumberText(LLONG_MIN)), "-9223372036854775808");
    EXPECT_EQ(ToUtf8(PlainDecimal(5LL)), "5");
    EXPECT_EQ(ToUtf8(PlainDecimal(-1LL)), "-1");
}

struct DoubleCase {
    double value;
    const char* plain;
};

class DoubleTextTest : public testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleTextTest, ShortestDecimalUpToFifteenDigits) {
    const DoubleCase& c = GetParam();
    EXPECT_EQ(ToUtf8(PlainDecimal(c.value)), c.plain);
    const std::string signed_ = c.plain[0] == '-' ? c.plain : std::string(" ") + c.plain;
    EXPECT_EQ(ToUtf8(NumberText(c.value)), signed_);
}

INSTANTIATE_TEST_SUITE_P(Values, DoubleTextTest,
                         testing::Values(DoubleCase{15.6, "15.6"}, DoubleCase{1503, "1503"},
                                         DoubleCase{0.5, "0.5"}, DoubleCase{-2.25, "-2.25"},
                                         DoubleCase{0.1, "0.1"}, DoubleCase{0, "0"},
                                         DoubleCase{-0.0, "0"}, DoubleCase{100000, "100000"},
                                         DoubleCase{1.0 / 3, "0.333333333333333"},
                                         DoubleCase{2.0 / 3, "0.666666666666667"},
                                         DoubleCase{123456789012345, "123456789012345"},
                                         DoubleCase{1e15, "1E+15"}, DoubleCase{1.5e20, "1.5E+20"},
                                         DoubleCase{0.0001, "0.0001"}, DoubleCase{0.00001, "1E-05"},
                                         DoubleCase{-2.5e-7, "-2.5E-07"},
                                         DoubleCase{1e-300, "1E-300"}, DoubleCase{INFINITY, "inf"},
                                         DoubleCase{-INFINITY, "-inf"}));

TEST(Hex16, SixteenBitPatternWithoutLeadingZeros) {
    EXPECT_EQ(ToUtf8(Hex16(static_cast<int16_t>(0x8100))), "8100");
    EXPECT_EQ(ToUtf8(Hex16(0x100)), "100");
    EXPECT_EQ(ToUtf8(Hex16(0)), "0");
    EXPECT_EQ(ToUtf8(Hex16(-1)), "FFFF");
    EXPECT_EQ(ToUtf8(Hex16(0x7FFF)), "7FFF");
    EXPECT_EQ(ToUtf8(Hex16(0xABC)), "ABC");
}

}  // namespace
