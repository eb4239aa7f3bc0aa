#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "evaluators.h"
#include "global_para.h"
#include "reference_backbone.h"
#include "tauhybfkz.h"

namespace zorvik {
namespace {

using oracle::curve;
using oracle::kWorkedExample;
using oracle::reference_stress;
using oracle::route;

constexpr auto kCalled = strength_grouping::called;
constexpr auto kInPlace = strength_grouping::in_place;

double stress(double gamma, const curve& p) {
  return tauhybfkz(gamma, p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d);
}

template <strength_grouping G>
double stress_by(double gamma, const curve& p) {
  const parameter_set set{p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d};
  return backbone_stress<G>(gamma, set, weight_centre(p.a));
}

backbone_terms terms(double gamma, const curve& p) {
  const parameter_set set{p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d};
  return backbone_terms_at<kCalled>(gamma, set, weight_centre(p.a));
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Strains of both signs over eight decades, some exactly representable.
std::vector<double> sample_strains() {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> decade(-8.0, 0.0);
  std::vector<double> out;
  for (int k = 0; k < 2000; ++k) {
    const double m = std::pow(10.0, decade(rng));
    out.push_back((k % 2 == 0) ? m : -m);
  }
  for (int k = 1; k <= 64; ++k) {
    out.push_back(std::ldexp(k, -13));
  }
  return out;
}

TEST(Backbone, WorkedExampleToNineDigits) {
  const backbone_terms small = terms(0.001, kWorkedExample);
  EXPECT_NEAR(small.w, 0.529519630, 5e-10);
  EXPECT_NEAR(small.t1, 20.9346192, 5e-8);
  EXPECT_NEAR(small.t2, 48.9748397, 5e-8);
  EXPECT_NEAR(stress(0.001, kWorkedExample), 34.1269925, 5e-8);
  EXPECT_NEAR(stress(-0.001, kWorkedExample), -34.1269925, 5e-8);
  EXPECT_NEAR(terms(0.01, kWorkedExample).w, 0.0663049017, 5e-11);
  EXPECT_NEAR(stress(0.01, kWorkedExample), 49.0446847, 5e-8);
}

TEST(Backbone, FollowsTheStepsBitForBit) {
  // Pins the single power shared by N and D, the weight's power formed once
  // per set, and the grouping of each route: any regrouping moves last bits.
  for (const double g : sample_strains()) {
    EXPECT_EQ(bits(stress(g, kWorkedExample)), bits(reference_stress(g, kWorkedExample, route::called))) << g;
    EXPECT_EQ(bits(stress_by<kInPlace>(g, kWorkedExample)),
              bits(reference_stress(g, kWorkedExample, route::in_place)))
        << g;
  }
}

TEST(Backbone, TheTwoRoutesDifferInLastBits) {
  // The routes are not interchangeable: the tests of the stress update can
  // tell which one each evaluation took.
  int differing = 0;
  for (const double g : sample_strains()) {
    differing += stress_by<kCalled>(g, kWorkedExample) != stress_by<kInPlace>(g, kWorkedExample);
  }
  EXPECT_GT(differing, 100);
}

TEST(Backbone, OddBitForBit) {
  for (const double g : sample_strains()) {
    EXPECT_EQ(bits(stress(-g, kWorkedExample)), bits(-stress(g, kWorkedExample))) << g;
    EXPECT_EQ(bits(stress_by<kInPlace>(-g, kWorkedExample)),
              bits(-stress_by<kInPlace>(g, kWorkedExample)))
        << g;
  }
}

TEST(Backbone, ZeroStrainGivesZeroWithTheSignOfTheLiteralPower) {
  // Pins N at a zero strain: pow(-0, 0.8) is +0, so the stress at -0 is +0;
  // with an odd integer exponent pow(-0, 1) is -0 and so is the stress. A
  // copysign shortcut would get the first wrong.
  EXPECT_EQ(bits(stress(0.0, kWorkedExample)), bits(0.0));
  EXPECT_EQ(bits(stress(-0.0, kWorkedExample)), bits(0.0));
  curve odd = kWorkedExample;
  odd.d = 1.0;
  EXPECT_EQ(bits(stress(-0.0, odd)), bits(-0.0));
  EXPECT_EQ(bits(stress_by<kInPlace>(-0.0, odd)), bits(-0.0));
  EXPECT_EQ(bits(stress_by<kInPlace>(-0.0, kWorkedExample)), bits(0.0));
}

TEST(Backbone, InvalidInputGivesNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(stress(nan, kWorkedExample)));
  for (const double a : {-1.2, 0.0}) {
    curve p = kWorkedExample;
    p.a = a;
    for (const double g : {0.0, 1e-4, -0.01}) {
      EXPECT_TRUE(std::isnan(stress(g, p))) << "a " << a << " strain " << g;
    }
  }
  curve negative_d = kWorkedExample;
  negative_d.d = -0.5;
  EXPECT_TRUE(std::isnan(stress(0.0, negative_d)));
  curve zero_gamma_t = kWorkedExample;
  zero_gamma_t.gamma_t = 0.0;
  EXPECT_TRUE(std::isnan(stress(0.0, zero_gamma_t)));
  curve zero_gamma_ref = kWorkedExample;
  zero_gamma_ref.gamma_ref = 0.0;
  EXPECT_TRUE(std::isnan(stress(0.0, zero_gamma_ref)));
}

class Evaluators : public ::testing::Test {
 protected:
  static constexpr curve kBranch{2e-6, 0.9, 8e-4, 1.1, 0.85, 45000.0, 6.0, 40.0, 0.7};
  void SetUp() override {
    gp.allocate_parameter_sets(2);
    for (int i = 1; i <= 2; ++i) {
      oracle::put_curve(gp, 1, i, kWorkedExample);
      oracle::put_curve(gp, 2, i, kBranch);
    }
    gp.reset_hysteresis_state();
  }
  global_para gp;
};

TEST_F(Evaluators, ReadTheRowAndElementAsTheyStand) {
  gp.gmax(2, 2) = 52000.0;  // as after a departure of element 2
  curve branch2 = kBranch;
  branch2.gmax = 52000.0;
  const double g = 0.0007;
  EXPECT_EQ(fbb(gp, g, 1, 2), stress(g, kWorkedExample));
  EXPECT_EQ(fbb(gp, g, 2, 1), stress(g, kBranch));
  EXPECT_EQ(fbb(gp, g, 2, 2), stress(g, branch2));
  EXPECT_EQ(ratio(gp, g, 2, 2), stress(g, branch2) / (g * 52000.0));
  EXPECT_TRUE(std::isnan(ratio(gp, 0.0, 1, 1)));
  EXPECT_EQ(fmu(gp, g, 2), 2.0 * stress(g * 0.5, branch2));
}

TEST_F(Evaluators, AnyNonzeroBranchNumberTakesTheBranchRule) {
  const double g = -0.0004;
  const double g_rev = 0.0011;
  const double tau_rev = 30.0;
  const double f = stress((g - g_rev) * 0.5, kBranch);
  for (const std::int32_t branch : {1, 7, -1}) {
    EXPECT_EQ(yi(gp, g, g_rev, tau_rev, branch, 1), (tau_rev + f) + f) << branch;
  }
  EXPECT_EQ(yi(gp, g, g_rev, tau_rev, 0, 1), stress(g, kWorkedExample));
}

}  // namespace
}  // namespace zorvik
