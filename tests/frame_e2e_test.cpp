// The run frame and the input reader seen from outside: which files a run
// opens, creates, keeps and refuses, and how a bad input file ends it.
#include <gtest/gtest.h>

#include <cstdlib>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

std::vector<std::string> all_21_names() {
  std::vector<std::string> names;
  for (const std::string_view n : kInputFiles) names.emplace_back(n);
  for (const std::string_view n : kResultFiles) names.emplace_back(n);
  std::sort(names.begin(), names.end());
  return names;
}

// A complete run of the small site, the reference for a run that differs.
void complete_site_run(const WorkDir& dir) {
  SiteInputs().write_to(dir);
  expect_complete(dir.run());
}

void expect_file_failure(const RunResult& r, const WorkDir& dir, int number, std::string_view text,
                         int unit, std::string_view name) {
  EXPECT_EQ(r.exit_status, number) << r.describe();
  EXPECT_EQ(r.diagnostic(), file_diagnostic(number, text, unit, dir.path_of(name)));
  EXPECT_TRUE(r.call_chain_follows()) << r.err;
}

TEST(RunFrame, EmptyDirectoryGetsAll21FilesEmptyWithTheModeLessTheUmaskAndStopsAtControl) {
  for (const auto& [umask, mode] : {std::pair{022U, 0644U}, std::pair{007U, 0660U}}) {
    SCOPED_TRACE(testing::Message() << "umask 0" << std::oct << umask);
    const WorkDir dir;
    const RunResult r = dir.run({.umask = umask});
    expect_file_failure(r, dir, 24, "end-of-file during read", 21, "control.dat");
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

  expect_file_failure(r, dir, 24, "end-of-file during read", 24, "curve.dat");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.names(), all_21_names());
  EXPECT_EQ(dir.read("t.dat"), old_times);
  EXPECT_EQ(dir.read("out_tau.dat"), old_stress);
  for (const std::string_view name : kResultFiles) {
    if (name != "t.dat" && name != "out_tau.dat") {
      EXPECT_EQ(dir.read(name), "") << name;
    }
  }
  EXPECT_EQ(dir.read("check.dat"), "");
  EXPECT_EQ(dir.read("bug.dat"), "");
}

TEST(RunFrame, CheckAndBugFilesKeepTheirContentThroughACompleteRun) {
  const WorkDir dir;
  SiteInputs().write_to(dir);
  const std::string check = "kept\r\nbyte for byte\x01\xff";
  const std::string bug = std::string("no line end\0 and a NUL", 22);
  dir.write("check.dat", check);
  dir.write("bug.dat", bug);

  expect_complete(dir.run());

  EXPECT_EQ(dir.read("check.dat"), check);
  EXPECT_EQ(dir.read("bug.dat"), bug);
}

TEST(RunFrame, ReadOnlyInputFilesGiveTheSameResults) {
  if (const auto why = unprivileged_unavailable()) GTEST_SKIP() << *why;
  const WorkDir reference;
  complete_site_run(reference);
  const WorkDir dir;
  SiteInputs().write_to(dir);
  for (const std::string& name : dir.names()) dir.set_mode(name, 0444);
  expect_complete(dir.run({.unprivileged = true}));

  for (const std::string_view name : kResultFiles) EXPECT_EQ(dir.read(name), reference.read(name)) << name;
}

TEST(RunFrame, ReadOnlyResultFileEndsTheWritingThereAfterTheEarlierFiles) {
  if (const auto why = unprivileged_unavailable()) GTEST_SKIP() << *why;
  const WorkDir reference;
  complete_site_run(reference);
  const WorkDir dir;
  SiteInputs().write_to(dir);
  for (const std::string_view name : kResultFiles) dir.write(name, "old " + std::string(name) + "\n");
  dir.set_mode("out_a.dat", 0444);

  const RunResult r = dir.run({.unprivileged = true});

  expect_file_failure(r, dir, 47, "write to READONLY file", 38, "out_a.dat");
  EXPECT_EQ(r.out, complete_run_output(97));  // 96 steps, a mark for each and one more at the first
  bool before_out_a = true;
  for (const std::string_view name : kResultFiles) {
    before_out_a = before_out_a && name != "out_a.dat";
    if (before_out_a) {
      EXPECT_EQ(dir.read(name), reference.read(name)) << name;
    } else {
      EXPECT_EQ(dir.read(name), "old " + std::string(name) + "\n") << name;
    }
  }
}

