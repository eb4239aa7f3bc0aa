#include "time_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "element_update.h"
#include "hyster.h"
#include "node_update.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using test::bits;

// Two parameter sets whose stress is 0 at zero strain.
void prepare_model(global_para& gp, std::int32_t lay_max) {
  test::put_model(gp, lay_max, oracle::kWorkedExample, test::kBranchSet);
}

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

std::int32_t recorded_rows(std::size_t NTT, std::int32_t M_SUB) {
  return static_cast<std::int32_t>((NTT - 1) / static_cast<std::size_t>(M_SUB)) + 1;
}

// The base condition, the step and the incident acceleration of each step.
struct Drive {
  std::int32_t BASE_TYPE;
  double DT;
  std::vector<double> A_IN;
  std::int32_t M_SUB = 1;
};

// A whole time loop on a column at rest with no relaxation damping.
struct Rig {
  Rig(const std::vector<Layer>& layers, const Drive& drive)
      : column(make_column(layers)),
        W_K_SUB(kMechanisms, column.lay_max),
        state(column.lay_max),
        records(recorded_rows(drive.A_IN.size(), drive.M_SUB),
                static_cast<std::int32_t>(layers.size())) {
    settings.M_SUB = drive.M_SUB;
    settings.BASE_TYPE = drive.BASE_TYPE;
    settings.NL = static_cast<std::int32_t>(layers.size());
    settings.NT = static_cast<std::int32_t>(records.OUT_A.extent2());
    time_base.DT = drive.DT;
    time_base.NTT = static_cast<std::int32_t>(drive.A_IN.size());
    time_base.A_IN = Array1<double>(time_base.NTT);
    for (std::int32_t k = 1; k <= time_base.NTT; ++k) {
      time_base.A_IN(k) = drive.A_IN[static_cast<std::size_t>(k - 1)];
    }
    relaxation.T_K.fill(0.01);
    prepare_model(gp, column.lay_max);
  }

  // Runs the loop; returns what it wrote to standard output after the header.
  std::string run() {
    ProgressBar progress;
    testing::internal::CaptureStdout();
    progress.header(time_base.NTT);
    const LoopInputs in{settings, profile, time_base, column, W_K_SUB, relaxation};
    run_time_loop(in, state, gp, records, progress);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string header = "|---------------- Calculating --------------------|\n";
    EXPECT_EQ(out.substr(0, header.size()), header);
    return out.substr(std::min(header.size(), out.size()));
  }

  std::int32_t base() const { return column.lay_max + 1; }

  // Whether node n is still exactly at rest.
  bool at_rest(std::int32_t n) const {
    return (bits(state.V_EST_1(n)) | bits(state.V_EST_2(n)) | bits(state.D_1(n)) |
            bits(state.D_2(n)) | bits(state.V_NT(n)) | bits(state.A_NT(n))) == 0;
  }

  RunSettings settings;
  Profile profile;
  TimeBase time_base;
  Column column;
  Array2<double> W_K_SUB;
  RelaxationTable relaxation;
  global_para gp;
  ColumnState state;
  Records records;
};

// ---- Whole steps --------------------------------------------------------------

