#include "result_writing.h"

#include <sys/stat.h>

#include <chrono>

#include "file_table.h"
#include "result_files.h"

namespace zorvik {

WritingRate time_result_writing(FileTable& files, const IncidentRecord& incident, const Column& column,
                                const Records& records) {
  const auto start = std::chrono::steady_clock::now();
  write_result_files(files, incident, column, records);
  const auto stop = std::chrono::steady_clock::now();
  WritingRate rate;
  rate.seconds = std::chrono::duration<double>(stop - start).count();
  for (const FileEntry& f : kFileTable) {
    struct stat st {};
    if (is_result_file(f.unit) && ::fstat(files.fd(f.unit), &st) == 0) rate.bytes += st.st_size;
  }
  return rate;
}

}  // namespace zorvik
