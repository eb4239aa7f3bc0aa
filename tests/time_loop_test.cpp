// The time loop against its steps written out plainly from their stated
// sequence and groupings, with the soil model's stress update taken as it
// stands: every state and record bit for bit.
#include "time_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "hyster.h"
#include "node_update.h"
#include "non_finite_report.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using test::bits;

struct Layer {
  std::int32_t elements;
  double dz;
  double rho;
};

// The column of the given layers, numbered as the set-up numbers it.
Column make_column(const std::vector<Layer>& layers) {
  Column c;
  const auto NL = static_cast<std::int32_t>(layers.size());
  c.NODE_INDEX = Array1<std::int32_t>(NL + 1);
  c.LAYER_INDEX = Array1<std::int32_t>(NL);
  c.NODE_INDEX(1) = 1;
  for (std::int32_t j = 1; j <= NL; ++j) {
    c.NODE_INDEX(j + 1) = c.NODE_INDEX(j) + layers[static_cast<std::size_t>(j - 1)].elements;
    c.LAYER_INDEX(j) = (c.NODE_INDEX(j) + c.NODE_INDEX(j + 1)) / 2;
  }
  c.lay_max = c.NODE_INDEX(NL + 1) - 1;
  c.DZ = Array1<double>(c.lay_max);
  c.RHO = Array1<double>(c.lay_max);
  std::int32_t e = 0;
  for (const Layer& layer : layers) {
    for (std::int32_t k = 0; k < layer.elements; ++k) {
      ++e;
      c.DZ(e) = layer.dz;
      c.RHO(e) = layer.rho;
    }
  }
  return c;
}

// A record of incident accelerations with reversals at many amplitudes.
double shaking(std::int32_t step) {
  const auto t = static_cast<double>(step);
  return 3.0 * std::sin(t / 9.0) + 1.5 * std::sin(t / 2.3) * std::cos(t / 31.0);
}

// The base condition, the step and the number of steps.
struct Drive {
  std::int32_t BASE_TYPE;
  double DT;
  std::int32_t NTT;
  std::int32_t M_SUB = 1;
  double VS_B = 0.0;
  double RHO_B = 0.0;
  bool damped = false;  // relaxation damping of every mechanism, or none
};

// A whole time loop on a column at rest.
struct Rig {
  Rig(const std::vector<Layer>& layers, const Drive& drive)
      : column(make_column(layers)),
        W_K_SUB(kMechanisms, column.lay_max),
        stress_space(column.lay_max),
        state(column.lay_max),
        records((drive.NTT - 1) / drive.M_SUB + 1, static_cast<std::int32_t>(layers.size())) {
    settings.M_SUB = drive.M_SUB;
    settings.BASE_TYPE = drive.BASE_TYPE;
    settings.NL = static_cast<std::int32_t>(layers.size());
    settings.NT = static_cast<std::int32_t>(records.OUT_A.extent2());
    profile.VS_B = drive.VS_B;
    profile.RHO_B = drive.RHO_B;
    time_base.DT = drive.DT;
    time_base.NTT = drive.NTT;
    time_base.A_IN = Array1<double>(time_base.NTT);
    for (std::int32_t k = 1; k <= time_base.NTT; ++k) time_base.A_IN(k) = shaking(k);
    relaxation.T_K.fill(0.01);
    if (drive.damped) {
      for (std::int32_t k = 1; k <= kMechanisms; ++k) {
        relaxation.T_K[static_cast<std::size_t>(k - 1)] = k == 8 ? 0.0 : 0.001 * k * k;
        for (std::int32_t e = 1; e <= column.lay_max; ++e) W_K_SUB(k, e) = 0.01 * k / e;
      }
    }
    test::put_model(gp, column.lay_max, oracle::kWorkedExample, test::kBranchSet);
  }

  // Runs the loop; returns the marks it wrote to standard output after the header.
  std::string run() {
    ProgressBar progress;
    testing::internal::CaptureStdout();
    progress.header(time_base.NTT);
    const LoopInputs in{settings, profile, time_base, column, W_K_SUB, relaxation};
    run_time_loop(in, state, gp, stress_space, records, progress);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string header = "|---------------- Calculating --------------------|\n";
    EXPECT_EQ(out.substr(0, header.size()), header);
    return out.substr(std::min(header.size(), out.size()));
  }

