#pragma once
// The values an instrument property holds, with the conversions the bench
// file's "specs" ask for. They follow the rules of the Python scripts the
// device-definition format came from: int("10") and float("1e3") work,
// int("1.5") does not, str() of a float always shows a decimal point.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sim {

using Value = std::variant<long long, double, std::string>;

enum class ValueType { Any, Int, Float, Str };

// The "specs" of a property: the type values are converted to, and the
// limits a new value must keep.
struct PropertySpecs {
    ValueType type = ValueType::Any;
    std::optional<Value> min;
    std::optional<Value> max;
    std::vector<Value> valid;  // empty: any value
};

// str(value): 5 -> "5", 100.0 -> "100.0", 1e16 -> "1e+16", text unchanged.
std::string valueText(const Value& value);

// The shortest text that reads back as the same double, laid out the way
// Python prints floats (fixed between 1e-4 and 1e16, else exponent form).
std::string pythonRepr(double value);

// Converts to the given type; nothing when the conversion would fail.
std::optional<Value> convertValue(const Value& value, ValueType type);

// Strict readers: the whole text (blanks around it allowed) must be a number.
std::optional<long long> readInteger(std::string_view text);
std::optional<double> readFloat(std::string_view text);

// Numbers compare by value across int and float; text with text.
// Returns nothing when the two cannot be ordered (a number and a text).
std::optional<int> compareValues(const Value& a, const Value& b);

// Converts raw to the specs' type and checks min, max and valid; nothing
// when the value is refused.
std::optional<Value> applySpecs(const Value& raw, const PropertySpecs& specs);

}  // namespace sim
