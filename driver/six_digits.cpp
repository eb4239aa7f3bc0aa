#include "six_digits.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zorvik {
namespace {

__extension__ typedef unsigned __int128 Uint128;

// 10^j ≈ (high · 2^64 + low) · 2^exponent: the leading 128 bits of 10^j,
// truncated, so the approximation is low by less than one part in 2^127.
struct PowerOfTen {
  std::uint64_t high;
  std::uint64_t low;
  int exponent;
};

// The powers that scale every double's leading digits to 100000..2000000.
constexpr int kMinPower = -303;
constexpr int kMaxPower = 329;

// An unsigned integer of 1024 bits, for building the table at compile time.
class BigNumber {
 public:
  constexpr explicit BigNumber(int power_of_two) { limb_[static_cast<std::size_t>(power_of_two / 32)] = 1U << (power_of_two % 32); }

  constexpr void multiply_by(std::uint32_t f) {
    std::uint64_t carry = 0;
    for (std::uint32_t& l : limb_) {
      const std::uint64_t t = std::uint64_t{l} * f + carry;
      l = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
  }
  // Rounds down.
  constexpr void divide_by(std::uint32_t d) {
    std::uint64_t remainder = 0;
    for (std::size_t k = limb_.size(); k-- > 0;) {
      const std::uint64_t t = (remainder << 32) | limb_[k];
      limb_[k] = static_cast<std::uint32_t>(t / d);
      remainder = t % d;
    }
  }
  constexpr int bit_length() const {
    for (std::size_t k = limb_.size(); k-- > 0;) {
      if (limb_[k] != 0) return static_cast<int>(k * 32 + std::bit_width(limb_[k]));
    }
    return 0;
  }
  // The 64 bits from bit `from` up; bits below bit 0 read as zeros.
  constexpr std::uint64_t bits_from(int from) const {
    if (from < 0) return -from >= 64 ? 0 : bits_from(0) << -from;
    const auto k = static_cast<std::size_t>(from / 32);
    const int shift = from % 32;
    const std::uint64_t low = limb(k) | std::uint64_t{limb(k + 1)} << 32;
    return shift == 0 ? low : low >> shift | std::uint64_t{limb(k + 2)} << (64 - shift);
  }

 private:
  constexpr std::uint32_t limb(std::size_t k) const { return k < limb_.size() ? limb_[k] : 0; }

  std::array<std::uint32_t, 32> limb_{};
};

constexpr PowerOfTen leading_bits(const BigNumber& n, int binary_exponent) {
  const int b = n.bit_length();
  return {n.bits_from(b - 64), n.bits_from(b - 128), binary_exponent + b - 128};
}

constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> make_powers_of_ten() {
  std::array<PowerOfTen, kMaxPower - kMinPower + 1> table{};
  // 10^j = 5^j · 2^j.
  BigNumber five_to_j(0);
  for (int j = 0; j <= kMaxPower; ++j) {
    table[static_cast<std::size_t>(j - kMinPower)] = leading_bits(five_to_j, j);
    five_to_j.multiply_by(5);
  }
  // 10^-j = floor(2^N / 5^j) · 2^(-N - j), less than one unit low in 2^N /
  // 5^j, which keeps far more than 128 bits.
  constexpr int N = 992;
  BigNumber scaled_inverse(N);
  for (int j = 1; j <= -kMinPower; ++j) {
    scaled_inverse.divide_by(5);
    table[static_cast<std::size_t>(-j - kMinPower)] = leading_bits(scaled_inverse, -N - j);
  }
  return table;
}

constexpr std::array<PowerOfTen, kMaxPower - kMinPower + 1> kPowersOfTen = make_powers_of_ten();

// v = m · 2^e with 2^52 <= m < 2^53, read from the bits: subnormals too.
struct Binary {
  std::uint64_t m;
  int e;
};

Binary binary_of(double v) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  constexpr std::uint64_t kHiddenBit = std::uint64_t{1} << 52;
  const std::uint64_t fraction = bits & (kHiddenBit - 1);
  const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased != 0) return {fraction | kHiddenBit, biased - 1075};
  const int shift = std::countl_zero(fraction) - 11;
  return {fraction << shift, -1074 - shift};
}

// floor(m · 2^e · 10^(5 - k) · 2^64), possibly low by one (the truncated
// power of ten), for a k that brings the value to 100000..2000000.
Uint128 scaled(const Binary& b, int k) noexcept {
  const PowerOfTen& p = kPowersOfTen[static_cast<std::size_t>(5 - k - kMinPower)];
  const Uint128 low = Uint128{b.m} * p.low;
  const Uint128 high = Uint128{b.m} * p.high;
  // The 181-bit product without its lowest 64 bits, then the rest of the
  // shift to 2^-64 units (31 to 36 bits).
  const Uint128 product = high + (low >> 64);
  return product >> (-(b.e + p.exponent + 64) - 64);
}

// The C library's conversion: exact for every double and in every
// floating-point mode, but slow.
SixDigits six_digits_from_c_library(double v) noexcept {
  char text[32];
  std::snprintf(text, sizeof text, "%.5e", std::fabs(v));  // "d.ddddde+XX"
  std::uint32_t digits = static_cast<std::uint32_t>(text[0] - '0');
  for (int i = 2; i <= 6; ++i) digits = digits * 10 + static_cast<std::uint32_t>(text[i] - '0');
  return {digits, static_cast<int>(std::strtol(text + 8, nullptr, 10)) + 1};
}

}  // namespace

SixDigits six_digits(double v) noexcept {
  const Binary b = binary_of(v);
  // floor(log10(v)) or one less: floor(log10(2^(e + 52))).
  int k = ((b.e + 52) * 315653) >> 20;
  Uint128 q = scaled(b, k);
  constexpr std::uint64_t kSevenDigits = 1'000'000;
  if (static_cast<std::uint64_t>(q >> 64) >= kSevenDigits) q = scaled(b, ++k);
  // The exact value lies in [q, q + 2) units of 2^-64. Where a halfway point
  // may lie in that range (an exact tie or a near one) the slow, exact
  // conversion decides.
  const Uint128 rounded = q + (Uint128{1} << 63);
  const auto above_half = static_cast<std::uint64_t>(rounded);
  if (above_half <= 2 || above_half >= ~std::uint64_t{0} - 2) return six_digits_from_c_library(v);
  auto digits = static_cast<std::uint32_t>(rounded >> 64);
  int x = k + 1;
  if (digits == kSevenDigits) {
    digits = kSevenDigits / 10;
    ++x;
  }
  return {digits, x};
}

}  // namespace zorvik