TEST(TimeLoop, SingleStepOnARigidBaseMovesTheBaseNodeOnly) {
  Rig rig({{3, 1.0, 2000.0}}, {.BASE_TYPE = 3, .DT = 0.1, .A_IN = {2.0}});
  EXPECT_EQ(rig.run(), "||");  // step 1, with an interval of 1
  EXPECT_EQ(rig.records.IREC, 1);

  const double V_IN = 0.0 + (0.0 + 2.0) * (0.1 * 0.5);
  const double V_EST_2 = (V_IN + V_IN) - 0.0;
  const std::int32_t nb = rig.base();
  EXPECT_EQ(rig.state.V_EST_1(nb), V_EST_2);
  EXPECT_EQ(rig.state.V_EST_2(nb), V_EST_2);
  EXPECT_EQ(rig.state.D_2(nb), (0.1 * V_EST_2) + 0.0);
  EXPECT_EQ(rig.state.D_1(nb), rig.state.D_2(nb));
  EXPECT_EQ(rig.state.V_NT(nb), (V_EST_2 + 0.0) * 0.5);
  EXPECT_EQ(rig.state.A_NT(nb), (V_EST_2 - 0.0) / 0.1);
  EXPECT_NEAR(rig.state.V_EST_2(nb), 0.2, 1e-15);
  EXPECT_NEAR(rig.state.V_NT(nb), 0.1, 1e-15);
  EXPECT_NEAR(rig.state.A_NT(nb), 2.0, 1e-14);
  EXPECT_NEAR(rig.state.D_2(nb), 0.02, 1e-16);
  for (std::int32_t n = 1; n < nb; ++n) EXPECT_TRUE(rig.at_rest(n)) << "node " << n;
  for (std::int32_t e = 1; e <= rig.column.lay_max; ++e) {
    EXPECT_EQ(bits(rig.state.TAU_1(e)) | bits(rig.state.GAMMA_1(e)), 0U) << "element " << e;
  }
}

TEST(TimeLoop, FirstStepOnAnElasticHalfSpaceDoesNotDependOnItsDensity) {
  const double DT = 0.1, VS_B = 10.0, DZ = 2.0;  // the lowest element is 2 thick
  const double V_IN = 0.0 + (0.0 + 2.0) * (DT * 0.5);
  for (double RHO_B : {1.0, 2500.0, 1.0e6}) {
    Rig rig({{1, 0.5, 1500.0}, {1, DZ, 1900.0}}, {.BASE_TYPE = 1, .DT = DT, .A_IN = {2.0}});
    rig.profile.VS_B = VS_B;
    rig.profile.RHO_B = RHO_B;
    rig.run();
    const double expected =
        ((V_IN * ((4.0 * DT) * VS_B) - (0.0 * (2.0 * DT)) / RHO_B) + (DZ - VS_B * DT) * 0.0) /
        (DZ + VS_B * DT);
    EXPECT_EQ(rig.state.V_EST_2(rig.base()), expected) << "RHO_B " << RHO_B;
    EXPECT_NEAR(expected, 0.4 / 3.0, 1e-16);
    EXPECT_TRUE(rig.at_rest(1));
    EXPECT_TRUE(rig.at_rest(2));
  }
}

TEST(TimeLoop, SingleElementLiesBetweenTheSurfaceAndTheBaseNode) {
  const double DT = 0.001, DZ = 0.5, RHO = 1800.0, a1 = 1.5, a2 = -0.5;
  Rig rig({{1, DZ, RHO}}, {.BASE_TYPE = 3, .DT = DT, .A_IN = {a1, a2}});
  rig.run();

  // Step 1 moves the base node only.
  const double V_IN_1 = 0.0 + (0.0 + a1) * (DT * 0.5);
  const double V_base_1 = (V_IN_1 + V_IN_1) - 0.0;
  const double D_base_1 = (DT * V_base_1) + 0.0;
  // Step 2 strains the element by the base displacement of step 1, and its
  // stress moves the free surface.
  const double GTOT = (D_base_1 - 0.0) / DZ;
  global_para twin;
  prepare_model(twin, 1);
  double tau = 0.0;
  hyster(twin, tau, 0.0, 0.0, 0.0, 0.0, 1);
  hyster(twin, tau, 0.0, GTOT, 0.0, GTOT, 1);
  EXPECT_EQ(rig.state.GAMMA_1(1), GTOT);
  EXPECT_EQ(rig.state.TAU_1(1), tau);
  EXPECT_NE(tau, 0.0);
  EXPECT_EQ(rig.state.V_EST_1(1), ((tau * (2.0 * DT)) / DZ) / RHO + 0.0);
  const double V_IN_2 = V_IN_1 + (a1 + a2) * (DT * 0.5);
  EXPECT_EQ(rig.state.V_EST_1(2), (V_IN_2 + V_IN_2) - V_base_1);
}

