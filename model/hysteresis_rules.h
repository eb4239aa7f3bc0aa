// The rules of the stress update shared by hyster, by its column-wide form
// and by the evaluator yi: the strain reversal, the loop closure and the
// Masing branch sum.
#pragma once

#include <cmath>

namespace zorvik {

// 1e-30 rounded to single precision and widened. An increment smaller than
// this in magnitude counts as a small positive one.
inline constexpr double kIncrementFloor = 1.0000000031710769e-30;

// A reversal at the start of the step: the increments change sign. A NaN
// increment is no reversal, nor is a previous increment of 0.
inline bool is_reversal(double dgamma_prev, double dgamma_cur) {
  const double q = std::fabs(dgamma_cur) < kIncrementFloor ? kIncrementFloor : dgamma_cur;
  return q * dgamma_prev < 0.0;
}

// Reached when the step g0 -> g1 touches or crosses the target strain; a NaN
// product does not reach it.
inline bool reaches(double g0, double g1, double target) {
  const double product = (g0 - target) * (g1 - target);
  return product <= 0.0;
}

// Stress on a Masing branch from a turning point of stress y_origin, f being
// F2 at half the strain distance from it: y_origin + 2 f, summed as (y + f) + f.
inline double branch_sum(double y_origin, double f) { return (y_origin + f) + f; }

}  // namespace zorvik
