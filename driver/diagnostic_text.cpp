#include "diagnostic_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zorvik {

const char* non_finite_word(double v) noexcept {
  if (std::isnan(v)) return "NaN";
  return std::signbit(v) ? "-Infinity" : "Infinity";
}

std::string digits_text(double v, int digits) {
  if (!std::isfinite(v)) return non_finite_word(v);
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", digits, v);
  return text;
}

std::string shortest_text(double v) {
  std::string text;
  for (int digits = 1; digits <= 17; ++digits) {
    text = digits_text(v, digits);
    if (std::strtod(text.c_str(), nullptr) == v) break;  // a NaN never reads back: "NaN" at 17 digits
  }
  return text;
}

}  // namespace zorvik
