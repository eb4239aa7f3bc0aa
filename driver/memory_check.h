// Memory that cannot exist is refused before the column is built, instead of
// being filled until the system kills the process.
#pragma once

#include <cstdint>

#include "column.h"
#include "input_files.h"

namespace zorvik {

// Ends the run with diagnostic 41 when the resampled record and the histories
// alone need more memory or address space than the system gives (an M_SUB or
// NT typed with too many digits). Called before the record is resampled.
void check_record_memory(const RunSettings& s, std::int32_t NTT);

// Ends the run with diagnostic 41 when the arrays of the whole run, with NTT
// steps and the column as divided, need more memory than physical memory and
// swap hold or the control group's memory limit allows, or more address
// space than the address-space or data-size limit of the process allows.
// Called before the per-element arrays are allocated.
void check_memory(const RunSettings& s, std::int32_t NTT, const Column& column);

}  // namespace zorvik
