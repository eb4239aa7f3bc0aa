// A run whose results hold a NaN or an infinity never reports success: after
// all twelve result files are written it ends with diagnostic 73, naming the
// first such value written and the earliest cause that the run can see.
#pragma once

#include <cstdint>
#include <string>

namespace zorvik {

struct Analysis;
class FileTable;
struct Records;

// A value of the histories that is not finite.
struct NonFiniteResult {
  const char* quantity = nullptr;  // null while every recorded value is finite
  std::int64_t layer = 0;          // recorded point: the layer (NL + 1: the half-space top)
  bool at_node = false;            // the top of the layer, or its recorded element
  std::int32_t record = 0;         // row of the tables and line of "t.dat"
  double value = 0.0;
};

// The first such value in the order of recording: record by record, the
// acceleration, velocity and displacement of each node from the top down,
// then the strain and stress of each recorded element.
NonFiniteResult first_non_finite(const Records& records);

// What diagnostic 73 says after "non-finite result: ", or an empty string
// when every value written is finite. May read "incident.dat" again, which
// must still be open.
std::string non_finite_report(const Analysis& run, const FileTable& files);

}  // namespace zorvik