// Pins a refused write (a full disk) being reported as a failure, with the
// earlier result files complete, the later ones as they were, and the failing
// one cut back to its last whole line: no part of a line, and none of the old
// text of a longer file, after the lines written so far.
TEST(RunFrame, RefusedWriteOfAResultFileIsAWriteErrorThatLeavesWholeLines) {
  const WorkDir reference;
  reference.copy_example();
  expect_complete(reference.run());

  const WorkDir dir;
  dir.copy_example();
  for (const std::string_view name : kResultFiles) dir.write(name, "old " + std::string(name) + "\n");
  // t.dat to max_tau.dat fit; out_a.dat (1560 lines of 103 bytes) does not.
  constexpr std::size_t kLimit = 50000;
  dir.write("out_a.dat", std::string(kLimit + 20000, 'x') + "\n");
  const RunResult r = dir.run({.file_size_limit = kLimit});

  expect_file_failure(r, dir, 38, "error during write", 38, "out_a.dat");
  bool before_out_a = true;
  for (const std::string_view name : kResultFiles) {
    before_out_a = before_out_a && name != "out_a.dat";
    if (before_out_a) {
      EXPECT_EQ(dir.read(name), reference.read(name)) << name;
    } else if (name != "out_a.dat") {
      EXPECT_EQ(dir.read(name), "old " + std::string(name) + "\n") << name;
    }
  }
  const std::string complete = reference.read("out_a.dat");
  const std::size_t line = complete.find('\n') + 1;
  const std::size_t whole_lines = kLimit / line * line;
  const std::string partial = dir.read("out_a.dat");
  EXPECT_EQ(partial.size(), whole_lines);
  EXPECT_TRUE(partial == complete.substr(0, whole_lines)) << "not the first lines of the complete run";
}

// Fault pinned: started without standard streams, the first files opened
// took descriptors 0 to 2, so the progress marks or a diagnostic went into
// an input file.
TEST(RunFrame, StandardStreamsClosedAtStartNeverMakeAnInputFileOutput) {
  const WorkDir reference;
  complete_site_run(reference);
  const struct {
    std::vector<int> closed;
    const char* control;  // null: the valid one
    int exit_status;
  } cases[] = {{{0, 1}, nullptr, 0}, {{0, 1, 2}, nullptr, 0}, {{2}, "25.0 x\n", 59}, {{0, 2}, "25.0 x\n", 59}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "closed: " << testing::PrintToString(c.closed));
    const WorkDir dir;
    SiteInputs inputs;
    inputs.write_to(dir);
    if (c.control != nullptr) dir.write("control.dat", c.control);
    dir.write("check.dat", "kept\n");
    dir.write("bug.dat", "kept\n");
    std::vector<std::string> before;
    for (const std::string_view name : kInputFiles) before.push_back(dir.read(name));

    const RunResult r = dir.run({.closed_streams = c.closed});

    EXPECT_EQ(r.exit_status, c.exit_status) << r.describe();
    for (std::size_t k = 0; k < before.size(); ++k) EXPECT_EQ(dir.read(kInputFiles[k]), before[k]) << kInputFiles[k];
    if (c.exit_status == 0) {
      EXPECT_EQ(dir.read("out_a.dat"), reference.read("out_a.dat"));
    }
  }
}

// Fault pinned: a reader of standard output that went away (zorvik | head -1)
// killed the run with SIGPIPE.
TEST(RunFrame, AReaderOfStandardOutputThatWentAwayEndsNothing) {
  const WorkDir reference;
  complete_site_run(reference);
  const WorkDir dir;
  SiteInputs().write_to(dir);

  const RunResult r = dir.run({.reader_gone = true});

  expect_complete(r);
  for (const std::string_view name : kResultFiles) EXPECT_EQ(dir.read(name), reference.read(name)) << name;
}

