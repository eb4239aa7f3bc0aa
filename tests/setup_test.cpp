#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "column.h"
#include "column_state.h"
#include "file_table.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"
#include "model_handover.h"
#include "recording.h"
#include "relaxation_damping.h"

namespace zorvik {
namespace {

template <class T>
Array1<T> array_of(std::initializer_list<T> values) {
  Array1<T> a(static_cast<std::int64_t>(values.size()));
  std::int64_t i = 0;
  for (const T& v : values) a(++i) = v;
  return a;
}

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// ---- Incident motion ------------------------------------------------------

IncidentRecord record(std::initializer_list<double> T, std::initializer_list<double> A) {
  return IncidentRecord{array_of(T), array_of(A)};
}

TEST(TimeBase, TwoSubStepsInterpolateEachInterval) {
  const double a1 = 0.3, a2 = -1.7, a3 = 2.9;
  const TimeBase tb = make_time_base(record({0.0, 0.01, 0.02}, {a1, a2, a3}), 3, 2);
  EXPECT_EQ(tb.DT0, 0.01);
  EXPECT_EQ(tb.DT, 0.005);
  EXPECT_EQ(tb.NTT, 5);
  EXPECT_EQ(tb.UF, 0.5);
  ASSERT_EQ(tb.A_IN.size(), 5);
  EXPECT_EQ(tb.A_IN(1), 0.5 * a1 + 0.5 * a2);
  EXPECT_EQ(tb.A_IN(2), a2);
  EXPECT_EQ(tb.A_IN(3), 0.5 * a2 + 0.5 * a3);
  EXPECT_EQ(tb.A_IN(4), a3);
  EXPECT_EQ(bits(tb.A_IN(5)), 0U);
}

TEST(TimeBase, OneSubStepShiftsTheRecordByOneSample) {
  // Times after the second play no part: the step is T(2) - T(1).
  const TimeBase tb = make_time_base(record({0.5, 0.75, 3.0, 3.1}, {9.0, 0.1, -0.7, 1.3}), 4, 1);
  EXPECT_EQ(tb.DT0, 0.25);
  EXPECT_EQ(tb.DT, 0.25);
  EXPECT_EQ(tb.UF, 1.0);
  ASSERT_EQ(tb.NTT, 4);
  EXPECT_EQ(tb.A_IN(1), 0.1);
  EXPECT_EQ(tb.A_IN(2), -0.7);
  EXPECT_EQ(tb.A_IN(3), 1.3);
  EXPECT_EQ(bits(tb.A_IN(4)), 0U);
}

TEST(TimeBase, LastWeightOfAnIntervalIsOneOnlyUpToRounding) {
  const double a1 = 3.0, a2 = 1.0;
  const double just_under_one = 1.0 - std::ldexp(1.0, -53);

  const TimeBase coarse = make_time_base(record({0.0, 0.1}, {a1, a2}), 2, 5);
  EXPECT_EQ(5.0 * coarse.UF, just_under_one);
  const double expected = std::ldexp(1.0, -53) * a1 + just_under_one * a2;
  EXPECT_EQ(coarse.A_IN(5), expected);
  EXPECT_NE(coarse.A_IN(5), a2);

  const TimeBase fine = make_time_base(record({0.0, 0.01}, {a1, a2}), 2, 5);
  EXPECT_EQ(5.0 * fine.UF, 1.0);
  EXPECT_EQ(fine.A_IN(5), a2);
  EXPECT_EQ(bits(fine.A_IN(6)), 0U);
}

TEST(IncidentVelocity, ConstantRecordIntegratesFromZeroAtTheStart) {
  const double c = 1.75;
  const TimeBase tb = make_time_base(record({0.0, 0.02, 0.04, 0.06}, {c, c, c, c}), 4, 3);
  IncidentVelocity v(tb.DT);
  for (std::int32_t n = 1; n <= tb.NTT; ++n) {
    const double before = v.V_IN;
    const double previous = v.A_PREV;
    v.advance(tb.A_IN(n));
    EXPECT_EQ(v.V_IN, before + (previous + tb.A_IN(n)) * (tb.DT * 0.5)) << "step " << n;
    const double ideal = n < tb.NTT ? c * tb.DT * (n - 0.5) : c * tb.DT * (tb.NTT - 1);
    EXPECT_NEAR(v.V_IN, ideal, 1e-14) << "step " << n;
  }
  EXPECT_EQ(v.A_PREV, 0.0);
}

// ---- Column discretisation --------------------------------------------------

struct SiteLayer {
  double H;  // thickness
  double V;  // shear-wave velocity
};

// Layers above a half-space, resolved up to 25 Hz with 10 elements per
// wavelength: a velocity of 250 gives a target thickness of exactly 1.
struct Site {
  explicit Site(std::initializer_list<SiteLayer> layers) {
    s.FMAX = 25.0;
    s.NPW = 10;
    s.NL = static_cast<std::int32_t>(layers.size());
    const std::int64_t rows = std::int64_t{s.NL} + 1;
    profile.H = Array1<double>(rows);
    profile.V = Array1<double>(rows);
    profile.R = Array1<double>(rows);
    std::int64_t j = 0;
    for (const SiteLayer& layer : layers) {
      ++j;
      profile.H(j) = layer.H;
      profile.V(j) = layer.V;
      profile.R(j) = 1000.0 * static_cast<double>(j) + 500.0;
    }
  }
  Column divide() const {
    const FileTable files;  // needed for a refusal only
    Column c = divide_layers(profile, s, files);
    set_element_properties(c, profile, s.NL);
    return c;
  }
  RunSettings s;
  Profile profile;
};

TEST(Column, WorkedExampleOfTwoLayers) {
  const Site site({{4.0, 200.0}, {10.0, 250.0}});
  const Column c = site.divide();
  EXPECT_EQ(c.SUBLAY(1), 0.800000011920929);
  EXPECT_EQ(c.SUBLAY(1), static_cast<double>(0.8F));
  EXPECT_EQ(c.SUBLAY(2), 1.0);
  EXPECT_EQ(c.N_SUBLAY(1), 5);
  EXPECT_EQ(c.N_SUBLAY(2), 11);
  EXPECT_EQ(c.NODE_INDEX(1), 1);
  EXPECT_EQ(c.NODE_INDEX(2), 6);
  EXPECT_EQ(c.NODE_INDEX(3), 17);
  EXPECT_EQ(c.lay_max, 16);
  EXPECT_EQ(c.NODE_DEPTH(1), 0.0);
  EXPECT_EQ(c.NODE_DEPTH(2), 4.0);
  EXPECT_EQ(c.NODE_DEPTH(3), 14.0);
  EXPECT_EQ(c.LAYER_DEPTH(1), 2.0);
  EXPECT_EQ(c.LAYER_DEPTH(2), 9.0);
  EXPECT_EQ(c.LAYER_INDEX(1), 3);
  EXPECT_EQ(c.LAYER_INDEX(2), 11);
  EXPECT_EQ(c.DH(1), 4.0 / 5.0);
  EXPECT_EQ(c.DH(2), 10.0 / 11.0);
  ASSERT_EQ(c.DZ.size(), 16);
  for (std::int32_t e = 1; e <= 16; ++e) {
    const std::int32_t layer = e <= 5 ? 1 : 2;
    EXPECT_EQ(bits(c.DZ(e)), bits(c.DH(layer))) << "element " << e;
    EXPECT_EQ(c.RHO(e), site.profile.R(layer)) << "element " << e;
  }
  // The same division with the target kept in double precision counts 6.
  const double double_target = (200.0 / 25.0) / 10.0;
  EXPECT_EQ(static_cast<int>(4.0 / double_target) + 1, 6);
}

TEST(Column, ExactMultipleGetsOneMoreElementAndAThinLayerOne) {
  const Site site({{3.0, 250.0}, {0.3, 250.0}});
  const Column c = site.divide();
  EXPECT_EQ(c.N_SUBLAY(1), 4);
  EXPECT_EQ(c.DH(1), 0.75);
  EXPECT_EQ(c.N_SUBLAY(2), 1);
  EXPECT_EQ(c.DH(2), 0.3);
  EXPECT_EQ(c.LAYER_INDEX(2), 5);
  EXPECT_EQ(c.NODE_INDEX(3), c.lay_max + 1);
  EXPECT_EQ(c.NODE_DEPTH(3), 3.0 + 0.3);
}

TEST(Column, RecordedElementIsTheMiddleOrTheLowerMiddleOne) {
  // Layers of 1, 2, 3 and 4 elements.
  const Site site({{0.5, 250.0}, {1.5, 250.0}, {2.5, 250.0}, {3.5, 250.0}});
  const Column c = site.divide();
  const std::array<std::int32_t, 4> count{1, 2, 3, 4};
  const std::array<std::int32_t, 5> top{1, 2, 4, 7, 11};
  const std::array<std::int32_t, 4> recorded{1, 3, 5, 9};
  for (std::int32_t j = 1; j <= 4; ++j) {
    const auto k = static_cast<std::size_t>(j - 1);
    EXPECT_EQ(c.N_SUBLAY(j), count[k]) << "layer " << j;
    EXPECT_EQ(c.NODE_INDEX(j), top[k]) << "layer " << j;
    EXPECT_EQ(c.LAYER_INDEX(j), recorded[k]) << "layer " << j;
  }
  EXPECT_EQ(c.NODE_INDEX(5), 11);
  EXPECT_EQ(c.lay_max, 10);
}

// ---- Relaxation damping -----------------------------------------------------

TEST(DampingWeights, QualityFactorScalingAndWeights) {
  RelaxationTable table;
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    table.A_K[k] = 0.1 * static_cast<double>(k) - 0.3;
    table.B_K[k] = 0.7 / static_cast<double>(k + 1);
  }
  const Array1<double> X = array_of({0.1, 0.05, 0.229});
  const DampingWeights w = damping_weights(X, 3, table);

