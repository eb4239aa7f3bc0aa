#pragma once

#include "arrays.h"
#include "column.h"
#include "column_state.h"
#include "column_stress.h"
#include "global_para.h"
#include "relaxation_damping.h"

namespace zorvik {

// Every element, surface down: total strain from its two nodes, damping
// memory, corrected strain and increment; then the stresses of all elements
// from the soil model; then the current strains and increments become the
// previous ones. Returns whether the strain or the stress of any element is
// NaN or infinite, without a branch per element.
[[nodiscard]] bool update_elements(ColumnState& state, const Column& column, const Array2<double>& W_K_SUB,
                                   const MemoryDecay& decay, global_para& gp, column_stress_space& stress_space);

}  // namespace zorvik
