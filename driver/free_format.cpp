#include "free_format.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "fatal.h"

namespace zorvik {
namespace {

// What a byte is to the reader. A carriage return is a blank when a line feed
// follows it and a token character otherwise.
enum class CharKind : unsigned char { token, blank, comma, slash, carriage_return };

constexpr std::array<CharKind, 256> make_kinds() {
  std::array<CharKind, 256> kinds{};
  kinds.fill(CharKind::token);
  kinds[' '] = CharKind::blank;
  kinds['\t'] = CharKind::blank;
  kinds['\n'] = CharKind::blank;
  kinds[','] = CharKind::comma;
  kinds['/'] = CharKind::slash;
  kinds['\r'] = CharKind::carriage_return;
  return kinds;
}

constexpr std::array<CharKind, 256> kKinds = make_kinds();

CharKind kind_of(char c) { return kKinds[static_cast<unsigned char>(c)]; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_sign(char c) { return c == '+' || c == '-'; }

bool is_exponent_letter(char c) {
  switch (c) {
    case 'E': case 'e': case 'D': case 'd': case 'Q': case 'q': return true;
    default: return false;
  }
}

enum class Shape { malformed, integral, real };

// Optional sign; digits with at most one decimal point among them, at least
// one digit; optional exponent: E, D or Q in either case, optional sign, at
// least one digit. Integral: no point and no exponent.
Shape shape_of(const char* s, std::size_t n) {
  std::size_t i = 0;
  if (i < n && is_sign(s[i])) ++i;
  std::size_t digits = 0;
  bool point = false;
  for (; i < n; ++i) {
    if (is_digit(s[i])) {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return Shape::malformed;
  if (i == n) return point ? Shape::real : Shape::integral;
  if (!is_exponent_letter(s[i])) return Shape::malformed;
  ++i;
  if (i < n && is_sign(s[i])) ++i;
  const std::size_t exponent_digits_start = i;
  while (i < n && is_digit(s[i])) ++i;
  return i > exponent_digits_start && i == n ? Shape::real : Shape::malformed;
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The count of a repeat "r*": unsigned decimal digits, 1 to 2147483647.
// 0 when the text is no such count.
std::int64_t repeat_count(const char* s, std::size_t n) {
  std::int64_t r = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!is_digit(s[i])) return 0;
    r = r * 10 + (s[i] - '0');
    if (r > kInt32Max) return 0;
  }
  return r;
}

// The value of an integral token (optional sign, digits); false when it lies
// outside the 32-bit signed range.
bool to_int32(const char* s, std::size_t n, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (is_sign(s[0])) {
    negative = s[0] == '-';
    ++i;
  }
  const std::int64_t limit = negative ? kInt32Max + 1 : kInt32Max;
  std::int64_t magnitude = 0;
  for (; i < n; ++i) {
    magnitude = magnitude * 10 + (s[i] - '0');
    if (magnitude > limit) return false;
  }
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

constexpr std::size_t kShownTokenBytes = 40;

// A token for a diagnostic: printable ASCII as it stands, every other byte,
// the quote and the backslash as \xHH, clipped after kShownTokenBytes bytes.
std::string shown(const std::string& token) {
  std::string text = "\"";
  for (std::size_t i = 0; i < token.size() && i < kShownTokenBytes; ++i) {
    const auto c = static_cast<unsigned char>(token[i]);
    if (c > ' ' && c < 0x7f && c != '"' && c != '\\') {
      text += static_cast<char>(c);
    } else {
      constexpr const char* kHex = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[c >> 4U];
      text += kHex[c & 0xFU];
    }
  }
  text += '"';
  if (token.size() > kShownTokenBytes) text += "...";
  return text;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): fixed interface
FreeFormatReader::FreeFormatReader(int fd, int unit, std::string path)
    : fd_(fd), unit_(unit), path_(std::move(path)), buffer_(new char[kChunkSize]) {
  token_.reserve(64);
}

FreeFormatReader::FreeFormatReader(int fd) : fd_(fd), pread_(true), buffer_(new char[kChunkSize]) {}

std::optional<FreeFormatReader::WrittenValue> FreeFormatReader::value_as_written(int fd,
                                                                                 const ItemPlace& place) {
  try {
    FreeFormatReader in(fd);
    for (std::int64_t s = 1; s < place.statement; ++s) {
      in.begin_statement();
      for (std::int64_t k = 1; k <= place.statement_size; ++k) in.next_value("", 0);
      in.end_statement();
    }
    in.begin_statement();
    for (std::int64_t k = 1; k <= place.item; ++k) in.next_value("", 0);
    const std::optional<std::uint64_t> line = in.line_of(in.token_offset_);
    if (!line) return std::nullopt;
    return WrittenValue{in.token_.substr(in.value_begin_), *line};
  } catch (const FatalError&) {
    return std::nullopt;  // the file no longer holds what was read from it
  }
}

void FreeFormatReader::begin_statement() {
  if (skip_line_pending_) {
    skip_line();
    skip_line_pending_ = false;
  }
  value_before_ = false;
  repeats_left_ = 0;
}

double FreeFormatReader::real(const char* name, std::int64_t index) {
  next_value(name, index);
  return token_real();
}

std::int32_t FreeFormatReader::integer(const char* name, std::int64_t index) {
  next_value(name, index);
  return token_integer();
}

void FreeFormatReader::end_statement() { skip_line_pending_ = true; }

// Finds the value of the item `name`(`index`) and leaves its text in the
// current token; an item that gets none ends the run there.
void FreeFormatReader::next_value(const char* name, std::int64_t index) {
  item_name_ = name;
  item_index_ = index;
  if (repeats_left_ > 0) {
    --repeats_left_;
    return;
  }
  for (;;) {
    if (pos_ == end_ && !refill()) stop_at_end();
    const CharKind kind = kind_of(buffer_[pos_]);
    if (kind == CharKind::token) break;
    if (kind == CharKind::carriage_return) {
      if (!blank_at_cursor()) break;
      ++pos_;
    } else if (kind == CharKind::blank) {
      ++pos_;
    } else if (kind == CharKind::comma) {
      // The first comma after a value separates; any other gives an empty value.
      if (!value_before_) stop_without_value(origin_ + pos_, "an empty value between commas");
      value_before_ = false;
      ++pos_;
    } else {
      stop_without_value(origin_ + pos_, "a slash ended the read");
    }
  }
  token_offset_ = origin_ + pos_;
  read_token();
  value_before_ = true;
  classify_token();
  if (repeats_left_ > 0) --repeats_left_;
}

// Reads the token at the cursor, a maximal run of token characters, into
// token_.
void FreeFormatReader::read_token() {
  token_.clear();
  for (;;) {
    if (pos_ == end_ && !refill()) return;
    std::size_t stop = pos_;
    while (stop < end_ && kind_of(buffer_[stop]) == CharKind::token) ++stop;
    token_.append(buffer_.get() + pos_, stop - pos_);
    pos_ = stop;
    if (pos_ == end_) continue;
    if (kind_of(buffer_[pos_]) != CharKind::carriage_return || blank_at_cursor()) return;
    token_ += '\r';
    ++pos_;
  }
}

// Checks the token by the number grammar and splits off a repeat count.
void FreeFormatReader::classify_token() {
  const char* text = token_.data();
  const std::size_t size = token_.size();
  const void* star = std::memchr(text, '*', size);
  value_begin_ = 0;
  repeats_left_ = 0;
  if (star != nullptr) {
    const auto count_size = static_cast<std::size_t>(static_cast<const char*>(star) - text);
    repeats_left_ = repeat_count(text, count_size);
    if (repeats_left_ == 0) stop_at_token(diag::syntax_error);
    value_begin_ = count_size + 1;
    if (value_begin_ == size) stop_without_value(token_offset_, "an empty repeat");
  }
  const Shape shape = shape_of(text + value_begin_, size - value_begin_);
  if (shape == Shape::malformed) stop_at_token(diag::syntax_error);
  value_integral_ = shape == Shape::integral;
}

// The correctly rounded double of the value text. The C locale is in force
// all run, so strtod takes '.' as the decimal point; it knows E alone as an
// exponent letter, so a D or Q stands in as e while it converts.
double FreeFormatReader::token_real() {
  char* const text = token_.data() + value_begin_;
  char* const letter = std::strpbrk(text, "DdQq");
  const char written = letter != nullptr ? *letter : '\0';
  if (letter != nullptr) *letter = 'e';
  const double value = std::strtod(text, nullptr);
  if (letter != nullptr) *letter = written;
  // The grammar admits no spelling of infinity: an infinite result overflowed.
  if (std::isinf(value)) stop_at_token(diag::conversion_error);
  return value;
}

std::int32_t FreeFormatReader::token_integer() {
  std::int32_t value = 0;
  if (!value_integral_ ||
      !to_int32(token_.data() + value_begin_, token_.size() - value_begin_, value)) {
    stop_at_token(diag::conversion_error);
  }
  return value;
}

// Reads the next chunk into the emptied buffer; false at end of file.
bool FreeFormatReader::refill() {
  origin_ += end_;
  pos_ = 0;
  end_ = read_into(0);
  return end_ > 0;
}

// Whether the cursor's byte and the one after it are in the buffer, moving the
// cursor's byte to the front and reading behind it when needed; false only
// when the file ends after the cursor's byte.
bool FreeFormatReader::ensure_two_bytes() {
  if (end_ - pos_ >= 2) return true;
  origin_ += pos_;
  buffer_[0] = buffer_[pos_];
  pos_ = 0;
  end_ = 1 + read_into(1);
  return end_ >= 2;
}

// Reads at most the room behind offset into the buffer; the count read, 0 at
// end of file.
std::size_t FreeFormatReader::read_into(std::size_t offset) {
  ssize_t got = 0;
  do {
    got = pread_ ? ::pread(fd_, buffer_.get() + offset, kChunkSize - offset, static_cast<off_t>(origin_ + offset))
                 : ::read(fd_, buffer_.get() + offset, kChunkSize - offset);
  } while (got < 0 && errno == EINTR);
  if (got < 0) stop(diag::read_error, "reading " + item());
  return static_cast<std::size_t>(got);
}

// Whether the byte at the cursor is a blank: blank, tab, line feed, or a
// carriage return before a line feed.
bool FreeFormatReader::blank_at_cursor() {
  const CharKind kind = kind_of(buffer_[pos_]);
  if (kind == CharKind::blank) return true;
  return kind == CharKind::carriage_return && ensure_two_bytes() && buffer_[pos_ + 1] == '\n';
}

// Moves the cursor past the next line feed, or to the end of the file.
void FreeFormatReader::skip_line() {
  for (;;) {
    if (pos_ == end_ && !refill()) return;
    const void* line_feed = std::memchr(buffer_.get() + pos_, '\n', end_ - pos_);
    if (line_feed != nullptr) {
      pos_ = static_cast<std::size_t>(static_cast<const char*>(line_feed) - buffer_.get()) + 1;
      return;
    }
    pos_ = end_;
  }
}

// "T(3)" or "FMAX".
std::string FreeFormatReader::item() const {
  std::string text = item_name_;
  if (item_index_ > 0) {
    text += '(';
    text += std::to_string(item_index_);
    text += ')';
  }
  return text;
}

std::optional<std::uint64_t> FreeFormatReader::line_of(std::uint64_t offset) const {
  std::uint64_t line = 1;
  std::array<char, 1U << 16U> chunk{};
  for (std::uint64_t at = 0; at < offset;) {
    const std::uint64_t want = std::min<std::uint64_t>(chunk.size(), offset - at);
    const ssize_t got = ::pread(fd_, chunk.data(), want, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    const auto n = static_cast<std::size_t>(got);
    line += static_cast<std::uint64_t>(std::count(chunk.data(), chunk.data() + n, '\n'));
    at += n;
  }
  return line;
}

// " at line N" for the byte at `offset`, or nothing when the line is unknown.
std::string FreeFormatReader::at_line(std::uint64_t offset) const {
  const std::optional<std::uint64_t> line = line_of(offset);
  return line ? " at line " + std::to_string(*line) : "";
}

void FreeFormatReader::stop(int number, const std::string& where, std::string_view detail) const {
  FatalError error = file_error(number, unit_, path_, detail);
  error.locate("reading " + item() + where);
  throw error;
}

void FreeFormatReader::stop_at_token(int number) const {
  stop(number, at_line(token_offset_) + ": token " + shown(token_));
}

void FreeFormatReader::stop_at_end() const {
  // The lines read: up to the one that holds the last byte.
  const std::uint64_t end = origin_ + end_;
  const std::optional<std::uint64_t> lines = end == 0 ? 0 : line_of(end - 1);
  stop(diag::end_of_file, ": end of file" + (lines ? " after line " + std::to_string(*lines) : ""));
}

void FreeFormatReader::stop_without_value(std::uint64_t offset, const char* cause) const {
  stop(diag::missing_value, at_line(offset) + ": " + cause, "no value for " + item());
}

}  // namespace zorvik
