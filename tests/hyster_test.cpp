#include "hyster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "column_stress.h"
#include "global_para.h"
#include "reference_backbone.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using oracle::curve;
using oracle::route;
constexpr route kCalled = route::called;
constexpr route kInPlace = route::in_place;

// Realistic sets for which the called and the in-place grouping give
// different last bits at the strains of the worked trace, so that the route
// of every evaluation point shows in its results.
constexpr curve kBackboneSet{9.9e-8, 1.4, 8.7e-4, 0.93, 0.93, 98000.0, 8.4, 36.0, 0.72};
constexpr curve kBranchSet{5.4e-8, 1.2, 9e-4, 1.0, 0.92, 67000.0, 7.9, 45.0, 0.64};
const double u = std::ldexp(1.0, -13);  // every strain and increment below is exact
constexpr double kFloor = 1.0000000031710769e-30;

// Expected values, from the written-out backbone with the stated groupings.
double f1(double x, route r) { return oracle::reference_stress(x, kBackboneSet, r); }
curve branch_set(double gmax2) {  // the branch set as a rescale left it
  curve c = kBranchSet;
  c.gmax = gmax2;
  return c;
}
double f2(double x, const curve& set, route r) { return oracle::reference_stress(x, set, r); }
double branch(double y_origin, double f) { return (y_origin + f) + f; }
double rescaled(double gmax2, double r) {
  const double g1m = kBackboneSet.gmax;
  const double q1 = f1(r, kCalled) / (r * g1m);
  const double q2 = f2(r, branch_set(gmax2), kCalled) / (gmax2 * r);
  return (g1m * q1) / q2;
}

// The worked trace: g0, g1, dgamma_prev, dgamma_cur of each call, in units of u.
constexpr std::array<std::array<double, 4>, 15> kTrace{{
    {0, 1, 0, 1},
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
    {-1, 5, 2, 6},
}};

// Element 2 of a three-element column is driven; its neighbours watch.
class Hyster : public ::testing::Test {
 protected:
  static constexpr int kElement = 2;

  void SetUp() override { set_up(kBackboneSet, kBranchSet); }
  void set_up(const curve& backbone, const curve& branch) { test::put_model(gp, 3, backbone, branch); }
  double call(double g0, double g1, double dprev, double dcur) {
    double tau = -1.0;
    hyster(gp, tau, dprev, dcur, g0, g1, kElement);
    return tau;
  }
  double call_trace(int k) {
    const auto& c = kTrace.at(static_cast<std::size_t>(k - 1));
    return call(c[0] * u, c[1] * u, c[2] * u, c[3] * u);
  }
  void replay_trace(int calls) {
    for (int k = 1; k <= calls; ++k) call_trace(k);
  }
  int n() const { return gp.bb(kElement); }
  int par() const { return gp.par(kElement); }
  double x(int k) const { return gp.xtu(k, kElement); }
  double y(int k) const { return gp.ytu(k, kElement); }
  double gmax2() const { return gp.gmax(2, kElement); }
  void expect_neighbours_as_reset() const {
    for (const int i : {1, 3}) {
      int changed = gp.xtu(1, i) != kSentinel || gp.ytu(1, i) != kSentinel;
      for (int k = 2; k <= gp.stack(i).rows; ++k) {
        changed += gp.xtu(k, i) != 0.0 || gp.ytu(k, i) != 0.0;
      }
      changed += gp.bb(i) != 0 || gp.xm(i) != 0.0 || gp.ym(i) != 0.0;
      EXPECT_EQ(changed, 0) << "element " << i;
      EXPECT_EQ(gp.gmax(2, i), kBranchSet.gmax);
    }
  }

  global_para gp;
};

