// A finite, nonzero double rounded to six significant decimal digits, to
// nearest with ties to even, from its exact binary value. Integer arithmetic
// only, so the floating-point mode of the run (flush-to-zero,
// denormals-are-zero) cannot change the result: subnormals keep their exact
// value.
#pragma once

#include <cstdint>

namespace zorvik {

// |v| ≈ 0.d1d2d3d4d5d6 × 10^x, with digits = d1d2d3d4d5d6 in 100000..999999
// and x the decimal exponent after rounding (a value that rounds up to a
// power of ten takes the next exponent).
struct SixDigits {
  std::uint32_t digits;
  int x;
};

SixDigits six_digits(double v) noexcept;

}  // namespace zorvik
