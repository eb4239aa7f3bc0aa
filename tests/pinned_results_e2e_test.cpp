// Pinned results: the bytes of all twelve result files of two whole analyses,
// as 64-bit FNV-1a checksums. Both were checked byte for byte against an
// independent implementation of the same arithmetic; any change of a single
// result byte, by a faster loop, writer or build, fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "run_zorvik.h"

namespace zorvik::e2e {
namespace {

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t h = 0xcbf29ce484222325U;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3U;
  }
  return h;
}

// The example's record with every acceleration multiplied by `factor`; the
// times as written.
std::string scaled_record(const std::string& incident, double factor) {
  std::istringstream in(incident);
  std::string time;
  std::string acceleration;
  std::string out;
  while (in >> time >> acceleration) {
    char line[80];
    std::snprintf(line, sizeof line, "%s %.17g\n", time.c_str(),
                  std::strtod(acceleration.c_str(), nullptr) * factor);
    out += line;
  }
  return out;
}

struct PinnedCase {
  const char* name;
  double factor;  // applied to every incident acceleration (1: the example as it is)
  std::uint64_t checksums[std::size(kResultFiles)];
};

// The second case moves the column by about 1e-305 m/s^2: its histories and
// peaks depend on the flush-to-zero and denormals-are-zero mode of the run.
constexpr PinnedCase kCases[] = {
    {"bundled example",
     1.0,
     {0xe86df4bab6cdf48bU, 0x81b49fcbb3b827d0U, 0xa524e6ac36162a5fU, 0x7e0fc119fd94b0bcU,
      0xd878c8fb866e30bbU, 0xdb9ca3c01c4fe0beU, 0xcd67cb50b7884539U, 0xf40532b64e9ac7e5U,
      0xad314ffc39ce8a61U, 0x010502bc7f9b58e9U, 0x8ca87e3eda281fb0U, 0x7e4ecfdacc09dd41U}},
    {"bundled example x 1e-305 (flush-to-zero)",
     1e-305,
     {0xe86df4bab6cdf48bU, 0x81b49fcbb3b827d0U, 0xa524e6ac36162a5fU, 0x4f8b4a9fedfe97b5U,
      0xf4d3169e5e37afcdU, 0xef94e71c5b3ee351U, 0xef94e71c5b3ee351U, 0xe3d2cd6367e8101dU,
      0xcf166f293a4b4454U, 0x00c5637abfe23665U, 0x957fc6e719092dc5U, 0x957fc6e719092dc5U}},
};

TEST(PinnedResults, EveryResultByteOfTwoAnalysesIsUnchanged) {
  for (const PinnedCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const WorkDir dir;
    dir.copy_example();
    // Over longer result files of an earlier run: pins a result file not cut
    // at the end of what this run wrote.
    for (const std::string_view name : kResultFiles) dir.write(name, std::string(200000, '9') + "\n");
    if (c.factor != 1.0) dir.write("incident.dat", scaled_record(dir.read("incident.dat"), c.factor));
    const RunResult r = dir.run();
    expect_complete(r);
    EXPECT_EQ(r.out, complete_run_output(51));
    for (std::size_t k = 0; k < std::size(kResultFiles); ++k) {
      char got[24];
      std::snprintf(got, sizeof got, "0x%016llxU", static_cast<unsigned long long>(fnv1a(dir.read(kResultFiles[k]))));
      char want[24];
      std::snprintf(want, sizeof want, "0x%016llxU", static_cast<unsigned long long>(c.checksums[k]));
      EXPECT_STREQ(got, want) << kResultFiles[k];
    }
  }
}

}  // namespace
}  // namespace zorvik::e2e
