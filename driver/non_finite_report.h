// A run whose results hold a NaN or an infinity never reports success: after
// all twelve result files are written it ends with diagnostic 73, naming the
// first such value written and the earliest cause that the run can see.
#pragma once

#include <string>

namespace zorvik {

struct Analysis;
class FileTable;

// What diagnostic 73 says after "non-finite result: ", or an empty string
// when every value written is finite. May read "incident.dat" again, which
// must still be open.
std::string non_finite_report(const Analysis& run, const FileTable& files);

}  // namespace zorvik
