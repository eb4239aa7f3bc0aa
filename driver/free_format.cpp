#include "free_format.h"

#include <unistd.h>

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

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): fixed interface
FreeFormatReader::FreeFormatReader(int fd, int unit, std::string path)
    : fd_(fd),
      unit_(unit),
      path_(std::move(path)),
      buffer_(new char[kChunkSize]) {
  token_.reserve(64);
}

void FreeFormatReader::begin_statement() {
  if (skip_line_pending_) {
    skip_line();
    skip_line_pending_ = false;
  }
  value_before_ = false;
  slash_seen_ = false;
  repeats_left_ = 0;
  missing_ = false;
}

double FreeFormatReader::real(const char* name, std::int64_t index) {
  if (!next_value()) {
    note_missing(name, index);
    return 0.0;
  }
  return token_real();
}

std::int32_t FreeFormatReader::integer(const char* name, std::int64_t index) {
  if (!next_value()) {
    note_missing(name, index);
    return 0;
  }
  return token_integer();
}

void FreeFormatReader::end_statement() {
  if (missing_) {
    std::string detail = "no value for ";
    detail += missing_name_;
    if (missing_index_ > 0) {
      detail += '(';
      detail += std::to_string(missing_index_);
      detail += ')';
    }
    fail_file(diag::missing_value, unit_, path_, detail);
  }
  skip_line_pending_ = true;
}

void FreeFormatReader::note_missing(const char* name, std::int64_t index) {
  if (missing_) return;
  missing_ = true;
  missing_name_ = name;
  missing_index_ = index;
}

// Finds the next item's value: true with the value text in the current token,
// false when the item gets none (slash, empty value, empty repeat).
bool FreeFormatReader::next_value() {
  if (slash_seen_) return false;
  if (repeats_left_ > 0) {
    --repeats_left_;
    return !repeat_empty_;
  }
  for (;;) {
    if (pos_ == end_ && !refill()) stop(diag::end_of_file);
    const CharKind kind = kind_of(buffer_[pos_]);
    if (kind == CharKind::token) break;
    if (kind == CharKind::carriage_return) {
      if (!blank_at_cursor()) break;
      ++pos_;
    } else if (kind == CharKind::blank) {
      ++pos_;
    } else if (kind == CharKind::comma) {
      ++pos_;
      // The first comma after a value separates; any other gives an empty value.
      if (!value_before_) return false;
      value_before_ = false;
    } else {
      ++pos_;
      slash_seen_ = true;
      return false;
    }
  }
  read_token();
  value_before_ = true;
  classify_token();
  if (repeats_left_ > 0) {
    --repeats_left_;
    return !repeat_empty_;
  }
  return true;
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
  repeat_empty_ = false;
  if (star != nullptr) {
    const auto count_size = static_cast<std::size_t>(static_cast<const char*>(star) - text);
    repeats_left_ = repeat_count(text, count_size);
    if (repeats_left_ == 0) stop(diag::syntax_error);
    value_begin_ = count_size + 1;
    repeat_empty_ = value_begin_ == size;
    if (repeat_empty_) return;
  }
  const Shape shape = shape_of(text + value_begin_, size - value_begin_);
  if (shape == Shape::malformed) stop(diag::syntax_error);
  value_integral_ = shape == Shape::integral;
}

// The correctly rounded double of the value text. The C locale is in force
// all run, so strtod takes '.' as the decimal point.
double FreeFormatReader::token_real() {
  char* const text = token_.data() + value_begin_;
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == 'D' || *c == 'd' || *c == 'Q' || *c == 'q') *c = 'e';
  }
  const double value = std::strtod(text, nullptr);
  // The grammar admits no spelling of infinity: an infinite result overflowed.
  if (std::isinf(value)) stop(diag::conversion_error);
  return value;
}

std::int32_t FreeFormatReader::token_integer() {
  std::int32_t value = 0;
  if (!value_integral_ ||
      !to_int32(token_.data() + value_begin_, token_.size() - value_begin_, value)) {
    stop(diag::conversion_error);
  }
  return value;
}

// Reads the next chunk into the emptied buffer; false at end of file.
bool FreeFormatReader::refill() {
  pos_ = 0;
  end_ = read_into(0);
  return end_ > 0;
}

// Whether the cursor's byte and the one after it are in the buffer, moving the
// cursor's byte to the front and reading behind it when needed; false only
// when the file ends after the cursor's byte.
bool FreeFormatReader::ensure_two_bytes() {
  if (end_ - pos_ >= 2) return true;
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
    got = ::read(fd_, buffer_.get() + offset, kChunkSize - offset);
  } while (got < 0 && errno == EINTR);
  if (got < 0) stop(diag::read_error);
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

void FreeFormatReader::stop(int number) const { fail_file(number, unit_, path_); }

}  // namespace zorvik
