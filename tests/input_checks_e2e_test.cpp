// Input that would crash a run or corrupt every result is refused with
// diagnostic 72 before the time loop: nothing on standard output, no result
// file touched. One test per refusal or family of refusals; each also runs
// the nearest accepted input where the boundary is worth pinning.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

constexpr const char* kOldResult = "    0.100000E+001\nresult of an earlier run\n";

const char* file_of(int unit) {
  switch (unit) {
    case 21: return "control.dat";
    case 22: return "incident.dat";
    case 23: return "profile.dat";
    case 26: return "tabk.dat";
    case 27: return "HH_G.dat";
    default: return "HH_x.dat";
  }
}

// Runs `inputs` and expects the refusal on `unit` whose detail names every
// one of `words`.
void expect_refused(const SiteInputs& inputs, int unit, const std::vector<std::string>& words) {
  const WorkDir dir;
  inputs.write_to(dir);
  dir.write("out_a.dat", kOldResult);

  const RunResult r = dir.run();

  EXPECT_EQ(r.exit_status, 72) << r.describe();
  const std::string head =
      file_diagnostic(72, "invalid input value", unit, dir.path_of(file_of(unit))) + ": ";
  const std::string line = r.diagnostic();
  ASSERT_EQ(line.substr(0, head.size()), head) << r.err;
  const std::string detail = line.substr(head.size());
  for (const std::string& word : words) {
    EXPECT_NE(detail.find(word), std::string::npos) << detail << " / " << word;
  }
  EXPECT_TRUE(r.call_chain_follows()) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.read("out_a.dat"), kOldResult);
  EXPECT_EQ(dir.read("t.dat"), "");
}

void expect_accepted(const SiteInputs& inputs) {
  const WorkDir dir;
  inputs.write_to(dir);
  expect_complete(dir.run());
}

SiteInputs with_control(void (*change)(Control&)) {
  SiteInputs in;
  change(in.control);
  return in;
}

// Three layers, two materials; `change` edits layer `j` (1-based) or, for
// j = 4, the half-space.
SiteInputs three_layers(int j, void (*change)(Layer&), int base_type = 1) {
  std::vector<Layer> rows = {Layer{}, Layer{1.0, 150.0, 0.04, 1.9, 2}, Layer{3.0, 200.0, 0.03, 2.0, 1},
                             Layer{0.0, 400.0, 0.01, 2.2, 1}};
  change(rows[static_cast<std::size_t>(j - 1)]);
  SiteInputs in;
  in.control.NL = 3;
  in.control.NMAT = 2;
  in.control.BASE_TYPE = base_type;
  in.profile = profile_text({rows[0], rows[1], rows[2]}, rows[3]);
  in.curve = curve_text(2);
  in.HH_G = parameter_table_text(2);
  in.HH_x = parameter_table_text(2);
  return in;
}

TEST(InputRefusal, HighestFrequencyNotAboveZero) {
  expect_refused(with_control([](Control& c) { c.FMAX = "0"; }), 21, {"FMAX", "0"});
  expect_refused(with_control([](Control& c) { c.FMAX = "-25.0"; }), 21, {"FMAX", "-25"});
}

TEST(InputRefusal, PointsPerWavelengthBelowOne) {
  expect_refused(with_control([](Control& c) { c.NPW = 0; }), 21, {"NPW", "0"});
}

TEST(InputRefusal, StepsPerSampleBelowOne) {
  expect_refused(with_control([](Control& c) { c.M_SUB = 0; }), 21, {"M_SUB", "0"});
  expect_refused(with_control([](Control& c) { c.M_SUB = -3; }), 21, {"M_SUB", "-3"});
}

TEST(InputRefusal, BaseTypeOutsideOneToThree) {
  expect_refused(with_control([](Control& c) { c.BASE_TYPE = 0; }), 21, {"BASE_TYPE", "0"});
  expect_refused(with_control([](Control& c) { c.BASE_TYPE = 4; }), 21, {"BASE_TYPE", "4"});
}

