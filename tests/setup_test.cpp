// The set-up stages: the time base, the column, the damping weights, the
// hand-over to the soil model, and the state the loop starts from.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "column.h"
#include "column_state.h"
#include "file_table.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"
#include "model_handover.h"
#include "recording.h"
#include "relaxation_damping.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using test::bits;
using test::values;

template <class T>
Array1<T> array_of(std::initializer_list<T> values) {
  Array1<T> a(static_cast<std::int64_t>(values.size()));
  std::int64_t i = 0;
  for (const T& v : values) a(++i) = v;
  return a;
}

// ---- Incident motion ------------------------------------------------------

TimeBase time_base(std::initializer_list<double> T, std::initializer_list<double> A, std::int32_t M_SUB) {
  const auto NTT = static_cast<std::int32_t>(computation_steps(static_cast<std::int64_t>(T.size()), M_SUB));
  return make_time_base(IncidentRecord{array_of(T), array_of(A)}, M_SUB, NTT);
}

TEST(TimeBase, SubStepsInterpolateEachIntervalAndTheLastStaysZero) {
  const double a1 = 0.3, a2 = -1.7, a3 = 2.9;
  const TimeBase two = time_base({0.0, 0.01, 0.02}, {a1, a2, a3}, 2);
  EXPECT_EQ(std::vector({two.DT0, two.DT, two.UF}), std::vector({0.01, 0.005, 0.5}));
  EXPECT_EQ(two.NTT, 5);
  EXPECT_EQ(bits(values(two.A_IN)), bits({0.5 * a1 + 0.5 * a2, a2, 0.5 * a2 + 0.5 * a3, a3, 0.0}));

  // One sub-step shifts the record by one sample; times after the second
  // play no part: the step is T(2) - T(1).
  const TimeBase one = time_base({0.5, 0.75, 3.0, 3.1}, {9.0, 0.1, -0.7, 1.3}, 1);
  EXPECT_EQ(std::vector({one.DT0, one.DT, one.UF}), std::vector({0.25, 0.25, 1.0}));
  EXPECT_EQ(bits(values(one.A_IN)), bits({0.1, -0.7, 1.3, 0.0}));

  // The last weight of an interval is one only up to rounding.
  const double just_under_one = 1.0 - std::ldexp(1.0, -53);
  const TimeBase coarse = time_base({0.0, 0.1}, {3.0, 1.0}, 5);
  EXPECT_EQ(5.0 * coarse.UF, just_under_one);
  EXPECT_EQ(coarse.A_IN(5), std::ldexp(1.0, -53) * 3.0 + just_under_one * 1.0);
  EXPECT_NE(coarse.A_IN(5), 1.0);
  const TimeBase fine = time_base({0.0, 0.01}, {3.0, 1.0}, 5);
  EXPECT_EQ(5.0 * fine.UF, 1.0);
  EXPECT_EQ(fine.A_IN(5), 1.0);
  EXPECT_EQ(bits(fine.A_IN(6)), 0U);
}

