// The run frame and the input reader seen from outside: which files a run
// opens, creates, keeps and refuses, and how a bad input file ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

std::vector<std::string> all_21_names() {
  std::vector<std::string> names(std::begin(kInputFiles), std::end(kInputFiles));
  names.insert(names.end(), std::begin(kResultFiles), std::end(kResultFiles));
  std::sort(names.begin(), names.end());
  return names;
}

// A complete run of the small site: the reference for runs that must give
// its results.
const WorkDir& small_site_run() {
  static const WorkDir dir;
  static const bool ran = [] {
    SiteInputs().write_to(dir);
    expect_complete(dir.run());
    return true;
  }();
  (void)ran;
  return dir;
}

std::string old_text(std::string_view name) { return "old " + std::string(name) + "\n"; }

// The result files before `failed` as in `reference`, those after it as
// they were before the run.
void expect_written_up_to(const WorkDir& dir, const WorkDir& reference, std::string_view failed) {
  bool before = true;
  for (const std::string_view name : kResultFiles) {
    before = before && name != failed;
    if (before) {
      EXPECT_EQ(dir.read(name), reference.read(name)) << name;
    } else if (name != failed) {
      EXPECT_EQ(dir.read(name), old_text(name)) << name;
    }
  }
}

TEST(RunFrame, EmptyDirectoryGetsAll21FilesEmptyWithTheModeLessTheUmaskAndStopsAtControl) {
  for (const auto& [umask, mode] : {std::pair{022U, 0644U}, std::pair{007U, 0660U}}) {
    SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << umask);
    const WorkDir dir;
    const RunResult r = dir.run({.umask = umask});
    expect_file_failure(r, dir, 24, 21, "control.dat");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.names(), all_21_names());
    for (const std::string& name : dir.names()) {
      EXPECT_EQ(dir.read(name), "") << name;
      EXPECT_EQ(dir.mode(name), mode) << name;
    }
  }
}

TEST(RunFrame, MissingCurveFileStopsAtItsFirstReadAndLeavesOldResultsWhole) {
  const WorkDir dir;
  SiteInputs().write_to(dir);
  std::remove(dir.path_of("curve.dat").c_str());
  const std::string old_times = "    99.0000    \n    98.0000    \n";
  const std::string old_stress = "old stress history\nsecond line without end";
  dir.write("t.dat", old_times);
  dir.write("out_tau.dat", old_stress);

  const RunResult r = dir.run();

  expect_file_failure(r, dir, 24, 24, "curve.dat");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.names(), all_21_names());
  for (const std::string_view name : kResultFiles) {
    EXPECT_EQ(dir.read(name), name == "t.dat" ? old_times : name == "out_tau.dat" ? old_stress : "") << name;
  }
  EXPECT_EQ(dir.read("check.dat") + dir.read("bug.dat"), "");
}