  // The same run, its steps written out: the elements (strain, damping
  // memory, stress), the incident velocity, the base node, the interior
  // nodes and the free surface, the kinematics of every node, the record.
  void run_written_out() {
    ColumnState& s = state;
    const Column& c = column;
    const double DT = time_base.DT;
    const std::int32_t last = c.lay_max;
    const std::int32_t nb = last + 1;
    double V_IN = 0.0;
    double A_PREV = 0.0;
    for (std::int32_t ISTEP = 1; ISTEP <= time_base.NTT; ++ISTEP) {
      for (std::int32_t e = 1; e <= last; ++e) {
        const double GTOT = (s.D_1(e + 1) - s.D_1(e)) / c.DZ(e);
        const double GBAR = (GTOT + s.GAMMA_0(e)) * 0.5;
        double sum = 0.0;
        for (std::int32_t k = 1; k <= kMechanisms; ++k) {
          const double E = std::exp(-(DT / relaxation.T_K[static_cast<std::size_t>(k - 1)]));
          s.MEMORY_0(k, e) = E * s.MEMORY_0(k, e) + ((1.0 - E) * GBAR) * W_K_SUB(k, e);
          sum = k == 1 ? s.MEMORY_0(k, e) : sum + s.MEMORY_0(k, e);
        }
        s.GAMMA_1(e) = GTOT - sum;
        s.D_GAMMA_1(e) = s.GAMMA_1(e) - s.GAMMA_0(e);
        hyster(gp, s.TAU_1(e), s.D_GAMMA_0(e), s.D_GAMMA_1(e), s.GAMMA_0(e), s.GAMMA_1(e), e);
        s.GAMMA_0(e) = s.GAMMA_1(e);
        s.D_GAMMA_0(e) = s.D_GAMMA_1(e);
      }
      V_IN = V_IN + (A_PREV + time_base.A_IN(ISTEP)) * (DT * 0.5);
      A_PREV = time_base.A_IN(ISTEP);
      switch (settings.BASE_TYPE) {
        case 1:
          s.V_EST_2(nb) = ((V_IN * ((4.0 * DT) * profile.VS_B) - (s.TAU_1(last) * (2.0 * DT)) / profile.RHO_B) +
                           (c.DZ(last) - profile.VS_B * DT) * s.V_EST_1(nb)) /
                          (c.DZ(last) + profile.VS_B * DT);
          break;
        case 2: s.V_EST_2(nb) = (V_IN * 4.0) - s.V_EST_1(nb); break;
        default: s.V_EST_2(nb) = (V_IN + V_IN) - s.V_EST_1(nb);
      }
      for (std::int32_t i = 2; i <= last; ++i) {
        s.V_EST_2(i) =
            (((s.TAU_1(i) - s.TAU_1(i - 1)) * (2.0 * DT)) / (c.DZ(i - 1) + c.DZ(i))) / c.RHO(i) + s.V_EST_1(i);
      }
      s.V_EST_2(1) = ((s.TAU_1(1) * (2.0 * DT)) / c.DZ(1)) / c.RHO(1) + s.V_EST_1(1);
      for (std::int32_t n = 1; n <= nb; ++n) {
        s.D_2(n) = (DT * s.V_EST_2(n)) + s.D_1(n);
        s.V_NT(n) = (s.V_EST_2(n) + s.V_EST_1(n)) * 0.5;
        s.A_NT(n) = (s.V_EST_2(n) - s.V_EST_1(n)) / DT;
        s.V_EST_1(n) = s.V_EST_2(n);
        s.D_1(n) = s.D_2(n);
      }
      if ((ISTEP - 1) % settings.M_SUB == 0) {
        const std::int32_t row = ++records.IREC;
        for (std::int32_t j = 1; j <= settings.NL + 1; ++j) {
          const std::int32_t n = c.NODE_INDEX(j);
          records.OUT_A(j, row) = s.A_NT(n);
          records.OUT_V(j, row) = s.V_NT(n) - s.V_NT(nb);
          records.OUT_D(j, row) = s.D_2(n) - s.D_2(nb);
          records.MAX_V(j) = std::max(records.MAX_V(j), std::fabs(records.OUT_V(j, row)));
          records.MAX_D(j) = std::max(records.MAX_D(j), std::fabs(records.OUT_D(j, row)));
        }
        for (std::int32_t j = 1; j <= settings.NL; ++j) {
          const std::int32_t m = c.LAYER_INDEX(j);
          records.OUT_GAMMA(j, row) = s.GAMMA_1(m);
          records.OUT_TAU(j, row) = s.TAU_1(m);
          records.MAX_GAMMA(j) = std::max(records.MAX_GAMMA(j), std::fabs(s.GAMMA_1(m)));
          records.MAX_TAU(j) = std::max(records.MAX_TAU(j), std::fabs(s.TAU_1(m)));
        }
      }
      // The physics the written-out step must show: motion rises from the
      // base by one node per step, and a rigid base moves with twice or once
      // the incident velocity.
      for (std::int32_t n = 1; n <= nb - ISTEP; ++n) {
        EXPECT_EQ(bits(s.V_EST_1(n)) | bits(s.D_1(n)) | bits(s.V_NT(n)) | bits(s.A_NT(n)), 0U)
            << "node " << n << " after step " << ISTEP;
      }
      if (ISTEP <= last) {
        EXPECT_NE(s.V_EST_1(nb + 1 - ISTEP), 0.0) << "after step " << ISTEP;
      }
      if (settings.BASE_TYPE != 1) {
        EXPECT_NEAR(s.V_NT(nb), (settings.BASE_TYPE == 2 ? 2.0 : 1.0) * V_IN, 1e-12) << "step " << ISTEP;
      }
    }
  }

