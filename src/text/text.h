#pragma once
// Text helpers shared by every layer: the operator's numbers, the number text
// of messages, and the 8-bit code page at the driver boundary.
//
// The window holds text as 16-bit characters (Text); each character is one
// byte when it crosses to the driver.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using Text = std::u16string;
using TextView = std::u16string_view;

// Numeric value of a text, as the operator's numbers are read everywhere:
// blanks, tabs and line feeds anywhere are ignored; then a leading number is
// read (optional sign, digits with at most one decimal point, optional
// exponent E/D with optional sign; or &H hexadecimal / &O octal integer);
// reading stops at the first character that cannot continue the number;
// no readable number gives 0. Never throws; huge exponents give +-inf.
double NumericValue(TextView text);

// Rounds to the nearest integer, halves to the even neighbour (30.5 -> 30,
// 31.5 -> 32). Returns nothing when the rounded value does not fit a signed
// 16-bit integer (or is not a number), so callers can refuse it.
std::optional<int16_t> RoundToInt16(double value);

// NumericValue followed by RoundToInt16.
std::optional<int16_t> ReadInt16(TextView text);

// Number text: decimal with one leading blank for zero and positive values,
// "-" for negative ones (5 -> " 5", -1 -> "-1", 15.6 -> " 15.6").
Text NumberText(long long value);
Text NumberText(double value);

// Plain decimal with no leading blank (5 -> "5", -1 -> "-1", 15.6 -> "15.6").
Text PlainDecimal(long long value);
Text PlainDecimal(double value);

// 16-bit pattern in upper-case hexadecimal without leading zeros
// (0x8100 -> "8100", 0x100 -> "100", 0 -> "0", -1 -> "FFFF").
Text Hex16(int16_t value);

// The 8-bit code page at the driver boundary: ISO 8859-1 here (the active ANSI
// code page on Windows). Every byte 0-255 survives FromCodePage/ToCodePage; a
// character the code page cannot hold becomes '?'. Lengths are kept 1:1.
std::string ToCodePage(TextView text);
Text FromCodePage(std::string_view bytes);
// The same into an existing buffer, reusing its storage (the driver wrappers
// convert on every transfer).
void ToCodePage(TextView text, std::string& out);
void FromCodePage(std::string_view bytes, Text& out);

// ASCII/UTF-8 convenience for literals and for showing Text in tests and logs.
Text FromUtf8(std::string_view utf8);
std::string ToUtf8(TextView text);

// A number given on a command line: decimal digits (with an optional minus)
// and nothing else, within low..high. Empty when it is one; otherwise the
// sentence a program prints for it ("70000 is not a number it takes (0 to
// 65535)"), the same in every command.
std::string WholeNumberProblem(std::string_view text, long low, long high);