TEST_F(Hyster, WorkedTrace) {
  // Pins the route of every evaluation point (a swapped route moves last
  // bits), the rescale and its grouping, the mirror point and the pushes.
  const double ga = rescaled(kBranchSet.gmax, 3 * u);  // departure of call 4
  const double gb = rescaled(ga, 4 * u);               // departure of call 9, from ga
  const curve ca = branch_set(ga);
  const curve cb = branch_set(gb);
  const double b4 = f1(3 * u, kInPlace);
  const double b9 = f1(-4 * u, kInPlace);
  const double b11 = branch(b9, f2(u, cb, kInPlace));
  const double b13 = branch(b11, f2(-0.75 * u, cb, kInPlace));
  struct expected {
    int n, par;
    double tau;
  };
  const std::array<expected, 15> want{{
      {0, 0, f1(u, kCalled)},
      {0, 0, f1(2 * u, kCalled)},
      {0, 0, f1(3 * u, kCalled)},
      {1, 1, branch(b4, f2(-0.5 * u, ca, kInPlace))},
      {1, 0, branch(b4, f2(-1.5 * u, ca, kCalled))},
      {1, 0, branch(b4, f2(-2.5 * u, ca, kCalled))},
      {0, 1, f1(-3 * u, kInPlace)},
      {0, 0, f1(-4 * u, kCalled)},
      {1, 1, branch(b9, f2(0.5 * u, cb, kInPlace))},
      {1, 0, branch(b9, f2(u, cb, kCalled))},
      {2, 1, branch(b11, f2(-0.5 * u, cb, kInPlace))},
      {2, 0, branch(b11, f2(-0.75 * u, cb, kCalled))},
      {3, 1, branch(b13, f2(0.25 * u, cb, kInPlace))},
      {1, 1, branch(b9, f2(1.5 * u, cb, kInPlace))},
      {0, 1, f1(5 * u, kInPlace)},
  }};
  for (int k = 1; k <= 15; ++k) {
    const expected& e = want.at(static_cast<std::size_t>(k - 1));
    EXPECT_EQ(call_trace(k), e.tau) << "call " << k;
    EXPECT_EQ(n(), e.n) << "call " << k;
    EXPECT_EQ(par(), e.par) << "call " << k;
    if (k == 4) {
      EXPECT_EQ(gmax2(), ga);
      EXPECT_TRUE(x(2) == -3 * u && y(2) == -b4 && x(3) == 3 * u && y(3) == b4);
      EXPECT_TRUE(gp.xm(kElement) == 3 * u && gp.ym(kElement) == b4);
    }
    if (k == 9) {
      EXPECT_EQ(gmax2(), gb);
      EXPECT_TRUE(x(2) == 4 * u && y(2) == -b9);
    }
    if (k == 13) {
      EXPECT_TRUE(x(4) == -2 * u && y(4) == b11 && x(5) == -3.5 * u && y(5) == b13);
    }
  }
  EXPECT_EQ(gmax2(), gb);  // closures keep the rescaled modulus
  expect_neighbours_as_reset();
}

TEST_F(Hyster, TwoLoopsCloseInOneCall) {
  replay_trace(13);
  EXPECT_EQ(call(-3 * u, 5 * u, 0.5 * u, 8 * u), f1(5 * u, kInPlace));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(par(), 1);
}

TEST_F(Hyster, ReversalAndClosureInOneCall) {
  replay_trace(3);
  EXPECT_EQ(call(3 * u, -4 * u, u, -7 * u), f1(-4 * u, kInPlace));
  EXPECT_EQ(n(), 0);
  EXPECT_EQ(par(), 1);
  EXPECT_EQ(gmax2(), rescaled(kBranchSet.gmax, 3 * u));
  EXPECT_TRUE(x(2) == -3 * u && y(2) == -f1(3 * u, kInPlace));
}

TEST_F(Hyster, ZeroIncrements) {
  // After a negative increment a zero one is a reversal...
  replay_trace(5);
  const curve ca = branch_set(gmax2());
  const double b = branch(f1(3 * u, kInPlace), f2(-1.5 * u, ca, kInPlace));
  EXPECT_EQ(call(0.0, 0.0, -2 * u, 0.0), b);
  EXPECT_TRUE(n() == 2 && x(4) == 0.0 && y(4) == b);
  // ...and after a zero one nothing is.
  EXPECT_EQ(call(0.0, -2 * u, 0.0, -2 * u), branch(b, f2(-u, ca, kCalled)));
  EXPECT_TRUE(n() == 2 && par() == 0);

  // After a positive increment a zero one is none: the element unloads
  // along its backbone.
  set_up(kBackboneSet, kBranchSet);
  replay_trace(3);
  EXPECT_EQ(call(3 * u, 3 * u, u, 0.0), f1(3 * u, kCalled));
  EXPECT_EQ(call(3 * u, 2 * u, 0.0, -u), f1(2 * u, kCalled));
  EXPECT_TRUE(n() == 0 && gmax2() == kBranchSet.gmax);
}

