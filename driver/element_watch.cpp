#include "element_watch.h"

#include <bit>
#include <cmath>

namespace zorvik {
namespace {

// Whether a value of either array is NaN or infinite: x - x is +0 for every
// finite x and NaN otherwise.
bool any_non_finite(const double* a, const double* b, std::int64_t n) {
  std::uint64_t differences = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    differences |= std::bit_cast<std::uint64_t>(a[i] - a[i]) | std::bit_cast<std::uint64_t>(b[i] - b[i]);
  }
  return differences != 0;
}

}  // namespace

void watch_elements(const ColumnState& s, const Column& column, std::int64_t ISTEP, NonFiniteElement& first) {
  if (first.step != 0 || !any_non_finite(s.GAMMA_1.data(), s.TAU_1.data(), column.lay_max)) return;
  for (std::int32_t e = 1; e <= column.lay_max; ++e) {
    if (!std::isfinite(s.GAMMA_1(e)) || !std::isfinite(s.TAU_1(e))) {
      first = {ISTEP, e, s.GAMMA_1(e), s.TAU_1(e)};
      return;
    }
  }
}

}  // namespace zorvik
