#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "text/text.h"

namespace {

struct ValueCase {
    const char* text;
    double value;
};

class NumericValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(NumericValueTest, ReadsTheLeadingNumber) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(NumericValue(FromUtf8(c.text)), c.value) << '"' << c.text << '"';
}

const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Texts, NumericValueTest,
    testing::Values(
        // The operator's everyday numbers.
        ValueCase{"5abc", 5}, ValueCase{" 21", 21}, ValueCase{"", 0}, ValueCase{"30.5", 30.5},
        ValueCase{"31.5", 31.5}, ValueCase{"30.6", 30.6}, ValueCase{"0130", 130},
        ValueCase{"1503 ", 1503}, ValueCase{"abc", 0}, ValueCase{"9 ", 9},
        // Blanks, tabs and line feeds vanish anywhere; other characters stop.
        ValueCase{"1 5", 15}, ValueCase{"\t1\n2", 12}, ValueCase{"- 5", -5},
        ValueCase{"1 e 2", 100}, ValueCase{"\r5", 0}, ValueCase{"1\r5", 1}, ValueCase{"1,5", 1},
        ValueCase{"1\xC3\xA9"
                  "5",
                  1},
        // Signs and decimal points.
        ValueCase{"-5", -5}, ValueCase{"+7", 7}, ValueCase{"--5", 0}, ValueCase{"+-5", 0},
        ValueCase{"-", 0}, ValueCase{".5", 0.5}, ValueCase{"-.25", -0.25}, ValueCase{"5.", 5},
        ValueCase{".", 0}, ValueCase{"1.2.3", 1.2},
        // Exponents: E or D, either case, optional sign; a bare letter ends the number.
        ValueCase{"1e3", 1000}, ValueCase{"1E+3", 1000}, ValueCase{"2.5D-1", 0.25},
        ValueCase{"2d2", 200}, ValueCase{"1e", 1}, ValueCase{"1e+", 1}, ValueCase{"e5", 0},
        ValueCase{"1e2e3", 100}, ValueCase{"1e999", kInf}, ValueCase{"-1e999", -kInf},
        ValueCase{"1e-999", 0}, ValueCase{"0e999", 0}, ValueCase{"0.001e999999999999", kInf},
        // Hexadecimal and octal integers: the plain non-negative value.
        ValueCase{"&HFFFF", 65535}, ValueCase{"&hff", 255}, ValueCase{"&H1G", 1},
        ValueCase{"&H", 0}, ValueCase{"&O17", 15}, ValueCase{"&o8", 0}, ValueCase{"& H10", 16},
        ValueCase{"&X1", 0}, ValueCase{"&", 0}, ValueCase{"&H-1", 0},
        // Past the 16-bit range the value is still read; refusing is the rounder's job.
        ValueCase{"70000", 70000}, ValueCase{"-32769", -32769}));

TEST(NumericValue, HugeMantissaOverflowsToInfinity) {
    EXPECT_EQ(NumericValue(FromUtf8("1" + std::string(400, '0'))), kInf);
    EXPECT_EQ(NumericValue(FromUtf8("0." + std::string(400, '0') + "1")), 0);
}

struct RoundCase {
    double value;
    std::optional<int16_t> rounded;
};

class RoundToInt16Test : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundToInt16Test, RoundsHalvesToEvenWithinSixteenBits) {
    EXPECT_EQ(RoundToInt16(GetParam().value), GetParam().rounded) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundToInt16Test,
    testing::Values(RoundCase{30.5, 30}, RoundCase{31.5, 32}, RoundCase{30.6, 31},
                    RoundCase{30.4, 30}, RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{-0.5, 0},
                    RoundCase{-30.5, -30}, RoundCase{-31.5, -32}, RoundCase{-30.6, -31},
                    RoundCase{32767.4, 32767}, RoundCase{32767.5, std::nullopt},
                    RoundCase{32768, std::nullopt}, RoundCase{-32768.5, -32768},
                    RoundCase{-32768.6, std::nullopt}, RoundCase{-32769, std::nullopt},
                    RoundCase{65535, std::nullopt}, RoundCase{kInf, std::nullopt},
                    RoundCase{-kInf, std::nullopt}, RoundCase{std::nan(""), std::nullopt},
                    RoundCase{1e300, std::nullopt}));

TEST(ReadInt16, ReadsThenRounds) {
    EXPECT_EQ(ReadInt16(u"30.5"), 30);
    EXPECT_EQ(ReadInt16(u"0130"), 130);
    EXPECT_EQ(ReadInt16(u"&H7FFF"), 32767);
    EXPECT_EQ(ReadInt16(u"&HFFFF"), std::nullopt);
    EXPECT_EQ(ReadInt16(u"1e999"), std::nullopt);
    EXPECT_EQ(ReadInt16(u"-32768"), -32768);
    EXPECT_EQ(ReadInt16(u"x"), 0);
}

}  // namespace
