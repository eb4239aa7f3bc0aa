#include "hyster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>
#include <cstdio>

#include "global_para.h"
#include "reference_backbone.h"

namespace zorvik {
namespace {

using oracle::curve;
using oracle::kWorkedExample;
using oracle::reference_stress;
using oracle::route;

constexpr curve kBranchSet{2e-6, 0.9, 8e-4, 1.1, 0.85, 45000.0, 6.0, 40.0, 0.7};
const double u = std::ldexp(1.0, -13);  // every strain and increment below is exact
constexpr double kFloor = 1.0000000031710769e-30;

// Expected values, formed from the written-out backbone with the stated
// grouping of each step.
double f1(double x, route r) { return reference_stress(x, kWorkedExample, r); }
double f2(double x, double gmax2, route r) {
  curve c = kBranchSet;
  c.gmax = gmax2;
  return reference_stress(x, c, r);
}
double branch(double y_origin, double f) { return (y_origin + f) + f; }
double rescaled(double gmax2, double r) {
  const double g1m = kWorkedExample.gmax;
  const double q1 = f1(r, route::called) / (r * g1m);
  const double q2 = f2(r, gmax2, route::called) / (gmax2 * r);
  return (g1m * q1) / q2;
}

// One call of the worked trace, strains and increments in units of u.
struct trace_call {
  double g0, g1, dprev, dcur;
};
constexpr std::array<trace_call, 15> kTrace{{{0, 1, 0, 1},
                                             {1, 2, 1, 1},
                                             {2, 3, 1, 1},
                                             {3, 2, 1, -1},
                                             {2, 0, -1, -2},
                                             {0, -2, -2, -2},
                                             {-2, -3, -2, -1},
                                             {-3, -4, -1, -1},
                                             {-4, -3, -1, 1},
                                             {-3, -2, 1, 1},
                                             {-2, -3, 1, -1},
                                             {-3, -3.5, -1, -0.5},
                                             {-3.5, -3, -0.5, 0.5},
                                             {-3, -1, 0.5, 2},
                                             {-1, 5, 2, 6}}};

// Element 2 of a three-element column is driven; its neighbours watch.
class Hyster : public ::testing::Test {
 protected:
  static constexpr int kElement = 2;

  void SetUp() override { set_up(kWorkedExample, kBranchSet); }
  void set_up(const curve& backbone, const curve& branch_set) {
    gp.allocate_parameter_sets(3);
    for (int i = 1; i <= 3; ++i) {
      oracle::put_curve(gp, 1, i, backbone);
      oracle::put_curve(gp, 2, i, branch_set);
    }
    gp.reset_hysteresis_state();
  }
  double call(double g0, double g1, double dprev, double dcur) {
    double tau = -1.0;
    hyster(gp, tau, dprev, dcur, g0, g1, kElement);
    return tau;
  }
  double call_trace(int k) {
    const trace_call& c = kTrace.at(static_cast<std::size_t>(k - 1));
    return call(c.g0 * u, c.g1 * u, c.dprev * u, c.dcur * u);
  }
  void replay_trace(int count) {
    for (int k = 1; k <= count; ++k) {
      call_trace(k);
    }
  }
  int n() const { return gp.bb(kElement); }
  double x(int k) const { return gp.xtu(k, kElement); }
  double y(int k) const { return gp.ytu(k, kElement); }
  double gmax2() const { return gp.gmax(2, kElement); }
  // Elements 1 and 3 as the reset left them.
  void expect_neighbours_untouched() const {
    for (const int i : {1, 3}) {
      EXPECT_EQ(gp.xtu(1, i), kSentinel);
      EXPECT_EQ(gp.ytu(1, i), kSentinel);
      int nonzero = 0;
      for (int k = 2; k <= gp.stack(i).rows; ++k) {
        nonzero += gp.xtu(k, i) != 0.0 || gp.ytu(k, i) != 0.0;
      }
      EXPECT_EQ(nonzero, 0) << "element " << i;
      EXPECT_EQ(gp.bb(i), 0);
      EXPECT_EQ(gp.xm(i), 0.0);
      EXPECT_EQ(gp.ym(i), 0.0);
      EXPECT_EQ(gp.gmax(2, i), kBranchSet.gmax);
    }
  }