TEST_F(Hyster, IncrementsBelowTheFloorCountAsSmallPositiveOnes) {
  // Pins the floor's value, its strictness and its sign.
  const struct {
    const char* what;
    int calls;  // of the trace before: 8 ends with the increment -u, 3 with +u
    double increment;
    int n;  // 1: a reversal
  } cases[] = {{"below the floor after a negative increment: reversal", 8, -0.5 * kFloor, 1},
               {"below the floor after a positive increment: none", 3, -0.5 * kFloor, 0},
               {"exactly -floor is not below it: reversal", 3, -kFloor, 1},
               {"below the floor, which lies above 1e-30: none", 3, -1.000000002e-30, 0}};
  for (const auto& c : cases) {
    set_up(kBackboneSet, kBranchSet);
    replay_trace(c.calls);
    const auto& last = kTrace.at(static_cast<std::size_t>(c.calls - 1));
    call(last[1] * u, last[1] * u, last[3] * u, c.increment);
    EXPECT_EQ(n(), c.n) << c.what;
  }
}

TEST_F(Hyster, NaNStrainGivesNaNAndKeepsTheState) {
  replay_trace(13);
  const std::vector<double> before{x(2), y(2), x(3), y(3), x(4), y(4), x(5), y(5)};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(call(-3 * u, nan, 0.5 * u, nan)));
  EXPECT_TRUE(n() == 3 && par() == 0);
  EXPECT_EQ(before, (std::vector<double>{x(2), y(2), x(3), y(3), x(4), y(4), x(5), y(5)}));
}

TEST_F(Hyster, EqualRowsLeadTheFirstBranchToTheMirrorPoint) {
  set_up(kBackboneSet, kBackboneSet);
  call(0.0, 16 * u, 0.0, 16 * u);
  call(16 * u, 15 * u, 16 * u, -u);
  EXPECT_NEAR(gmax2(), kBackboneSet.gmax, 1e-11 * kBackboneSet.gmax);
  curve same = kBackboneSet;
  same.gmax = gmax2();
  EXPECT_NEAR(branch(y(3), f2((-16 * u - x(3)) * 0.5, same, kCalled)), y(2),
              1e-11 * std::fabs(y(2)));
}

// A strain history with nested loops of many sizes: three incommensurate
// sines under a drifting amplitude, plus a little noise.
std::vector<double> random_history(std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
  std::normal_distribution<double> noise(0.0, 2e-6);
  const double p1 = phase(rng);
  const double p2 = phase(rng);
  const double p3 = phase(rng);
  std::vector<double> g(20000);
  for (std::size_t k = 1; k < g.size(); ++k) {
    const auto t = static_cast<double>(k);
    g[k] = 1e-3 * (1.0 + 0.8 * std::sin(t / 1500.0 + p1)) *
               (std::sin(t / 90.0 + p1) + 0.5 * std::sin(t / 23.0 + p2) +
                0.3 * std::sin(t / 7.3 + p3)) +
           noise(rng);
  }
  return g;
}