  RunSettings settings;
  Profile profile;
  TimeBase time_base;
  Column column;
  Array2<double> W_K_SUB;
  RelaxationTable relaxation;
  global_para gp;
  column_stress_space stress_space;
  ColumnState state;
  Records records;
};

std::vector<std::uint64_t> bits_of(const Array1<double>& a) { return bits(test::values(a)); }
std::vector<std::uint64_t> bits_of(const Array2<double>& a) {
  return bits(std::vector<double>(a.column(1), a.column(1) + a.extent1() * a.extent2()));
}

// Pins a stage out of its order, an operation regrouped, a value recorded
// from the wrong point or step.
TEST(TimeLoop, EveryStepAsWrittenOut) {
  const std::vector<Layer> three{{2, 0.4, 1700.0}, {1, 0.6, 1900.0}, {3, 0.3, 1800.0}};
  struct Case {
    const char* what;
    std::vector<Layer> layers;
    Drive drive;
    std::string marks;
  };
  const std::vector<Case> cases = {
      {"a single step on a rigid base", {{3, 1.0, 2000.0}}, {.BASE_TYPE = 3, .DT = 0.1, .NTT = 1}, "||"},
      {"a single element", {{1, 0.5, 1800.0}}, {.BASE_TYPE = 3, .DT = 0.001, .NTT = 2}, "|||"},
      {"the first step on an elastic half-space", {{1, 0.5, 1500.0}, {1, 2.0, 1900.0}},
       {.BASE_TYPE = 1, .DT = 0.1, .NTT = 1, .VS_B = 10.0, .RHO_B = 2500.0}, "||"},
      {"an elastic half-space", three,
       {.BASE_TYPE = 1, .DT = 0.005, .NTT = 401, .M_SUB = 4, .VS_B = 90.0, .RHO_B = 1900.0, .damped = true},
       std::string(51, '|')},
      {"a rigid base moving with twice the incident velocity", three,
       {.BASE_TYPE = 2, .DT = 0.005, .NTT = 401, .M_SUB = 3, .damped = true}, std::string(51, '|')},
      {"a rigid base moving with the incident velocity", three,
       {.BASE_TYPE = 3, .DT = 0.005, .NTT = 401, .damped = true}, std::string(51, '|')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig loop(c.layers, c.drive);
    EXPECT_EQ(loop.run(), c.marks);
    Rig written_out(c.layers, c.drive);
    written_out.run_written_out();

    const ColumnState& s = loop.state;
    const ColumnState& w = written_out.state;
    for (const auto member : {&ColumnState::V_EST_1, &ColumnState::V_EST_2, &ColumnState::A_NT, &ColumnState::V_NT,
                              &ColumnState::D_1, &ColumnState::D_2, &ColumnState::TAU_1, &ColumnState::GAMMA_1,
                              &ColumnState::GAMMA_0, &ColumnState::D_GAMMA_1, &ColumnState::D_GAMMA_0}) {
      EXPECT_EQ(bits_of(s.*member), bits_of(w.*member));
    }
    EXPECT_EQ(bits_of(s.MEMORY_0), bits_of(w.MEMORY_0));
    const Records& r = loop.records;
    const Records& q = written_out.records;
    EXPECT_EQ(r.IREC, q.IREC);
    for (const auto member :
         {&Records::OUT_A, &Records::OUT_V, &Records::OUT_D, &Records::OUT_GAMMA, &Records::OUT_TAU}) {
      EXPECT_EQ(bits_of(r.*member), bits_of(q.*member));
    }
    for (const auto member : {&Records::MAX_V, &Records::MAX_D, &Records::MAX_GAMMA, &Records::MAX_TAU}) {
      EXPECT_EQ(bits_of(r.*member), bits_of(q.*member));
    }
    int departed = 0;  // elements that have left their backbone
    for (std::int32_t e = 1; e <= loop.column.lay_max; ++e) {
      EXPECT_EQ(loop.gp.bb(e), written_out.gp.bb(e));
      EXPECT_EQ(bits(loop.gp.gmax(2, e)), bits(written_out.gp.gmax(2, e)));
      departed += loop.gp.gmax(2, e) != test::kBranchSet.gmax;
    }
    // The base relative to itself; every value finite; in the long runs
    // every element past its first reversal.
    EXPECT_EQ(bits(r.MAX_V(r.MAX_V.size())) | bits(r.MAX_D(r.MAX_D.size())), 0U);
    EXPECT_EQ(first_non_finite(r).quantity, nullptr);
    if (c.drive.NTT > 50) {
      EXPECT_EQ(departed, loop.column.lay_max);
    }
  }
}

// In a run the base's old velocity stays close to what the base condition
// gives it, where other groupings of it round alike: arbitrary values show
// them.
TEST(BaseNode, EveryBaseTypeInItsStatedGrouping) {
  const double V_IN = 0.29, DT = 0.0069, VS_B = 90.0, TAU = -9800.0, RHO_B = 1900.0, DZ = 0.15, V_OLD = 0.048;
  const Column column = make_column({{1, 0.6, 2000.0}, {1, DZ, 2100.0}});
  Profile profile;
  profile.VS_B = VS_B;
  profile.RHO_B = RHO_B;
  const auto moved = [&](std::int32_t BASE_TYPE) {
    RunSettings settings;
    settings.BASE_TYPE = BASE_TYPE;
    ColumnState s(column.lay_max);
    s.TAU_1(1) = 123.0;
    s.TAU_1(2) = TAU;
    s.V_EST_1(3) = V_OLD;
    move_base_node(s, column, StepConstants(DT, settings, profile), V_IN);
    return s.V_EST_2(3);
  };
  const double type_1 =
      ((V_IN * ((4.0 * DT) * VS_B) - (TAU * (2.0 * DT)) / RHO_B) + (DZ - VS_B * DT) * V_OLD) / (DZ + VS_B * DT);
  EXPECT_EQ(moved(1), type_1);
  // V_IN x 4 x DT first would give another value.
  EXPECT_NE(type_1, ((((V_IN * 4.0) * DT) * VS_B - (TAU * (2.0 * DT)) / RHO_B) + (DZ - VS_B * DT) * V_OLD) /
                        (DZ + VS_B * DT));
  EXPECT_EQ(moved(2), (V_IN * 4.0) - V_OLD);
  EXPECT_EQ(moved(3), (V_IN + V_IN) - V_OLD);
  EXPECT_NE(moved(3), V_IN - (V_OLD - V_IN));
}

TEST(Recording, PeakIgnoresNaNAndStaysAtInfinity) {
  const Column column = make_column({{1, 1.0, 1000.0}});
  ColumnState s(1);
  Records r(6, 1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::array<double, 6> stress{2.0, -3.5, nan, 1.0, -inf, 5.0};
  const std::array<double, 6> peak{2.0, 3.5, 3.5, 3.5, inf, inf};
  for (std::size_t i = 0; i < stress.size(); ++i) {
    s.TAU_1(1) = stress[i];
    record_step(r, s, column, 1);
    const auto row = static_cast<std::int32_t>(i + 1);
    EXPECT_EQ(r.IREC, row);
    EXPECT_EQ(bits(r.OUT_TAU(1, row)), bits(stress[i])) << "row " << row;
    EXPECT_EQ(r.MAX_TAU(1), peak[i]) << "row " << row;
  }
  EXPECT_EQ(bits(r.MAX_GAMMA(1)), 0U);
  // The first value that was not finite is the one found.
  const NonFiniteResult first = first_non_finite(r);
  ASSERT_NE(first.quantity, nullptr);
  EXPECT_STREQ(first.quantity, "shear stress");
  EXPECT_EQ(first.record, 3);
  EXPECT_EQ(first.layer, 1);
  EXPECT_FALSE(first.at_node);
  EXPECT_TRUE(std::isnan(first.value));
}

// The marks of every kind of run: fewer steps than 50 marked each, then an
// interval of NTT / 50 steps, with one more mark at the first step.
TEST(ProgressBar, MarksOfAWholeRun) {
  const struct {
    std::int32_t NTT, N_BAR, marks;
  } cases[] = {{1, 1, 2},       {2, 1, 3},       {10, 1, 11},       {49, 1, 50},     {50, 1, 51},
               {51, 1, 52},     {99, 1, 100},    {100, 2, 51},      {149, 2, 75},    {2449, 48, 52},
               {2450, 49, 51},  {2500, 50, 51},  {2549, 50, 51},    {12345, 246, 51}};
  for (const auto& c : cases) {
    ProgressBar bar;
    testing::internal::CaptureStdout();
    bar.header(c.NTT);
    for (std::int32_t ISTEP = 1; ISTEP <= c.NTT; ++ISTEP) bar.marks(ISTEP);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(bar.interval(), c.N_BAR) << "NTT " << c.NTT;
    EXPECT_EQ(out, "|---------------- Calculating --------------------|\n" +
                       std::string(static_cast<std::size_t>(c.marks), '|'))
        << "NTT " << c.NTT;
  }
}

}  // namespace
}  // namespace zorvik
