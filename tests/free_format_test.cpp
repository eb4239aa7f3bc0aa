#include "free_format.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fatal.h"

namespace zorvik {
namespace {

// A file in the test's temporary directory holding `content`, open for
// reading at its start.
class InputFile {
 public:
  explicit InputFile(std::string_view content) {
    std::string name = testing::TempDir() + "zorvik_input_XXXXXX";
    fd_ = mkstemp(name.data());
    path_ = name;
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(write(fd_, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    lseek(fd_, 0, SEEK_SET);
  }
  ~InputFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  FreeFormatReader reader() const { return {fd_, 22, path_}; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

template <class Read>
FatalError diagnostic_of(Read read) {
  try {
    read();
  } catch (const FatalError& error) {
    return error;
  }
  ADD_FAILURE() << "the read ended without a diagnostic";
  return {0, ""};
}

// The innermost entry of a diagnostic's call chain: where the reading failed.
std::string innermost(const FatalError& error) {
  const std::string& chain = error.call_chain();
  return chain.substr(2, chain.find('\n') - 2);
}

// Reads `items` as read statements: R a real, I an integer, a space the end
// of a statement; item k of a statement is named R(k) or N(k). The values
// read, integers as doubles.
std::vector<double> read_items(FreeFormatReader& in, std::string_view items) {
  std::vector<double> values;
  in.begin_statement();
  std::int64_t k = 0;
  for (const char c : items) {
    if (c == ' ') {
      in.end_statement();
      in.begin_statement();
      k = 0;
    } else {
      values.push_back(c == 'R' ? in.real("R", ++k) : in.integer("N", ++k));
    }
  }
  in.end_statement();
  return values;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the file, then what to read from it
std::vector<double> read_file(std::string_view content, std::string_view items) {
  InputFile file(content);
  FreeFormatReader in = file.reader();
  return read_items(in, items);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the file, then what to read from it
int diagnostic_number(std::string_view content, std::string_view items) {
  InputFile file(content);
  FreeFormatReader in = file.reader();
  return diagnostic_of([&] { read_items(in, items); }).number();
}

std::string reals(int n) { return std::string(static_cast<std::size_t>(n), 'R'); }

// n statements of `items` each.
std::string statements(int n, const std::string& items) {
  std::string all = items;
  for (int k = 2; k <= n; ++k) all += ' ' + items;
  return all;
}

TEST(FreeFormat, StatementsLinesSeparatorsAndRepeats) {
  std::string split_row = "1 2\n3\n";  // nine lines
  for (int line = 3; line <= 9; ++line) split_row += "4 5 6\n";
  std::string eights;
  std::string threes;
  std::vector<double> halves;
  for (int k = 1; k <= 24; ++k) {
    eights += std::to_string(k) + ".5" + (k % 8 == 0 ? "\n" : " ");
    threes += std::to_string(k) + ".5" + (k % 3 == 0 ? "\n" : ", ");
    halves.push_back(k + 0.5);
  }
  const std::string pad(FreeFormatReader::kChunkSize - 2, ' ');
  const struct {
    std::string content;
    std::string items;
    std::vector<double> values;
  } cases[] = {
      // Nine control values however spread over lines.
      {"50 10 4 1 3 2000 2 0 11\n", "RIIIIIIII", {50, 10, 4, 1, 3, 2000, 2, 0, 11}},
      {"50.0, 10,4 1\n\n3 2000 2 0 11 settings of site A\nmore text\n", "RIIIIIIII",
       {50, 10, 4, 1, 3, 2000, 2, 0, 11}},
      // A short row takes its last value from the next line; a label after a
      // row is skipped; a row sharing the line of the one before it is lost.
      {"1 2\n3 rest of the row's second line\n4 5 6 label\n7 8 9 10 11 12\n13 14 15", statements(4, "RRR"),
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15}},
      {split_row, statements(8, "RRR"), {1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6}},
      // One statement in any line layout.
      {eights, reals(24), halves},
      {threes, reals(24), halves},
      // One comma after a value is only a separator.
      {"1\n,2 ,3,\n4 , 5/\n", "RRRRR", {1, 2, 3, 4, 5}},
      // Repeats feed successive items of either type; those left over at the
      // end of a statement go with the rest of its line.
      {"3*0.5 2*7\n2*5 1\n", "RRRRR RI", {0.5, 0.5, 0.5, 7, 7, 5, 5}},
      {"4*1 9\n2 3\n", "RR RR", {1, 1, 2, 3}},
      {"2147483647*5\n", "RRR", {5, 5, 5}},
      // Integers over their whole range, signed or with leading zeros.
      {"2147483647 -2147483648 +5 -0 0007\n", "IIIII", {2147483647.0, -2147483648.0, 5, 0, 7}},
      // Line ends: CR-LF, tabs and a missing last line feed.
      {"1\t2 label\r\n\r\n\t3,\t4 \r\n5 6", "RR RR RR", {1, 2, 3, 4, 5, 6}},
      // Fault pinned: a token or a CR-LF pair cut by the end of a chunk.
      {pad + "1.25e1\r\n", "R", {12.5}},
      {pad + "7\r\n8\r\n", "R R", {7, 8}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read_file(c.content, c.items), c.values) << c.content.substr(0, 80);
  }
}

// Fault pinned by `where`: a diagnostic that did not say where in its file
// the reading failed; by the empty values: a null refused only at the end of
// its statement, after a later token shifted by it had given a misleading
// diagnostic.
TEST(FreeFormat, RefusalsNameTheFailureUnitPathItemLineAndToken) {
  std::string numbers;
  for (int k = 0; k < 200000; ++k) numbers += "1 2\n";
  const std::string pad(FreeFormatReader::kChunkSize - 2, ' ');
  const struct {
    std::string content;
    std::string items;
    int number;
    std::string where;  // innermost entry of the call chain
  } cases[] = {
      {"25.0 layers\n10\n4\n", "RIII", diag::syntax_error, "reading N(2) at line 1: token \"layers\""},
      {"50 10 2.0 1\n", "RIII", diag::conversion_error, "reading N(3) at line 1: token \"2.0\""},
      {"5 200 0.05 1.8 1.0\n0 800 0.01 2.2 1\n", "RRRRIRRRRI", diag::conversion_error,
       "reading N(5) at line 1: token \"1.0\""},
      {"layer\n1 2 3\n", "RRR", diag::syntax_error, "reading R(1) at line 1: token \"layer\""},
      {"1 2\n3 rest of the row's second line\n4 5 6 label\n7 8 9 10 11 12\n13 14 15", statements(5, "RRR"),
       diag::end_of_file, "reading R(1): end of file after line 5"},
      {"1 2\n3\n4 5 6\n4 5 6\n4 5 6\n4 5 6\n4 5 6\n4 5 6\n4 5 6\n", statements(9, "RRR"), diag::end_of_file,
       "reading R(1): end of file after line 9"},
      {"", "R", diag::end_of_file, "reading R(1): end of file after line 0"},
      {"1 2\n\n  \n", "RRR", diag::end_of_file, "reading R(3): end of file after line 3"},
      {"1 2\n3", "RRRR", diag::end_of_file, "reading R(4): end of file after line 2"},
      {numbers, reals(400001), diag::end_of_file, "reading R(400001): end of file after line 200000"},
      {numbers + "3 x\x01" + std::string(50, 'y'), reals(400002), diag::syntax_error,
       "reading R(400002) at line 200001: token \"x\\x01" + std::string(38, 'y') + "\"..."},
      // The cursor's byte moved to the front of the buffer to look past a CR.
      {pad + "7\r\n8\r\n\"a\\b\"", "RRR", diag::syntax_error, "reading R(3) at line 3: token \"\\x22a\\x5Cb\\x22\""},
      {pad + "7\r8\n", "R", diag::syntax_error, "reading R(1) at line 1: token \"7\\x0D8\""},
      {"1 1.8D308", "RR", diag::conversion_error, "reading R(2) at line 1: token \"1.8D308\""},
      {"2*5.0\n", "RI", diag::conversion_error, "reading N(2) at line 1: token \"2*5.0\""},
      // Empty values, refused at the item and line.
      {",2 3", "RRR", diag::missing_value, "reading R(1) at line 1: an empty value between commas"},
      {"1,,3", "RRR", diag::missing_value, "reading R(2) at line 1: an empty value between commas"},
      {"1,\n,3", "RRR", diag::missing_value, "reading R(2) at line 2: an empty value between commas"},
      {"1 , ,3", "RRR", diag::missing_value, "reading R(2) at line 1: an empty value between commas"},
      {"1,,x", "RRR", diag::missing_value, "reading R(2) at line 1: an empty value between commas"},
      {"1\n\n/ x y", "RRR", diag::missing_value, "reading R(2) at line 3: a slash ended the read"},
      {"1 2*\n", "RRR", diag::missing_value, "reading R(2) at line 1: an empty repeat"},
      {"1,2/", "RRR", diag::missing_value, "reading R(3) at line 1: a slash ended the read"},
      {"1 2 3*, 4", "RRR", diag::missing_value, "reading R(3) at line 1: an empty repeat"},
  };
  const std::map<int, std::string> texts = {{diag::end_of_file, "end-of-file during read"},
                                            {diag::syntax_error, "list-directed I/O syntax error"},
                                            {diag::conversion_error, "input conversion error"},
                                            {diag::missing_value, "missing value"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 40));
    InputFile file(c.content);
    FreeFormatReader in = file.reader();
    const FatalError error = diagnostic_of([&] { read_items(in, c.items); });
    EXPECT_EQ(error.number(), c.number);
    std::string text = texts.at(c.number) + ", unit 22, file " + file.path();
    if (c.number == diag::missing_value) text += ": no value for " + c.where.substr(8, c.where.find(' ', 8) - 8);
    EXPECT_EQ(error.text(), text);
    EXPECT_EQ(innermost(error), c.where);
  }
  // Invalid repeat counts: unsigned digits from 1 to 2147483647 only.
  for (const char* content : {"0*5", "*5", "+2*5", "2.0*5", "2147483648*5", "2*3*4", "2*x"}) {
    EXPECT_EQ(diagnostic_number(content, "RRR"), diag::syntax_error) << content;
  }
}

TEST(RealItems, EveryFormReadsAsTheCorrectlyRoundedDouble) {
  const struct {
    const char* text;
    double value;
  } cases[] = {{"5", 5.0},         {"5.", 5.0},          {".5", 0.5},         {"0.5", 0.5},
               {"+.5", 0.5},       {"-5", -5.0},         {"1e5", 1e5},        {"1E+5", 1e5},
               {"1d5", 1e5},       {"1D-5", 1e-5},       {"1q5", 1e5},        {"1Q-05", 1e-5},
               {"2.5e-3", 0.0025}, {"0.1", 0.1},         {"-0", 0.0},
               {"9007199254740993", 9007199254740992.0},
               {"1.7976931348623157e308", std::numeric_limits<double>::max()},
               {"4.9e-324", std::numeric_limits<double>::denorm_min()},
               {"1e-400", 0.0}};
  for (const auto& c : cases) EXPECT_EQ(read_file(std::string(c.text) + "\n", "R"), std::vector{c.value}) << c.text;
  for (const char* text : {"1e400", "-1e400", "1.8D308", "1e99999999999999999999"}) {
    EXPECT_EQ(diagnostic_number(text, "R"), diag::conversion_error) << text;
  }
}

TEST(AnyItem, TokensOutsideTheNumberGrammarAreSyntaxErrors) {
  for (const char* text :
       {"T", "F", ".TRUE.", "Inf", "NaN", "infinity", "nan", "1.0+5", "1..2", "1.2.", "1e5e5",
        "1e5d5", "+", "-", ".", "+.", "1e", "1e+", "e5", "1x", "0x10", "\xC2\xB5", "5\xB0",
        "1\x01", "5\r6\n", "7\r"}) {
    EXPECT_EQ(diagnostic_number(text, "R"), diag::syntax_error) << text;
    EXPECT_EQ(diagnostic_number(text, "I"), diag::syntax_error) << text;
  }
  // Integers: no point, no exponent, no value beyond 32 bits.
  for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999", "5.", ".5", "5e0", "1d0"}) {
    EXPECT_EQ(diagnostic_number(text, "I"), diag::conversion_error) << text;
  }
}

TEST(ReadFailure, SystemErrorIsReadError) {
  const std::string directory = testing::TempDir();
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  FreeFormatReader in(fd, 26, directory);
  const FatalError error = diagnostic_of([&] { read_items(in, "R"); });
  close(fd);
  EXPECT_EQ(error.number(), diag::read_error);
  EXPECT_EQ(error.text(), "error during read, unit 26, file " + directory);
}

std::string incident_lines(int samples) {
  std::string content;
  std::array<char, 64> line{};
  for (int k = 0; k < samples; ++k) {
    std::snprintf(line.data(), line.size(), "%.17g %.17g\n", k * 0.005, std::sin(k * 0.01));
    content += line.data();
  }
  return content;
}

TEST(LargeFile, TwoHundredThousandLinesReadExactlyAndNoFurtherThanTheChunkInHand) {
  constexpr int kSamples = 200000;
  InputFile file(incident_lines(kSamples));
  FreeFormatReader in = file.reader();
  std::vector<double> values = read_items(in, "RR RR");
  EXPECT_EQ(lseek(file.fd(), 0, SEEK_CUR), static_cast<off_t>(FreeFormatReader::kChunkSize));
  const std::vector<double> rest = read_items(in, reals(2 * kSamples - 4));
  values.insert(values.end(), rest.begin(), rest.end());
  int mismatches = 0;
  for (std::size_t k = 0; k < kSamples; ++k) {
    const auto sample = static_cast<double>(k);
    mismatches += values[2 * k] != sample * 0.005 || values[2 * k + 1] != std::sin(sample * 0.01);
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace zorvik
