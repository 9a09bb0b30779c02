// Number and boolean conversions of settings and layout values.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// Nearest integer, a half going to the even neighbour.
double RoundHalfEven(double v);

// A decimal number: optional blanks, sign, digits with an optional fraction. False otherwise.
bool ParseDecimal(const std::string& text, double* value);

// Decimal text rounded half to even into -32768..32767. False when not a number or out of range.
bool ParseInt16(const std::string& text, int16_t* value);

// "true" / "false" (any case) or a number, where any non-zero number is true.
bool ParseBool(const std::string& text, bool* value);

// `value` rounded half to even to `decimals` places, with "." and without trailing zeros
// ("512", "511.5").
std::string PlainDecimal(double value, int decimals);

}  // namespace qv