TEST(InputRefusal, NoLayer) {
  expect_refused(with_control([](Control& c) { c.NL = 0; }), 21, {"NL", "0"});
}

TEST(InputRefusal, FewerThanTwoSamples) {
  expect_refused(with_control([](Control& c) { c.NT = 1; }), 21, {"NT", "1"});
}

TEST(InputRefusal, NoMaterial) {
  expect_refused(with_control([](Control& c) { c.NMAT = 0; }), 21, {"NMAT", "0"});
}

TEST(InputRefusal, StepCountBeyondTheThirtyTwoBitRange) {
  // (3 - 1) x 2^30 + 1 = 2^31 + 1 steps.
  expect_refused(with_control([](Control& c) {
                   c.NT = 3;
                   c.M_SUB = 1073741824;
                 }),
                 21, {"M_SUB", "2147483649", "32-bit"});
}

TEST(InputRefusal, SecondTimeNotAfterTheFirst) {
  SiteInputs equal;
  equal.incident = "0.5 0.0\n0.5 0.1\n" + incident_text({.NT = 18, .T1 = 0.52});
  expect_refused(equal, 22, {"T(2)", "0.5", "T(1)"});
  SiteInputs backwards;
  backwards.incident = "0.5 0.0\n0.25 0.1\n" + incident_text({.NT = 18, .T1 = 0.52});
  expect_refused(backwards, 22, {"T(2)", "0.25", "T(1)", "0.5"});
}

TEST(InputRefusal, LayerThicknessNotAboveZero) {
  expect_refused(three_layers(2, [](Layer& l) { l.H = 0.0; }), 23, {"layer 2", "thickness", "0"});
  expect_refused(three_layers(3, [](Layer& l) { l.H = -1.5; }), 23, {"layer 3", "thickness", "-1.5"});
}

TEST(InputRefusal, LayerVelocityNotAboveZero) {
  expect_refused(three_layers(2, [](Layer& l) { l.V = 0.0; }), 23, {"layer 2", "velocity", "0"});
}

TEST(InputRefusal, LayerDampingRatioNotAboveZero) {
  expect_refused(three_layers(3, [](Layer& l) { l.X = 0.0; }), 23, {"layer 3", "damping ratio", "0"});
  expect_refused(three_layers(1, [](Layer& l) { l.X = -0.02; }), 23, {"layer 1", "damping ratio", "-0.02"});
}

TEST(InputRefusal, LayerDensityNotAboveZero) {
  expect_refused(three_layers(2, [](Layer& l) { l.R = 0.0; }), 23, {"layer 2", "density", "0"});
}

TEST(InputRefusal, MaterialNumberOutsideTheMaterials) {
  expect_refused(three_layers(3, [](Layer& l) { l.MA = 7; }), 23,
                 {"layer 3: material number 7 is outside 1..2"});
  expect_refused(three_layers(1, [](Layer& l) { l.MA = 0; }), 23, {"layer 1", "material number 0", "1..2"});
  // The half-space row's material number is never used.
  expect_accepted(three_layers(4, [](Layer& l) { l.MA = 9; }));
}

TEST(InputRefusal, HalfSpaceVelocityNotAboveZeroUnderAnElasticBase) {
  expect_refused(three_layers(4, [](Layer& l) { l.V = 0.0; }), 23, {"half-space", "velocity", "0"});
  // A rigid base does not use the half-space.
  expect_accepted(three_layers(4, [](Layer& l) { l.V = 0.0; }, 3));
}

TEST(InputRefusal, HalfSpaceDensityNotAboveZeroUnderAnElasticBase) {
  expect_refused(three_layers(4, [](Layer& l) { l.R = -2.2; }), 23, {"half-space", "density", "-2.2"});
  expect_accepted(three_layers(4, [](Layer& l) { l.R = 0.0; }, 2));
}

