#include "number_edit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "diagnostic_text.h"
#include "six_digits.h"

namespace zorvik {
namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void put_pair(std::uint32_t n, char* out) noexcept { std::memcpy(out, kDigitPairs + std::size_t{2} * n, 2); }

// d1..d6 of 100000..999999.
void put_six_digits(std::uint32_t digits, char* out) noexcept {
  put_pair(digits / 10000, out);
  put_pair(digits / 100 % 100, out + 2);
  put_pair(digits % 100, out + 4);
}

// "E", the sign of x and |x| in at least kDigits digits (2 or 3); returns
// the length.
template <int kDigits>
int put_exponent(int x, char* out) noexcept {
  out[0] = 'E';
  out[1] = x < 0 ? '-' : '+';
  const auto magnitude = static_cast<std::uint32_t>(x < 0 ? -x : x);
  if (kDigits == 2 && magnitude < 100) {
    put_pair(magnitude, out + 2);
    return 4;
  }
  out[2] = static_cast<char>('0' + magnitude / 100);
  put_pair(magnitude % 100, out + 3);
  return 5;
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

// Zero and sign are read from the bits: under denormals-are-zero a
// comparison would take a subnormal for zero, and its exact value is due.
bool is_zero(double v) noexcept { return (std::bit_cast<std::uint64_t>(v) << 1) == 0; }

// The E form of the time column: "[-]0.dddddd" followed by the exponent in
// two digits, three beyond 99. Returns the length.
int exponent_form(double v, const SixDigits& r, char* text) noexcept {
  int n = 0;
  if (std::signbit(v)) text[n++] = '-';
  text[n++] = '0';
  text[n++] = '.';
  put_six_digits(r.digits, text + n);
  n += 6;
  return n + put_exponent<2>(r.x, text + n);
}

}  // namespace

void edit_e17_6e3(double v, char* field) noexcept {
  if (!std::isfinite(v)) {
    word_from_second_column(non_finite_word(v), field, kEFieldWidth);
    return;
  }
  if (is_zero(v)) {
    std::copy_n("    0.000000E+000", kEFieldWidth, field);
    return;
  }
  // Always 13 characters, 14 with the sign: 4 or 3 blanks before.
  std::copy_n(std::signbit(v) ? "   -0." : "    0.", 6, field);
  const SixDigits r = six_digits(v);
  put_six_digits(r.digits, field + 6);
  put_exponent<3>(r.x, field + 12);
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
    std::copy_n("    0.00000    ", kGFieldWidth, field);
    return;
  }
  const SixDigits r = six_digits(v);
  char text[16];
  int n = 0;
  if (r.x >= 0 && r.x <= 6) {
    char digits[6];
    put_six_digits(r.digits, digits);
    if (std::signbit(v)) text[n++] = '-';
    if (r.x == 0) text[n++] = '0';
    std::memcpy(text + n, digits, static_cast<std::size_t>(r.x));
    n += r.x;
    text[n++] = '.';
    std::memcpy(text + n, digits + r.x, static_cast<std::size_t>(6 - r.x));
    n += 6 - r.x;
    right_justify(text, n, field, kFixedWidth);
    std::memset(field + kFixedWidth, ' ', kTrailingBlanks);
    return;
  }
  // Decimal exponents beyond two digits keep three in the same 15 columns.
  n = exponent_form(v, r, text);
  right_justify(text, n, field, kGFieldWidth);
}

}  // namespace zorvik
