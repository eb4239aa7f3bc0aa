// Whole analyses from the inputs to the result files and standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

constexpr std::size_t kField = 17;
constexpr const char* kZeroField = "    0.000000E+000";
// A soil soft enough that one computation step per sample of 0.01 is stable
// in the elements of the small site.
constexpr Soil kSoftSoil{.gmax = 2.0e6, .tmax = 2.0e3};

// The lines of a file, each of which must end with a single line feed.
std::vector<std::string> lines_of(const std::string& content) {
  EXPECT_TRUE(content.empty() || content.back() == '\n') << "last line without a line end";
  EXPECT_EQ(content.find('\r'), std::string::npos) << "carriage return in a result file";
  std::vector<std::string> lines;
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool is_non_finite_field(std::string_view f) {
  return f == " NaN             " || f == " Infinity        " || f == " -Infinity       ";
}

// "    0.ddddddE+xxx", with a minus sign in the fourth column or the exponent
// where they are negative.
bool is_finite_field(std::string f) {
  if (f.size() != kField) return false;
  if (f[3] == '-') f[3] = ' ';
  if (f[13] == '-') f[13] = '+';
  for (std::size_t k = 6; k < kField; ++k) {
    if (f[k] >= '0' && f[k] <= '9') f[k] = 'd';
  }
  return f == "    0.ddddddE+ddd";
}

double value_of(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

using Table = std::vector<std::vector<std::string>>;

// A table of E17.6E3 fields: `rows` lines of `columns` fields.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): rows, then columns
Table expect_table(const WorkDir& dir, std::string_view name, int rows, int columns, bool non_finite_allowed) {
  SCOPED_TRACE(std::string(name));
  Table table;
  const std::vector<std::string> lines = lines_of(dir.read(name));
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(rows));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.size(), kField * static_cast<std::size_t>(columns)) << line;
    table.emplace_back();
    for (std::size_t at = 0; at + kField <= line.size(); at += kField) {
      const std::string f = line.substr(at, kField);
      EXPECT_TRUE(is_finite_field(f) || (non_finite_allowed && is_non_finite_field(f))) << '[' << f << ']';
      table.back().push_back(f);
    }
  }
  return table;
}

// The time column: one 15-character number per line.
std::vector<std::string> expect_times(const WorkDir& dir, int rows) {
  const std::vector<std::string> lines = lines_of(dir.read("t.dat"));
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(rows));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.size(), 15U) << line;
    char* end = nullptr;
    std::strtod(line.c_str(), &end);
    EXPECT_EQ(std::string(end).find_first_not_of(' '), std::string::npos) << line;
  }
  return lines;
}

// The eleven tables of a run of NT samples and NL layers, by file name, each
// checked for its shape: NT lines (the histories "out_*") or one; a field
// per layer (depths of layer middles, strains, stresses) or per layer top
// and the half-space top. NaN and infinities only where allowed.
std::map<std::string, Table> expect_tables(const WorkDir& dir, int NT, int NL, bool non_finite_allowed = false) {
  std::map<std::string, Table> tables;
  for (const std::string_view name : kResultFiles) {
    if (name == "t.dat") continue;
    const bool per_layer =
        name == "layer_depth.dat" || name.find("gamma") != name.npos || name.find("tau") != name.npos;
    tables[std::string(name)] =
        expect_table(dir, name, name.starts_with("out_") ? NT : 1, per_layer ? NL : NL + 1, non_finite_allowed);
  }
  return tables;
}

// A run of the small site with `change` made to its inputs, expected to
// complete; returns its standard output.
std::string complete_run(const WorkDir& dir, void (*change)(SiteInputs&)) {
  SiteInputs inputs;
  change(inputs);
  inputs.write_to(dir);
  const RunResult r = dir.run();
  expect_complete(r);
  return r.out;
}

TEST(Analysis, EightyLayersGiveWholeLinesOf1377Characters) {
  const WorkDir dir;
  complete_run(dir, [](SiteInputs& in) {
    in.control.NL = 80;
    in.control.NT = 5;
    in.control.M_SUB = 20;  // elements of 0.1: keep the step stable
    in.incident = incident_text({.NT = 5});
    in.profile = profile_text(std::vector<Layer>(80, Layer{.H = 0.1}));
  });
  const std::map<std::string, Table> t = expect_tables(dir, 5, 80);
  EXPECT_EQ(lines_of(dir.read("out_a.dat")).at(0).size(), 1377U);
  EXPECT_EQ(t.at("node_depth.dat").at(0).at(0), kZeroField);
  EXPECT_EQ(t.at("node_depth.dat").at(0).at(80), "    0.800000E+001");
}

