// The backbone stress written out step by step, independently of the model's
// code, as the oracle of the tests: the signed power taken literally, the
// weight's power formed at every call, and either grouping of the strength
// curve.
//
// The compiler evaluates log10 and pow of constant arguments itself, correctly
// rounded, which can differ in the last bit from the mathematics library that
// the model calls at run time. Values pass through opaque() wherever the
// compiler could otherwise see them as constants.
#pragma once

#include <cmath>

#include "global_para.h"

namespace zorvik::oracle {

struct curve {
  double gamma_t, a, gamma_ref, beta, s, gmax, mu, tmax, d;
};

// The worked example of the backbone.
inline constexpr curve kWorkedExample{5e-7, 1.2, 5e-4, 1.0, 0.9, 60000.0, 10.0, 50.0, 0.8};

inline double opaque(double x) {
  volatile double hidden = x;
  return hidden;
}

inline curve opaque(const curve& p) {
  return {opaque(p.gamma_t), opaque(p.a),  opaque(p.gamma_ref), opaque(p.beta), opaque(p.s),
          opaque(p.gmax),    opaque(p.mu), opaque(p.tmax),      opaque(p.d)};
}

enum class route { called, in_place };

inline double reference_stress(double strain, const curve& set, route r) {
  const double gamma = opaque(strain);
  const curve p = opaque(set);
  const double m = std::fabs(gamma);
  const double l = std::log10(m / p.gamma_t);
  const double pw = std::pow(p.a, -1.0360000133514404);
  const double x = p.a * (l - pw * 4.039000034332275);
  const double e = std::pow(10.0, -x);
  const double w = 1.0 - 1.0 / (e + 1.0);
  const double q = std::pow(m / p.gamma_ref, p.s);
  const double t1 = (p.gmax * gamma) / (q * p.beta + 1.0);
  const double n = gamma >= 0.0 ? std::pow(gamma, p.d) : -std::pow(-gamma, p.d);
  const double d = std::pow(m, p.d);
  const double t2 = r == route::called
                        ? ((p.gmax * p.mu) * n) / ((p.mu * (p.gmax / p.tmax)) * d + 1.0)
                        : ((n * p.gmax) * p.mu) / (((p.gmax / p.tmax) * d) * p.mu + 1.0);
  return t1 * w + (1.0 - w) * t2;
}

inline void put_curve(global_para& gp, int r, int i, const curve& p) {
  gp.gamma_t_sub(r, i) = p.gamma_t;
  gp.a_sub(r, i) = p.a;
  gp.gamma_ref_sub(r, i) = p.gamma_ref;
  gp.beta_sub(r, i) = p.beta;
  gp.s_sub(r, i) = p.s;
  gp.gmax(r, i) = p.gmax;
  gp.mu_sub(r, i) = p.mu;
  gp.tmax_sub(r, i) = p.tmax;
  gp.d_sub(r, i) = p.d;
}

}  // namespace zorvik::oracle
