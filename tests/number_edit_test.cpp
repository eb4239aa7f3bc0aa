#include "number_edit.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fp_mode.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace zorvik {
namespace {

using Lim = std::numeric_limits<double>;
using Cases = std::vector<std::pair<double, std::string>>;

// The field, with a guard character after it that the edit must not touch.
template <void (*Edit)(double, char*) noexcept, std::size_t Width>
std::string edited(double v) {
  std::string field(Width + 1, '#');
  Edit(v, field.data());
  EXPECT_EQ(field.back(), '#') << "the edit of " << v << " writes past its field";
  field.pop_back();
  return field;
}

std::string e17_field(double v) { return edited<edit_e17_6e3, kEFieldWidth>(v); }
std::string g15_field(double v) { return edited<edit_g15_6, kGFieldWidth>(v); }

const double kTie = std::ldexp(1.0, -10);  // 0.0009765625: a tie at the seventh digit
const double kSmallestSubnormal = Lim::denorm_min();

// MXCSR with flush-to-zero and denormals-are-zero, as the program runs,
// restored afterwards.
class RunFloatingPointMode {
 public:
#if defined(__x86_64__) || defined(_M_X64)
  RunFloatingPointMode() : saved_(_mm_getcsr()) { set_flush_to_zero_mode(); }
  ~RunFloatingPointMode() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#else
  RunFloatingPointMode() { set_flush_to_zero_mode(); }
#endif
};

TEST(NumberEdits, FieldsOfTheResultFilesAndTheTimeColumn) {
  const Cases e17{
      {123.456, "    0.123456E+003"}, {-0.00123456, "   -0.123456E-002"}, {1.0, "    0.100000E+001"},
      {0.5, "    0.500000E+000"}, {9999999.0, "    0.100000E+008"}, {-2.5E-5, "   -0.250000E-004"},
      {1.0E-300, "    0.100000E-299"}, {kTie, "    0.976562E-003"},
      // The exact binary value rounded to nearest, ties to even: written with
      // a 5 in the seventh digit, 0.1234575 and 1.234585 lie below and above
      // that tie.
      {100000.5, "    0.100000E+006"}, {100001.5, "    0.100002E+006"}, {-100001.5, "   -0.100002E+006"},
      {0.1234575, "    0.123457E+000"}, {1.234585, "    0.123459E+001"},
      // Rounding up to a power of ten takes the next exponent.
      {999999.5, "    0.100000E+007"}, {0.99999951, "    0.100000E+001"}, {-9999999.0, "   -0.100000E+008"},
      {999999.4, "    0.999999E+006"},
      // Extreme magnitudes keep three exponent digits.
      {Lim::max(), "    0.179769E+309"}, {-Lim::max(), "   -0.179769E+309"}, {Lim::min(), "    0.222507E-307"},
      {1.0E-310, "    0.100000E-309"}, {kSmallestSubnormal, "    0.494066E-323"},
      {-kSmallestSubnormal, "   -0.494066E-323"},
      // Zeros, and words from the second column.
      {0.0, "    0.000000E+000"}, {-0.0, "    0.000000E+000"}, {Lim::quiet_NaN(), " NaN             "},
      {-Lim::quiet_NaN(), " NaN             "}, {Lim::infinity(), " Infinity        "},
      {-Lim::infinity(), " -Infinity       "}};
  const Cases g15{
      {12.5, "    12.5000    "}, {0.5, "   0.500000    "}, {1.0, "    1.00000    "}, {20.48, "    20.4800    "},
      {-3.25, "   -3.25000    "}, {123456.0, "    123456.    "}, {0.02, "   0.200000E-01"},
      {0.005, "   0.500000E-02"}, {1.0E6, "   0.100000E+07"},
      // The form is chosen by the exponent after rounding.
      {0.09999996, "   0.100000    "}, {-0.09999996, "  -0.100000    "}, {0.0999999, "   0.999999E-01"},
      {0.1, "   0.100000    "}, {999999.4, "    999999.    "}, {999999.5, "   0.100000E+07"},
      {-999999.4, "   -999999.    "}, {9999999.0, "   0.100000E+08"}, {kTie, "   0.976562E-03"},
      {100001.5, "    100002.    "}, {0.1234575, "   0.123457    "},
      // Exponents beyond two digits keep three in the same columns; 1e-100
      // is 0.1 x 10^-99, where two digits still fit.
      {1.0E100, "  0.100000E+101"}, {-1.0E100, " -0.100000E+101"}, {9.99999E98, "   0.999999E+99"},
      {1.0E99, "  0.100000E+100"}, {1.0E-100, "   0.100000E-99"}, {1.0E-101, "  0.100000E-100"},
      {-1.0E-101, " -0.100000E-100"}, {Lim::max(), "  0.179769E+309"}, {-Lim::max(), " -0.179769E+309"},
      {kSmallestSubnormal, "  0.494066E-323"}, {-kSmallestSubnormal, " -0.494066E-323"},
      // Zeros of either sign, and words.
      {0.0, "    0.00000    "}, {-0.0, "    0.00000    "}, {Lim::quiet_NaN(), "            NaN"},
      {-Lim::quiet_NaN(), "            NaN"}, {Lim::infinity(), "       Infinity"},
      {-Lim::infinity(), "      -Infinity"}};
  EXPECT_TRUE(std::signbit(-Lim::quiet_NaN()));
  for (const auto& [v, field] : e17) EXPECT_EQ(e17_field(v), field) << "value " << v;
  for (const auto& [v, field] : g15) EXPECT_EQ(g15_field(v), field) << "value " << v;
}

// The fast edits against the C library's exact conversion, on every exact
// tie class and on values built to sit next to every rounding boundary:
// pins a wrong digit, exponent or form anywhere in the double range. The
// fast edits run under the run's flush-to-zero mode, the reference in the
// default one. ZORVIK_EDIT_PROOF_VALUES sets the number of values (a
// million by default); from 20 million on every exact tie is taken.

std::string right_justified(const std::string& text, std::size_t width) {
  return std::string(width - text.size(), ' ') + text;
}

// "d.ddddde+XX" of |v|: the digits and x of 0.dddddd x 10^x.
std::pair<std::string, int> c_library_digits(double v) {
  char t[32];
  std::snprintf(t, sizeof t, "%.5e", std::fabs(v));
  return {std::string(1, t[0]) + std::string(t + 2, 5), std::atoi(t + 8) + 1};
}

std::string reference_e17(double v) {
  if (std::isnan(v)) return " NaN             ";
  if (std::isinf(v)) return std::signbit(v) ? " -Infinity       " : " Infinity        ";
  if (v == 0.0) return "    0.000000E+000";
  const auto [digits, x] = c_library_digits(v);
  char t[32];
  std::snprintf(t, sizeof t, "%s0.%sE%c%03d", std::signbit(v) ? "-" : "", digits.c_str(), x < 0 ? '-' : '+',
                std::abs(x));
  return right_justified(t, kEFieldWidth);
}

std::string reference_g15(double v) {
  if (std::isnan(v)) return "            NaN";
  if (std::isinf(v)) return right_justified(std::signbit(v) ? "-Infinity" : "Infinity", kGFieldWidth);
  if (v == 0.0) return "    0.00000    ";
  const auto [digits, x] = c_library_digits(v);
  char t[32];
  if (x >= 0 && x <= 6) {
    std::snprintf(t, sizeof t, "%#.*f", 6 - x, v);
    return right_justified(t, 11) + "    ";
  }
  std::snprintf(t, sizeof t, "%s0.%sE%c%02d", std::signbit(v) ? "-" : "", digits.c_str(), x < 0 ? '-' : '+',
                std::abs(x));
  return right_justified(t, kGFieldWidth);
}

class EditProof {
 public:
  ~EditProof() { run_batch(); }