TEST(InputRefusal, NegativeRelaxationTime) {
  SiteInputs in;
  const std::string tabk = tabk_text();
  const std::size_t third_row = tabk.find('\n', tabk.find('\n') + 1) + 1;
  in.tabk = tabk.substr(0, third_row) + "-1.975507e-02" + tabk.substr(third_row + 12);
  expect_refused(in, 26, {"mechanism 3", "relaxation time -1.975507e-02 "});
  // A relaxation time of zero is a mechanism that follows the strain at once,
  // whatever its sign (-0 once made the mechanism's decay infinite).
  std::string results[2];
  for (const int k : {0, 1}) {
    in.tabk = tabk.substr(0, third_row) + (k == 0 ? "0.0" : "-0.0") + tabk.substr(third_row + 12);
    const WorkDir dir;
    in.write_to(dir);
    expect_complete(dir.run());
    results[k] = dir.read("out_a.dat") + dir.read("out_tau.dat");
  }
  EXPECT_EQ(results[1], results[0]);
}

// tabk.dat with the relaxation times of the small site and the coefficients
// A_K and B_K of every mechanism set to a and b.
std::string tabk_with_coefficients(const std::string& a, const std::string& b) {
  std::istringstream rows(tabk_text());
  std::string text;
  std::string T;
  std::string A;
  std::string B;
  while (rows >> T >> A >> B) text += T + ' ' + a + ' ' + b + '\n';
  return text;
}

// A relaxation table fitted for another memory rule, with negative
// coefficients A_K.
constexpr const char* kTableWithNegativeCoefficients =
    "1.72333e-3 1.66958e-2 8.98758e-2\n"
    "1.80701e-3 3.81644e-2 6.84635e-2\n"
    "5.38887e-3 9.84666e-3 9.67052e-2\n"
    "1.99322e-2 -1.36803e-2 1.20172e-1\n"
    "8.49833e-2 -2.85125e-2 1.30728e-1\n"
    "4.09335e-1 -5.37309e-2 1.38746e-1\n"
    "2.05951 -6.65035e-2 1.40705e-1\n"
    "13.2629 -1.33696e-1 2.14647e-1\n";

// Layers of damping ratios from 0.0001 to 0.4999, all of which realistic
// relaxation tables must accept: their weights sum to between about 0.001 and
// 1.85.
SiteInputs every_ratio_below_one_half(const std::string& tabk) {
  SiteInputs in;
  std::vector<Layer> layers;
  for (const double X : {0.0001, 0.001, 0.01, 0.02, 0.05, 0.1, 0.15, 0.2, 0.2358, 0.3, 0.4, 0.45, 0.4999}) {
    layers.push_back(Layer{2.0, 100.0, X, 2.0, 1});
  }
  in.control.NL = static_cast<int>(layers.size());
  in.profile = profile_text(layers, Layer{0.0, 400.0, 0.01, 2.2, 1});
  in.tabk = tabk;
  return in;
}

