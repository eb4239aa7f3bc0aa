// The twelve result files, written after the time loop in unit order 31 to
// 42, each line exactly its fields and a line feed.
#pragma once

#include "column.h"
#include "input_files.h"
#include "recording.h"

namespace zorvik {

class FileTable;

void write_result_files(FileTable& files, const IncidentRecord& incident, const Column& column,
                        const Records& records);

}  // namespace zorvik
