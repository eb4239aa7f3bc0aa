// Blended backbone stress of a soil element: the small-strain curve T1 and
// the strength curve T2, handed over from one to the other by a logistic
// weight W in the base-10 logarithm of the strain:
//   stress = T1 * W + (1 - W) * T2.
// Every operation below is grouped exactly as written; the last bits of the
// stress depend on it.
#pragma once

#include <cmath>

namespace zorvik {

// Single-precision literals widened to double: these, not the doubles
// nearest to -1.036 and 4.039, are the constants of the weight.
inline constexpr double kWeightExponent = -1.0360000133514404;
inline constexpr double kWeightCentreScale = 4.039000034332275;

// The nine values of one parameter set, in the order of the parameter files.
struct parameter_set {
  double gamma_t;    // strain scale of the weight W
  double a;          // steepness of the weight W
  double gamma_ref;  // reference strain of T1
  double beta;       // coefficient of the bending term of T1
  double s;          // exponent of the bending term of T1
  double gmax;       // small-strain shear modulus
  double mu;         // coefficient of T2
  double tmax;       // shear strength
  double d;          // exponent of T2
};

// pow(a, -1.036f) * 4.039f: where the weight is 1/2, in log10(|gamma| / gamma_t).
// It depends on `a` alone, so a caller may form it once per parameter set.
inline double weight_centre(double a) { return std::pow(a, kWeightExponent) * kWeightCentreScale; }

// The two groupings of the strength curve's products. They differ in the
// last bits; each caller keeps its own.
enum class strength_grouping {
  called,    // ((gmax * mu) * N) / ((mu * (gmax / tmax)) * D + 1): tauhybfkz's
  in_place,  // ((N * gmax) * mu) / (((gmax / tmax) * D) * mu + 1): the stress update's
};

struct backbone_terms {
  double w;   // weight of T1
  double t1;  // small-strain curve
  double t2;  // strength curve
};

// The mathematics-library part of one evaluation. Every term depends on the
// strain through its magnitude m alone.
struct libm_terms {
  double e;      // pow(10, -X), X = a * (log10(m / gamma_t) - centre)
  double q;      // pow(m / gamma_ref, s)
  double power;  // pow(m, d): D, and N up to its sign
};

// log10(m / gamma_t): the call the others wait for.
inline double log_term(double gamma, const parameter_set& p) {
  return std::log10(std::fabs(gamma) / p.gamma_t);
}

// The three powers, given log_m = log_term(gamma, p).
inline libm_terms power_terms(double gamma, const parameter_set& p, double centre, double log_m) {
  const double m = std::fabs(gamma);
  const double x = p.a * (log_m - centre);
  return {std::pow(10.0, -x), std::pow(m / p.gamma_ref, p.s), std::pow(m, p.d)};
}

// The arithmetic that turns the terms into the weight and the two curves.
template <strength_grouping G>
inline backbone_terms combine_terms(double gamma, const parameter_set& p, const libm_terms& t) {
  const double w = 1.0 - 1.0 / (t.e + 1.0);
  const double t1 = (p.gmax * gamma) / (t.q * p.beta + 1.0);
  // N, the power carrying the strain's sign. At a zero strain of either sign
  // it is taken literally, which fixes the sign of a zero result.
  double n = -t.power;  // negative strain, or NaN
  if (gamma > 0.0) {
    n = t.power;
  } else if (gamma == 0.0) {
    n = std::pow(gamma, p.d);
  }
  double t2 = 0.0;
  if constexpr (G == strength_grouping::called) {
    t2 = ((p.gmax * p.mu) * n) / ((p.mu * (p.gmax / p.tmax)) * t.power + 1.0);
  } else {
    t2 = ((n * p.gmax) * p.mu) / (((p.gmax / p.tmax) * t.power) * p.mu + 1.0);
  }
  return {w, t1, t2};
}

template <strength_grouping G>
inline backbone_terms backbone_terms_at(double gamma, const parameter_set& p, double centre) {
  return combine_terms<G>(gamma, p, power_terms(gamma, p, centre, log_term(gamma, p)));
}

inline double blend(const backbone_terms& t) { return t.t1 * t.w + (1.0 - t.w) * t.t2; }

// Backbone stress at strain gamma; `centre` is weight_centre(p.a).
template <strength_grouping G>
inline double backbone_stress(double gamma, const parameter_set& p, double centre) {
  return blend(backbone_terms_at<G>(gamma, p, centre));
}

// The strain, then the nine values of one parameter set in file order.
// NOLINTBEGIN(bugprone-easily-swappable-parameters): the order is the interface's
inline double tauhybfkz(double gamma, double gamma_t, double a, double gamma_ref, double beta,
                        double s, double gmax, double mu, double tmax, double d) {
  const parameter_set p{gamma_t, a, gamma_ref, beta, s, gmax, mu, tmax, d};
  return backbone_stress<strength_grouping::called>(gamma, p, weight_centre(a));
}
// NOLINTEND(bugprone-easily-swappable-parameters)

}  // namespace zorvik
