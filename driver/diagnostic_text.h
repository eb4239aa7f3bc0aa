// Numbers as the diagnostics show them: NaN, Infinity and -Infinity spelled
// out, finite values in the %g form of the C library.
#pragma once

#include <string>

namespace zorvik {

// "NaN", "Infinity" or "-Infinity"; v is not finite.
const char* non_finite_word(double v) noexcept;

// The shortest text that reads back as v.
std::string shortest_text(double v);

// v to `digits` significant digits.
std::string digits_text(double v, int digits);

}  // namespace zorvik
