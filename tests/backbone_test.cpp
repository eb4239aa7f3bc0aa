#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "evaluators.h"
#include "global_para.h"
#include "reference_backbone.h"
#include "tauhybfkz.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using oracle::curve;
using oracle::kWorkedExample;
using oracle::opaque;
using oracle::reference_stress;
using oracle::route;
using test::bits;

parameter_set as_set(const curve& c) {
  const curve p = opaque(c);
  return {p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d};
}

double stress(double strain, const curve& c) {
  const double g = opaque(strain);
  const curve p = opaque(c);
  return tauhybfkz(g, p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d);
}

double in_place_stress(double strain, const curve& c) {
  const parameter_set p = as_set(c);
  return backbone_stress<strength_grouping::in_place>(opaque(strain), p, weight_centre(p.a));
}

TEST(Backbone, WorkedExampleToNineDigits) {
  const parameter_set p = as_set(kWorkedExample);
  const backbone_terms t =
      backbone_terms_at<strength_grouping::called>(opaque(0.001), p, weight_centre(p.a));
  EXPECT_NEAR(t.w, 0.529519630, 5e-10);
  EXPECT_NEAR(t.t1, 20.9346192, 5e-8);
  EXPECT_NEAR(t.t2, 48.9748397, 5e-8);
  EXPECT_NEAR(stress(0.001, kWorkedExample), 34.1269925, 5e-8);
  EXPECT_NEAR(stress(-0.001, kWorkedExample), -34.1269925, 5e-8);
  EXPECT_NEAR(backbone_terms_at<strength_grouping::called>(opaque(0.01), p, weight_centre(p.a)).w,
              0.0663049017, 5e-11);
  EXPECT_NEAR(stress(0.01, kWorkedExample), 49.0446847, 5e-8);
}

TEST(Backbone, FollowsTheStepsBitForBitAndIsOdd) {
  // Pins the one power shared by N and D, the weight's power formed once per
  // set, and the grouping of each route: any regrouping moves last bits.
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> decade(-8.0, 0.0);
  for (int k = 0; k < 2000; ++k) {
    const double g = std::pow(10.0, decade(rng));
    for (const double x : {g, -g}) {
      EXPECT_EQ(bits(stress(x, kWorkedExample)),
                bits(reference_stress(x, kWorkedExample, route::called)));
      EXPECT_EQ(bits(in_place_stress(x, kWorkedExample)),
                bits(reference_stress(x, kWorkedExample, route::in_place)));
    }
    EXPECT_EQ(bits(stress(-g, kWorkedExample)), bits(-stress(g, kWorkedExample))) << g;
    EXPECT_EQ(bits(in_place_stress(-g, kWorkedExample)), bits(-in_place_stress(g, kWorkedExample)));
  }
}

TEST(Backbone, ZeroStrainGivesZeroWithTheSignOfTheLiteralPower) {
  // Pins N at a zero strain: pow(-0, 0.8) is +0, so the stress at -0 is +0;
  // pow(-0, 1) is -0 and so is the stress. Taking the sign from the strain
  // gets the first wrong.
  EXPECT_EQ(bits(stress(0.0, kWorkedExample)), bits(0.0));
  EXPECT_EQ(bits(stress(-0.0, kWorkedExample)), bits(0.0));
  EXPECT_EQ(bits(in_place_stress(-0.0, kWorkedExample)), bits(0.0));
  curve odd = kWorkedExample;
  odd.d = 1.0;
  EXPECT_EQ(bits(stress(-0.0, odd)), bits(-0.0));
  EXPECT_EQ(bits(in_place_stress(-0.0, odd)), bits(-0.0));
}

TEST(Backbone, InvalidInputGivesNaN) {
  EXPECT_TRUE(std::isnan(stress(std::numeric_limits<double>::quiet_NaN(), kWorkedExample)));
  for (const double a : {-1.2, 0.0}) {
    curve p = kWorkedExample;
    p.a = a;
    EXPECT_TRUE(std::isnan(stress(0.0, p)) && std::isnan(stress(-0.01, p))) << "a = " << a;
  }
  curve p = kWorkedExample;
  p.d = -0.5;
  EXPECT_TRUE(std::isnan(stress(0.0, p)));
  p = kWorkedExample;
  p.gamma_t = 0.0;
  EXPECT_TRUE(std::isnan(stress(0.0, p)));
  p = kWorkedExample;
  p.gamma_ref = 0.0;
  EXPECT_TRUE(std::isnan(stress(0.0, p)));
}

TEST(Backbone, EvaluatorsReadTheRowAndElementAsTheyStand) {
  constexpr curve kBranch = test::kBranchSet;
  global_para gp;
  test::put_model(gp, 2, kWorkedExample, kBranch);
  gp.gmax(2, 2) = 52000.0;  // as after a departure of element 2
  curve rescaled = kBranch;
  rescaled.gmax = 52000.0;
  const double g = 0.0007;
  EXPECT_EQ(fbb(gp, g, 1, 2), stress(g, kWorkedExample));
  EXPECT_EQ(fbb(gp, g, 2, 1), stress(g, kBranch));
  EXPECT_EQ(fbb(gp, g, 2, 2), stress(g, rescaled));
  EXPECT_EQ(ratio(gp, g, 2, 2), stress(g, rescaled) / (g * 52000.0));
  EXPECT_TRUE(std::isnan(ratio(gp, 0.0, 1, 1)));
  EXPECT_EQ(fmu(gp, g, 2), 2.0 * stress(g * 0.5, rescaled));
  const double f = stress((g - 0.0011) * 0.5, kBranch);
  for (const std::int32_t branch : {1, 7, -1}) {  // any nonzero number takes the branch rule
    EXPECT_EQ(yi(gp, g, 0.0011, 30.0, branch, 1), (30.0 + f) + f) << branch;
  }
  EXPECT_EQ(yi(gp, g, 0.0011, 30.0, 0, 1), stress(g, kWorkedExample));
}

}  // namespace
}  // namespace zorvik