// Input with which no run can be stable, refused before the loop with the
// accepted input on the other side of the boundary. Pins runs that chattered
// to nonsense with exit 0 (a step too long for the explicit scheme), or grew
// without bound (a damping ratio in percent, weights summing to 2 or more).
TEST(InputRefusal, StepsAndDampingThatCannotRunStably) {
  const SiteInputs thin_layer = three_layers(2, [](Layer& l) { l.H = 0.2; });
  SiteInputs thin_layer_shorter_step = thin_layer;
  thin_layer_shorter_step.control.M_SUB = 6;
  SiteInputs stiff_branches;
  stiff_branches.HH_x = parameter_table_text(1, {.gmax = 8.000001e7});
  SiteInputs courant_one;  // DT x sqrt(gmax / RHO) / DZ = 0.002 x 200 / 0.4 exactly
  courant_one.HH_x = parameter_table_text(1, {.gmax = 8.0e7});
  SiteInputs large_weights;
  large_weights.tabk = tabk_with_coefficients("0", "2");
  SiteInputs negative_weights;
  negative_weights.tabk = tabk_with_coefficients("0", "-0.01");
  SiteInputs no_weights;
  no_weights.tabk = tabk_with_coefficients("0", "0");
  const struct {
    const char* what;
    SiteInputs refused;
    int unit;
    std::vector<std::string> words;
    SiteInputs accepted;
  } cases[] = {
      {"a thin layer", thin_layer, 21,
       {"M_SUB = 5 gives DT = 0.002, too long for element 6 of layer 2 (Courant number 1.03 > 1); "
        "M_SUB >= 6 is needed"},
       thin_layer_shorter_step},
      {"the branch set's modulus", stiff_branches, 21,
       {"element 1 of layer 1 (Courant number 1.0000001 > 1)", "M_SUB >= 6"}, courant_one},
      {"a damping ratio in percent", three_layers(2, [](Layer& l) { l.X = 3.0; }), 23,
       {"layer 2: damping ratio 3 is not below 0.5: damping ratios are fractions (0.03 for 3 %)"},
       every_ratio_below_one_half(tabk_text())},
      {"a damping ratio of one half", three_layers(3, [](Layer& l) { l.X = 0.5; }), 23,
       {"layer 3: damping ratio 0.5 is not below 0.5"}, three_layers(3, [](Layer& l) { l.X = 0.4999; })},
      {"weights summing to 2 or more", large_weights, 26,
       {"layer 1 with damping ratio 0.05", "sum to 9.76"},
       every_ratio_below_one_half(kTableWithNegativeCoefficients)},
      {"weights summing to less than 0", negative_weights, 26, {"layer 1", "sum to -0.0"}, no_weights},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    expect_refused(c.refused, c.unit, c.words);
    expect_accepted(c.accepted);
  }
}

// The rows of a parameter table.
enum class Parameter { gamma_t = 1, a, gamma_ref, beta, s, gmax, mu, tmax, d };

// The parameter table of two materials with one parameter of `material`
// replaced by `value`.
std::string table_with(Parameter row, int material, const char* value) {
  std::string table = parameter_table_text(2);
  std::size_t begin = 0;
  for (int r = 1; r < static_cast<int>(row); ++r) begin = table.find('\n', begin) + 1;
  for (int m = 1; m < material; ++m) begin = table.find(' ', begin) + 1;
  return table.substr(0, begin) + value + table.substr(table.find(' ', begin));
}

// Layers 1 and 3 use material 1, layer 2 material 2.
void expect_parameter_checks(int unit, std::string SiteInputs::*file) {
  const struct {
    Parameter row;
    const char* name;
  } must_be_positive[] = {{Parameter::gamma_t, "gamma_t"},
                          {Parameter::a, "a"},
                          {Parameter::gamma_ref, "gamma_ref"},
                          {Parameter::gmax, "gmax"},
                          {Parameter::tmax, "tmax"}};
  for (const auto& p : must_be_positive) {
    SCOPED_TRACE(p.name);
    SiteInputs in = three_layers(1, [](Layer&) {});
    in.*file = table_with(p.row, 1, "0");
    expect_refused(in, unit, {"material 1", "layer 1", std::string(p.name) + " = 0"});
    in.*file = table_with(p.row, 2, "-1e-3");
    expect_refused(in, unit, {"material 2", "layer 2", std::string(p.name) + " = -1e-3 "});
  }
  SiteInputs in = three_layers(1, [](Layer&) {});
  in.*file = table_with(Parameter::d, 1, "-0.5");
  expect_refused(in, unit, {"material 1", "d = -0.5"});
  in.*file = table_with(Parameter::d, 1, "0");
  expect_accepted(in);
  // A material that no layer uses is not looked at.
  SiteInputs unused = three_layers(2, [](Layer& l) { l.MA = 1; });
  unused.*file = table_with(Parameter::gmax, 2, "0");
  expect_accepted(unused);
}

