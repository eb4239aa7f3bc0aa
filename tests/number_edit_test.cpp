#include "number_edit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

std::string e17(double v) { return edited<edit_e17_6e3, kEFieldWidth>(v); }
std::string g15(double v) { return edited<edit_g15_6, kGFieldWidth>(v); }

void expect_e17(const Cases& cases) {
  for (const auto& [v, field] : cases) EXPECT_EQ(e17(v), field) << "value " << v;
}
void expect_g15(const Cases& cases) {
  for (const auto& [v, field] : cases) EXPECT_EQ(g15(v), field) << "value " << v;
}

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

TEST(EditE17, TableOfTheResultFiles) {
  expect_e17({{123.456, "    0.123456E+003"},
              {-0.00123456, "   -0.123456E-002"},
              {1.0, "    0.100000E+001"},
              {0.5, "    0.500000E+000"},
              {9999999.0, "    0.100000E+008"},
              {-2.5E-5, "   -0.250000E-004"},
              {1.0E-300, "    0.100000E-299"},
              {kTie, "    0.976562E-003"},
              {0.0, "    0.000000E+000"},
              {-0.0, "    0.000000E+000"},
              {Lim::quiet_NaN(), " NaN             "},
              {-Lim::infinity(), " -Infinity       "}});
}

TEST(EditE17, RoundsTheExactBinaryValueToNearestTiesToEven) {
  expect_e17({{100000.5, "    0.100000E+006"},   // tie, down to the even digit
              {100001.5, "    0.100002E+006"},   // tie, up to the even digit
              {-100001.5, "   -0.100002E+006"},
              // Written with a 5 in the seventh digit, but the doubles lie
              // below and above that tie: their exact values decide.
              {0.1234575, "    0.123457E+000"},
              {1.234585, "    0.123459E+001"}});
}

TEST(EditE17, RoundingUpToAPowerOfTenTakesTheNextExponent) {
  expect_e17({{999999.5, "    0.100000E+007"},
              {0.99999951, "    0.100000E+001"},
              {-9999999.0, "   -0.100000E+008"},
              {999999.4, "    0.999999E+006"}});
}

TEST(EditE17, ExtremeMagnitudesKeepThreeExponentDigits) {
  expect_e17({{Lim::max(), "    0.179769E+309"},
              {-Lim::max(), "   -0.179769E+309"},
              {Lim::min(), "    0.222507E-307"},
              {1.0E-310, "    0.100000E-309"},
              {kSmallestSubnormal, "    0.494066E-323"},
              {-kSmallestSubnormal, "   -0.494066E-323"}});
}

TEST(EditE17, SubnormalsUnderTheRunsFlushToZeroMode) {
  // A subnormal is a nonzero value; denormals-are-zero changes arithmetic,
  // not what the edit writes for a value it is given.
  const RunFloatingPointMode mode;
  expect_e17({{1.0E-310, "    0.100000E-309"},
              {kSmallestSubnormal, "    0.494066E-323"},
              {-kSmallestSubnormal, "   -0.494066E-323"},
              {Lim::min(), "    0.222507E-307"}});
}

TEST(EditE17, NonFiniteValuesAreWordsFromTheSecondColumn) {
  expect_e17({{Lim::quiet_NaN(), " NaN             "},
              {-Lim::quiet_NaN(), " NaN             "},
              {Lim::infinity(), " Infinity        "},
              {-Lim::infinity(), " -Infinity       "}});
  EXPECT_TRUE(std::signbit(-Lim::quiet_NaN()));
}

TEST(EditG15, TableOfTheTimeColumn) {
  expect_g15({{12.5, "    12.5000    "},
              {0.5, "   0.500000    "},
              {1.0, "    1.00000    "},
              {20.48, "    20.4800    "},
              {-3.25, "   -3.25000    "},
              {123456.0, "    123456.    "},
              {0.02, "   0.200000E-01"},
              {0.005, "   0.500000E-02"},
              {1.0E6, "   0.100000E+07"},
              {0.0, "    0.00000    "}});
}

TEST(EditG15, FormIsChosenByTheExponentAfterRounding) {
  expect_g15({{0.09999996, "   0.100000    "},  // rounds up to 0.100000: fixed form
              {-0.09999996, "  -0.100000    "},
              {0.0999999, "   0.999999E-01"},
              {0.1, "   0.100000    "},
              {999999.4, "    999999.    "},
              {999999.5, "   0.100000E+07"},  // rounds up to 10^6: E form
              {-999999.4, "   -999999.    "},
              {9999999.0, "   0.100000E+08"},
              {kTie, "   0.976562E-03"},
              {100001.5, "    100002.    "},
              {0.1234575, "   0.123457    "}});
}

TEST(EditG15, ExponentsBeyondTwoDigitsKeepThreeInTheSameColumns) {
  expect_g15({{1.0E100, "  0.100000E+101"},
              {-1.0E100, " -0.100000E+101"},
              {9.99999E98, "   0.999999E+99"},
              {1.0E99, "  0.100000E+100"},
              // 1e-100 is 0.1 x 10^-99: two digits still fit.
              {1.0E-100, "   0.100000E-99"},
              {1.0E-101, "  0.100000E-100"},
              {-1.0E-101, " -0.100000E-100"},
              {Lim::max(), "  0.179769E+309"},
              {-Lim::max(), " -0.179769E+309"},
              {kSmallestSubnormal, "  0.494066E-323"},
              {-kSmallestSubnormal, " -0.494066E-323"}});
}

TEST(EditG15, SubnormalTimesUnderTheRunsFlushToZeroMode) {
  // A time read as a subnormal is copied to "t.dat" unchanged; it is no zero.
  const RunFloatingPointMode mode;
  expect_g15({{1.0E-310, "  0.100000E-309"}, {-kSmallestSubnormal, " -0.494066E-323"}});
}

TEST(EditG15, ZeroOfEitherSignAndNonFiniteValues) {
  expect_g15({{0.0, "    0.00000    "},
              {-0.0, "    0.00000    "},
              {Lim::quiet_NaN(), "            NaN"},
              {-Lim::quiet_NaN(), "            NaN"},
              {Lim::infinity(), "       Infinity"},
              {-Lim::infinity(), "      -Infinity"}});
}

}  // namespace
}  // namespace zorvik
