#include "evaluators.h"

#include "hysteresis_rules.h"
#include "tauhybfkz.h"

namespace zorvik {

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
double fbb(const global_para& gp, double gamma, std::int32_t i_row, std::int32_t i_sub) {
  const parameter_set& p = gp.parameters(i_row, i_sub);
  return tauhybfkz(gamma, p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d);
}

double ratio(const global_para& gp, double gamma, std::int32_t i_row, std::int32_t i_sub) {
  return fbb(gp, gamma, i_row, i_sub) / (gamma * gp.gmax(i_row, i_sub));
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
double yi(const global_para& gp, double gamma, double gamma_rev, double tau_rev,
          std::int32_t i_branch, std::int32_t i_sub) {
  if (i_branch == 0) {
    return fbb(gp, gamma, 1, i_sub);
  }
  return branch_sum(tau_rev, fbb(gp, (gamma - gamma_rev) * 0.5, 2, i_sub));
}

double fmu(const global_para& gp, double gamma, std::int32_t i_sub) {
  return 2.0 * fbb(gp, gamma * 0.5, 2, i_sub);
}

}  // namespace zorvik
