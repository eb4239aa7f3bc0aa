// Throughput of writing the twelve result files: the bytes of text written
// and the time taken, for a run whose tables are already recorded.
#pragma once

#include <cstdint>

#include "column.h"
#include "input_files.h"
#include "recording.h"

namespace zorvik {

class FileTable;

struct WritingRate {
  std::int64_t bytes = 0;  // of all twelve files
  double seconds = 0.0;

  double mb_per_s() const { return static_cast<double>(bytes) / seconds * 1e-6; }
};

// Writes the result files into the open file table and times it.
WritingRate time_result_writing(FileTable& files, const IncidentRecord& incident, const Column& column,
                                const Records& records);

}  // namespace zorvik