TEST(TimeLoop, MotionRisesByAtMostOneNodePerStep) {
  const std::int32_t lay_max = 5;
  for (std::size_t steps = 1; steps <= 6; ++steps) {
    const std::vector<double> A_IN(steps, 1.0);
    Rig rig({{lay_max, 0.5, 1800.0}}, {.BASE_TYPE = 3, .DT = 0.001, .A_IN = A_IN});
    rig.run();
    const auto k = static_cast<std::int32_t>(steps);
    // After step k only the lowest k nodes have moved, and node lay_max + 2 - k has.
    for (std::int32_t n = 1; n <= lay_max + 1 - k; ++n) {
      EXPECT_TRUE(rig.at_rest(n)) << "node " << n << " after step " << k;
      EXPECT_EQ(bits(rig.state.TAU_1(n)), 0U) << "element " << n << " after step " << k;
    }
    EXPECT_NE(rig.state.V_EST_1(lay_max + 2 - k), 0.0) << "after step " << k;
  }
}

TEST(TimeLoop, RigidBaseMovesWithOnceOrTwiceTheIncidentVelocity) {
  const std::vector<double> A_IN{0.3, -1.1, 2.4, 0.7, -0.2, 1.9, -2.6, 0.05};
  for (const auto& [BASE_TYPE, factor] : {std::pair{2, 2.0}, std::pair{3, 1.0}}) {
    IncidentVelocity incident(0.002);
    for (std::size_t n = 1; n <= A_IN.size(); ++n) {
      incident.advance(A_IN[n - 1]);
      const auto end = A_IN.begin() + static_cast<std::ptrdiff_t>(n);
      const std::vector<double> first_n(A_IN.begin(), end);
      Rig rig({{2, 0.4, 1700.0}}, {.BASE_TYPE = BASE_TYPE, .DT = 0.002, .A_IN = first_n});
      rig.run();
      EXPECT_NEAR(rig.state.V_NT(rig.base()), factor * incident.V_IN, 1e-15)
          << "BASE_TYPE " << BASE_TYPE << ", step " << n;
    }
  }
}

// ---- Node and element stages, in the stated grouping -------------------------

TEST(BaseNode, EveryBaseTypeInItsStatedGrouping) {
  const double V_IN = 0.29, DT = 0.0069, VS_B = 90.0, TAU = -9800.0, RHO_B = 1900.0, DZ = 0.15,
               V_OLD = 0.048;
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
    s.V_EST_2(3) = -7.0;  // a value that only the base condition may replace
    move_base_node(s, column, StepConstants(DT, settings, profile), V_IN);
    EXPECT_EQ(bits(s.V_EST_2(1)) | bits(s.V_EST_2(2)), 0U);
    return s.V_EST_2(3);
  };

  const double type_1 =
      ((V_IN * ((4.0 * DT) * VS_B) - (TAU * (2.0 * DT)) / RHO_B) + (DZ - VS_B * DT) * V_OLD) /
      (DZ + VS_B * DT);
  EXPECT_EQ(moved(1), type_1);
  // V_IN x 4 x DT first would give another value.
  EXPECT_NE(type_1, ((((V_IN * 4.0) * DT) * VS_B - (TAU * (2.0 * DT)) / RHO_B) +
                     (DZ - VS_B * DT) * V_OLD) /
                        (DZ + VS_B * DT));
  EXPECT_EQ(moved(2), (V_IN * 4.0) - V_OLD);
  EXPECT_EQ(moved(3), (V_IN + V_IN) - V_OLD);
  EXPECT_EQ(moved(0), -7.0);
  EXPECT_EQ(moved(4), -7.0);
}