// Runs that differ from the small site's only in how they are started or
// how their inputs are stored: the same results byte for byte, and no input
// file written. Pins: a reader of standard output that went away
// (zorvik | head -1) killing the run with SIGPIPE; started without standard
// streams, the first files opened took descriptors 0 to 2, so that the marks
// or a diagnostic went into an input file.
TEST(RunFrame, RunsStartedOrStoredOtherwiseGiveTheSameResultsAndWriteNoInput) {
  const struct {
    const char* what;
    void (*prepare)(const WorkDir&);
    RunOptions options;
    int exit_status = 0;
  } cases[] = {
      {"read-only inputs", [](const WorkDir& dir) { for (const auto& name : dir.names()) dir.set_mode(name, 0444); },
       {.unprivileged = true}},
      {"carriage-return line-feed inputs",
       [](const WorkDir& dir) {
         for (const auto& name : dir.names()) {
           std::string text;
           for (const char c : dir.read(name)) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
           dir.write(name, text);
         }
       },
       {}},
      {"a reader of standard output gone", nullptr, {.reader_gone = true}},
      {"standard input and output closed", nullptr, {.closed_streams = {0, 1}}},
      {"all standard streams closed", nullptr, {.closed_streams = {0, 1, 2}}},
      {"standard error closed, a bad control file", [](const WorkDir& dir) { dir.write("control.dat", "25.0 x\n"); },
       {.closed_streams = {2}}, 59},
      {"standard input and error closed, a bad control file",
       [](const WorkDir& dir) { dir.write("control.dat", "25.0 x\n"); }, {.closed_streams = {0, 2}}, 59},
  };
  const WorkDir& reference = small_site_run();
  const auto unprivileged_missing = unprivileged_unavailable();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.options.unprivileged && unprivileged_missing) continue;
    const WorkDir dir;
    SiteInputs().write_to(dir);
    // Kept byte for byte through every run.
    dir.write("check.dat", "kept\r\nbyte for byte\x01\xff");
    dir.write("bug.dat", std::string("no line end\0 and a NUL", 22));
    if (c.prepare != nullptr) c.prepare(dir);
    std::vector<std::string> before;
    for (const std::string_view name : kInputFiles) before.push_back(dir.read(name));

    const RunResult r = dir.run(c.options);

    EXPECT_EQ(r.exit_status, c.exit_status) << r.describe();
    for (std::size_t k = 0; k < before.size(); ++k) EXPECT_EQ(dir.read(kInputFiles[k]), before[k]) << kInputFiles[k];
    if (c.exit_status != 0) continue;
    EXPECT_EQ(r.err, "");
    for (const std::string_view name : kResultFiles) EXPECT_EQ(dir.read(name), reference.read(name)) << name;
  }
  if (unprivileged_missing) GTEST_SKIP() << "read-only inputs not run: " << *unprivileged_missing;
}

TEST(RunFrame, ReadOnlyResultFileEndsTheWritingThereAfterTheEarlierFiles) {
  if (const auto why = unprivileged_unavailable()) GTEST_SKIP() << *why;
  const WorkDir dir;
  SiteInputs().write_to(dir);
  for (const std::string_view name : kResultFiles) dir.write(name, old_text(name));
  dir.set_mode("out_a.dat", 0444);

  const RunResult r = dir.run({.unprivileged = true});

  expect_file_failure(r, dir, 47, 38, "out_a.dat");
  EXPECT_EQ(r.out, complete_run_output(97));  // 96 steps, a mark for each and one more at the first
  expect_written_up_to(dir, small_site_run(), "out_a.dat");
  EXPECT_EQ(dir.read("out_a.dat"), old_text("out_a.dat"));
}

// Pins a refused write (a full disk, here a file-size limit) being reported
// as a failure, with the earlier result files complete, the later ones as
// they were, and the failing one cut back to its last whole line: no part of
// a line, and none of the old text of a longer file, after the lines written
// so far. Pins too a run killed by SIGXFSZ under `ulimit -f`, with no
// diagnostic and a line cut in two.
TEST(RunFrame, RefusedWriteOfAResultFileIsAWriteErrorThatLeavesWholeLines) {
  const WorkDir reference;
  reference.copy_example();
  expect_complete(reference.run());

  const WorkDir dir;
  dir.copy_example();
  for (const std::string_view name : kResultFiles) dir.write(name, old_text(name));
  // t.dat to max_tau.dat fit; out_a.dat (1560 lines of 103 bytes) does not.
  constexpr std::size_t kLimit = 50000;
  dir.write("out_a.dat", std::string(kLimit + 20000, 'x') + "\n");
  const RunResult r = dir.run({.file_size_limit = kLimit});

  expect_file_failure(r, dir, 38, 38, "out_a.dat");
  EXPECT_EQ(r.innermost(), "writing: File too large");
  expect_written_up_to(dir, reference, "out_a.dat");
  const std::string complete = reference.read("out_a.dat");
  const std::size_t line = complete.find('\n') + 1;
  const std::size_t whole_lines = kLimit / line * line;
  const std::string partial = dir.read("out_a.dat");
  EXPECT_EQ(partial.size(), whole_lines);
  EXPECT_TRUE(partial == complete.substr(0, whole_lines)) << "not the first lines of the complete run";
}