  global_para gp;
};

TEST_F(Hyster, WorkedTrace) {
  // Pins the route of every evaluation point: the called and in-place
  // groupings differ in the last bits, so a swapped route fails here.
  const double ga = rescaled(kBranchSet.gmax, 3 * u);  // departure of call 4
  const double gb = rescaled(ga, 4 * u);               // departure of call 9, from ga
  const double b4 = f1(3 * u, route::in_place);
  const double b9 = f1(-4 * u, route::in_place);
  const double b11 = branch(b9, f2(u, gb, route::in_place));
  const double b13 = branch(b11, f2(-0.75 * u, gb, route::in_place));
  struct expected {
    int n, par;
    double tau;
  };
  const std::array<expected, 15> want{{
      {0, 0, f1(u, route::called)},
      {0, 0, f1(2 * u, route::called)},
      {0, 0, f1(3 * u, route::called)},
      {1, 1, branch(b4, f2(-0.5 * u, ga, route::in_place))},
      {1, 0, branch(b4, f2(-1.5 * u, ga, route::called))},
      {1, 0, branch(b4, f2(-2.5 * u, ga, route::called))},
      {0, 1, f1(-3 * u, route::in_place)},
      {0, 0, f1(-4 * u, route::called)},
      {1, 1, branch(b9, f2(0.5 * u, gb, route::in_place))},
      {1, 0, branch(b9, f2(u, gb, route::called))},
      {2, 1, branch(b11, f2(-0.5 * u, gb, route::in_place))},
      {2, 0, branch(b11, f2(-0.75 * u, gb, route::called))},
      {3, 1, branch(b13, f2(0.25 * u, gb, route::in_place))},
      {1, 1, branch(b9, f2(1.5 * u, gb, route::in_place))},
      {0, 1, f1(5 * u, route::in_place)},
  }};
  for (int k = 1; k <= 15; ++k) {
    const expected& e = want.at(static_cast<std::size_t>(k - 1));
    EXPECT_EQ(call_trace(k), e.tau) << "call " << k;
    EXPECT_EQ(n(), e.n) << "call " << k;
    EXPECT_EQ(gp.par(kElement), e.par) << "call " << k;
    if (k == 4) {
      EXPECT_EQ(gmax2(), ga);
      EXPECT_EQ(x(2), -3 * u);
      EXPECT_EQ(y(2), -b4);
      EXPECT_EQ(x(3), 3 * u);
      EXPECT_EQ(y(3), b4);
      EXPECT_EQ(gp.xm(kElement), 3 * u);
      EXPECT_EQ(gp.ym(kElement), b4);
    }
    if (k == 9) {
      EXPECT_EQ(gmax2(), gb);
      EXPECT_EQ(x(2), 4 * u);
      EXPECT_EQ(y(2), -b9);
    }
    if (k == 13) {
      EXPECT_EQ(x(4), -2 * u);
      EXPECT_EQ(y(4), b11);
      EXPECT_EQ(x(5), -3.5 * u);
      EXPECT_EQ(y(5), b13);
    }
  }
  EXPECT_EQ(gmax2(), gb);  // closures leave the rescaled modulus
  expect_neighbours_untouched();
}

TEST_F(Hyster, TwoLoopsCloseInOneCall) {
  replay_trace(13);
  EXPECT_EQ(call(-3 * u, 5 * u, 0.5 * u, 8 * u), f1(5 * u, route::in_place));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(gp.par(kElement), 1);
}

TEST_F(Hyster, ReversalAndClosureInOneCall) {
  replay_trace(3);
  EXPECT_EQ(call(3 * u, -4 * u, u, -7 * u), f1(-4 * u, route::in_place));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(gp.par(kElement), 1);
  EXPECT_EQ(gmax2(), rescaled(kBranchSet.gmax, 3 * u));
  EXPECT_EQ(x(2), -3 * u);
  EXPECT_EQ(y(2), -f1(3 * u, route::in_place));
}

TEST_F(Hyster, ZeroIncrementAfterANegativeOneIsAReversal) {
  replay_trace(5);
  const double ga = gmax2();
  const double b = branch(f1(3 * u, route::in_place), f2(-1.5 * u, ga, route::in_place));
  EXPECT_EQ(call(0.0, 0.0, -2 * u, 0.0), b);
  EXPECT_EQ(n(), 2);
  EXPECT_EQ(x(4), 0.0);
  EXPECT_EQ(y(4), b);
  // A previous increment of 0 gives no reversal.
  EXPECT_EQ(call(0.0, -2 * u, 0.0, -2 * u), branch(b, f2(-u, ga, route::called)));
  EXPECT_EQ(n(), 2);
  EXPECT_EQ(gp.par(kElement), 0);
}

TEST_F(Hyster, ZeroIncrementAfterAPositiveOneUnloadsAlongTheBackbone) {
  replay_trace(3);
  EXPECT_EQ(call(3 * u, 3 * u, u, 0.0), f1(3 * u, route::called));
  const double t = call(3 * u, 2 * u, 0.0, -u);
  printf("DBG %d %d %.17g %.17g %.17g\n", n(), gp.par(kElement), t, f1(2*u, route::called), u);
  EXPECT_EQ(t, f1(2 * u, route::called));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(gmax2(), kBranchSet.gmax);
}

TEST_F(Hyster, IncrementsBelowTheFloorCountAsSmallPositiveOnes) {
  // Pins the threshold's value, its strictness and its sign.
  replay_trace(8);  // on the backbone, last increment -u
  call(-4 * u, -4 * u, -u, -0.5 * kFloor);
  EXPECT_EQ(n(), 1) << "below the floor after a negative increment: reversal";

  set_up(kWorkedExample, kBranchSet);
  replay_trace(3);  // last increment +u
  call(3 * u, 3 * u, u, -0.5 * kFloor);
  EXPECT_EQ(n(), 0) << "below the floor after a positive increment: none";

  set_up(kWorkedExample, kBranchSet);
  replay_trace(3);
  call(3 * u, 3 * u, u, -kFloor);
  EXPECT_EQ(n(), 1) << "exactly -floor is not below the floor: reversal";
}

TEST_F(Hyster, NaNStrainGivesNaNAndKeepsTheState) {
  replay_trace(13);
  const int before = n();
  std::vector<double> rows;
  for (int k = 1; k <= 8; ++k) {
    rows.push_back(x(k));
    rows.push_back(y(k));
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(call(-3 * u, nan, 0.5 * u, nan)));
  EXPECT_EQ(n(), before);
  EXPECT_EQ(gp.par(kElement), 0);
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(x(k), rows.at(static_cast<std::size_t>(2 * k - 2)));
    EXPECT_EQ(y(k), rows.at(static_cast<std::size_t>(2 * k - 1)));
  }
}

TEST_F(Hyster, EqualRowsLeadTheFirstBranchToTheMirrorPoint) {
  set_up(kWorkedExample, kWorkedExample);
  call(0.0, 8 * u, 0.0, 8 * u);
  call(8 * u, 16 * u, 8 * u, 8 * u);
  call(16 * u, 15 * u, 8 * u, -u);
  EXPECT_NEAR(gmax2(), kWorkedExample.gmax, 1e-11 * kWorkedExample.gmax);
  curve branch_set = kWorkedExample;
  branch_set.gmax = gmax2();
  const double f = reference_stress((-16 * u - x(3)) * 0.5, branch_set, route::called);
  EXPECT_NEAR(branch(y(3), f), y(2), 1e-11 * std::fabs(y(2)));
}

// A strain history with nested loops of many sizes: three incommensurate
// sines with drifting amplitudes plus a little noise.
std::vector<double> random_history(std::uint64_t seed, int steps) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
  std::normal_distribution<double> noise(0.0, 2e-6);
  const double p1 = phase(rng);
  const double p2 = phase(rng);
  const double p3 = phase(rng);
  std::vector<double> g(static_cast<std::size_t>(steps));
  for (int k = 0; k < steps; ++k) {
    const double t = k;
    const double envelope = 1.0 + 0.8 * std::sin(t / 1500.0 + p1);
    g[static_cast<std::size_t>(k)] =
        1e-3 * envelope *
            (std::sin(t / 90.0 + p1) + 0.5 * std::sin(t / 23.0 + p2) + 0.3 * std::sin(t / 7.3 + p3)) +
        noise(rng);
  }
  g[0] = 0.0;
  return g;
}