// Fault pinned: a column too big for the machine was built until the
// kernel killed the process, with nothing said. Each run is held to 4 GiB of
// address space, so that a regression cannot take the machine down.
TEST(RunFrame, ColumnBeyondMemoryIsRefusedBeforeItIsBuilt) {
#ifdef ZORVIK_SANITIZED
  GTEST_SKIP() << "AddressSanitizer's shadow memory needs an unlimited address space";
#endif
  constexpr long kSafetyLimit = 4L << 30;
  const struct {
    double thickness;  // of the site's layer, whose elements are 0.4 m thick
    const char* refusal;  // null: the run completes
  } cases[] = {
      // A thickness typed as 100000000: 2.5e8 elements.
      {1.0e8, "of memory for 249999997 elements (249999997 in layer 1), NT = 20 and NL = 1; physical memory and "
              "swap hold "},
      // 1e5 elements touch less than 1 GiB but map their turning-point stacks.
      {4.0e4, "of address space for 100000 elements (100000 in layer 1), NT = 20 and NL = 1; the address-space "
              "limit is 4 GiB"},
      // 1e4 elements fit.
      {4.0e3, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.thickness);
    const WorkDir dir;
    SiteInputs inputs;
    inputs.profile = profile_text({Layer{.H = c.thickness}}, Layer{0.0, 400.0, 0.01, 2.2, 1});
    inputs.write_to(dir);
    dir.write("out_a.dat", "old\n");

    const RunResult r = dir.run({.address_space_limit = kSafetyLimit});

    if (c.refusal == nullptr) {
      expect_complete(r);
      continue;
    }
    EXPECT_EQ(r.exit_status, 41) << r.describe();
    const std::string head = "zorvik: severe (41): insufficient virtual memory: the run needs about ";
    EXPECT_EQ(r.diagnostic().substr(0, head.size()), head);
    EXPECT_NE(r.diagnostic().find(c.refusal), std::string::npos) << r.diagnostic();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("out_a.dat"), "old\n");
  }
}

TEST(RunFrame, UnwritableDirectoryWithAMissingInputStopsAtThatOpen) {
  if (const auto why = unprivileged_unavailable()) GTEST_SKIP() << *why;
  const WorkDir dir;
  const SiteInputs inputs;
  inputs.write_to(dir);
  dir.write("check.dat", "");
  std::remove(dir.path_of("tabk.dat").c_str());
  const std::vector<std::string> before = dir.names();
  dir.set_mode("", 0555);

  const RunResult r = dir.run({.unprivileged = true});

  expect_file_failure(r, dir, 9, "permission to access file denied", 26, "tabk.dat");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir.names(), before);
  EXPECT_EQ(dir.read("control.dat"), inputs.control.text());
  EXPECT_EQ(dir.read("HH_x.dat"), inputs.HH_x);
}

TEST(RunFrame, InputFileTheUserMayNotReadIsRefusedAtItsOpen) {
  if (const auto why = unprivileged_unavailable()) GTEST_SKIP() << *why;
  const WorkDir dir;
  SiteInputs().write_to(dir);
  dir.set_mode("incident.dat", 0200);

  const RunResult r = dir.run({.unprivileged = true});

  expect_file_failure(r, dir, 9, "permission to access file denied", 22, "incident.dat");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"HH_G.dat", "HH_x.dat", "control.dat", "curve.dat",
                                                    "incident.dat", "profile.dat", "tabk.dat"}));
}

TEST(RunFrame, DirectoryNamedLikeAnInputIsAnOpenFailure) {
  const WorkDir dir;
  dir.write("control.dat", SiteInputs().control.text());
  dir.make_directory("profile.dat");

  const RunResult r = dir.run();

  expect_file_failure(r, dir, 30, "open failure", 23, "profile.dat");
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"control.dat", "incident.dat", "profile.dat"}));
}

TEST(RunFrame, DanglingLinkIntoAMissingDirectoryIsFileNotFound) {
  const WorkDir dir;
  dir.make_symlink("control.dat", "missing_directory/control.dat");

  const RunResult r = dir.run();

  expect_file_failure(r, dir, 29, "file not found", 21, "control.dat");
  EXPECT_EQ(dir.names(), std::vector<std::string>{"control.dat"});
}

