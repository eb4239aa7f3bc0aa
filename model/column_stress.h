// The stress update of every element of the column for one step: the same
// results and state as hyster called for elements 1..lay_max in turn.
#pragma once

#include "global_para.h"

namespace zorvik {

// Element i's arguments are entry i - 1 of each array; tau_out receives the
// stresses. Most elements take the common step, without reversal or loop
// closure, whose one evaluation of the backbone or of the current branch
// needs nothing but the element's strains and the top of its stack. Those
// evaluations are made together, every log10 first, then every pow, then the
// arithmetic, so that the library calls of different elements overlap; the
// other elements go through hyster. Needs the working space of the reset.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): hyster's order
void hyster_column(global_para& gp, double* tau_out, const double* dgamma_prev, const double* dgamma_cur,
                   const double* gamma_prev, const double* gamma_cur);

}  // namespace zorvik
