#include "column_stress.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "hyster.h"
#include "hysteresis_rules.h"
#include "tauhybfkz.h"

namespace zorvik {

column_stress_space::column_stress_space(std::int32_t n_elements) : lay_max(std::max(n_elements, 0)) {
  const auto n = static_cast<std::size_t>(lay_max);
  pending = allocate_zeroed<pending_evaluation>(n);
  others = allocate_zeroed<std::int32_t>(n);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): hyster's order
void hyster_column(global_para& gp, column_stress_space& space, double* tau_out, const double* dgamma_prev,
                   const double* dgamma_cur, const double* gamma_prev, const double* gamma_cur) {
  assert(space.lay_max == gp.lay_max());
  pending_evaluation* const pending = space.pending.get();
  std::int32_t* const others = space.others.get();
  std::size_t n_pending = 0;
  std::size_t n_others = 0;

  // Which elements take the common step, and the one evaluation each needs:
  // F1(g1) on the backbone, F2((g1 - x_origin) * 0.5) on branch n.
  for (std::int32_t i = 1; i <= gp.lay_max(); ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    const std::int32_t n = gp.bb(i);
    const double g1 = gamma_cur[k];
    if (is_reversal(dgamma_prev[k], dgamma_cur[k]) || (n > 0 && reaches(gamma_prev[k], g1, gp.xtu(n + 1, i)))) {
      others[n_others++] = i;
      continue;
    }
    const element_curves& c = gp.curves(i);
    pending_evaluation& p = pending[n_pending++];
    p.element = i;
    p.on_branch = n > 0;
    if (p.on_branch) {
      p.set = &c.set[1];
      p.centre = c.centre[1];
      p.strain = (g1 - gp.xtu(n + 2, i)) * 0.5;
      p.origin_stress = gp.ytu(n + 2, i);
    } else {
      p.set = &c.set[0];
      p.centre = c.centre[0];
      p.strain = g1;
    }
  }

  for (std::size_t k = 0; k < n_pending; ++k) {
    pending_evaluation& p = pending[k];
    p.log_m = log_term(p.strain, *p.set);
  }
  for (std::size_t k = 0; k < n_pending; ++k) {
    pending_evaluation& p = pending[k];
    p.terms = power_terms(p.strain, *p.set, p.centre, p.log_m);
  }
  for (std::size_t k = 0; k < n_pending; ++k) {
    const pending_evaluation& p = pending[k];
    const double f = blend(combine_terms<strength_grouping::called>(p.strain, *p.set, p.terms));
    tau_out[p.element - 1] = p.on_branch ? branch_sum(p.origin_stress, f) : f;
    gp.par(p.element) = 0;
  }

  for (std::size_t j = 0; j < n_others; ++j) {
    const std::int32_t i = others[j];
    const auto k = static_cast<std::size_t>(i - 1);
    hyster(gp, tau_out[k], dgamma_prev[k], dgamma_cur[k], gamma_prev[k], gamma_cur[k], i);
  }
}

}  // namespace zorvik
