// Whole analyses from the inputs to the result files and standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
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
  std::vector<std::string> lines;
  EXPECT_TRUE(content.empty() || content.back() == '\n') << "last line without a line end";
  EXPECT_EQ(content.find('\r'), std::string::npos) << "carriage return in a result file";
  std::size_t begin = 0;
  while (begin < content.size()) {
    const std::size_t end = std::min(content.find('\n', begin), content.size());
    lines.push_back(content.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  for (std::size_t at = 0; at + kField <= line.size(); at += kField) {
    fields.push_back(line.substr(at, kField));
  }
  return fields;
}

bool is_non_finite_field(std::string_view f) {
  return f == " NaN             " || f == " Infinity        " || f == " -Infinity       ";
}

// "    0.ddddddE+xxx", or with a minus sign in the fourth column.
bool is_finite_field(std::string_view f) {
  if (f.size() != kField) return false;
  const std::string_view number = f.substr(f.find_first_not_of(' '));
  const std::string_view unsigned_part = number.substr(number[0] == '-' ? 1 : 0);
  if (unsigned_part.size() != 13 || f.size() - number.size() < 3) return false;
  const auto digits = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return unsigned_part.substr(0, 2) == "0." && digits(unsigned_part.substr(2, 6)) &&
         unsigned_part[8] == 'E' && (unsigned_part[9] == '+' || unsigned_part[9] == '-') &&
         digits(unsigned_part.substr(10));
}

double value_of(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

using Table = std::vector<std::vector<std::string>>;

struct Shape {
  int rows;
  int columns;
};

// A table of E17.6E3 fields: `rows` lines of `columns` fields.
Table expect_table(const WorkDir& dir, std::string_view name, Shape shape,
                                                   bool non_finite_allowed = false) {
  const auto [rows, columns] = shape;
  SCOPED_TRACE(std::string(name));
  Table table;
  const std::vector<std::string> lines = lines_of(dir.read(name));
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(rows));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.size(), kField * static_cast<std::size_t>(columns)) << line;
    table.push_back(fields_of(line));
    for (const std::string& f : table.back()) {
      EXPECT_TRUE(is_finite_field(f) || (non_finite_allowed && is_non_finite_field(f))) << '[' << f << ']';
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

// The largest absolute value of every column of a history: the line that
// its peak file should hold.
std::vector<double> peaks_of(const Table& history) {
  std::vector<double> peaks(history.empty() ? 0 : history[0].size(), 0.0);
  for (const auto& row : history) {
    for (std::size_t j = 0; j < peaks.size(); ++j) peaks[j] = std::max(peaks[j], std::fabs(value_of(row[j])));
  }
  return peaks;
}

std::vector<double> values_of(const std::vector<std::string>& fields) {
  std::vector<double> values;
  for (const std::string& f : fields) values.push_back(value_of(f));
  return values;
}

// The size of a run's results: input samples and layers.
struct RunSize {
  int NT;
  int NL;
};

struct Results {
  std::vector<std::string> times;
  Table layer_depth, node_depth, max_v, max_d, max_gamma, max_tau, out_a, out_v, out_d, out_gamma, out_tau;
};

// All twelve result files, each checked for its shape: NT lines or one, a
// field per layer or per layer top and the half-space top; NaN and
// infinities only where allowed.
Results expect_results(const WorkDir& dir, RunSize size, bool non_finite_allowed = false) {
  const int nodes = size.NL + 1;
  Results r;
  r.times = expect_times(dir, size.NT);
  r.layer_depth = expect_table(dir, "layer_depth.dat", {1, size.NL}, non_finite_allowed);
  r.node_depth = expect_table(dir, "node_depth.dat", {1, nodes}, non_finite_allowed);
  r.max_v = expect_table(dir, "max_v.dat", {1, nodes}, non_finite_allowed);
  r.max_d = expect_table(dir, "max_d.dat", {1, nodes}, non_finite_allowed);
  r.max_gamma = expect_table(dir, "max_gamma.dat", {1, size.NL}, non_finite_allowed);
  r.max_tau = expect_table(dir, "max_tau.dat", {1, size.NL}, non_finite_allowed);
  r.out_a = expect_table(dir, "out_a.dat", {size.NT, nodes}, non_finite_allowed);
  r.out_v = expect_table(dir, "out_v.dat", {size.NT, nodes}, non_finite_allowed);
  r.out_d = expect_table(dir, "out_d.dat", {size.NT, nodes}, non_finite_allowed);
  r.out_gamma = expect_table(dir, "out_gamma.dat", {size.NT, size.NL}, non_finite_allowed);
  r.out_tau = expect_table(dir, "out_tau.dat", {size.NT, size.NL}, non_finite_allowed);
  return r;
}

TEST(Analysis, BundledExampleRunsToCompletion) {
  const WorkDir dir;
  dir.copy_example();
  const RunResult r = dir.run();

  expect_complete(r);
  EXPECT_EQ(r.out, complete_run_output(51));

  constexpr int NT = 1560;
  const Results results = expect_results(dir, {NT, 5});
  ASSERT_EQ(results.times.size(), static_cast<std::size_t>(NT));
  EXPECT_EQ(results.times[0], "    0.00000    ");
  EXPECT_EQ(results.times[1], "   0.200000E-01");
  EXPECT_EQ(results.times[5], "   0.100000    ");
  EXPECT_EQ(results.times[NT - 1], "    31.1800    ");
  EXPECT_EQ(dir.read("layer_depth.dat"),
            "    0.200000E+001    0.700000E+001    0.150000E+002    0.250000E+002    0.375000E+002\n");
  EXPECT_EQ(dir.read("node_depth.dat"),
            "    0.000000E+000    0.400000E+001    0.100000E+002    0.200000E+002    0.300000E+002"
            "    0.450000E+002\n");

  // The base relative to itself.
  EXPECT_EQ(results.max_v.at(0).back(), kZeroField);
  EXPECT_EQ(results.max_d.at(0).back(), kZeroField);
  for (const Table* history : {&results.out_v, &results.out_d}) {
    for (const auto& row : *history) EXPECT_EQ(row.back(), kZeroField);
  }
  // Every peak is the largest absolute value of its history column.
  EXPECT_EQ(values_of(results.max_v.at(0)), peaks_of(results.out_v));
  EXPECT_EQ(values_of(results.max_d.at(0)), peaks_of(results.out_d));
  EXPECT_EQ(values_of(results.max_gamma.at(0)), peaks_of(results.out_gamma));
  EXPECT_EQ(values_of(results.max_tau.at(0)), peaks_of(results.out_tau));
  // The record drives the column: the surface moves, the soil is strained.
  EXPECT_GT(value_of(results.max_v.at(0).at(0)), 0.0);
  EXPECT_GT(value_of(results.max_gamma.at(0).at(0)), 0.0);
}

TEST(Analysis, LongerOldResultFilesAreCutAfterThisRun) {
  const WorkDir dir;
  SiteInputs inputs;
  inputs.control.NT = 10;
  inputs.incident = incident_text({.NT = 10});
  inputs.write_to(dir);
  std::string old;
  for (int i = 0; i < 1000; ++i) old += "    0.999999E+099    0.999999E+099 an earlier, longer run\n";
  for (const std::string_view name : kResultFiles) dir.write(name, old);

  expect_complete(dir.run());

  expect_results(dir, {10, 1});
}

TEST(Analysis, RunStoppedBeforeTheResultsLeavesOldResultFilesWhole) {
  const WorkDir dir;
  SiteInputs inputs;
  const std::string tabk = tabk_text();
  inputs.tabk = tabk.substr(0, tabk.rfind(' '));  // 23 values
  inputs.write_to(dir);
  std::string old;
  for (int i = 0; i < 1000; ++i) old += "old line " + std::to_string(i) + "\n";
  dir.write("out_a.dat", old);

  const RunResult r = dir.run();

  EXPECT_EQ(r.exit_status, 24) << r.describe();
  EXPECT_EQ(r.diagnostic(), file_diagnostic(24, "end-of-file during read", 26, dir.path_of("tabk.dat")));
  EXPECT_EQ(dir.read("out_a.dat"), old);
}

TEST(Analysis, EightyLayersGiveWholeLinesOf1377Characters) {
  const WorkDir dir;
  SiteInputs inputs;
  inputs.control.NL = 80;
  inputs.control.NT = 5;
  inputs.control.M_SUB = 20;  // elements of 0.1: keep the step stable
  inputs.incident = incident_text({.NT = 5});
  inputs.profile = profile_text(std::vector<Layer>(80, Layer{0.1, 100.0, 0.05, 2.0, 1}),
                                Layer{0.0, 400.0, 0.01, 2.2, 1});
  inputs.write_to(dir);

  expect_complete(dir.run());

  const Results results = expect_results(dir, {5, 80});
  EXPECT_EQ(lines_of(dir.read("out_a.dat")).at(0).size(), 1377U);
  EXPECT_EQ(results.node_depth.at(0).at(0), kZeroField);
  EXPECT_EQ(results.node_depth.at(0).at(80), "    0.800000E+001");
}

TEST(Analysis, TimeColumnFromZeroInStepsOfOneHundredth) {
  const WorkDir dir;
  SiteInputs inputs;
  inputs.control.NT = 12;
  inputs.incident = incident_text({.NT = 12});
  inputs.write_to(dir);

  expect_complete(dir.run());

  EXPECT_EQ(expect_times(dir, 12),
            (std::vector<std::string>{"    0.00000    ", "   0.100000E-01", "   0.200000E-01",
                                      "   0.300000E-01", "   0.400000E-01", "   0.500000E-01",
                                      "   0.600000E-01", "   0.700000E-01", "   0.800000E-01",
                                      "   0.900000E-01", "   0.100000    ", "   0.110000    "}));
}

// Pins the decisions on times the time column's edit leaves open: -0.0 is
// written like 0.0, and a decimal exponent of three digits keeps all three
// within the 15 columns.
TEST(Analysis, TimeColumnWritesSignedZeroAndThreeDigitExponents) {
  const WorkDir dir;
  SiteInputs inputs;
  inputs.control.NT = 6;
  inputs.control.M_SUB = 1;
  inputs.incident = "-0.0 0\n0.01 0\n1e-100 0\n1e-101 0\n-2.5e150 0\n123456 0\n";
  inputs.HH_G = inputs.HH_x = parameter_table_text(1, kSoftSoil);
  inputs.write_to(dir);

  expect_complete(dir.run());

  EXPECT_EQ(expect_times(dir, 6),
            (std::vector<std::string>{"    0.00000    ", "   0.100000E-01", "   0.100000E-99",
                                      "  0.100000E-100", " -0.250000E+151", "    123456.    "}));
}

TEST(Analysis, ProgressMarksForEveryNumberOfSteps) {
  const struct {
    int NTT, NT, M_SUB, marks;
  } runs[] = {
      {2, 2, 1, 3},          {10, 4, 3, 11},       {50, 8, 7, 51},       {51, 11, 5, 52},
      {99, 50, 2, 100},      {100, 34, 3, 51},     {149, 38, 4, 75},     {2449, 49, 51, 52},
      {2450, 80, 31, 51},    {2500, 50, 51, 51},   {12345, 9, 1543, 51},
  };
  for (const auto& run : runs) {
    ASSERT_EQ((run.NT - 1) * run.M_SUB + 1, run.NTT);
    SCOPED_TRACE("NTT = " + std::to_string(run.NTT));
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
    // One record per input sample, whatever the steps per sample.
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

    surface_velocity[base_type - 2] = value_of(expect_results(dir, {20, 1}).max_v.at(0).at(0));
  }
  ASSERT_GT(surface_velocity[1], 0.0);
  EXPECT_NEAR(surface_velocity[0] / surface_velocity[1], 2.0, 0.02);
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
  deep.profile = profile_text({Layer{1e308, 1e300, 0.05, 2.0, 1}, Layer{1e308, 1e300, 0.05, 2.0, 1}},
                              Layer{0.0, 400.0, 0.01, 2.2, 1});
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

    const Results results = expect_results(dir, {20, c.NL}, true);
    std::size_t first_bad = results.times.size();
    for (const Table* history :
         {&results.out_a, &results.out_v, &results.out_d, &results.out_gamma, &results.out_tau}) {
      for (std::size_t i = 0; i < history->size() && i < first_bad; ++i) {
        if (std::any_of((*history)[i].begin(), (*history)[i].end(), is_non_finite_field)) first_bad = i;
      }
    }
    // The message names the time of the first non-finite row of the histories.
    const std::size_t at_time = line.find(" at time ");
    if (first_bad < results.times.size()) {
      ASSERT_NE(at_time, std::string::npos) << line;
      EXPECT_DOUBLE_EQ(std::strtod(line.c_str() + at_time + 9, nullptr),
                       std::strtod(results.times[first_bad].c_str(), nullptr))
          << line;
    }
  }
}

}  // namespace
}  // namespace zorvik::e2e
