#include "file_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "fatal.h"

namespace zorvik {
namespace {

std::size_t slot_of(Unit unit) {
  for (std::size_t k = 0; k < kFileTable.size(); ++k) {
    if (kFileTable[k].unit == unit) return k;
  }
  throw std::logic_error("unit " + std::to_string(unit_number(unit)) + " is not in the file table");
}

std::string working_directory() {
  std::string dir(PATH_MAX, '\0');
  while (::getcwd(dir.data(), dir.size()) == nullptr) {
    if (errno != ERANGE) return {};
    dir.resize(dir.size() * 2);
  }
  dir.resize(dir.find('\0'));
  return dir;
}

bool refused_for_permission(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

int open_failure_number(int error) {
  if (refused_for_permission(error)) return diag::permission_denied;
  if (error == ENOENT) return diag::file_not_found;
  return diag::open_failure;
}

}  // namespace

FileTable::~FileTable() {
  for (OpenFile& f : files_) {
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
  }
}

void FileTable::open_all() {
  const std::string dir = working_directory();
  for (std::size_t k = 0; k < kFileTable.size(); ++k) {
    OpenFile& f = files_[k];
    const char* name = kFileTable[k].name;
    f.path = dir.empty() ? std::string(name) : dir + (dir == "/" ? "" : "/") + name;
    constexpr mode_t kMode = 0666;
    f.fd = ::open(name, O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC, kMode);
    if (f.fd < 0 && refused_for_permission(errno)) {
      f.fd = ::open(name, O_RDONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, kMode);
      f.read_only = true;
    }
    if (f.fd < 0) fail(open_failure_number(errno), kFileTable[k].unit);
  }
}

void FileTable::close_all() {
  std::optional<Unit> failed;
  int close_errno = 0;
  for (std::size_t k = 0; k < kFileTable.size(); ++k) {
    OpenFile& f = files_[k];
    if (f.fd < 0) continue;
    if (::close(f.fd) != 0 && f.written && !failed) {
      failed = kFileTable[k].unit;
      close_errno = errno;
    }
    f.fd = -1;
  }
  if (failed) fail_write(*failed, close_errno);
}

int FileTable::fd(Unit unit) const { return entry(unit).fd; }
bool FileTable::read_only(Unit unit) const { return entry(unit).read_only; }
const std::string& FileTable::path(Unit unit) const { return entry(unit).path; }
void FileTable::mark_written(Unit unit) { entry(unit).written = true; }

void FileTable::fail(int number, Unit unit, std::string_view detail) const {
  throw file_error(number, unit_number(unit), path(unit), detail);
}

void FileTable::fail_write(Unit unit, int error_number) const {
  FatalError error = file_error(diag::write_error, unit_number(unit), path(unit));
  if (error_number != 0) error.locate(std::string("writing: ") + std::strerror(error_number));
  throw error;
}

const FileTable::OpenFile& FileTable::entry(Unit unit) const { return files_[slot_of(unit)]; }
FileTable::OpenFile& FileTable::entry(Unit unit) { return files_[slot_of(unit)]; }

}  // namespace zorvik