// The second case pins the decisions on times the time column's edit leaves
// open: -0.0 is written like 0.0, and a decimal exponent of three digits
// keeps all three within the 15 columns.
TEST(Analysis, TimeColumnAsTheRecordGivesIt) {
  const struct {
    void (*change)(SiteInputs&);
    std::vector<std::string> times;
  } cases[] = {
      {[](SiteInputs& in) {
         in.control.NT = 12;
         in.incident = incident_text({.NT = 12});
       },
       {"    0.00000    ", "   0.100000E-01", "   0.200000E-01", "   0.300000E-01", "   0.400000E-01",
        "   0.500000E-01", "   0.600000E-01", "   0.700000E-01", "   0.800000E-01", "   0.900000E-01",
        "   0.100000    ", "   0.110000    "}},
      {[](SiteInputs& in) {
         in.control.NT = 6;
         in.control.M_SUB = 1;
         in.incident = "-0.0 0\n0.01 0\n1e-100 0\n1e-101 0\n-2.5e150 0\n123456 0\n";
         in.HH_G = in.HH_x = parameter_table_text(1, kSoftSoil);
       },
       {"    0.00000    ", "   0.100000E-01", "   0.100000E-99", "  0.100000E-100", " -0.250000E+151",
        "    123456.    "}},
  };
  for (const auto& c : cases) {
    const WorkDir dir;
    complete_run(dir, c.change);
    EXPECT_EQ(expect_times(dir, static_cast<int>(c.times.size())), c.times);
  }
}

// The mark counts of every number of steps are tabled by the progress bar's
// own test; these runs pin that the program counts its steps as
// (NT - 1) x M_SUB + 1 and marks each of them.
TEST(Analysis, ProgressMarksAndOneRecordPerSample) {
  const struct {
    int NT, M_SUB, marks;
  } runs[] = {{2, 1, 3}, {11, 5, 52}, {49, 51, 52}, {9, 1543, 51}};
  for (const auto& run : runs) {
    SCOPED_TRACE(testing::Message() << "NT = " << run.NT << ", M_SUB = " << run.M_SUB);
    const WorkDir dir;
    SiteInputs inputs;
    inputs.control.NT = run.NT;
    inputs.control.M_SUB = run.M_SUB;
    inputs.incident = incident_text({.NT = run.NT, .amplitude = 0.0});
    inputs.HH_G = inputs.HH_x = parameter_table_text(1, kSoftSoil);
    inputs.write_to(dir);

    const RunResult r = dir.run();

    expect_complete(r);
    EXPECT_EQ(r.out, complete_run_output(run.marks));
    EXPECT_EQ(lines_of(dir.read("out_a.dat")).size(), static_cast<std::size_t>(run.NT));
  }
}

TEST(Analysis, RigidBaseMovedWithTwiceOrOnceTheIncidentVelocity) {
  // Strains far below the reference strain: the column responds nearly
  // linearly, so doubling the base motion doubles the response.
  double surface_velocity[2] = {};
  for (const int base_type : {2, 3}) {
    SCOPED_TRACE("BASE_TYPE " + std::to_string(base_type));
    const WorkDir dir;
    SiteInputs inputs;
    inputs.control.BASE_TYPE = base_type;
    inputs.incident = incident_text({.amplitude = 0.05});
    inputs.write_to(dir);

    expect_complete(dir.run());

    surface_velocity[base_type - 2] = value_of(expect_tables(dir, 20, 1).at("max_v.dat").at(0).at(0));
  }
  ASSERT_GT(surface_velocity[1], 0.0);
  EXPECT_NEAR(surface_velocity[0] / surface_velocity[1], 2.0, 0.02);
}

// Gravel fill over peat under the bundled example's record: the node between
// them carries the peat's density, far less than the gravel's. Pins a step
// check that took each element's own density for both its nodes: it let
// M_SUB 6 and 7 through, and M_SUB 6 exited 0 with a surface peak
// acceleration of 7.45 m/s2 where stable steps give about 1.5.
TEST(Analysis, StepCheckBoundsTheNodeMassesWhereLayersMeet) {
  const auto run = [](const WorkDir& dir, int M_SUB) {
    dir.copy_example();
    dir.write("control.dat", Control{.M_SUB = M_SUB, .NL = 2, .NT = 1560, .NMAT = 2}.text());
    dir.write("profile.dat", profile_text({Layer{3.1, 300.0, 0.02, 2.2, 1}, Layer{6.0, 60.0, 0.03, 1.0, 2}},
                                          Layer{0.0, 760.0, 0.01, 2.2, 1}));
    dir.write("curve.dat", curve_text(2));
    // The example's material 1 with the moduli and strengths of gravel and peat.
    for (const auto& [name, gamma_t, mu] : {std::tuple{"HH_G.dat", "4.66e-07", "0.488"},
                                            std::tuple{"HH_x.dat", "6.99e-07", "0.391"}}) {
      dir.write(name, std::string(gamma_t) + ' ' + gamma_t + "\n1.2 1.2\n0.000343 0.000343\n1 1\n0.9 0.9\n" +
                          "1.98e8 3.6e6\n" + mu + ' ' + mu + "\n150000 15000\n0.8 0.8\n");
    }
    return dir.run();
  };
  const WorkDir refused;
  const RunResult r = run(refused, 7);
  EXPECT_EQ(r.exit_status, 72) << r.describe();
  EXPECT_NE(r.diagnostic().find("element 3 of layer 1 (Courant number 1.05 > 1); M_SUB >= 8 is needed"),
            std::string::npos)
      << r.err;

  // The shortest step accepted agrees with one four times shorter.
  double surface_peak[2] = {};
  for (const int k : {0, 1}) {
    const WorkDir dir;
    expect_complete(run(dir, k == 0 ? 8 : 32));
    const std::map<std::string, Table> tables = expect_tables(dir, 1560, 2);
    for (const auto& row : tables.at("out_a.dat")) {
      surface_peak[k] = std::max(surface_peak[k], std::abs(value_of(row.at(0))));
    }
  }
  EXPECT_NEAR(surface_peak[0] / surface_peak[1], 1.0, 0.15) << surface_peak[0] << " vs " << surface_peak[1];
}

