// Stress update of one soil element for one time step: first loading on the
// backbone, Masing branches after strain reversals with turning-point memory,
// and loop closure back to the earlier branch or to the backbone.
#pragma once

#include <cstdint>

#include "global_para.h"

namespace zorvik {

// Consecutive calls for one element form one strain history: gamma_prev and
// dgamma_prev are gamma_cur and dgamma_cur of the element's previous call
// (zeros before the first). Writes tau_out (never reads it) and the state
// and gmax(2, i_sub) of element i_sub only. Allocates only when an element
// outgrows its turning-point stack, and then throws std::bad_alloc if memory
// cannot be had.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
void hyster(global_para& gp, double& tau_out, double dgamma_prev, double dgamma_cur,
            double gamma_prev, double gamma_cur, std::int32_t i_sub);

}  // namespace zorvik
