#include "recording.h"

#include <cmath>

namespace zorvik {
namespace {

// peak(a, old): a if a > old, else old; |v| clears the sign bit.
inline void raise_peak(double& peak, double v) {
  const double a = std::fabs(v);
  if (a > peak) peak = a;
}

}  // namespace

Records::Records(std::int32_t NT, std::int32_t NL)
    : OUT_A(std::int64_t{NL} + 1, NT), OUT_V(std::int64_t{NL} + 1, NT), OUT_D(std::int64_t{NL} + 1, NT),
      OUT_GAMMA(NL, NT), OUT_TAU(NL, NT), MAX_V(std::int64_t{NL} + 1), MAX_D(std::int64_t{NL} + 1),
      MAX_GAMMA(NL), MAX_TAU(NL) {}

void record_step(Records& r, const ColumnState& s, const Column& column, std::int32_t NL) {
  const std::int32_t i = ++r.IREC;
  const std::int32_t base = column.lay_max + 1;
  for (std::int64_t j = 1; j <= std::int64_t{NL} + 1; ++j) {
    const std::int32_t n = column.NODE_INDEX(j);
    r.OUT_A(j, i) = s.A_NT(n);
    r.OUT_V(j, i) = s.V_NT(n) - s.V_NT(base);
    r.OUT_D(j, i) = s.D_2(n) - s.D_2(base);
    raise_peak(r.MAX_V(j), r.OUT_V(j, i));
    raise_peak(r.MAX_D(j), r.OUT_D(j, i));
  }
  for (std::int64_t j = 1; j <= NL; ++j) {
    const std::int32_t m = column.LAYER_INDEX(j);
    r.OUT_GAMMA(j, i) = s.GAMMA_1(m);
    r.OUT_TAU(j, i) = s.TAU_1(m);
    raise_peak(r.MAX_GAMMA(j), s.GAMMA_1(m));
    raise_peak(r.MAX_TAU(j), s.TAU_1(m));
  }
}

}  // namespace zorvik