TEST(ColumnNodes, InteriorAndFreeSurfaceUseTheDensityBelow) {
  const double DT = 0.0047;
  const Column column = make_column({{1, 0.76, 400.0}, {1, 0.32, 600.0}, {1, 0.55, 750.0}});
  ColumnState s(column.lay_max);
  const std::array<double, 4> tau{0.0, 840.0, -50.0, 310.0};
  const std::array<double, 5> v_old{0.0, 0.04, 0.028, -0.013, 0.02};
  for (std::int32_t e = 1; e <= 3; ++e) s.TAU_1(e) = tau[static_cast<std::size_t>(e)];
  for (std::int32_t n = 1; n <= 4; ++n) s.V_EST_1(n) = v_old[static_cast<std::size_t>(n)];
  s.V_EST_2(4) = 0.5;  // the base node is not touched
  move_column_nodes(s, column, StepConstants(DT, RunSettings{}, Profile{}));

  // TAU_1 and V_EST_1 are inputs of the stage only.
  const auto interior = [&](std::int32_t i, double rho) {
    const double thickness = column.DZ(i - 1) + column.DZ(i);
    return (((s.TAU_1(i) - s.TAU_1(i - 1)) * (2.0 * DT)) / thickness) / rho + s.V_EST_1(i);
  };
  const double surface = ((s.TAU_1(1) * (2.0 * DT)) / column.DZ(1)) / column.RHO(1) + s.V_EST_1(1);
  EXPECT_EQ(s.V_EST_2(1), surface);
  EXPECT_EQ(s.V_EST_2(2), interior(2, column.RHO(2)));
  EXPECT_EQ(s.V_EST_2(3), interior(3, column.RHO(3)));
  EXPECT_EQ(s.V_EST_2(4), 0.5);
  // The density of the element above, or another grouping, gives other values.
  EXPECT_NE(s.V_EST_2(2), interior(2, column.RHO(1)));
  EXPECT_NE(s.V_EST_2(2), ((s.TAU_1(2) - s.TAU_1(1)) * (2.0 * DT)) /
                              ((column.DZ(1) + column.DZ(2)) * column.RHO(2)) + s.V_EST_1(2));
  EXPECT_NE(surface, (s.TAU_1(1) * (2.0 * DT)) / (column.DZ(1) * column.RHO(1)) + s.V_EST_1(1));
}

TEST(Kinematics, EveryNodeBaseIncludedThenTheShift) {
  const double DT = 0.0047;
  const Column column = make_column({{2, 0.1, 1000.0}});
  ColumnState s(2);
  const std::array<double, 4> v1{0.0, -0.005, 0.3, 0.07};
  const std::array<double, 4> v2{0.0, 0.01, -0.2, 0.11};
  const std::array<double, 4> d1{0.0, 1.0e-4, -3.0e-5, 2.2e-4};
  for (std::int32_t n = 1; n <= 3; ++n) {
    const auto i = static_cast<std::size_t>(n);
    s.V_EST_1(n) = v1[i];
    s.V_EST_2(n) = v2[i];
    s.D_1(n) = d1[i];
  }
  advance_kinematics(s, column, StepConstants(DT, RunSettings{}, Profile{}));
  for (std::int32_t n = 1; n <= 3; ++n) {
    const auto i = static_cast<std::size_t>(n);
    EXPECT_EQ(s.D_2(n), (DT * v2[i]) + d1[i]) << "node " << n;
    EXPECT_EQ(s.V_NT(n), (v2[i] + v1[i]) * 0.5) << "node " << n;
    EXPECT_EQ(s.A_NT(n), (v2[i] - v1[i]) / DT) << "node " << n;
    EXPECT_EQ(s.V_EST_1(n), v2[i]) << "node " << n;
    EXPECT_EQ(s.D_1(n), s.D_2(n)) << "node " << n;
  }
  // A multiplication by the reciprocal of DT would differ.
  EXPECT_NE(s.A_NT(1), (v2[1] - v1[1]) * (1.0 / DT));
}

