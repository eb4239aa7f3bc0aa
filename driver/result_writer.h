// Writes the lines of one result file. The file was opened without being cut;
// the writer cuts it right after the last line it has written, so a complete
// write leaves exactly the new lines and a failed one the lines written so
// far. A file that could only be opened for reading gives diagnostic 47 at the
// first write, any refused write 38.
#pragma once

#include <string>
#include <string_view>

namespace zorvik {

class FileTable;

class ResultWriter {
 public:
  ResultWriter(FileTable& files, int unit);
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  // Room for n more characters of the current line; fill all n.
  char* append(std::size_t n);
  void end_line();
  // Writes out what is buffered and cuts the file after it.
  void finish();

 private:
  void flush();

  FileTable& files_;
  int unit_;
  std::string buffer_;
};

}  // namespace zorvik