// The small site's record written one value per line, with the acceleration
// of sample 8 (line 16) replaced.
std::string record_with_sample_8(const std::string& acceleration) {
  std::istringstream samples(incident_text({}));
  std::string text;
  std::string T;
  std::string A;
  for (int i = 1; samples >> T >> A; ++i) text += T + '\n' + (i == 8 ? acceleration : A) + '\n';
  return text;
}

// A run whose results hold NaN or infinities goes to its end, writes all
// twelve files and its closing lines, and exits 73, naming the first
// non-finite value and the earliest cause the run can see. Pins: depths that
// overflowed reported as success, and a diagnostic that blamed the step,
// which is checked before the loop, for every divergence.
TEST(Analysis, NonFiniteResultsEndWith73NamingTheEarliestCause) {
  SiteInputs huge_sample;
  huge_sample.incident = record_with_sample_8("1e308");
  SiteInputs large_sample;
  large_sample.incident = record_with_sample_8("1e306");
  SiteInputs deep;  // two layers of one element each: the second ends beyond the double range
  deep.control.NL = 2;
  deep.profile = profile_text({Layer{1e308, 1e300, 0.05, 2.0, 1}, Layer{1e308, 1e300, 0.05, 2.0, 1}});
  const struct {
    const char* what;
    const SiteInputs& inputs;
    int NL;
    std::vector<std::string> words;
  } cases[] = {
      {"a sample that overflows the incident velocity", huge_sample, 1,
       {"incident velocity became Infinity", "sample 8 on line 16 of incident.dat"}},
      {"a sample that makes the soil model overflow", large_sample, 1,
       {"element 5 of layer 1", "stress NaN", "damping of layer 1", "material 1"}},
      {"depths beyond the double range", deep, 2,
       {"mid-depth of layer 2 in layer_depth.dat is Infinity", "thicknesses"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const WorkDir dir;
    c.inputs.write_to(dir);

    const RunResult r = dir.run();

    EXPECT_EQ(r.exit_status, 73) << r.describe();
    EXPECT_EQ(r.out, complete_run_output(97));
    EXPECT_TRUE(r.call_chain_follows()) << r.err;
    const std::string line = r.diagnostic();
    ASSERT_EQ(line.rfind("zorvik: severe (73): non-finite result: ", 0), 0U) << r.err;
    for (const std::string& word : c.words) EXPECT_NE(line.find(word), std::string::npos) << line << " / " << word;
    EXPECT_EQ(line.find("Courant"), std::string::npos) << line;

    const std::vector<std::string> times = expect_times(dir, 20);
    const std::map<std::string, Table> t = expect_tables(dir, 20, c.NL, true);
    std::size_t first_bad = times.size();
    for (const char* name : {"out_a.dat", "out_v.dat", "out_d.dat", "out_gamma.dat", "out_tau.dat"}) {
      const Table& history = t.at(name);
      for (std::size_t i = 0; i < history.size() && i < first_bad; ++i) {
        if (std::any_of(history[i].begin(), history[i].end(), is_non_finite_field)) first_bad = i;
      }
    }
    // The message names the time of the first non-finite row of the histories.
    const std::size_t at_time = line.find(" at time ");
    if (first_bad < times.size()) {
      ASSERT_NE(at_time, std::string::npos) << line;
      EXPECT_DOUBLE_EQ(std::strtod(line.c_str() + at_time + 9, nullptr), std::strtod(times[first_bad].c_str(), nullptr))
          << line;
    }
  }
}

}  // namespace
}  // namespace zorvik::e2e