TEST_F(Hyster, StressIsContinuousAtReversalsAndAtClosuresOfNestedLoops) {
  // Pins a turning point stored with the wrong stress, or a closure that
  // resumes the wrong branch: either makes the stress jump.
  int reversals = 0;
  int closures = 0;
  int deepest = 0;
  for (const std::uint64_t seed : {1U, 2U, 3U}) {
    set_up(kWorkedExample, kBranchSet);
    const std::vector<double> g = random_history(seed, 20000);
    double g0 = 0.0;
    double dprev = 0.0;
    double tau_prev = 0.0;
    for (const double g1 : g) {
      const double dcur = g1 - g0;
      const int before = n();
      const double target = before > 0 ? x(before + 1) : 0.0;
      const double origin_x = x(before + 2);
      const double origin_y = y(before + 2);
      const double g2 = gmax2();
      const double tau = call(g0, g1, dprev, dcur);
      const bool reversal = dprev * dcur < 0.0;
      if (reversal) {
        ++reversals;
        EXPECT_NEAR(gp.ym(kElement), tau_prev, 1e-12 * std::max(1.0, std::fabs(tau_prev)));
      } else if (before >= 2 && n() == before - 2) {
        ++closures;
        const double old_branch = branch(origin_y, f2((target - origin_x) * 0.5, g2, route::called));
        const double resumed = n() == 0 ? f1(target, route::called)
                                        : branch(y(n() + 2), f2((target - x(n() + 2)) * 0.5, g2,
                                                                route::called));
        EXPECT_NEAR(resumed, old_branch, 1e-12 * std::max(1.0, std::fabs(old_branch)));
      }
      deepest = std::max(deepest, n());
      g0 = g1;
      dprev = dcur;
      tau_prev = tau;
    }
  }
  EXPECT_GT(reversals, 1000);
  EXPECT_GT(closures, 300);
  EXPECT_GE(deepest, 4);
}