  void check(double v) {
    batch_.push_back(v);
    ++values_;
    if (batch_.size() == kBatch) run_batch();
  }
  std::int64_t values() const { return values_; }

 private:
  static constexpr std::size_t kBatch = 4096;

  void run_batch() {
    std::vector<char> e(batch_.size() * kEFieldWidth);
    std::vector<char> g(batch_.size() * kGFieldWidth);
    {
      const RunFloatingPointMode mode;
      for (std::size_t k = 0; k < batch_.size(); ++k) {
        edit_e17_6e3(batch_[k], e.data() + k * kEFieldWidth);
        edit_g15_6(batch_[k], g.data() + k * kGFieldWidth);
      }
    }
    for (std::size_t k = 0; k < batch_.size() && mismatches_ < 20; ++k) {
      const double v = batch_[k];
      const std::string fast_e(e.data() + k * kEFieldWidth, kEFieldWidth);
      const std::string fast_g(g.data() + k * kGFieldWidth, kGFieldWidth);
      if (fast_e != reference_e17(v) || fast_g != reference_g15(v)) {
        ++mismatches_;
        ADD_FAILURE() << std::hexfloat << v << ": [" << fast_e << "] [" << fast_g << "], exact ["
                      << reference_e17(v) << "] [" << reference_g15(v) << "]";
      }
    }
    batch_.clear();
  }

