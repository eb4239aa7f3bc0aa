#include "number_edit.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zorvik {
namespace {

// |v| rounded to 0.d1d2d3d4d5d6 x 10^x, v finite and nonzero.
struct SixDigits {
  char digits[6];
  int x;
};

SixDigits round_to_six_digits(double v) noexcept {
  char text[32];
  // "d.ddddde+XX": the C library rounds the exact binary value to nearest,
  // ties to even.
  std::snprintf(text, sizeof text, "%.5e", std::fabs(v));
  SixDigits r{};
  r.digits[0] = text[0];
  std::copy_n(text + 2, 5, r.digits + 1);
  r.x = static_cast<int>(std::strtol(text + 8, nullptr, 10)) + 1;
  return r;
}

// Copies text right-justified into a field of the given width, blanks before.
void right_justify(const char* text, int length, char* field, int width) noexcept {
  std::memset(field, ' ', static_cast<std::size_t>(width - length));
  std::memcpy(field + (width - length), text, static_cast<std::size_t>(length));
}

// Places a word from the second column of the field, blanks around it.
void word_from_second_column(const char* word, char* field, int width) noexcept {
  std::memset(field, ' ', static_cast<std::size_t>(width));
  std::copy_n(word, std::strlen(word), field + 1);
}

const char* non_finite_word(double v) noexcept {
  if (std::isnan(v)) return "NaN";
  return std::signbit(v) ? "-Infinity" : "Infinity";
}

// Zero and sign are read from the bits: under denormals-are-zero a
// comparison would take a subnormal for zero, and its exact value is due.
bool is_zero(double v) noexcept { return (std::bit_cast<std::uint64_t>(v) << 1) == 0; }

// "[-]0.dddddd" followed by "E", the exponent's sign and at least
// exponent_digits digits of |x|. Returns the length.
int exponent_form(double v, const SixDigits& r, int exponent_digits, char* text) noexcept {
  int n = 0;
  if (std::signbit(v)) text[n++] = '-';
  text[n++] = '0';
  text[n++] = '.';
  std::memcpy(text + n, r.digits, 6);
  n += 6;
  const int written = std::snprintf(text + n, 8, "E%c%0*d", r.x < 0 ? '-' : '+', exponent_digits,
                                    std::abs(r.x));
  return n + written;
}

}  // namespace

void edit_e17_6e3(double v, char* field) noexcept {
  if (!std::isfinite(v)) {
    word_from_second_column(non_finite_word(v), field, kEFieldWidth);
    return;
  }
  if (is_zero(v)) {
    right_justify("0.000000E+000", 13, field, kEFieldWidth);
    return;
  }
  char text[24];
  const int n = exponent_form(v, round_to_six_digits(v), 3, text);
  right_justify(text, n, field, kEFieldWidth);
}

void edit_g15_6(double v, char* field) noexcept {
  constexpr int kFixedWidth = 11;
  constexpr int kTrailingBlanks = kGFieldWidth - kFixedWidth;
  if (!std::isfinite(v)) {
    const char* word = non_finite_word(v);
    right_justify(word, static_cast<int>(std::strlen(word)), field, kGFieldWidth);
    return;
  }
  if (is_zero(v)) {
    right_justify("0.00000", 7, field, kFixedWidth);
    std::memset(field + kFixedWidth, ' ', kTrailingBlanks);
    return;
  }
  const SixDigits r = round_to_six_digits(v);
  char text[24];
  int n = 0;
  if (r.x >= 0 && r.x <= 6) {
    if (std::signbit(v)) text[n++] = '-';
    if (r.x == 0) text[n++] = '0';
    std::memcpy(text + n, r.digits, static_cast<std::size_t>(r.x));
    n += r.x;
    text[n++] = '.';
    std::memcpy(text + n, r.digits + r.x, static_cast<std::size_t>(6 - r.x));
    n += 6 - r.x;
    right_justify(text, n, field, kFixedWidth);
    std::memset(field + kFixedWidth, ' ', kTrailingBlanks);
    return;
  }
  // Decimal exponents beyond two digits keep three in the same 15 columns.
  n = exponent_form(v, r, 2, text);
  right_justify(text, n, field, kGFieldWidth);
}

}  // namespace zorvik