TEST_F(Hyster, DeepNestingGrowsTheElementsOwnStack) {
  // Pins writes past an element's last row: 6000 nested reversals need
  // 6002 rows; the stack grows and the neighbours' stacks stay as they were.
  const double v = std::ldexp(1.0, -24);
  const int turns = 6000;
  const auto turning = [&](int k) { return (k % 2 == 0 ? 1.0 : -1.0) * (8000 - k) * v; };
  double g0 = 0.0;
  double dprev = 0.0;
  double tau_prev = 0.0;
  for (int k = 1; k <= turns + 1; ++k) {
    const double g1 = turning(k);
    const double dcur = g1 - g0;
    const double tau = call(g0, g1, dprev, dcur);
    ASSERT_EQ(n(), k - 1) << "call " << k;
    if (k >= 3) {
      ASSERT_EQ(gp.ym(kElement), tau_prev) << "call " << k;  // same route, same bits
    }
    ASSERT_EQ(gp.stack(kElement).rows, n() + 2 > kStackRows ? 2 * kStackRows : kStackRows);
    g0 = g1;
    dprev = dcur;
    tau_prev = tau;
  }
  // Going on downwards passes the negative turning points one call at a
  // time, reading every row back across the growth.
  for (int j = 0; j < turns / 2; ++j) {
    const double g1 = -(2001.5 + 2 * j) * v;
    const double dcur = g1 - g0;
    const double tau = call(g0, g1, dprev, dcur);
    ASSERT_EQ(n(), turns - 2 * (j + 1)) << "closure " << j;
    if (n() == 0) {
      EXPECT_EQ(tau, f1(g1, route::in_place));
    }
    g0 = g1;
    dprev = dcur;
  }
  expect_neighbours_untouched();
}

TEST_F(Hyster, DepartureAtZeroStrainTakesTheBackboneModulus) {
  // Pins the 0/0 rescale at R = 0, which would turn every later branch
  // stress of the element into NaN.
  replay_trace(3);
  call(3 * u, 3 * u, u, 0.0);
  call(3 * u, 2 * u, 0.0, -u);
  call(2 * u, 0.0, -u, -2 * u);
  const double tau = call(0.0, u, -2 * u, u);  // reversal at 0 on the backbone
  EXPECT_EQ(n(), 1);
  EXPECT_EQ(gmax2(), kWorkedExample.gmax);
  EXPECT_EQ(tau, branch(0.0, f2(0.5 * u, kWorkedExample.gmax, route::in_place)));
  EXPECT_TRUE(std::isfinite(call(u, 3 * u, u, 2 * u)));
}

TEST_F(Hyster, StrainsAtOrAboveTheSentinelStayOnTheBackbone) {
  // Pins the closure loop at n = 0, which must not go below the backbone.
  EXPECT_EQ(call(0.0, 2e30, 0.0, 2e30), f1(2e30, route::called));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(gp.par(kElement), 0);
  const double inf = std::numeric_limits<double>::infinity();
  const double tau = call(2e30, inf, 2e30, inf);
  EXPECT_EQ(std::isnan(tau), std::isnan(f1(inf, route::called)));
  EXPECT_EQ(n(), 0);
}

}  // namespace
}  // namespace zorvik
