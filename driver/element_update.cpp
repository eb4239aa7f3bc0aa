#include "element_update.h"

#include <cassert>

#include "column_stress.h"

namespace zorvik {

void update_elements(ColumnState& s, const Column& column, const Array2<double>& W_K_SUB,
                     const MemoryDecay& decay, global_para& gp) {
  assert(gp.lay_max() == column.lay_max);
  for (std::int64_t e = 1; e <= column.lay_max; ++e) {
    const double GTOT = (s.D_1(e + 1) - s.D_1(e)) / column.DZ(e);
    s.GAMMA_1(e) = update_damping_memory(GTOT, s.GAMMA_0(e), W_K_SUB.column(e), s.MEMORY_0.column(e), decay);
    s.D_GAMMA_1(e) = s.GAMMA_1(e) - s.GAMMA_0(e);
  }
  hyster_column(gp, s.TAU_1.data(), s.D_GAMMA_0.data(), s.D_GAMMA_1.data(), s.GAMMA_0.data(), s.GAMMA_1.data());
  for (std::int64_t e = 1; e <= column.lay_max; ++e) {
    s.GAMMA_0(e) = s.GAMMA_1(e);
    s.D_GAMMA_0(e) = s.D_GAMMA_1(e);
  }
}

}  // namespace zorvik
