// The state of the column that the time loop advances, created whole and all
// zero before the first step: the column starts from rest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "arrays.h"
#include "input_files.h"

namespace zorvik {

struct ColumnState {
  ColumnState() = default;
  explicit ColumnState(std::int32_t lay_max)
      : V_EST_1(std::int64_t{lay_max} + 1), V_EST_2(std::int64_t{lay_max} + 1),
        A_NT(std::int64_t{lay_max} + 1), V_NT(std::int64_t{lay_max} + 1),
        D_1(std::int64_t{lay_max} + 1), D_2(std::int64_t{lay_max} + 1), TAU_1(lay_max),
        GAMMA_1(lay_max), GAMMA_0(lay_max), D_GAMMA_1(lay_max), D_GAMMA_0(lay_max),
        MEMORY_0(kMechanisms, lay_max) {}

  // Nodes 1..lay_max + 1.
  Array1<double> V_EST_1;  // velocity half a step before the step time
  Array1<double> V_EST_2;  // velocity half a step after it
  Array1<double> A_NT;     // acceleration at the step time
  Array1<double> V_NT;     // velocity at the step time
  Array1<double> D_1;      // displacement at the step time
  Array1<double> D_2;      // displacement one step later
  // Elements 1..lay_max.
  Array1<double> TAU_1;      // shear stress
  Array1<double> GAMMA_1;    // corrected strain of this step
  Array1<double> GAMMA_0;    // corrected strain of the previous step
  Array1<double> D_GAMMA_1;  // strain increment of this step
  Array1<double> D_GAMMA_0;  // strain increment of the previous step
  // Memory variables (mechanism, element). The new values of a step replace
  // the old ones in place.
  Array2<double> MEMORY_0;

  // Bytes per element: a node's six values (lay_max + 1 nodes count as
  // lay_max), an element's five and its memory variables.
  static constexpr std::size_t bytes_per_element = (6 + 5 + kMechanisms) * sizeof(double);
};
static_assert(sizeof(ColumnState) == 11 * sizeof(Array1<double>) + sizeof(Array2<double>),
              "every array of the state is counted in bytes_per_element");

}  // namespace zorvik