TEST(IncidentVelocity, ConstantRecordIntegratesFromZeroAtTheStart) {
  const double c = 1.75;
  const TimeBase tb = time_base({0.0, 0.02, 0.04, 0.06}, {c, c, c, c}, 3);
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
// Layer j has the density 1000 j + 500.
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

TEST(Column, LayersDividedIntoElementsOfTheirOwnThickness) {
  // The worked example of two layers. The target thickness of the first is
  // a single-precision value: kept in double precision it would count 6.
  const Site site({{4.0, 200.0}, {10.0, 250.0}});
  const Column c = site.divide();
  EXPECT_EQ(values(c.SUBLAY), std::vector({0.800000011920929, 1.0}));
  EXPECT_EQ(static_cast<int>(4.0 / ((200.0 / 25.0) / 10.0)) + 1, 6);
  EXPECT_EQ(values(c.N_SUBLAY), std::vector({5, 11}));
  EXPECT_EQ(values(c.NODE_INDEX), std::vector({1, 6, 17}));
  EXPECT_EQ(c.lay_max, 16);
  EXPECT_EQ(values(c.NODE_DEPTH), std::vector({0.0, 4.0, 14.0}));
  EXPECT_EQ(values(c.LAYER_DEPTH), std::vector({2.0, 9.0}));
  EXPECT_EQ(values(c.LAYER_INDEX), std::vector({3, 11}));
  EXPECT_EQ(values(c.DH), std::vector({4.0 / 5.0, 10.0 / 11.0}));
  ASSERT_EQ(c.DZ.size(), 16);
  for (std::int32_t e = 1; e <= 16; ++e) {
    const std::int32_t layer = e <= 5 ? 1 : 2;
    EXPECT_EQ(bits(c.DZ(e)), bits(c.DH(layer))) << "element " << e;
    EXPECT_EQ(c.RHO(e), site.profile.R(layer)) << "element " << e;
  }

  // An exact multiple of the target gets one more element, a thin layer one.
  const Column exact = Site({{3.0, 250.0}, {0.3, 250.0}}).divide();
  EXPECT_EQ(values(exact.N_SUBLAY), std::vector({4, 1}));
  EXPECT_EQ(values(exact.DH), std::vector({0.75, 0.3}));
  EXPECT_EQ(values(exact.LAYER_INDEX), std::vector({3, 5}));
  EXPECT_EQ(exact.NODE_INDEX(3), exact.lay_max + 1);
  EXPECT_EQ(exact.NODE_DEPTH(3), 3.0 + 0.3);

  // The recorded element is the middle one or the lower middle one: layers
  // of 1, 2, 3 and 4 elements.
  const Column four = Site({{0.5, 250.0}, {1.5, 250.0}, {2.5, 250.0}, {3.5, 250.0}}).divide();
  EXPECT_EQ(values(four.N_SUBLAY), std::vector({1, 2, 3, 4}));
  EXPECT_EQ(values(four.NODE_INDEX), std::vector({1, 2, 4, 7, 11}));
  EXPECT_EQ(values(four.LAYER_INDEX), std::vector({1, 3, 5, 9}));
  EXPECT_EQ(four.lay_max, 10);
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

  EXPECT_EQ(values(w.QFACTOR), std::vector({5.0, 10.0, 0.5 / 0.229}));
  EXPECT_EQ(w.CHI(1), 3.071000099182129 / (5.0 * 0.41499999165534973 + 1.0));
  EXPECT_LT(w.CHI(1), 1.0);
  EXPECT_GT(w.CHI(1), 0.998);
  EXPECT_NEAR(w.CHI(2), 0.61, 0.005);

  // Above and below a quality factor of 5: a negative logarithm enters unchanged.
  for (std::int64_t j = 2; j <= 3; ++j) {
    const double Q = 0.5 / X(j);
    const double P = std::pow(Q, -1.1579999923706055);
    const double L = std::log(Q / 5.0);
    EXPECT_EQ(w.CHI(j), ((P * 1.4329999685287476) * L + 3.071000099182129) / (Q * 0.41499999165534973 + 1.0))
        << "layer " << j;
    // Another grouping of the numerator gives another value for layer 3.
    if (j == 3) {
      EXPECT_NE(w.CHI(j), (P * (1.4329999685287476 * L) + 3.071000099182129) / (Q * 0.41499999165534973 + 1.0));
    }
  }
  EXPECT_GT(w.CHI(3), w.CHI(1));
  for (std::int64_t j = 1; j <= 3; ++j) {
    for (std::size_t k = 0; k < kMechanisms; ++k) {
      EXPECT_EQ(w.W_K(static_cast<std::int64_t>(k) + 1, j), (table.A_K[k] * w.CHI(j) + table.B_K[k]) * w.CHI(j));
    }
  }
}

// ---- Model hand-over --------------------------------------------------------

// The nine records of parameter set `row` of element `element`, in order.
std::array<double, kParameters> records_of(const global_para& g, int row, int element) {
  return {g.gamma_t_sub(row, element), g.a_sub(row, element),  g.gamma_ref_sub(row, element),
          g.beta_sub(row, element),    g.s_sub(row, element),  g.gmax(row, element),
          g.mu_sub(row, element),      g.tmax_sub(row, element), g.d_sub(row, element)};
}

// A value of record p, material m, table t that no single-precision value
// equals and no other entry shares.
double table_value(int t, int p, int m) { return (100.0 * t + 10.0 * p + m) / 3.0 + 1.0e-9; }

TEST(ModelHandOver, ElementsGetBothSetsAndTheDampingWeightsOfTheirLayer) {
  // Layers of 2, 1 and 3 elements with materials 2, 1, 2; material 3 is read
  // but named by the half-space row only.
  Site site({{1.5, 250.0}, {0.5, 250.0}, {2.5, 250.0}});
  site.profile.MA = array_of<std::int32_t>({2, 1, 2, 3});
  const std::int32_t NL = 3;
  const Column column = site.divide();
  ASSERT_EQ(column.lay_max, 6);
  const std::array<int, 7> layer_of_element{0, 1, 1, 2, 3, 3, 3};

  Array2<double> PARA_HY(kParameters, 3);
  LayerParameters layers(NL);
  global_para gp;
  gp.allocate_parameter_sets(column.lay_max);
  for (int t = 1; t <= 2; ++t) {  // the backbone table, then the branch table read into the same storage
    for (int p = 1; p <= kParameters; ++p) {
      for (int m = 1; m <= 3; ++m) PARA_HY(p, m) = table_value(t, p, m);
    }
    copy_layer_parameters(PARA_HY, site.profile.MA, NL, layers);
    fill_parameter_row(gp, t, layers, column, NL);
  }
  for (int e = 1; e <= column.lay_max; ++e) {
    const int m = site.profile.MA(layer_of_element[static_cast<std::size_t>(e)]);
    for (int r = 1; r <= 2; ++r) {
      const std::array<double, kParameters> records = records_of(gp, r, e);
      for (int p = 1; p <= kParameters; ++p) {
        EXPECT_EQ(bits(records[static_cast<std::size_t>(p - 1)]), bits(table_value(r, p, m)))
            << "element " << e << ", row " << r << ", record " << p;
      }
    }
  }

  RelaxationTable table;
  table.A_K.fill(0.5);
  table.B_K.fill(0.25);
  const DampingWeights weights = damping_weights(array_of({0.1, 0.05, 0.02}), NL, table);
  const Array2<double> W_K_SUB = element_weights(weights, column, NL);
  for (int e = 1; e <= column.lay_max; ++e) {
    for (int k = 1; k <= kMechanisms; ++k) {
      EXPECT_EQ(W_K_SUB(k, e), weights.W_K(k, layer_of_element[static_cast<std::size_t>(e)]));
    }
  }
}

TEST(ModelHandOver, LoopStateStartsAtRest) {
  const std::int32_t lay_max = 4, NT = 3, NL = 2;
  ColumnState state(lay_max);
  const Records records(NT, NL);
  // Every value +0, and the extents.
  const auto expect_zeros = [](const double* p, std::int64_t n, std::int64_t extent) {
    EXPECT_EQ(n, extent);
    EXPECT_EQ(bits(std::vector(p, p + n)), std::vector<std::uint64_t>(static_cast<std::size_t>(extent), 0));
  };
  for (const Array1<double>* a : {&state.V_EST_1, &state.V_EST_2, &state.A_NT, &state.V_NT, &state.D_1, &state.D_2}) {
    expect_zeros(a->data(), a->size(), lay_max + 1);
  }
  for (const Array1<double>* a : {&state.TAU_1, &state.GAMMA_1, &state.GAMMA_0, &state.D_GAMMA_1, &state.D_GAMMA_0}) {
    expect_zeros(a->data(), a->size(), lay_max);
  }
  const auto expect_table_zeros = [&](const Array2<double>& a, std::int64_t rows, std::int64_t columns) {
    expect_zeros(a.column(1), a.extent1() * a.extent2(), rows * columns);
  };
  expect_table_zeros(state.MEMORY_0, kMechanisms, lay_max);
  for (const Array2<double>* a : {&records.OUT_A, &records.OUT_V, &records.OUT_D}) expect_table_zeros(*a, NL + 1, NT);
  for (const Array2<double>* a : {&records.OUT_GAMMA, &records.OUT_TAU}) expect_table_zeros(*a, NL, NT);
  for (const Array1<double>* a : {&records.MAX_V, &records.MAX_D}) expect_zeros(a->data(), a->size(), NL + 1);
  for (const Array1<double>* a : {&records.MAX_GAMMA, &records.MAX_TAU}) expect_zeros(a->data(), a->size(), NL);
  EXPECT_EQ(records.IREC, 0);
}

// ---- File table ----------------------------------------------------------

// Pins a lookup that took an unknown unit number for "control.dat" in Release
// builds: any number outside the table is a programming error, whose
// exception ends the run with the internal-error diagnostic.
TEST(FileTable, UnknownUnitIsAProgrammingError) {
  const FileTable files;
  EXPECT_THROW(static_cast<void>(files.path(static_cast<Unit>(30))), std::logic_error);
  EXPECT_THROW(static_cast<void>(files.fd(static_cast<Unit>(43))), std::logic_error);
}

}  // namespace
}  // namespace zorvik
