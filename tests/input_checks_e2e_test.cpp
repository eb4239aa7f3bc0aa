// Input that would crash a run or corrupt every result is refused with
// diagnostic 72 before the time loop: nothing on standard output, no result
// file touched. One table: the refused input, the file (unit) and the words
// the diagnostic names, and, where the boundary is worth pinning, the nearest
// input that runs.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

constexpr const char* kOldResult = "    0.100000E+001\nresult of an earlier run\n";
constexpr const char* kHalfSpaceRow = "0 400 0.01 2.2 1\n";

SiteInputs with(SiteInputs in, void (*edit)(SiteInputs&)) {
  edit(in);
  return in;
}

SiteInputs site(void (*edit)(SiteInputs&)) { return with(SiteInputs(), edit); }

SiteInputs control(void (*edit)(Control&)) {
  SiteInputs in;
  edit(in.control);
  return in;
}

// Three layers, two materials; `edit` changes layer `j` (1-based) or, for
// j = 4, the half-space.
SiteInputs layers(int j, void (*edit)(Layer&), int base_type = 1) {
  std::vector<Layer> rows = {Layer{}, Layer{1.0, 150.0, 0.04, 1.9, 2}, Layer{3.0, 200.0, 0.03, 2.0, 1},
                             kHalfSpace};
  edit(rows[static_cast<std::size_t>(j - 1)]);
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

// tabk.dat with the relaxation time of mechanism 3 written as `T`.
std::string tabk_with_third_time(const std::string& T) {
  std::string tabk = tabk_text();
  return tabk.replace(tabk.find('\n', tabk.find('\n') + 1) + 1, 12, T);
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
  std::vector<Layer> rows;
  for (const double X : {0.0001, 0.001, 0.01, 0.02, 0.05, 0.1, 0.15, 0.2, 0.2358, 0.3, 0.4, 0.45, 0.4999}) {
    rows.push_back(Layer{2.0, 100.0, X, 2.0, 1});
  }
  in.control.NL = static_cast<int>(rows.size());
  in.profile = profile_text(rows);
  in.tabk = tabk;
  return in;
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

struct Refusal {
  SiteInputs refused;
  int unit;
  std::vector<std::string> words;  // each found in the detail after the file's path
  std::optional<SiteInputs> accepted = std::nullopt;
  const char* control_as_written = nullptr;  // control.dat in place of the refused input's
};

// The checks of both parameter tables (unit 27: HH_G.dat, 28: HH_x.dat);
// layers 1 and 3 use material 1, layer 2 material 2.
void add_parameter_checks(std::vector<Refusal>& rows, int unit, std::string SiteInputs::*file) {
  const auto with_table = [file](SiteInputs in, Parameter row, int material, const char* value) {
    in.*file = table_with(row, material, value);
    return in;
  };
  const SiteInputs three = layers(1, [](Layer&) {});
  // A material that no layer uses is not looked at.
  const SiteInputs material_2_unused = layers(2, [](Layer& l) { l.MA = 1; });
  const struct {
    Parameter row;
    std::string name;
  } must_be_positive[] = {{Parameter::gamma_t, "gamma_t"},
                          {Parameter::a, "a"},
                          {Parameter::gamma_ref, "gamma_ref"},
                          {Parameter::gmax, "gmax"},
                          {Parameter::tmax, "tmax"}};
  for (const auto& p : must_be_positive) {
    rows.push_back({with_table(three, p.row, 1, "0"), unit, {"material 1", "layer 1", p.name + " = 0"}});
    rows.push_back({with_table(three, p.row, 2, "-1e-3"), unit, {"material 2", "layer 2", p.name + " = -1e-3 "},
                    with_table(material_2_unused, p.row, 2, "0")});
  }
  rows.push_back({with_table(three, Parameter::d, 1, "-0.5"), unit, {"material 1", "d = -0.5"},
                  with_table(three, Parameter::d, 1, "0")});
}

std::vector<Refusal> refusals() {
  std::vector<Refusal> rows = {
      {control([](Control& c) { c.FMAX = "0"; }), 21, {"FMAX = 0 is not above 0"}},
      {control([](Control& c) { c.FMAX = "-25.0"; }), 21, {"FMAX = -25.0 is not above 0"}},
      {control([](Control& c) { c.NPW = 0; }), 21, {"NPW = 0 is below 1"}},
      {control([](Control& c) { c.M_SUB = 0; }), 21, {"M_SUB = 0 is below 1"}},
      {control([](Control& c) { c.M_SUB = -3; }), 21, {"M_SUB = -3 is below 1"}},
      {control([](Control& c) { c.BASE_TYPE = 0; }), 21, {"BASE_TYPE = 0 is not 1, 2 or 3"}},
      {control([](Control& c) { c.BASE_TYPE = 4; }), 21, {"BASE_TYPE = 4 is not 1, 2 or 3"}},
      {control([](Control& c) { c.NL = 0; }), 21, {"NL = 0 is below 1"}},
      {control([](Control& c) { c.NT = 1; }), 21, {"NT = 1 is below 2"}},
      {control([](Control& c) { c.NMAT = 0; }), 21, {"NMAT = 0 is below 1"}},
      // (3 - 1) x 2^30 + 1 = 2^31 + 1 steps.
      {control([](Control& c) {
         c.NT = 3;
         c.M_SUB = 1073741824;
       }), 21, {"M_SUB", "2147483649", "32-bit"}},
      {site([](SiteInputs& in) { in.incident = "0.5 0.0\n0.5 0.1\n" + incident_text({.NT = 18, .T1 = 0.52}); }),
       22, {"T(2)", "0.5", "T(1)"}},
      {site([](SiteInputs& in) { in.incident = "0.5 0.0\n0.25 0.1\n" + incident_text({.NT = 18, .T1 = 0.52}); }),
       22, {"T(2)", "0.25", "T(1)", "0.5"}},
      {layers(2, [](Layer& l) { l.H = 0.0; }), 23, {"layer 2", "thickness", "0"}},
      {layers(3, [](Layer& l) { l.H = -1.5; }), 23, {"layer 3", "thickness", "-1.5"}},
      {layers(2, [](Layer& l) { l.V = 0.0; }), 23, {"layer 2", "velocity", "0"}},
      {layers(3, [](Layer& l) { l.X = 0.0; }), 23, {"layer 3", "damping ratio", "0"}},
      {layers(1, [](Layer& l) { l.X = -0.02; }), 23, {"layer 1", "damping ratio", "-0.02"}},
      {layers(2, [](Layer& l) { l.R = 0.0; }), 23, {"layer 2", "density", "0"}},
      // The half-space row's material number is never used.
      {layers(3, [](Layer& l) { l.MA = 7; }), 23, {"layer 3: material number 7 is outside 1..2"},
       layers(4, [](Layer& l) { l.MA = 9; })},
      {layers(1, [](Layer& l) { l.MA = 0; }), 23, {"layer 1", "material number 0", "1..2"}},
      // A rigid base does not use the half-space.
      {layers(4, [](Layer& l) { l.V = 0.0; }), 23, {"half-space", "velocity", "0"},
       layers(4, [](Layer& l) { l.V = 0.0; }, 3)},
      {layers(4, [](Layer& l) { l.R = -2.2; }), 23, {"half-space", "density", "-2.2"},
       layers(4, [](Layer& l) { l.R = 0.0; }, 2)},
      {layers(4, [](Layer& l) { l.R = 0.0; }), 23, {"half-space", "density 0 "}},
      {site([](SiteInputs& in) { in.tabk = tabk_with_third_time("-1.975507e-02"); }), 26,
       {"mechanism 3", "relaxation time -1.975507e-02 "}},
      // The 32-bit element count: 1e12 / 0.4 elements in one layer; two
      // layers of about 1.2e9 elements each, which fit alone but not together.
      {site([](SiteInputs& in) { in.profile = profile_text({Layer{.H = 1.0e12}}); }),
       23, {"layer 1", "32-bit"}},
      {site([](SiteInputs& in) {
         in.control.NL = 2;
         in.profile = profile_text({Layer{.H = 4.8e8}, Layer{.H = 4.8e8}});
       }),
       23, {"layers 1..2", "32-bit"}},

      // Input with which no run can be stable. Pins runs that chattered to
      // nonsense with exit 0 (a step too long for the explicit scheme), or
      // grew without bound (a damping ratio in percent, weights summing to 2
      // or more).
      {layers(2, [](Layer& l) { l.H = 0.2; }), 21,
       {"M_SUB = 5 gives DT = 0.002, too long for element 6 of layer 2 (Courant number 1.01 > 1); "
        "M_SUB >= 6 is needed"},
       with(layers(2, [](Layer& l) { l.H = 0.2; }), [](SiteInputs& in) { in.control.M_SUB = 6; })},
      // The branch set's modulus; Courant number 0.002 x 200 / 0.4 = 1 exactly is accepted.
      {site([](SiteInputs& in) { in.HH_x = parameter_table_text(1, {.gmax = 8.000001e7}); }), 21,
       {"element 1 of layer 1 (Courant number 1.0000001 > 1)", "M_SUB >= 6"},
       site([](SiteInputs& in) { in.HH_x = parameter_table_text(1, {.gmax = 8.0e7}); })},
      {layers(2, [](Layer& l) { l.X = 3.0; }), 23,
       {"layer 2: damping ratio 3 is not below 0.5: damping ratios are fractions (0.03 for 3 %)"},
       every_ratio_below_one_half(tabk_text())},
      {layers(3, [](Layer& l) { l.X = 0.5; }), 23, {"layer 3: damping ratio 0.5 is not below 0.5"},
       layers(3, [](Layer& l) { l.X = 0.4999; })},
      {site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "2"); }), 26,
       {"layer 1 with damping ratio 0.05", "sum to 9.76"}, every_ratio_below_one_half(kTableWithNegativeCoefficients)},
      {site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "0.45"); }), 26, {"layer 1", "sum to 2.19;"},
       site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "0.4"); })},
      {site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "-0.01"); }), 26, {"layer 1", "sum to -0.0"},
       site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "0"); })},
      // Pins an overflowing sum shown as "inf" where other diagnostics say "Infinity".
      {site([](SiteInputs& in) { in.tabk = tabk_with_coefficients("0", "1.7e308"); }), 26,
       {"layer 1", "sum to Infinity;"}},

      // Values shown as written. Pins a refused value shown as the program
      // had rounded it ("0" for 1e-400, "inf" for a density of 1e306).
      {site([](SiteInputs& in) { in.profile = std::string("1e-400 100 0.05 2 1\n") + kHalfSpaceRow; }), 23,
       {"layer 1: thickness 1e-400 is not above 0"}},
      {site([](SiteInputs& in) { in.profile = std::string("2 100 0.05 1e306 1\n") + kHalfSpaceRow; }), 23,
       {"layer 1: density 1e306 x 1000 is not a positive finite value"}},
      {site([](SiteInputs& in) { in.incident = "0.01 0\n1.0D-2 0\n" + incident_text({.NT = 18, .T1 = 0.02}); }),
       22, {"T(2) = 1.0D-2 is not greater than T(1) = 0.01"}},
      // The second item of a repeat in the sixth read statement of the file.
      {with(layers(1, [](Layer& l) { l.MA = 2; }),
            [](SiteInputs& in) { in.HH_x = table_with(Parameter::gmax, 1, "2*-2E+4"); }),
       28, {"material 2 (layer 1): gmax = -2E+4 is not above 0"}},
      {site([](SiteInputs& in) { in.profile = std::string("2 100 3.0E0 2 1\n") + kHalfSpaceRow; }), 23,
       {"layer 1: damping ratio 3.0E0 is not below 0.5"}},
      {site([](SiteInputs& in) {
         in.tabk = tabk_with_coefficients("0", "2");
         in.profile = std::string("2 100 5.0e-2 2 1\n") + kHalfSpaceRow;
       }),
       26, {"layer 1 with damping ratio 5.0e-2: the weights"}},
      {layers(2, [](Layer& l) { l.H = 0.2; }), 21, {": M_SUB = +5 gives DT = 0.002, too long"}, std::nullopt,
       "25.0 10 +5 1 3 20 2 0 1\n"},
  };
  add_parameter_checks(rows, 27, &SiteInputs::HH_G);
  add_parameter_checks(rows, 28, &SiteInputs::HH_x);
  return rows;
}

