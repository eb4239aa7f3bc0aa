// Histories and peak values at the recorded points, taken at the first step
// and every M_SUB-th step after it: the times of the input record.
#pragma once

#include <cstdint>

#include "arrays.h"
#include "column.h"
#include "column_state.h"
#include "element_watch.h"

namespace zorvik {

struct Records {
  Records() = default;
  Records(std::int32_t NT, std::int32_t NL);

  // (recorded point, record): the points of one record lie together, in the
  // order of a line of the result file.
  Array2<double> OUT_A;      // absolute acceleration of the node at the top of each layer
  Array2<double> OUT_V;      // velocity relative to the base node
  Array2<double> OUT_D;      // displacement relative to the base node
  Array2<double> OUT_GAMMA;  // corrected strain of each layer's recorded element
  Array2<double> OUT_TAU;    // shear stress of that element
  // Largest absolute values so far; a NaN leaves a peak unchanged.
  Array1<double> MAX_V, MAX_D, MAX_GAMMA, MAX_TAU;
  std::int32_t IREC = 0;  // rows filled
  NonFiniteElement first_non_finite_element;  // watched in every step, not only recorded ones
};

// Whether step ISTEP is recorded: ISTEP - 1 a multiple of M_SUB, tested in
// integer arithmetic so that no run records more rows than the tables hold.
inline bool is_recorded_step(std::int64_t ISTEP, std::int32_t M_SUB) {
  return (ISTEP - 1) % M_SUB == 0;
}

// Appends the state at the end of a step as the next row and updates the peaks.
void record_step(Records& records, const ColumnState& state, const Column& column, std::int32_t NL);

}  // namespace zorvik