TEST_F(Hyster, StressIsContinuousAtReversalsAndAtClosuresOfNestedLoops) {
  // Pins a turning point stored with the wrong stress, or a closure that
  // resumes the wrong branch: either makes the stress jump. Also pins the
  // grouping of the rescale, which strains of few bits cannot show.
  int reversals = 0;
  int departures = 0;
  int closures = 0;
  for (const std::uint64_t seed : {1U, 2U, 3U}) {
    set_up(kBackboneSet, kBranchSet);
    double g0 = 0.0;
    double dprev = 0.0;
    double tau_prev = 0.0;
    for (const double g1 : random_history(seed)) {
      const double dcur = g1 - g0;
      const int m = n();
      const double target = x(m + 1);
      const double x_origin = x(m + 2);
      const double y_origin = y(m + 2);
      const curve set = branch_set(gmax2());
      const double tau = call(g0, g1, dprev, dcur);
      if (m == 0 && dprev * dcur < 0.0) {  // departure: the rescale at a strain of any bits
        ++departures;
        EXPECT_EQ(gmax2(), rescaled(set.gmax, std::fabs(g0)));
      }
      const auto near = [](double a, double b) {
        return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b));
      };
      if (dprev * dcur < 0.0) {
        ++reversals;
        EXPECT_TRUE(near(gp.ym(kElement), tau_prev));
      } else if (m >= 2 && n() == m - 2) {
        ++closures;
        const double arriving = branch(y_origin, f2((target - x_origin) * 0.5, set, kCalled));
        const double resumed =
            n() == 0 ? f1(target, kCalled)
                     : branch(y(n() + 2), f2((target - x(n() + 2)) * 0.5, set, kCalled));
        EXPECT_TRUE(near(resumed, arriving)) << resumed << " vs " << arriving;
      }
      g0 = g1;
      dprev = dcur;
      tau_prev = tau;
    }
  }
  EXPECT_GT(reversals, 1000);
  EXPECT_GT(departures, 20);
  EXPECT_GT(closures, 300);
}

TEST_F(Hyster, DeepNestingGrowsTheElementsOwnStack) {
  // Pins writes past an element's last row: 6000 nested reversals need 6002
  // rows; the element's stack grows, keeping its rows, and its neighbours
  // stay as they were.
  const double v = std::ldexp(1.0, -24);
  const auto turning_point = [&](int r) { return (r % 2 == 0 ? -1.0 : 1.0) * (8000 - r) * v; };
  std::vector<double> stress_at(6001);  // at each turning point, as the reversal found it
  double g0 = 0.0;
  double dprev = 0.0;
  double tau_prev = 0.0;
  for (int k = 1; k <= 6001; ++k) {  // call k + 1 reverses at turning point k
    const double g1 = turning_point(k);
    const double tau = call(g0, g1, dprev, g1 - g0);
    ASSERT_EQ(n(), k - 1);
    if (k >= 2) {
      stress_at[static_cast<std::size_t>(k - 1)] = gp.ym(kElement);
    }
    if (k >= 3) {
      ASSERT_EQ(gp.ym(kElement), tau_prev) << "call " << k;  // same route, same bits
    }
    ASSERT_EQ(gp.stack(kElement).rows, n() + 2 > kStackRows ? 2 * kStackRows : kStackRows);
    dprev = g1 - g0;
    g0 = g1;
    tau_prev = tau;
  }
  // Going on passes one turning point per call, each closure resuming the
  // branch from a row that the growth copied.
  const curve set = branch_set(gmax2());
  for (int j = 1; j <= 3000; ++j) {
    const double g1 = (1999.5 + 2 * j) * v;
    const double tau = call(g0, g1, dprev, g1 - g0);
    const int r = 6000 - 2 * j;  // the turning point the element resumes from
    ASSERT_EQ(n(), r);
    const auto ur = static_cast<std::size_t>(r);
    ASSERT_EQ(tau, r == 0 ? f1(g1, kInPlace)
                          : branch(stress_at[ur], f2((g1 - turning_point(r)) * 0.5, set, kInPlace)))
        << "closure " << j;
    dprev = g1 - g0;
    g0 = g1;
  }
  expect_neighbours_as_reset();
}

TEST_F(Hyster, DepartureAtZeroStrainTakesTheBackboneModulus) {
  // Pins the 0/0 rescale at R = 0, which would leave gmax(2, i) NaN for
  // good: every later rescale starts from it.
  replay_trace(3);
  call(3 * u, 3 * u, u, 0.0);
  call(3 * u, 2 * u, 0.0, -u);
  call(2 * u, 0.0, -u, -2 * u);
  // Reversal at 0 on the backbone; the step starts on the mirror point -0,
  // so the loop closes at once.
  EXPECT_EQ(call(0.0, u, -2 * u, u), f1(u, kInPlace));
  EXPECT_TRUE(n() == 0 && gmax2() == kBackboneSet.gmax);
  call(u, 2 * u, u, u);
  const double ga = rescaled(kBackboneSet.gmax, 2 * u);
  EXPECT_EQ(call(2 * u, u, u, -u),
            branch(f1(2 * u, kInPlace), f2(-0.5 * u, branch_set(ga), kInPlace)));
  EXPECT_EQ(gmax2(), ga);
}

