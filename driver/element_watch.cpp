#include "element_watch.h"

#include <cmath>

namespace zorvik {

void note_non_finite_element(const ColumnState& s, const Column& column, std::int64_t ISTEP,
                             NonFiniteElement& first) {
  if (first.step != 0) return;
  for (std::int32_t e = 1; e <= column.lay_max; ++e) {
    if (!std::isfinite(s.GAMMA_1(e)) || !std::isfinite(s.TAU_1(e))) {
      first = {ISTEP, e, s.GAMMA_1(e), s.TAU_1(e)};
      return;
    }
  }
}

}  // namespace zorvik