const char* text_of(int number) {
  switch (number) {
    case 24: return "end-of-file during read";
    case 59: return "list-directed I/O syntax error";
    case 64: return "input conversion error";
    default: return "missing value";
  }
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
  const WorkDir reference;
  SiteInputs().write_to(reference);
  expect_complete(reference.run());

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
      {"a non-ASCII byte as a separator", "tabk.dat", "1.4e-03\xc2\xa0" + tabk_text().substr(13), 59, 26,
       nullptr, "reading T_K(1) at line 1: token \"1.4e-03\\xC2\\xA07.548359e-02\""},
      {"a label before the first branch row", "HH_x.dat", "layer\n" + SiteInputs().HH_x, 59, 28, nullptr,
       "reading gamma_t(1) at line 1: token \"layer\""},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    const WorkDir dir;
    SiteInputs().write_to(dir);
    dir.write(c.file, c.content);
    const RunResult r = dir.run();
    if (c.number == 0) {
      expect_complete(r);
      EXPECT_EQ(dir.read("out_a.dat"), reference.read("out_a.dat"));
      continue;
    }
    std::string expected = file_diagnostic(c.number, text_of(c.number), c.unit, dir.path_of(c.file));
    if (c.detail != nullptr) expected += std::string(": ") + c.detail;
    EXPECT_EQ(r.exit_status, c.number) << r.describe();
    EXPECT_EQ(r.diagnostic(), expected);
    EXPECT_EQ(r.innermost().substr(0, c.where.size()), c.where) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(Reader, CarriageReturnLineFeedFilesGiveTheSameResults) {
  const SiteInputs inputs;
  const WorkDir lf;
  inputs.write_to(lf);
  expect_complete(lf.run());

  const WorkDir crlf;
  inputs.write_to(crlf);
  for (const std::string_view name : {"control.dat", "incident.dat", "profile.dat", "curve.dat", "tabk.dat",
                                      "HH_G.dat", "HH_x.dat"}) {
    std::string text;
    for (const char c : lf.read(name)) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    crlf.write(name, text);
  }
  expect_complete(crlf.run());

  for (const std::string_view name : kResultFiles) EXPECT_EQ(crlf.read(name), lf.read(name)) << name;
}

}  // namespace
}  // namespace zorvik::e2e

namespace zorvik::e2e {
namespace {

// The curve table is the first array sized by two counts of control.dat:
// NPT x 4 NMAT doubles. Pins that an impossible size ends the run with the
// allocation diagnostics instead of a crash, before any result file is
// touched.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): in the order of control.dat
RunResult run_with_curve_table(int NPT, int NMAT, const WorkDir& dir) {
  SiteInputs inputs;
  inputs.control.NPT = NPT;
  inputs.control.NMAT = NMAT;
  inputs.write_to(dir);
  dir.write("out_a.dat", "old\n");
  // Under AddressSanitizer a failed allocation must return null, as it does
  // without it.
  ::setenv("ASAN_OPTIONS", "allocator_may_return_null=1", 1);
  return dir.run();
}

TEST(RunFrame, ArraySizesBeyondMemoryEndTheRunWithTheAllocationDiagnostics) {
  {
    const WorkDir dir;
    // 2^31 x 2^33 x 8 bytes overflow a 64-bit count.
    const RunResult r = run_with_curve_table(2147483647, 2147483647, dir);
    EXPECT_EQ(r.exit_status, 179) << r.describe();
    EXPECT_EQ(r.diagnostic(), "zorvik: severe (179): Cannot allocate array - overflow on array size calculation.");
    EXPECT_TRUE(r.call_chain_follows());
    EXPECT_EQ(dir.read("out_a.dat"), "old\n");
  }
  {
    const WorkDir dir;
    // 2^31 x 2^22 x 8 bytes: 64 PiB, more than any address space holds.
    const RunResult r = run_with_curve_table(2147483647, 1 << 20, dir);
    EXPECT_EQ(r.exit_status, 41) << r.describe();
    // (AddressSanitizer warns on a line of its own before it.)
    EXPECT_NE(r.err.find("zorvik: severe (41): insufficient virtual memory\n"), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("out_a.dat"), "old\n");
  }
}

}  // namespace
}  // namespace zorvik::e2e
