// The file in which the libm probe hands its counts to zorvik_bench: for
// log10 and then for pow, a head, then the `kept` sampled arguments.
#pragma once

#include <cstdint>

namespace zorvik {

struct ProbeArguments {
  double x;
  double y;  // pow only
};

struct ProbeHead {
  std::uint64_t count;  // calls made
  std::uint64_t kept;   // arguments sampled
};

}  // namespace zorvik
