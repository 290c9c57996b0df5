// Numbers as the value texts show them ("%d" and "%g" of the C runtime), made without
// printf on the data path: a console watch formats hundreds of thousands of values a
// second, and the runtime's "%g" locks and allocates for each one. Plain C++, no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>

// Room every text below needs.
constexpr size_t kNumberTextMax = 24;

// "%d" of value into out; returns the length.
size_t FormatInteger(int64_t value, char* out);
// "%llu" of value.
size_t FormatUnsigned(uint64_t value, char* out);
// "-" when negative, then the digits of magnitude.
size_t FormatMagnitude(bool negative, uint64_t magnitude, char* out);

// "%g" of value (six significant digits, trailing zeros dropped) into out, where that
// text is in fixed notation: |value| rounds to six digits between 0.0001 and 999999.
// Returns the length, or 0 for every other value (exponent form, infinity, NaN): only the
// runtime's own "%g" gives those their exact text.
size_t FormatShortG(double value, char* out);
