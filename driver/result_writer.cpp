#include "result_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fatal.h"
#include "file_table.h"

namespace zorvik {
namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 16;

}  // namespace

ResultWriter::ResultWriter(FileTable& files, int unit) : files_(files), unit_(unit) {
  buffer_.reserve(kFlushSize + 4096);
}

char* ResultWriter::append(std::size_t n) {
  const std::size_t at = buffer_.size();
  buffer_.resize(at + n);
  return buffer_.data() + at;
}

void ResultWriter::end_line() {
  buffer_.push_back('\n');
  if (buffer_.size() >= kFlushSize) flush();
}

void ResultWriter::finish() { flush(); }

void ResultWriter::flush() {
  if (buffer_.empty()) return;
  if (files_.read_only(unit_)) fail_file(diag::write_readonly, unit_, files_.path(unit_));
  const int fd = files_.fd(unit_);
  files_.mark_written(unit_);
  const char* p = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_file(diag::write_error, unit_, files_.path(unit_));
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  buffer_.clear();
  // Cut an old, longer file right after what this run has written.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(fd, end) != 0) fail_file(diag::write_error, unit_, files_.path(unit_));
  }
}

}  // namespace zorvik
