// Free-format reading of the input files: numbers separated by blanks, tabs,
// commas or line ends, taken one read statement at a time. A read statement
// starts on a line of its own and takes values from as many lines as it
// needs; when it is complete, the rest of the line that held its last value
// is skipped. Also accepted: repeat counts (3*0.5), and a slash that ends the
// statement; an item left without a value (after a slash, between two commas,
// or fed by an empty repeat such as 3*) is refused at once.
//
// Diagnostics: end of file before the statement is complete (24), a token
// that is not a number (59), a number that does not fit its item (64), a
// read(2) or pread(2) that fails (39), an item left without a value (71,
// naming the item).
// The call chain of each names the item being read and the line of the file
// where the reading failed, with the offending token as written for 59 and 64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

// Where an item stands in its file: item `item` (from 1) of read statement
// `statement`, after statement - 1 statements of `statement_size` items each.
struct ItemPlace {
  std::int64_t item = 1;
  std::int64_t statement = 1;
  std::int64_t statement_size = 0;
};

// Reads one open input file sequentially, from its beginning, by the
// free-format rules; one object per file. The file is read lazily, one chunk
// at a time, never further than the statements need (plus the chunk in hand).
class FreeFormatReader {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

  // Does not own or close fd; path is absolute, for diagnostics.
  FreeFormatReader(int fd, int unit, std::string path);

  // An item's value text as the file holds it (the part after the asterisk
  // of a repeat) and the line it stands on.
  struct WrittenValue {
    std::string text;
    std::uint64_t line = 0;
  };
  // Finds an item again by reading the file from its start, without moving
  // its offset; nothing when the file cannot be read again.
  static std::optional<WrittenValue> value_as_written(int fd, const ItemPlace& place);

  // A read statement starts at the start of the next line not yet touched.
  void begin_statement();
  // The next item of the statement. name and index (when > 0) name the item
  // in diagnostics: "T(3)" or "FMAX".
  double real(const char* name, std::int64_t index = 0);
  std::int32_t integer(const char* name, std::int64_t index = 0);
  // Completes the statement: the rest of the line that held the last value
  // is skipped unread by the next begin_statement.
  void end_statement();

 private:
  // Reads the file from its start with pread(2), leaving its offset alone.
  explicit FreeFormatReader(int fd);

  void next_value(const char* name, std::int64_t index);
  void read_token();
  void classify_token();
  double token_real();
  std::int32_t token_integer();

  bool refill();
  bool ensure_two_bytes();
  std::size_t read_into(std::size_t offset);
  bool blank_at_cursor();
  void skip_line();

  std::string item() const;
  // The line (from 1) that holds the byte at `offset`, counted again from the
  // file's start without moving its offset; nothing when the file cannot be
  // read again (a pipe, a failing device).
  std::optional<std::uint64_t> line_of(std::uint64_t offset) const;
  std::string at_line(std::uint64_t offset) const;
  // Ends the run with the file diagnostic `number` and its detail, located
  // at "reading <item>" and `where`.
  [[noreturn]] void stop(int number, const std::string& where, std::string_view detail = {}) const;
  [[noreturn]] void stop_at_token(int number) const;
  [[noreturn]] void stop_at_end() const;
  [[noreturn]] void stop_without_value(std::uint64_t offset, const char* cause) const;

  int fd_;
  int unit_ = 0;
  std::string path_;
  bool pread_ = false;  // reads with pread(2), leaving the file offset alone
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t origin_ = 0;  // offset in the file of buffer_[0]

  // The item being read, for diagnostics.
  const char* item_name_ = "";
  std::int64_t item_index_ = 0;

  // The current token, its offset in the file, and where in it the value text
  // starts (after the asterisk of a repeat).
  std::string token_;
  std::uint64_t token_offset_ = 0;
  std::size_t value_begin_ = 0;
  bool value_integral_ = false;

  // Statement state.
  bool skip_line_pending_ = false;
  bool value_before_ = false;  // a value ended and no comma has followed it yet
  std::int64_t repeats_left_ = 0;
};

}  // namespace zorvik