TEST(ElementUpdate, StrainDampingAndStressFromTheUnshiftedHistory) {
  const Column column = make_column({{2, 0.09, 1800.0}});
  const double DT = 0.002;
  RelaxationTable table;
  Array2<double> W(kMechanisms, 2);
  for (std::int32_t k = 1; k <= kMechanisms; ++k) {
    table.T_K[static_cast<std::size_t>(k - 1)] = 0.001 * k * k;
    W(k, 1) = 0.01 * k;
    W(k, 2) = 0.02 / k;
  }
  const MemoryDecay decay(table, DT);
  ColumnState s(2);
  s.D_1(1) = 1.0e-4;
  s.D_1(2) = 2.5e-4;
  s.D_1(3) = 3.5e-4;
  // A previous step loading both elements; element 1 now reverses.
  const std::array<double, 3> gamma_prev{0.0, 2.5e-3, 1.0e-4};
  const std::array<double, 3> dgamma_prev{0.0, 2.0e-4, 0.5e-4};
  for (std::int32_t e = 1; e <= 2; ++e) {
    s.GAMMA_0(e) = gamma_prev[static_cast<std::size_t>(e)];
    s.D_GAMMA_0(e) = dgamma_prev[static_cast<std::size_t>(e)];
    for (std::int32_t k = 1; k <= kMechanisms; ++k) s.MEMORY_0(k, e) = 1.0e-6 * (k - e);
  }
  std::array<std::array<double, kMechanisms>, 3> memory{};
  for (std::int32_t e = 1; e <= 2; ++e) {
    for (std::int32_t k = 1; k <= kMechanisms; ++k) {
      memory[static_cast<std::size_t>(e)][static_cast<std::size_t>(k - 1)] = s.MEMORY_0(k, e);
    }
  }
  global_para gp, twin;
  prepare_model(gp, 2);
  prepare_model(twin, 2);

  update_elements(s, column, W, decay, gp);

  for (std::int32_t e = 1; e <= 2; ++e) {
    const auto i = static_cast<std::size_t>(e);
    const double GTOT = (s.D_1(e + 1) - s.D_1(e)) / column.DZ(e);
    const double GBAR = (GTOT + gamma_prev[i]) * 0.5;
    double sum = 0.0;
    for (std::int32_t k = 1; k <= kMechanisms; ++k) {
      const auto m = static_cast<std::size_t>(k - 1);
      const double E = std::exp(-(DT / table.T_K[m]));
      const double M = E * memory[i][m] + ((1.0 - E) * GBAR) * W(k, e);
      EXPECT_EQ(s.MEMORY_0(k, e), M) << "element " << e << ", mechanism " << k;
      sum = k == 1 ? M : sum + M;
    }
    const double GAMMA_1 = GTOT - sum;
    const double D_GAMMA_1 = GAMMA_1 - gamma_prev[i];
    double tau = 0.0;
    hyster(twin, tau, dgamma_prev[i], D_GAMMA_1, gamma_prev[i], GAMMA_1, e);
    EXPECT_EQ(s.GAMMA_1(e), GAMMA_1) << "element " << e;
    EXPECT_EQ(s.D_GAMMA_1(e), D_GAMMA_1) << "element " << e;
    EXPECT_EQ(s.GAMMA_0(e), GAMMA_1) << "element " << e;
    EXPECT_EQ(s.D_GAMMA_0(e), D_GAMMA_1) << "element " << e;
    EXPECT_EQ(bits(s.TAU_1(e)), bits(tau)) << "element " << e;
    EXPECT_EQ(gp.bb(e), twin.bb(e)) << "element " << e;
    EXPECT_EQ(gp.gmax(2, e), twin.gmax(2, e)) << "element " << e;
  }
  EXPECT_EQ(twin.bb(1), 1);  // the reversal seen through the previous increment
  EXPECT_EQ(twin.bb(2), 0);
  // A multiplication by the reciprocal of the thickness would differ.
  EXPECT_NE((s.D_1(2) - s.D_1(1)) / 0.09, (s.D_1(2) - s.D_1(1)) * (1.0 / 0.09));
}