TEST(InputRefusal, BackboneParametersOfAUsedMaterialOutOfRange) {
  expect_parameter_checks(27, &SiteInputs::HH_G);
}

TEST(InputRefusal, BranchParametersOfAUsedMaterialOutOfRange) {
  expect_parameter_checks(28, &SiteInputs::HH_x);
}

// Fault pinned: a refused value shown as the program had rounded it ("0"
// for 1e-400, "inf" for a density of 1e306), not as the user wrote it.
TEST(InputRefusal, ValuesAreShownAsWritten) {
  const std::string half_space = "0 400 0.01 2.2 1\n";
  SiteInputs (*const small_site)() = [] { return SiteInputs(); };
  const struct {
    SiteInputs (*site)();
    std::string SiteInputs::*file;
    std::string content;
    int unit;
    std::string detail;
  } cases[] = {
      {small_site, &SiteInputs::profile, "1e-400 100 0.05 2 1\n" + half_space, 23,
       "layer 1: thickness 1e-400 is not above 0"},
      {small_site, &SiteInputs::profile, "2 100 0.05 1e306 1\n" + half_space, 23,
       "layer 1: density 1e306 x 1000 is not a positive finite value"},
      {small_site, &SiteInputs::incident, "0.01 0\n1.0D-2 0\n" + incident_text({.NT = 18, .T1 = 0.02}), 22,
       "T(2) = 1.0D-2 is not greater than T(1) = 0.01"},
      // The second item of a repeat in the sixth read statement of the file.
      {[] { return three_layers(1, [](Layer& l) { l.MA = 2; }); }, &SiteInputs::HH_x,
       table_with(Parameter::gmax, 1, "2*-2E+4"), 28, "material 2 (layer 1): gmax = -2E+4 is not above 0"},
      {small_site, &SiteInputs::profile, "2 100 3.0E0 2 1\n" + half_space, 23,
       "layer 1: damping ratio 3.0E0 is not below 0.5"},
      {[] {
         SiteInputs in;
         in.tabk = tabk_with_coefficients("0", "2");
         return in;
       },
       &SiteInputs::profile, "2 100 5.0e-2 2 1\n" + half_space, 26, "layer 1 with damping ratio 5.0e-2: the weights"},
  };
  for (const auto& c : cases) {
    SiteInputs in = c.site();
    in.*c.file = c.content;
    expect_refused(in, c.unit, {c.detail});
  }
  const WorkDir dir;
  three_layers(2, [](Layer& l) { l.H = 0.2; }).write_to(dir);
  dir.write("control.dat", "25.0 10 +5 1 3 20 2 0 1\n");
  const RunResult r = dir.run();
  EXPECT_EQ(r.exit_status, 72) << r.describe();
  EXPECT_NE(r.diagnostic().find(": M_SUB = +5 gives DT = 0.002, too long"), std::string::npos) << r.err;
}

TEST(InputRefusal, ElementCountBeyondTheThirtyTwoBitRange) {
  // A target element thickness of 0.4: 1e12 / 0.4 elements in one layer.
  SiteInputs one;
  one.profile = profile_text({Layer{1.0e12, 100.0, 0.05, 2.0, 1}}, Layer{0.0, 400.0, 0.01, 2.2, 1});
  expect_refused(one, 23, {"layer 1", "32-bit"});
  // Two layers of about 1.2e9 elements each: each fits, their sum does not.
  SiteInputs two;
  two.control.NL = 2;
  two.profile = profile_text({Layer{4.8e8, 100.0, 0.05, 2.0, 1}, Layer{4.8e8, 100.0, 0.05, 2.0, 1}},
                             Layer{0.0, 400.0, 0.01, 2.2, 1});
  expect_refused(two, 23, {"layers 1..2", "32-bit"});
}

}  // namespace
}  // namespace zorvik::e2e