// A run that cannot have the memory it needs ends before the loop with the
// allocation diagnostics, no result file touched. Pins: a column or a
// resampled record too big for the machine built until the kernel killed the
// process, with nothing said; an impossible array size (the curve table,
// NPT x 4 NMAT doubles, the first array sized by two counts of control.dat)
// ending in a crash.
TEST(RunFrame, RunsBeyondMemoryEndBeforeTheLoop) {
  // Under AddressSanitizer a failed allocation must return null, as it does
  // without it.
  ::setenv("ASAN_OPTIONS", "allocator_may_return_null=1", 1);
  const struct {
    void (*edit)(SiteInputs&);
    // Held to 4 GiB of address space, so that a regression cannot take the
    // machine down; its diagnostic begins with the memory it needs.
    bool address_limited;
    int exit_status;
    const char* diagnostic;  // words of it
  } cases[] = {
      // A thickness typed as 100000000: 2.5e8 elements 0.4 m thick.
      {[](SiteInputs& in) { in.profile = profile_text({Layer{.H = 1.0e8}}); }, true, 41,
       // What memory holds is physical memory and swap, or a control group's limit.
       "of memory for 249999997 elements (249999997 in layer 1), NT = 20 and NL = 1; "},
      // 1e5 elements touch less than 1 GiB but map their turning-point stacks.
      {[](SiteInputs& in) { in.profile = profile_text({Layer{.H = 4.0e4}}); }, true, 41,
       "of address space for 100000 elements (100000 in layer 1), NT = 20 and NL = 1; the address-space limit is "
       "4 GiB"},
      // 1e4 elements fit.
      {[](SiteInputs& in) { in.profile = profile_text({Layer{.H = 4.0e3}}); }, true, 0, ""},
      // An M_SUB typed with too many digits: the resampled record alone is too big.
      {[](SiteInputs& in) { in.control.M_SUB = 100000000; }, true, 41,
       "of address space for 1900000001 computation steps (M_SUB = 100000000) and NT = 20 samples; the address-space "
       "limit is 4 GiB"},
      // 2^31 x 2^33 x 8 bytes overflow a 64-bit count.
      {[](SiteInputs& in) { in.control.NPT = in.control.NMAT = 2147483647; }, false, 179,
       "zorvik: severe (179): Cannot allocate array - overflow on array size calculation."},
      // 2^31 x 2^22 x 8 bytes: 64 PiB, more than any address space holds.
      {[](SiteInputs& in) {
         in.control.NPT = 2147483647;
         in.control.NMAT = 1 << 20;
       },
       false, 41, "zorvik: severe (41): insufficient virtual memory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.diagnostic);
#ifdef ZORVIK_SANITIZED
    // AddressSanitizer's shadow memory needs an unlimited address space.
    if (c.address_limited) continue;
#endif
    const WorkDir dir;
    SiteInputs inputs;
    c.edit(inputs);
    inputs.write_to(dir);
    dir.write("out_a.dat", "old\n");

    const RunResult r = dir.run({.address_space_limit = c.address_limited ? 4L << 30 : 0});

    if (c.exit_status == 0) {
      expect_complete(r);
      continue;
    }
    EXPECT_EQ(r.exit_status, c.exit_status) << r.describe();
    if (c.address_limited) {
      const std::string head = "zorvik: severe (41): insufficient virtual memory: the run needs about ";
      EXPECT_EQ(r.diagnostic().substr(0, head.size()), head);
      EXPECT_NE(r.diagnostic().find(c.diagnostic), std::string::npos) << r.diagnostic();
    } else if (c.exit_status == 179) {
      EXPECT_EQ(r.diagnostic(), c.diagnostic);
      EXPECT_TRUE(r.call_chain_follows());
    } else {  // AddressSanitizer warns on a line of its own before it
      EXPECT_NE(r.err.find(c.diagnostic), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("out_a.dat"), "old\n");
  }
}

// A file the run cannot open ends it at that open, with the files after it
// in the table neither created nor touched.
TEST(RunFrame, FileThatCannotBeOpenedEndsTheRunAtItsOpen) {
  const struct {
    const char* what;
    void (*prepare)(const WorkDir&);
    bool unprivileged;
    int number;
    int unit;
    const char* file;
    std::vector<std::string> names;  // after the run; empty: as before it
  } cases[] = {
      {"a missing input in an unwritable directory",
       [](const WorkDir& dir) {
         SiteInputs().write_to(dir);
         dir.write("check.dat", "");
         std::remove(dir.path_of("tabk.dat").c_str());
         dir.set_mode("", 0555);
       },
       true, 9, 26, "tabk.dat", {}},
      {"an input the user may not read",
       [](const WorkDir& dir) {
         SiteInputs().write_to(dir);
         dir.set_mode("incident.dat", 0200);
       },
       true, 9, 22, "incident.dat",
       {"HH_G.dat", "HH_x.dat", "control.dat", "curve.dat", "incident.dat", "profile.dat", "tabk.dat"}},
      {"a directory named like an input",
       [](const WorkDir& dir) {
         dir.write("control.dat", SiteInputs().control.text());
         dir.make_directory("profile.dat");
       },
       false, 30, 23, "profile.dat", {"control.dat", "incident.dat", "profile.dat"}},
      {"a dangling link into a missing directory",
       [](const WorkDir& dir) { dir.make_symlink("control.dat", "missing_directory/control.dat"); }, false, 29,
       21, "control.dat", {"control.dat"}},
  };
  const auto unprivileged_missing = unprivileged_unavailable();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.unprivileged && unprivileged_missing) continue;
    const WorkDir dir;
    c.prepare(dir);
    const std::vector<std::string> before = dir.names();
    // The contents of the files the run may open.
    std::vector<std::string> contents;
    for (const std::string& name : before) contents.push_back(name != c.file ? dir.read(name) : "");

    const RunResult r = dir.run({.unprivileged = c.unprivileged});

    expect_file_failure(r, dir, c.number, c.unit, c.file);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.names(), c.names.empty() ? before : c.names);
    for (std::size_t k = 0; k < before.size(); ++k) {
      if (before[k] != c.file) {
        EXPECT_EQ(dir.read(before[k]), contents[k]) << before[k];
      }
    }
  }
  if (unprivileged_missing) GTEST_SKIP() << "runs as another user not made: " << *unprivileged_missing;
}