// ---- Recording ------------------------------------------------------------------

TEST(Recording, FirstStepAndEveryMSubThAfterFillRowsInOrder) {
  std::vector<std::int32_t> recorded;
  for (std::int32_t ISTEP = 1; ISTEP <= 9; ++ISTEP) {
    if (is_recorded_step(ISTEP, 4)) recorded.push_back(ISTEP);
    EXPECT_TRUE(is_recorded_step(ISTEP, 1));
  }
  EXPECT_EQ(recorded, (std::vector<std::int32_t>{1, 5, 9}));

  const std::vector<Layer> layers{{2, 0.4, 1700.0}, {1, 0.6, 1900.0}};
  const std::vector<double> A_IN{0.3, -1.1, 2.4, 0.7, -0.2, 1.9, -2.6, 0.05, 0.0};
  Rig full(layers, {.BASE_TYPE = 3, .DT = 0.002, .A_IN = A_IN, .M_SUB = 4});  // NT = 3, NTT = 9
  full.run();
  ASSERT_EQ(full.records.IREC, 3);
  const std::int32_t NL = 2;
  for (std::int32_t row = 1; row <= 3; ++row) {
    const std::ptrdiff_t steps = 1 + std::ptrdiff_t{4} * (row - 1);
    const std::vector<double> first_steps(A_IN.begin(), A_IN.begin() + steps);
    Rig part(layers, {.BASE_TYPE = 3, .DT = 0.002, .A_IN = first_steps, .M_SUB = 4});
    part.run();
    const Column& c = part.column;
    const std::int32_t b = part.base();
    for (std::int32_t j = 1; j <= NL + 1; ++j) {
      const std::int32_t n = c.NODE_INDEX(j);
      EXPECT_EQ(full.records.OUT_A(j, row), part.state.A_NT(n)) << "row " << row << ", node " << n;
      EXPECT_EQ(full.records.OUT_V(j, row), part.state.V_NT(n) - part.state.V_NT(b));
      EXPECT_EQ(full.records.OUT_D(j, row), part.state.D_2(n) - part.state.D_2(b));
    }
    for (std::int32_t j = 1; j <= NL; ++j) {
      const std::int32_t m = c.LAYER_INDEX(j);
      EXPECT_EQ(full.records.OUT_GAMMA(j, row), part.state.GAMMA_1(m)) << "row " << row;
      EXPECT_EQ(full.records.OUT_TAU(j, row), part.state.TAU_1(m)) << "row " << row;
    }
    // The base relative to itself.
    EXPECT_EQ(bits(full.records.OUT_V(NL + 1, row)), 0U);
    EXPECT_EQ(bits(full.records.OUT_D(NL + 1, row)), 0U);
  }
  EXPECT_EQ(bits(full.records.MAX_V(NL + 1)) | bits(full.records.MAX_D(NL + 1)), 0U);
  EXPECT_GT(full.records.MAX_D(1), 0.0);
  EXPECT_GT(full.records.MAX_TAU(1), 0.0);
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
  // The first value that was not finite is the one kept.
  ASSERT_NE(r.first_non_finite.quantity, nullptr);
  EXPECT_STREQ(r.first_non_finite.quantity, "shear stress");
  EXPECT_EQ(r.first_non_finite.record, 3);
  EXPECT_EQ(r.first_non_finite.layer, 1);
  EXPECT_FALSE(r.first_non_finite.at_node);
  EXPECT_TRUE(std::isnan(r.first_non_finite.value));
}

// ---- Progress bar -------------------------------------------------------------

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