  std::vector<double> batch_;
  std::int64_t values_ = 0;
  int mismatches_ = 0;
};

// The value and its neighbours up to `ulps` steps away, both signs.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a value and a count
void check_around(EditProof& proof, double v, int ulps) {
  proof.check(v);
  proof.check(-v);
  double below = v;
  double above = v;
  for (int k = 1; k <= ulps; ++k) {
    below = std::nextafter(below, 0.0);
    above = std::nextafter(above, Lim::infinity());
    for (const double w : {below, above}) {
      proof.check(w);
      proof.check(-w);
    }
  }
}

// The double nearest to the decimal n x 10^p.
double decimal(std::uint64_t n, int p) {
  return std::strtod((std::to_string(n) + "e" + std::to_string(p)).c_str(), nullptr);
}

TEST(EditProof, FastEditsEqualTheExactConversionOnEveryBoundary) {
  const char* requested = std::getenv("ZORVIK_EDIT_PROOF_VALUES");
  const std::int64_t budget = requested != nullptr ? std::atoll(requested) : 1'000'000;
  const bool every_tie = budget >= 20'000'000;
  std::mt19937_64 random(20240611);
  auto uniform = [&](std::uint64_t lo, std::uint64_t hi) {  // lo..hi
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(random);
  };
  EditProof proof;

  // Every binade, subnormals included, at its ends and inside.
  for (std::uint64_t biased = 0; biased <= 2047; ++biased) {
    for (const std::uint64_t fraction : {std::uint64_t{0}, std::uint64_t{1}, (std::uint64_t{1} << 52) - 1,
                                         uniform(0, (std::uint64_t{1} << 52) - 1)}) {
      proof.check(std::bit_cast<double>(biased << 52 | fraction));
    }
  }
  // Every power of ten a double can hold, and the extremes.
  for (int p = -323; p <= 308; ++p) check_around(proof, decimal(1, p), 3);
  for (const double v : {Lim::max(), Lim::min(), Lim::denorm_min(), Lim::min() - Lim::denorm_min()}) {
    check_around(proof, v, 1000);
  }
  // The boundaries of the fixed form of G15.6 and of its two-digit exponent:
  // the halfway points below 0.1, 10^6, 10^99 and 10^-100.
  for (const int p : {-8, -1, 93, -107}) check_around(proof, decimal(9999995, p), 1000);

  // Exact ties: c x 2^e (c odd) whose decimal value has seven significant
  // digits, the last a 5. Below 1 (e < 0) c x 5^-e has seven digits; above,
  // the value is t x 10^q with t of seven digits ending in 5.
  std::vector<std::pair<std::uint64_t, int>> ties;  // (c, e)
  std::uint64_t five_to = 1;
  for (int m = 1; m <= 10; ++m) {
    five_to *= 5;
    for (std::uint64_t c = (999'999 / five_to + 1) | 1; c * five_to < 10'000'000; c += 2) ties.emplace_back(c, -m);
  }
  five_to = 1;
  for (int q = 0; q <= 16; ++q, five_to *= 5) {
    for (std::uint64_t t = 1'000'005; t < 10'000'000 && t * five_to < (std::uint64_t{1} << 53); t += 10) {
      ties.emplace_back(t * five_to, q);
    }
  }
  const std::int64_t tie_share = every_tie ? static_cast<std::int64_t>(ties.size()) : budget / 20;
  for (std::int64_t k = 0; k < tie_share; ++k) {
    const auto [c, e] = ties[every_tie ? static_cast<std::size_t>(k) : uniform(0, ties.size() - 1)];
    check_around(proof, std::ldexp(static_cast<double>(c), e), 1);
  }

  // The rest: halfway points that no double holds (with n = 999999, the way
  // up to a power of ten), subnormal and realistic values, random bits.
  while (proof.values() < budget) {
    const std::uint64_t n = uniform(0, 9) == 0 ? 999'999 : uniform(100'000, 999'999);
    check_around(proof, decimal(n * 10 + 5, static_cast<int>(uniform(0, 638)) - 330), 2);
    proof.check(std::bit_cast<double>(uniform(0, (std::uint64_t{1} << 52) - 1)));
    const double mantissa = 1.0 + static_cast<double>(uniform(0, (std::uint64_t{1} << 52) - 1)) * 0x1p-52;
    proof.check(std::ldexp(mantissa, static_cast<int>(uniform(0, 67)) - 40));
    for (int k = 0; k < 8; ++k) proof.check(std::bit_cast<double>(random()));
  }
  std::printf("number edits compared with the exact conversion on %lld values\n",
              static_cast<long long>(proof.values()));
}

}  // namespace
}  // namespace zorvik