// An input file written with other contents than the small valid set.
struct ReaderCase {
  const char* what;
  const char* file;
  std::string content;
  int number;          // 0 for a run with the results of the valid set
  int unit;            // of the diagnostic
  const char* detail;  // what follows the path in the diagnostic line, or null
  std::string where;   // how the call-chain listing begins: item, line, token
};

// As a spreadsheet saves rows: commas, and an empty cell at the end of each.
std::string with_commas(std::string text) {
  for (std::size_t at = 0; (at = text.find_first_of(" \n", at)) != std::string::npos; ++at) {
    if (text[at] == ' ') {
      text[at] = ',';
    } else {
      text.insert(at, ",,");
      at += 2;
    }
  }
  return text;
}

// Fault pinned by `where`: a reader diagnostic that did not say where in its
// file the reading failed.
TEST(Reader, InputFilesAsTheProgramReadsThem) {
  std::string profile_with_real_material = SiteInputs().profile;
  profile_with_real_material.replace(profile_with_real_material.rfind(" 1\n"), 3, " 1.0\n");
  const std::string short_incident = incident_text({.NT = 19});
  const std::string long_incident = incident_text({.NT = 25});
  std::string no_break_space = incident_text({});
  const std::size_t line_17 = no_break_space.find("0.16 ");
  no_break_space.replace(line_17 + 4, 1, "\xc2\xa0");
  const std::string tabk = tabk_text();

  const std::vector<ReaderCase> cases = {
      {"text after the ninth control value", "control.dat",
       "25.0 10 5 1 1 20 1 0 1 FMAX, NPW, M_SUB, BASE_TYPE, NL, NT, NMAT, (unused), NPT\n", 0, 0, nullptr, ""},
      {"control values one per line, an integer as FMAX", "control.dat",
       "25\n10\n5\n1\n1\n20\n1\n0\n1\n", 0, 0, nullptr, ""},
      {"a word after the first control value", "control.dat", "25.0 FMAX\n10\n5\n1\n1\n20\n1\n0\n1\n", 59, 21,
       nullptr, "reading NPW at line 1: token \"FMAX\""},
      {"a byte-order mark", "control.dat", "\xef\xbb\xbf" + SiteInputs().control.text(), 59, 21, nullptr,
       "reading FMAX at line 1: token \"\\xEF\\xBB\\xBF25.0\""},
      {"a decimal point in M_SUB", "control.dat", "25.0 10\n2.0 1 1 20 1 0 1\n", 64, 21, nullptr,
       "reading M_SUB at line 2: token \"2.0\""},
      {"an integer beyond 32 bits", "control.dat", "25.0 10 5 1 1 2147483648 1 0 1\n", 64, 21, nullptr,
       "reading NT at line 1: token \"2147483648\""},
      {"a real beyond the double range", "control.dat", "1e400 10 5 1 1 20 1 0 1\n", 64, 21, nullptr,
       "reading FMAX at line 1: token \"1e400\""},
      {"a spelling of infinity", "control.dat", "Infinity 10 5 1 1 20 1 0 1\n", 59, 21, nullptr,
       "reading FMAX at line 1: token \"Infinity\""},
      {"a truth value", "control.dat", "25.0 10 5 T 1 20 1 0 1\n", 59, 21, nullptr,
       "reading BASE_TYPE at line 1: token \"T\""},
      {"a slash before NT", "control.dat", "25.0 10 5 1 1 / 20 1 0 1\n", 71, 21, "no value for NT",
       "reading NT at line 1: a slash ended the read"},
      {"an empty value between commas", "control.dat", "25.0,,5,1,1,20,1,0,1\n", 71, 21, "no value for NPW",
       "reading NPW at line 1: an empty value between commas"},
      {"fewer incident pairs than NT", "incident.dat", short_incident, 24, 22, nullptr,
       "reading T(20): end of file after line 19"},
      {"more incident pairs than NT", "incident.dat", long_incident, 0, 0, nullptr, ""},
      {"a slash after the last time", "incident.dat", short_incident + "0.19 /\n", 71, 22, "no value for A(20)",
       "reading A(20) at line 20: a slash ended the read"},
      {"a no-break space on line 17", "incident.dat", no_break_space, 59, 22, nullptr,
       "reading T(17) at line 17: token \"0.16\\xC2\\xA0"},
      {"incident rows saved by a spreadsheet", "incident.dat", with_commas(incident_text({})), 71, 22,
       "no value for T(2)", "reading T(2) at line 1: an empty value between commas"},
      {"a real material number in the half-space row", "profile.dat", profile_with_real_material, 64, 23,
       nullptr, "reading MA(2) at line 2: token \"1.0\""},
      {"a spelling of not-a-number as a density", "profile.dat",
       "2 100 0.05 NaN 1\n0 400 0.01 2.2 1\n", 59, 23, nullptr, "reading R(1) at line 1: token \"NaN\""},
      // Refused at the empty cell, not at a value shifted by it.
      {"profile rows saved by a spreadsheet", "profile.dat", with_commas(SiteInputs().profile), 71, 23,
       "no value for H(2)", "reading H(2) at line 1: an empty value between commas"},
      {"a non-ASCII byte as a separator", "tabk.dat", "1.4e-03\xc2\xa0" + tabk.substr(13), 59, 26,
       nullptr, "reading T_K(1) at line 1: token \"1.4e-03\\xC2\\xA07.548359e-02\""},
      {"a relaxation table of 23 values", "tabk.dat", tabk.substr(0, tabk.rfind(' ')), 24, 26, nullptr,
       "reading B_K(8): end of file after line 8"},
      {"a label before the first branch row", "HH_x.dat", "layer\n" + SiteInputs().HH_x, 59, 28, nullptr,
       "reading gamma_t(1) at line 1: token \"layer\""},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    const WorkDir dir;
    SiteInputs().write_to(dir);
    dir.write(c.file, c.content);
    dir.write("out_a.dat", old_text("out_a.dat"));
    const RunResult r = dir.run();
    if (c.number == 0) {
      expect_complete(r);
      EXPECT_EQ(dir.read("out_a.dat"), small_site_run().read("out_a.dat"));
      continue;
    }
    expect_file_failure(r, dir, c.number, c.unit, c.file, c.detail != nullptr ? c.detail : "");
    EXPECT_EQ(r.innermost().substr(0, c.where.size()), c.where) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("out_a.dat"), old_text("out_a.dat"));
  }
}

}  // namespace
}  // namespace zorvik::e2e
