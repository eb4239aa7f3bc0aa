#include "element_update.h"

#include <bit>
#include <cassert>
#include <cstdint>

namespace zorvik {

bool update_elements(ColumnState& s, const Column& column, const Array2<double>& W_K_SUB,
                     const MemoryDecay& decay, global_para& gp, column_stress_space& stress_space) {
  assert(gp.lay_max() == column.lay_max);
  for (std::int64_t e = 1; e <= column.lay_max; ++e) {
    const double GTOT = (s.D_1(e + 1) - s.D_1(e)) / column.DZ(e);
    s.GAMMA_1(e) = update_damping_memory(GTOT, s.GAMMA_0(e), W_K_SUB.column(e), s.MEMORY_0.column(e), decay);
    s.D_GAMMA_1(e) = s.GAMMA_1(e) - s.GAMMA_0(e);
  }
  hyster_column(gp, stress_space, s.TAU_1.data(), s.D_GAMMA_0.data(), s.D_GAMMA_1.data(), s.GAMMA_0.data(),
                s.GAMMA_1.data());
  // x - x is +0 for every finite x and NaN otherwise: the bits of all of them
  // OR-ed together are nonzero only when some strain or stress is not finite.
  std::uint64_t differences = 0;
  for (std::int64_t e = 1; e <= column.lay_max; ++e) {
    differences |= std::bit_cast<std::uint64_t>(s.GAMMA_1(e) - s.GAMMA_1(e)) |
                   std::bit_cast<std::uint64_t>(s.TAU_1(e) - s.TAU_1(e));
    s.GAMMA_0(e) = s.GAMMA_1(e);
    s.D_GAMMA_0(e) = s.D_GAMMA_1(e);
  }
  return differences != 0;
}

}  // namespace zorvik
