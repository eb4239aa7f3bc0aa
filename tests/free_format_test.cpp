#include "free_format.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
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
    EXPECT_EQ(write(fd_, content.data(), content.size()),
              static_cast<ssize_t>(content.size()));
    lseek(fd_, 0, SEEK_SET);
  }
  ~InputFile() {
    close(fd_);
    unlink(path_.c_str());
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  FreeFormatReader reader(int unit) const { return {fd_, unit, path_}; }
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

// One read statement of `count` reals named R(1), R(2), ...
std::vector<double> read_row(FreeFormatReader& in, int count) {
  std::vector<double> row;
  in.begin_statement();
  for (int k = 1; k <= count; ++k) row.push_back(in.real("R", k));
  in.end_statement();
  return row;
}

int row_diagnostic(std::string_view content, int count) {
  InputFile file(content);
  FreeFormatReader in = file.reader(22);
  return diagnostic_of([&] { read_row(in, count); }).number();
}

struct Settings {
  double FMAX = 0.0;
  std::array<std::int32_t, 8> counts{};
  bool operator==(const Settings&) const = default;
};

Settings read_control(FreeFormatReader& in) {
  Settings s;
  in.begin_statement();
  s.FMAX = in.real("FMAX");
  for (std::int32_t& count : s.counts) count = in.integer("count");
  in.end_statement();
  return s;
}

TEST(ControlFile, NineValuesReadAlikeHoweverSpreadOverLines) {
  const Settings expected{50.0, {10, 4, 1, 3, 2000, 2, 0, 11}};
  for (const char* content : {"50 10 4 1 3 2000 2 0 11\n", "50\n10\n4\n1\n3\n2000\n2\n0\n11\n",
                              "50.0, 10,4 1\n\n3 2000 2 0 11 settings of site A\nmore text\n"}) {
    InputFile file(content);
    FreeFormatReader in = file.reader(21);
    EXPECT_EQ(read_control(in), expected) << content;
  }
}

TEST(ControlFile, BadTokensNameTheFailureUnitAndPath) {
  InputFile word("25.0 layers\n10\n4\n1\n3\n2000\n2\n0\n11\n");
  FreeFormatReader in = word.reader(21);
  const FatalError syntax = diagnostic_of([&] { read_control(in); });
  EXPECT_EQ(syntax.number(), diag::syntax_error);
  EXPECT_EQ(syntax.text(), "list-directed I/O syntax error, unit 21, file " + word.path());

  InputFile point("50 10 2.0 1 3 2000 2 0 11\n");
  FreeFormatReader in2 = point.reader(21);
  const FatalError conversion = diagnostic_of([&] { read_control(in2); });
  EXPECT_EQ(conversion.number(), diag::conversion_error);
  EXPECT_EQ(conversion.text(), "input conversion error, unit 21, file " + point.path());
}

TEST(ProfileFile, MaterialNumberWithPointIsRefusedInAnyRow) {
  for (const char* content : {"5 200 0.05 1.8 1.0\n0 800 0.01 2.2 1\n",
                              "5 200 0.05 1.8 1\n0 800 0.01 2.2 1.0\n"}) {
    InputFile file(content);
    FreeFormatReader in = file.reader(23);
    const FatalError error = diagnostic_of([&] {
      in.begin_statement();
      for (int row = 1; row <= 2; ++row) {
        for (int k = 0; k < 4; ++k) in.real("R", row);
        in.integer("MA", row);
      }
      in.end_statement();
    });
    EXPECT_EQ(error.number(), diag::conversion_error) << content;
    EXPECT_NE(error.text().find("unit 23,"), std::string::npos);
  }
}

TEST(RowStatements, EachRowStartsOnTheLineAfterThePreviousRowsLastValue) {
  // A short row takes its last value from the next line; a label after a row
  // is skipped; a row sharing the line of the one before it is lost.
  InputFile file("1 2\n3 rest of the row's second line\n4 5 6 label\n7 8 9 10 11 12\n13 14 15");
  FreeFormatReader in = file.reader(27);
  EXPECT_EQ(read_row(in, 3), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(read_row(in, 3), (std::vector<double>{4, 5, 6}));
  EXPECT_EQ(read_row(in, 3), (std::vector<double>{7, 8, 9}));
  EXPECT_EQ(read_row(in, 3), (std::vector<double>{13, 14, 15}));
  const FatalError error = diagnostic_of([&] { read_row(in, 3); });
  EXPECT_EQ(error.number(), diag::end_of_file);
  EXPECT_EQ(error.text(), "end-of-file during read, unit 27, file " + file.path());
}

TEST(RowStatements, NineLinesWithOneRowSplitEndTheNinthRowAtEndOfFile) {
  std::string content = "1 2\n3\n";
  for (int line = 3; line <= 9; ++line) content += "4 5 6\n";
  InputFile file(content);
  FreeFormatReader in = file.reader(27);
  for (int row = 1; row <= 8; ++row) read_row(in, 3);
  EXPECT_EQ(diagnostic_of([&] { read_row(in, 3); }).number(), diag::end_of_file);
}

TEST(RowStatements, WordLineBeforeTheFirstRowIsSyntaxError) {
  EXPECT_EQ(row_diagnostic("layer\n1 2 3\n", 3), diag::syntax_error);
}

TEST(OneStatementFiles, ValuesReadTheSameInAnyLineLayout) {
  std::string eights;
  std::string threes;
  for (int k = 1; k <= 24; ++k) {
    eights += std::to_string(k) + ".5" + (k % 8 == 0 ? "\n" : " ");
    threes += std::to_string(k) + ".5" + (k % 3 == 0 ? "\n" : ", ");
  }
  InputFile a(eights);
  InputFile b(threes);
  FreeFormatReader in_a = a.reader(26);
  FreeFormatReader in_b = b.reader(26);
  const std::vector<double> values = read_row(in_a, 24);
  EXPECT_EQ(values, read_row(in_b, 24));
  EXPECT_EQ(values[23], 24.5);
}

TEST(RepeatCounts, FeedSuccessiveItemsOfEitherType) {
  InputFile file("3*0.5 2*7\n2*5 1\n2*5.0\n4*1 9\n2 3\n");
  FreeFormatReader in = file.reader(22);
  EXPECT_EQ(read_row(in, 5), (std::vector<double>{0.5, 0.5, 0.5, 7, 7}));
  in.begin_statement();
  EXPECT_EQ(in.real("R"), 5.0);
  EXPECT_EQ(in.integer("N"), 5);
  in.end_statement();
  in.begin_statement();
  EXPECT_EQ(in.real("R"), 5.0);
  EXPECT_EQ(diagnostic_of([&] { in.integer("N"); }).number(), diag::conversion_error);
  // Repeats left over at the end of a statement go with the rest of its line.
  InputFile leftover("4*1 9\n2 3\n");
  FreeFormatReader in2 = leftover.reader(22);
  EXPECT_EQ(read_row(in2, 2), (std::vector<double>{1, 1}));
  EXPECT_EQ(read_row(in2, 2), (std::vector<double>{2, 3}));
}

TEST(RepeatCounts, CountMustBeUnsignedDigitsFrom1To2147483647) {
  InputFile largest("2147483647*5\n");
  FreeFormatReader in = largest.reader(22);
  EXPECT_EQ(read_row(in, 3), (std::vector<double>{5, 5, 5}));
  for (const char* content : {"0*5", "*5", "+2*5", "2.0*5", "2147483648*5", "2*3*4", "2*x"}) {
    EXPECT_EQ(row_diagnostic(content, 3), diag::syntax_error) << content;
  }
}

TEST(EmptyValues, CommaSlashAndEmptyRepeatAreRefusedAtTheItemAndLine) {
  // Fault pinned: a null refused only at the end of its statement, after a
  // later token shifted by it had given a misleading diagnostic.
  const struct {
    const char* content;
    const char* item;
    const char* where;  // innermost entry of the call chain
  } cases[] = {{",2 3", "R(1)", "at line 1: an empty value between commas"},
               {"1,,3", "R(2)", "at line 1: an empty value between commas"},
               {"1,\n,3", "R(2)", "at line 2: an empty value between commas"},
               {"1 , ,3", "R(2)", "at line 1: an empty value between commas"},
               {"1,,x", "R(2)", "at line 1: an empty value between commas"},
               {"1\n\n/ x y", "R(2)", "at line 3: a slash ended the read"},
               {"1 2*\n", "R(2)", "at line 1: an empty repeat"},
               {"1,2/", "R(3)", "at line 1: a slash ended the read"},
               {"1 2 3*, 4", "R(3)", "at line 1: an empty repeat"}};
  for (const auto& c : cases) {
    InputFile file(c.content);
    FreeFormatReader in = file.reader(22);
    const FatalError error = diagnostic_of([&] { read_row(in, 3); });
    EXPECT_EQ(error.number(), diag::missing_value) << c.content;
    EXPECT_EQ(error.text(), "missing value, unit 22, file " + file.path() + ": no value for " + c.item);
    EXPECT_EQ(innermost(error), "reading " + std::string(c.item) + " " + c.where);
  }
  InputFile unindexed(",50 10 4 1 3 2000 2 0 11\n");
  FreeFormatReader in = unindexed.reader(21);
  const FatalError error = diagnostic_of([&] { read_control(in); });
  EXPECT_NE(error.text().find(": no value for FMAX"), std::string::npos) << error.text();
}

TEST(EmptyValues, OneCommaAfterAValueIsOnlyASeparator) {
  InputFile file("1\n,2 ,3,\n4 , 5/\n");
  FreeFormatReader in = file.reader(22);
  EXPECT_EQ(read_row(in, 5), (std::vector<double>{1, 2, 3, 4, 5}));
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
  for (const auto& c : cases) {
    InputFile file(std::string(c.text) + "\n");
    FreeFormatReader in = file.reader(22);
    EXPECT_EQ(read_row(in, 1)[0], c.value) << c.text;
  }
}

TEST(RealItems, ValueBeyondTheDoubleRangeIsConversionError) {
  for (const char* text : {"1e400", "-1e400", "1.8D308", "1e99999999999999999999"}) {
    EXPECT_EQ(row_diagnostic(text, 1), diag::conversion_error) << text;
  }
}

TEST(AnyItem, TokensOutsideTheNumberGrammarAreSyntaxErrors) {
  for (const char* text :
       {"T", "F", ".TRUE.", "Inf", "NaN", "infinity", "nan", "1.0+5", "1..2", "1.2.", "1e5e5",
        "1e5d5", "+", "-", ".", "+.", "1e", "1e+", "e5", "1x", "0x10", "\xC2\xB5", "5\xB0",
        "1\x01", "5\r6\n", "7\r"}) {
    EXPECT_EQ(row_diagnostic(text, 1), diag::syntax_error) << text;
    InputFile file(text);
    FreeFormatReader in = file.reader(21);
    EXPECT_EQ(diagnostic_of([&] { in.integer("N"); }).number(), diag::syntax_error) << text;
  }
}

TEST(IntegerItems, Int32RangeWithoutPointOrExponent) {
  InputFile good("2147483647 -2147483648 +5 -0 0007\n");
  FreeFormatReader in = good.reader(21);
  for (const std::int32_t expected : {2147483647, -2147483647 - 1, 5, 0, 7}) {
    EXPECT_EQ(in.integer("N"), expected);
  }
  for (const char* text :
       {"2147483648", "-2147483649", "99999999999999999999999", "5.", ".5", "5e0", "1d0"}) {
    InputFile bad(text);
    FreeFormatReader in2 = bad.reader(21);
    EXPECT_EQ(diagnostic_of([&] { in2.integer("N"); }).number(), diag::conversion_error) << text;
  }
}

TEST(LineEnds, CrLfTabsAndAMissingFinalLineFeed) {
  InputFile file("1\t2 label\r\n\r\n\t3,\t4 \r\n5 6");
  FreeFormatReader in = file.reader(22);
  EXPECT_EQ(read_row(in, 2), (std::vector<double>{1, 2}));
  EXPECT_EQ(read_row(in, 2), (std::vector<double>{3, 4}));
  EXPECT_EQ(read_row(in, 2), (std::vector<double>{5, 6}));
}

TEST(LineEnds, TokensAndCrLfSplitAcrossChunks) {
  // Fault pinned: a token or a CR-LF pair cut by the end of a chunk.
  const std::string pad(FreeFormatReader::kChunkSize - 2, ' ');
  InputFile token(pad + "1.25e1\r\n");
  FreeFormatReader in = token.reader(22);
  EXPECT_EQ(read_row(in, 1)[0], 12.5);
  InputFile crlf(pad + "7\r\n8\r\n");
  FreeFormatReader in2 = crlf.reader(22);
  EXPECT_EQ(read_row(in2, 1)[0], 7.0);
  EXPECT_EQ(read_row(in2, 1)[0], 8.0);
  EXPECT_EQ(row_diagnostic(pad + "7\r8\n", 1), diag::syntax_error);
}

TEST(EndOfFile, EmptyOrShortFile) {
  InputFile empty("");
  FreeFormatReader in = empty.reader(24);
  const FatalError error = diagnostic_of([&] { read_row(in, 1); });
  EXPECT_EQ(error.number(), diag::end_of_file);
  EXPECT_EQ(error.text(), "end-of-file during read, unit 24, file " + empty.path());
  EXPECT_EQ(row_diagnostic("1 2\n\n  \n", 3), diag::end_of_file);
}

TEST(ReadFailure, SystemErrorIsReadError) {
  const std::string directory = testing::TempDir();
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  FreeFormatReader in(fd, 26, directory);
  const FatalError error = diagnostic_of([&] { read_row(in, 1); });
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

TEST(LargeFile, TwoHundredThousandLinesReadExactly) {
  constexpr int kSamples = 200000;
  InputFile file(incident_lines(kSamples));
  FreeFormatReader in = file.reader(22);
  const std::vector<double> values = read_row(in, 2 * kSamples);
  int mismatches = 0;
  for (std::size_t k = 0; k < kSamples; ++k) {
    const auto sample = static_cast<double>(k);
    mismatches += values[2 * k] != sample * 0.005 || values[2 * k + 1] != std::sin(sample * 0.01);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Positions, FailureNamesItemLineAndTokenAsWritten) {
  std::string numbers;
  for (int k = 0; k < 200000; ++k) numbers += "1 2\n";
  const std::string pad(FreeFormatReader::kChunkSize - 2, ' ');
  const struct {
    std::string content;
    int count;
    int number;
    std::string where;  // innermost entry of the call chain
  } cases[] = {
      {numbers + "3 x\x01" + std::string(50, 'y'), 400002, diag::syntax_error,
       "reading R(400002) at line 200001: token \"x\\x01" + std::string(38, 'y') + "\"..."},
      {numbers, 400001, diag::end_of_file, "reading R(400001): end of file after line 200000"},
      {"1 2\n3", 4, diag::end_of_file, "reading R(4): end of file after line 2"},
      {"", 1, diag::end_of_file, "reading R(1): end of file after line 0"},
      // The cursor's byte moved to the front of the buffer to look past a CR.
      {pad + "7\r\n8\r\n\"a\\b\"", 3, diag::syntax_error, "reading R(3) at line 3: token \"\\x22a\\x5Cb\\x22\""},
      {"1 1.8D308", 2, diag::conversion_error, "reading R(2) at line 1: token \"1.8D308\""},
  };
  for (const auto& c : cases) {
    InputFile file(c.content);
    FreeFormatReader in = file.reader(22);
    const FatalError error = diagnostic_of([&] { read_row(in, c.count); });
    EXPECT_EQ(error.number(), c.number) << c.where;
    EXPECT_EQ(innermost(error), c.where);
  }
}

TEST(LargeFile, ReadsNoFurtherThanTheChunkInHand) {
  InputFile file(incident_lines(200000));
  FreeFormatReader in = file.reader(22);
  read_row(in, 2);
  read_row(in, 2);
  EXPECT_EQ(lseek(file.fd(), 0, SEEK_CUR), static_cast<off_t>(FreeFormatReader::kChunkSize));
}

}  // namespace
}  // namespace zorvik