TEST(InputRefusal, EveryRefusalAndItsAcceptedNeighbour) {
  const std::vector<Refusal> rows = refusals();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Refusal& c = rows[k];
    SCOPED_TRACE(testing::Message() << "row " << k << ": " << c.words.back());
    const WorkDir dir;
    c.refused.write_to(dir);
    if (c.control_as_written != nullptr) dir.write("control.dat", c.control_as_written);
    dir.write("out_a.dat", kOldResult);

    const RunResult r = dir.run();

    EXPECT_EQ(r.exit_status, 72) << r.describe();
    const std::string head = file_diagnostic(72, c.unit, dir.path_of(kInputFiles[c.unit - 21])) + ": ";
    const std::string line = r.diagnostic();
    ASSERT_EQ(line.substr(0, head.size()), head) << r.err;
    for (const std::string& word : c.words) {
      EXPECT_NE(line.find(word, head.size() - 2), std::string::npos) << line << " / " << word;
    }
    EXPECT_TRUE(r.call_chain_follows()) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("out_a.dat"), kOldResult);
    EXPECT_EQ(dir.read("t.dat"), "");
    if (c.accepted) {
      const WorkDir accepted;
      c.accepted->write_to(accepted);
      expect_complete(accepted.run());
    }
  }

  // A relaxation time of zero is a mechanism that follows the strain at
  // once, whatever its sign. Pins -0, which once made the mechanism's decay
  // infinite.
  std::string results[2];
  for (const int k : {0, 1}) {
    const WorkDir dir;
    SiteInputs in;
    in.tabk = tabk_with_third_time(k == 0 ? "0.0" : "-0.0");
    in.write_to(dir);
    expect_complete(dir.run());
    results[k] = dir.read("out_a.dat") + dir.read("out_tau.dat");
  }
  EXPECT_EQ(results[1], results[0]);
}

}  // namespace
}  // namespace zorvik::e2e