  EXPECT_EQ(w.QFACTOR(1), 5.0);
  EXPECT_EQ(w.CHI(1), 3.071000099182129 / (5.0 * 0.41499999165534973 + 1.0));
  EXPECT_LT(w.CHI(1), 1.0);
  EXPECT_GT(w.CHI(1), 0.998);

  EXPECT_EQ(w.QFACTOR(2), 10.0);
  EXPECT_NEAR(w.CHI(2), 0.61, 0.005);

  // Above and below a quality factor of 5: a negative logarithm enters unchanged.
  for (std::int64_t j = 2; j <= 3; ++j) {
    const double Q = 0.5 / X(j);
    const double P = std::pow(Q, -1.1579999923706055);
    const double L = std::log(Q / 5.0);
    EXPECT_EQ(w.CHI(j), ((P * 1.4329999685287476) * L + 3.071000099182129) /
                            (Q * 0.41499999165534973 + 1.0))
        << "layer " << j;
  }
  EXPECT_GT(w.CHI(3), w.CHI(1));
  {  // Another grouping of the numerator gives another value here.
    const double Q = w.QFACTOR(3);
    const double P = std::pow(Q, -1.1579999923706055);
    EXPECT_NE(w.CHI(3), (P * (1.4329999685287476 * std::log(Q / 5.0)) + 3.071000099182129) /
                            (Q * 0.41499999165534973 + 1.0));
  }
  for (std::int64_t j = 1; j <= 3; ++j) {
    for (std::size_t k = 0; k < kMechanisms; ++k) {
      EXPECT_EQ(w.W_K(static_cast<std::int64_t>(k) + 1, j),
                (table.A_K[k] * w.CHI(j) + table.B_K[k]) * w.CHI(j));
    }
  }
}

struct Memory {
  std::array<double, kMechanisms> M{};
  std::array<double, kMechanisms> W{};
  double update(double GTOT, double GAMMA_0, const MemoryDecay& decay) {
    return update_damping_memory(GTOT, GAMMA_0, W.data(), M.data(), decay);
  }
};

RelaxationTable relaxation_times(double T) {
  RelaxationTable table;
  table.T_K.fill(T);
  return table;
}

TEST(DampingMemory, ZeroWeightsLeaveTheTotalStrain) {
  const MemoryDecay decay(relaxation_times(0.01), 0.002);
  Memory m;
  double GAMMA_0 = 0.0;
  for (double GTOT : {1.0e-3, -2.7e-4, 3.3e-5}) {
    const double GAMMA_1 = m.update(GTOT, GAMMA_0, decay);
    EXPECT_EQ(GAMMA_1, GTOT);
    for (double v : m.M) EXPECT_EQ(bits(v), 0U);
    GAMMA_0 = GAMMA_1;
  }
}

TEST(DampingMemory, RelaxationTimeZeroFollowsTheAverageAtOnce) {
  RelaxationTable table = relaxation_times(0.02);
  table.T_K[4] = 0.0;
  const MemoryDecay decay(table, 0.005);
  EXPECT_EQ(decay.E_K[4], 0.0);
  Memory m;
  m.W[4] = 0.375;
  double GAMMA_0 = 0.0;
  for (double GTOT : {2.0e-3, 5.0e-4, -1.5e-3}) {
    const double GBAR = (GTOT + GAMMA_0) * 0.5;
    GAMMA_0 = m.update(GTOT, GAMMA_0, decay);
    EXPECT_EQ(m.M[4], GBAR * 0.375);
    EXPECT_EQ(GAMMA_0, GTOT - m.M[4]);
  }
}

TEST(DampingMemory, CorrectedStrainEntersTheAverage) {
  const double DT = 0.005;
  const MemoryDecay decay(relaxation_times(0.02), DT);
  const double E = std::exp(-(DT / 0.02));
  const double w = 0.25;
  const double g = 1.0e-3;
  Memory m;
  m.W[2] = w;

  const double first = m.update(g, 0.0, decay);
  const double M1 = E * 0.0 + ((1.0 - E) * (g * 0.5)) * w;
  EXPECT_EQ(m.M[2], M1);
  EXPECT_EQ(first, g - M1);

  const double second = m.update(g, first, decay);
  const double GBAR = (g + (g - M1)) * 0.5;
  const double M2 = E * M1 + ((1.0 - E) * GBAR) * w;
  EXPECT_EQ(m.M[2], M2);
  EXPECT_EQ(second, g - M2);
  // Averaging with the previous total strain g would give another value.
  EXPECT_NE(second, g - (E * M1 + ((1.0 - E) * g) * w));
}

// ---- Model hand-over --------------------------------------------------------

// Parameter set `row` of element `element`.
struct Slot {
  int row;
  int element;
};

// The module arrays of records 1..9, by their names.
using Read = double (*)(const global_para&, Slot);
const std::array<Read, kParameters> kRecords{
    [](const global_para& g, Slot at) { return g.gamma_t_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.a_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.gamma_ref_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.beta_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.s_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.gmax(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.mu_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.tmax_sub(at.row, at.element); },
    [](const global_para& g, Slot at) { return g.d_sub(at.row, at.element); },
};

// A value of record p, material m, table t that no single-precision value
// equals and no other entry shares.
double table_value(int t, int p, int m) { return (100.0 * t + 10.0 * p + m) / 3.0 + 1.0e-9; }

void fill_table(Array2<double>& PARA_HY, int t) {
  for (int p = 1; p <= kParameters; ++p) {
    for (int m = 1; m <= PARA_HY.extent2(); ++m) PARA_HY(p, m) = table_value(t, p, m);
  }
}

TEST(ModelHandOver, ElementsGetBothSetsOfTheirLayersMaterialThenTheReset) {
  // Layers of 2, 1 and 3 elements with materials 2, 1, 2; material 3 is read
  // but named by the half-space row only.
  Site site({{1.5, 250.0}, {0.5, 250.0}, {2.5, 250.0}});
  site.profile.MA = array_of<std::int32_t>({2, 1, 2, 3});
  const std::int32_t NL = 3;
  const Column column = site.divide();
  ASSERT_EQ(column.lay_max, 6);
  const std::array<int, 7> material_of_element{0, 2, 2, 1, 2, 2, 2};

  Array2<double> PARA_HY(kParameters, 3);
  LayerParameters layers(NL);
  global_para gp;
  fill_table(PARA_HY, 1);
  copy_layer_parameters(PARA_HY, site.profile.MA, NL, layers);
  gp.allocate_parameter_sets(column.lay_max);
  fill_parameter_row(gp, 1, layers, column, NL);
  fill_table(PARA_HY, 2);  // the branch table, read into the same storage
  copy_layer_parameters(PARA_HY, site.profile.MA, NL, layers);
  fill_parameter_row(gp, 2, layers, column, NL);
  gp.reset_hysteresis_state();

  // The same element pass gives each element its layer's damping weights.
  RelaxationTable table;
  table.A_K.fill(0.5);
  table.B_K.fill(0.25);
  const DampingWeights weights = damping_weights(array_of({0.1, 0.05, 0.02}), NL, table);
  const Array2<double> W_K_SUB = element_weights(weights, column, NL);
  const std::array<int, 7> layer_of_element{0, 1, 1, 2, 3, 3, 3};
  for (int e = 1; e <= column.lay_max; ++e) {
    for (int k = 1; k <= kMechanisms; ++k) {
      EXPECT_EQ(W_K_SUB(k, e), weights.W_K(k, layer_of_element[static_cast<std::size_t>(e)]));
    }
  }

  for (int e = 1; e <= column.lay_max; ++e) {
    const int m = material_of_element[static_cast<std::size_t>(e)];
    for (int r = 1; r <= 2; ++r) {
      for (int p = 1; p <= kParameters; ++p) {
        const Read read = kRecords[static_cast<std::size_t>(p - 1)];
        EXPECT_EQ(bits(read(gp, Slot{r, e})), bits(table_value(r, p, m)))
            << "element " << e << ", row " << r << ", record " << p;
      }
    }
  }

  constexpr std::uint64_t kSentinelBits = 0x46293E5940000000;
  for (int e = 1; e <= column.lay_max; ++e) {
    EXPECT_EQ(bits(gp.xtu(1, e)), kSentinelBits);
    EXPECT_EQ(bits(gp.ytu(1, e)), kSentinelBits);
    int nonzero = 0;
    for (int k = 2; k <= kStackRows; ++k) nonzero += (bits(gp.xtu(k, e)) | bits(gp.ytu(k, e))) != 0;
    EXPECT_EQ(nonzero, 0) << "element " << e;
    EXPECT_EQ(gp.bb(e), 0);
    EXPECT_EQ(gp.par(e), 0);
    EXPECT_EQ(bits(gp.xm(e)) | bits(gp.ym(e)), 0U);
  }
  EXPECT_NE(bits(1e30), kSentinelBits);
}

bool all_positive_zero(const double* p, std::int64_t n) {
  std::uint64_t any = 0;
  for (std::int64_t i = 0; i < n; ++i) any |= bits(p[i]);
  return any == 0;
}

TEST(ModelHandOver, LoopStateStartsAtRest) {
  const std::int32_t lay_max = 4, NT = 3, NL = 2;
  ColumnState state(lay_max);
  const Records records(NT, NL);
  for (const Array1<double>* a : {&state.V_EST_1, &state.V_EST_2, &state.A_NT, &state.V_NT,
                                  &state.D_1, &state.D_2}) {
    EXPECT_EQ(a->size(), lay_max + 1);
    EXPECT_TRUE(all_positive_zero(a->data(), a->size()));
  }
  for (const Array1<double>* a :
       {&state.TAU_1, &state.GAMMA_1, &state.GAMMA_0, &state.D_GAMMA_1, &state.D_GAMMA_0}) {
    EXPECT_EQ(a->size(), lay_max);
    EXPECT_TRUE(all_positive_zero(a->data(), a->size()));
  }
  EXPECT_TRUE(all_positive_zero(state.MEMORY_0.column(1), std::int64_t{kMechanisms} * lay_max));
  for (const Array2<double>* a : {&records.OUT_A, &records.OUT_V, &records.OUT_D}) {
    EXPECT_TRUE(all_positive_zero(a->column(1), std::int64_t{NT} * (NL + 1)));
  }
  EXPECT_TRUE(all_positive_zero(records.OUT_GAMMA.column(1), std::int64_t{NT} * NL));
  EXPECT_TRUE(all_positive_zero(records.OUT_TAU.column(1), std::int64_t{NT} * NL));
  for (const Array1<double>* a :
       {&records.MAX_V, &records.MAX_D, &records.MAX_GAMMA, &records.MAX_TAU}) {
    EXPECT_TRUE(all_positive_zero(a->data(), a->size()));
  }
  EXPECT_EQ(records.MAX_V.size(), NL + 1);
  EXPECT_EQ(records.MAX_TAU.size(), NL);
  EXPECT_EQ(records.IREC, 0);
}

}  // namespace
}  // namespace zorvik
