#include "hyster.h"

#include <cmath>

#include "hysteresis_rules.h"
#include "tauhybfkz.h"

namespace zorvik {
namespace {

constexpr auto kCalled = strength_grouping::called;
constexpr auto kInPlace = strength_grouping::in_place;

// Masing branch from the turning point (x_origin, y_origin):
// y_origin + 2 * F2((g - x_origin) * 0.5).
template <strength_grouping G>
double branch_stress(double g, double x_origin, double y_origin, const element_curves& c) {
  return branch_sum(y_origin, backbone_stress<G>((g - x_origin) * 0.5, c.set[1], c.centre[1]));
}

template <strength_grouping G>
double backbone_at(double g, const element_curves& c) {
  return backbone_stress<G>(g, c.set[0], c.centre[0]);
}

// Leaving the backbone at strain g0 scales the branch set's modulus by the
// ratio of the two sets' secant modulus ratios at R = |g0|, starting from its
// present value. At R = 0 the quotients are 0/0; their limit, gmax(1, i),
// is used instead.
void rescale_branch_modulus(element_curves& c, double g0) {
  const double r = std::fabs(g0);
  const double g1_modulus = c.set[0].gmax;
  if (r == 0.0) {
    c.set[1].gmax = g1_modulus;
    return;
  }
  const double g2_modulus = c.set[1].gmax;
  const double t1 = backbone_stress<kCalled>(r, c.set[0], c.centre[0]);
  const double t2 = backbone_stress<kCalled>(r, c.set[1], c.centre[1]);
  const double q1 = t1 / (r * g1_modulus);
  const double q2 = t2 / (g2_modulus * r);
  c.set[1].gmax = (g1_modulus * q1) / q2;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the order is the interface's
void hyster(global_para& gp, double& tau_out, double dgamma_prev, double dgamma_cur,
            double gamma_prev, double gamma_cur, std::int32_t i_sub) {
  const std::int32_t i = i_sub;
  const double g0 = gamma_prev;
  const double g1 = gamma_cur;
  element_curves& c = gp.curves(i);
  std::int32_t n = gp.bb(i);

  // Reversal at g0: the turning point gets the stress of the path followed
  // so far; leaving the backbone also rescales gmax(2, i) and sets the
  // mirror point (row 2), where the first branch meets the backbone again.
  const bool reversal = is_reversal(dgamma_prev, dgamma_cur);
  double b = 0.0;
  if (reversal) {
    const std::int32_t m = n;
    b = m == 0 ? backbone_at<kInPlace>(g0, c)
               : branch_stress<kInPlace>(g0, gp.xtu(m + 2, i), gp.ytu(m + 2, i), c);
    gp.xm(i) = g0;
    gp.ym(i) = b;
    if (m == 0) {
      rescale_branch_modulus(c, g0);
      gp.xtu(2, i) = -g0;
      gp.ytu(2, i) = -b;
    }
    if (m + 2 >= gp.stack(i).rows) {  // no row m + 3
      gp.grow_stack(i);
    }
    gp.xtu(m + 3, i) = g0;
    gp.ytu(m + 3, i) = b;
    n = m + 1;
  }

  // Loop closure: the branch from row n + 2 aims at the strain of row n + 1.
  // Reaching it drops the loop's two turning points and resumes the branch
  // from row n, or the backbone. On the backbone no loop can close.
  bool closed = false;
  while (n > 0 && reaches(g0, g1, gp.xtu(n + 1, i))) {
    closed = true;
    if (n <= 2) {
      tau_out = backbone_at<kInPlace>(g1, c);
      n = 0;
    } else {
      tau_out = branch_stress<kInPlace>(g1, gp.xtu(n, i), gp.ytu(n, i), c);
      n -= 2;
    }
  }
  gp.bb(i) = n;
  gp.par(i) = reversal || closed ? 1 : 0;

  if (closed) {
    return;
  }
  if (reversal) {
    tau_out = branch_stress<kInPlace>(g1, g0, b, c);  // from the new turning point (g0, b)
  } else if (n == 0) {
    tau_out = backbone_at<kCalled>(g1, c);
  } else {
    tau_out = branch_stress<kCalled>(g1, gp.xtu(n + 2, i), gp.ytu(n + 2, i), c);
  }
}

}  // namespace zorvik