TEST_F(Hyster, StrainsAtOrAboveTheSentinelStayOnTheBackbone) {
  // Pins the closure loop at n = 0, which must not go below the backbone.
  EXPECT_EQ(call(0.0, 2e30, 0.0, 2e30), f1(2e30, kCalled));
  EXPECT_TRUE(n() == 0 && par() == 0);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(std::isnan(call(2e30, inf, 2e30, inf)), std::isnan(f1(inf, kCalled)));
  EXPECT_EQ(n(), 0);
}

TEST(HysterColumn, EveryElementAsHysterLeavesIt) {
  // Pins the column-wide update against hyster element by element: a wrong
  // choice of the common step, of its set, strain or grouping, or a state
  // that the common step leaves otherwise than hyster, shows in some bit.
  // The elements: nested loops; large strains; held strains (zero
  // increments); exact zeros of both signs, with d = 1 so that the sign of a
  // zero stress shows; a NaN at the end; equal rows.
  constexpr int kElements = 6;
  constexpr std::size_t kSteps = 20000;
  std::array<std::vector<double>, kElements> history{
      random_history(1), random_history(2), random_history(3),
      std::vector<double>(kSteps, 0.0), random_history(5), random_history(6)};
  for (double& g : history[1]) g *= 10.0;
  for (std::size_t k = 7; k < kSteps; k += 7) history[2][k] = history[2][k - 1];
  for (std::size_t k = 3; k < kSteps; k += 3) history[3][k] = -0.0;
  history[4][kSteps - 10] = std::numeric_limits<double>::quiet_NaN();

  curve odd = kBackboneSet;
  odd.d = 1.0;
  global_para column, single;
  for (global_para* gp : {&column, &single}) {
    gp->allocate_parameter_sets(kElements);
    for (int i = 1; i <= kElements; ++i) {
      oracle::put_curve(*gp, 1, i, i == 4 ? odd : kBackboneSet);
      oracle::put_curve(*gp, 2, i, i == kElements ? kBackboneSet : kBranchSet);
    }
    gp->reset_hysteresis_state();
  }
  column_stress_space space(kElements);
  std::array<double, kElements> g0{}, d0{}, g1{}, d1{}, tau{};
  int common_on_branch = 0;
  int events = 0;
  for (std::size_t step = 0; step < kSteps; ++step) {
    for (std::size_t e = 0; e < kElements; ++e) {
      g1[e] = history[e][step];
      d1[e] = g1[e] - g0[e];
    }
    hyster_column(column, space, tau.data(), d0.data(), d1.data(), g0.data(), g1.data());
    for (int i = 1; i <= kElements; ++i) {
      const auto e = static_cast<std::size_t>(i - 1);
      double expected = 0.0;
      const int n = single.bb(i);
      hyster(single, expected, d0[e], d1[e], g0[e], g1[e], i);
      ASSERT_EQ(test::bits(tau[e]), test::bits(expected))
          << "element " << i << ", step " << step;
      ASSERT_TRUE(column.bb(i) == single.bb(i) && column.par(i) == single.par(i) &&
                  column.gmax(2, i) == single.gmax(2, i) && column.xm(i) == single.xm(i) &&
                  column.ym(i) == single.ym(i))
          << "element " << i << ", step " << step;
      for (int k = 1; k <= single.bb(i) + 2; ++k) {
        ASSERT_TRUE(column.xtu(k, i) == single.xtu(k, i) && column.ytu(k, i) == single.ytu(k, i));
      }
      events += single.par(i);
      common_on_branch += single.par(i) == 0 && n > 0;
    }
    g0 = g1;
    d0 = d1;
  }
  EXPECT_GT(events, 3000);
  EXPECT_GT(common_on_branch, 30000);
}

}  // namespace
}  // namespace zorvik
