#include "value_line.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace zorvik {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

// The number of values a token stands for.
std::int64_t values_in(const std::string& token) {
  const std::size_t star = token.find('*');
  return star == std::string::npos ? 1 : std::strtoll(token.substr(0, star).c_str(), nullptr, 10);
}

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a file and a place in it
std::int64_t line_of_value(int fd, std::int64_t n) {
  std::vector<char> chunk(std::size_t{64} * 1024);
  std::string token;
  std::int64_t line = 1;
  std::int64_t token_line = 1;
  std::int64_t values = 0;
  // Ends the token in hand; true when it holds value n.
  const auto end_token = [&] {
    if (token.empty()) return false;
    values += values_in(token);
    token.clear();
    return values >= n;
  };
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(fd, chunk.data(), chunk.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return end_token() ? token_line : 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
      const char c = chunk[i];
      if (!is_separator(c)) {
        if (token.empty()) token_line = line;
        token += c;
      } else {
        if (end_token()) return token_line;
        if (c == '\n') ++line;
      }
    }
    offset += got;
  }
}

}  // namespace zorvik
