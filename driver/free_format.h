// Free-format reading of the input files: numbers separated by blanks, tabs,
// commas or line ends, taken one read statement at a time. A read statement
// starts on a line of its own and takes values from as many lines as it
// needs; when it is complete, the rest of the line that held its last value
// is skipped. Also accepted: repeat counts (3*0.5, or 3* for three empty
// values), a slash that ends the statement, and empty values between commas;
// a statement that leaves an item without a value is refused.
//
// Diagnostics: end of file before the statement is complete (24), a token
// that is not a number (59), a number that does not fit its item (64), a
// failing read(2) (39), an item left without a value (71, naming the item).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zorvik {

// Reads one open input file sequentially by the free-format rules; one object
// per file. The file is read lazily, one chunk at a time, never further than
// the statements need (plus the chunk in hand).
class FreeFormatReader {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

  // Does not own or close fd; path is absolute, for diagnostics.
  FreeFormatReader(int fd, int unit, std::string path);

  // A read statement starts at the start of the next line not yet touched.
  void begin_statement();
  // The next item of the statement. name and index (when > 0) name the item
  // in the missing-value diagnostic: "T(3)" or "FMAX". An item that gets no
  // value returns 0 and makes end_statement refuse the statement.
  double real(const char* name, std::int64_t index = 0);
  std::int32_t integer(const char* name, std::int64_t index = 0);
  // Completes the statement: refuses it when an item got no value; otherwise
  // the rest of the line that held the last value is skipped unread by the
  // next begin_statement.
  void end_statement();

 private:
  bool next_value();
  void note_missing(const char* name, std::int64_t index);
  void read_token();
  void classify_token();
  double token_real();
  std::int32_t token_integer();

  bool refill();
  bool ensure_two_bytes();
  std::size_t read_into(std::size_t offset);
  bool blank_at_cursor();
  void skip_line();

  [[noreturn]] void stop(int number) const;

  int fd_;
  int unit_;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;

  // The current token, and where in it the value text starts (after the
  // asterisk of a repeat count).
  std::string token_;
  std::size_t value_begin_ = 0;
  bool value_integral_ = false;

  // Statement state.
  bool skip_line_pending_ = false;
  bool value_before_ = false;   // a value ended and no comma has followed it yet
  bool slash_seen_ = false;
  std::int64_t repeats_left_ = 0;
  bool repeat_empty_ = false;
  const char* missing_name_ = nullptr;
  std::int64_t missing_index_ = 0;
  bool missing_ = false;
};

}  // namespace zorvik
