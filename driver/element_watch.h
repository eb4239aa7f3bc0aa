// The first element whose corrected strain or stress became NaN or infinite:
// the earliest trace of a diverging column that the run can point at. Looked
// for after every step whose element update saw such a value, until found.
#pragma once

#include <cstdint>

#include "column.h"
#include "column_state.h"

namespace zorvik {

struct NonFiniteElement {
  std::int64_t step = 0;  // 0 while every element has stayed finite
  std::int32_t element = 0;
  double strain = 0.0;  // GAMMA_1 and TAU_1 of that element in that step
  double stress = 0.0;
};

// Records the lowest-numbered non-finite element of step ISTEP, unless one
// was found before.
void note_non_finite_element(const ColumnState& state, const Column& column, std::int64_t ISTEP,
                             NonFiniteElement& first);

}  // namespace zorvik
