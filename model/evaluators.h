// The backbone and branch curves evaluated straight from an element's
// parameter sets, as they stand at the call (row 2 with its current gmax).
// Indices are checked by debug assertions only.
#pragma once

#include <cstdint>

#include "global_para.h"

namespace zorvik {

// Backbone stress with parameter row i_row of element i_sub.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
double fbb(const global_para& gp, double gamma, std::int32_t i_row, std::int32_t i_sub);

// Secant modulus ratio: fbb / (gamma * gmax(i_row, i_sub)); NaN at zero strain.
double ratio(const global_para& gp, double gamma, std::int32_t i_row, std::int32_t i_sub);

// Stress on the branch from the reversal point (gamma_rev, tau_rev) when
// i_branch is nonzero, tau_rev + 2 * F2((gamma - gamma_rev) * 0.5) summed as
// the stress update sums it; the backbone stress F1(gamma) when it is zero.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
double yi(const global_para& gp, double gamma, double gamma_rev, double tau_rev,
          std::int32_t i_branch, std::int32_t i_sub);

// Masing curve of the branch set through the origin: 2 * F2(gamma * 0.5).
double fmu(const global_para& gp, double gamma, std::int32_t i_sub);

}  // namespace zorvik
