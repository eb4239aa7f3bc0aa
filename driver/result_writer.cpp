#include "result_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "fatal.h"
#include "file_table.h"

namespace zorvik {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 16;

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a unit and a length in characters
ResultWriter::ResultWriter(FileTable& files, Unit unit, std::size_t line_length)
    : files_(files), unit_(unit), fd_(files.fd(unit)), line_length_(line_length),
      capacity_(std::max(kBufferSize, line_length + 1)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

char* ResultWriter::next_line() {
  if (capacity_ - used_ < line_length_ + 1) flush();
  char* line = buffer_.get() + used_;
  line[line_length_] = '\n';
  used_ += line_length_ + 1;
  return line;
}

void ResultWriter::flush() {
  if (used_ == 0) return;
  if (files_.read_only(unit_)) files_.fail(diag::write_readonly, unit_);
  files_.mark_written(unit_);
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_keeping_whole_lines(done, n < 0 ? errno : 0);
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
  // Cut an old, longer file right after the first lines of this run, once:
  // from then on the file only grows, so whenever the run stops it holds
  // nothing but this run's lines.
  if (!written_ && !cut_at(::lseek(fd_, 0, SEEK_CUR))) files_.fail_write(unit_, errno);
  written_ = true;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a byte count, then an errno
void ResultWriter::fail_keeping_whole_lines(std::size_t written, int error_number) {
  // The buffer began at the end of a line: the file's last whole line ends
  // at the last line feed that reached it.
  const std::size_t last_feed = std::string_view(buffer_.get(), written).rfind('\n');
  const std::size_t whole = last_feed == std::string_view::npos ? 0 : last_feed + 1;
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);
  if (end >= 0) cut_at(end - static_cast<off_t>(written - whole));
  files_.fail_write(unit_, error_number);
}

bool ResultWriter::cut_at(off_t end) const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return true;
  return end >= 0 && ::ftruncate(fd_, end) == 0;
}

}  // namespace zorvik
