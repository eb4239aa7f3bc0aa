// Writes the lines of one result file, all of one length. The file was opened
// without being cut; the writer overwrites it from its start and cuts it
// right after the first buffer of lines, so that an old, longer file never
// shows its tail after this run's lines, even when the run is killed. A
// refused write (a full disk, a file-size limit) cuts the file back to the end of the last whole
// line that reached it, so the file holds the lines written so far, and gives
// diagnostic 38; a file that could only be opened for reading gives 47 at the
// first write.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace zorvik {

class FileTable;
enum class Unit : int;

class ResultWriter {
 public:
  // Lines of line_length characters, each followed by a line feed.
  ResultWriter(FileTable& files, Unit unit, std::size_t line_length);
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  // Room for the next line; fill all line_length characters.
  char* next_line();
  // Writes out what is buffered.
  void flush();

 private:
  // `error_number` is the refused write's errno (0 for none).
  [[noreturn]] void fail_keeping_whole_lines(std::size_t written, int error_number);
  // Cuts a regular file at `end`; other files (a device, a pipe) have no end.
  bool cut_at(off_t end) const;

  FileTable& files_;
  Unit unit_;
  int fd_;
  std::size_t line_length_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;  // always whole lines
  bool written_ = false;
};

}  // namespace zorvik
