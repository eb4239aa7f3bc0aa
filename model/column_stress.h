// The stress update of every element of the column for one step: the same
// results and state as hyster called for elements 1..lay_max in turn.
#pragma once

#include <cstdint>

#include "global_para.h"
#include "tauhybfkz.h"
#include "zeroed_array.h"

namespace zorvik {

// One element's evaluation in the stress update, waiting for its
// mathematics-library terms.
struct pending_evaluation {
  const parameter_set* set;  // backbone or branch set of the element
  double centre;             // the set's weight centre
  double strain;             // the strain argument
  double origin_stress;      // on a branch: the stress of its turning point
  double log_m;
  libm_terms terms;
  std::int32_t element;
  bool on_branch;
};

// The working space of the stress update of a column of lay_max elements,
// made once before the time loop so that the loop allocates nothing: room
// for the evaluations of one step and for the other elements. Lack of memory
// is thrown as std::bad_alloc.
struct column_stress_space {
  column_stress_space() = default;
  explicit column_stress_space(std::int32_t n_elements);

  zeroed_array<pending_evaluation> pending;
  zeroed_array<std::int32_t> others;
  std::int32_t lay_max = 0;

  static constexpr std::size_t bytes_per_element = sizeof(pending_evaluation) + sizeof(std::int32_t);
};

// Element i's arguments are entry i - 1 of each array; tau_out receives the
// stresses. Most elements take the common step, without reversal or loop
// closure, whose one evaluation of the backbone or of the current branch
// needs nothing but the element's strains and the top of its stack. Those
// evaluations are made together, every log10 first, then every pow, then the
// arithmetic, so that the library calls of different elements overlap; the
// other elements go through hyster. `space` is made for gp's lay_max.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): hyster's order
void hyster_column(global_para& gp, column_stress_space& space, double* tau_out, const double* dgamma_prev,
                   const double* dgamma_cur, const double* gamma_prev, const double* gamma_cur);

}  // namespace zorvik
