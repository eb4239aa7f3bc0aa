#include "relaxation_damping.h"

#include <cmath>

namespace zorvik {

DampingWeights damping_weights(const Array1<double>& X, std::int32_t NL, const RelaxationTable& table) {
  // Single-precision constants of the fit, widened to double.
  constexpr double kC1 = 1.4329999685287476;      // 1.433f
  constexpr double kC2 = 3.071000099182129;       // 3.071f
  constexpr double kC3 = 0.41499999165534973;     // 0.415f
  constexpr double kExponent = -1.1579999923706055;  // -1.158f
  DampingWeights w{Array1<double>(NL), Array1<double>(NL), Array2<double>(kMechanisms, NL)};
  for (std::int64_t j = 1; j <= NL; ++j) {
    w.QFACTOR(j) = 0.5 / X(j);
    const double P = std::pow(w.QFACTOR(j), kExponent);
    const double L = std::log(w.QFACTOR(j) / 5.0);
    w.CHI(j) = ((P * kC1) * L + kC2) / (w.QFACTOR(j) * kC3 + 1.0);
    for (std::size_t k = 0; k < kMechanisms; ++k) {
      w.W_K(static_cast<std::int64_t>(k) + 1, j) = (table.A_K[k] * w.CHI(j) + table.B_K[k]) * w.CHI(j);
    }
  }
  return w;
}

Array2<double> element_weights(const DampingWeights& weights, const Column& column, std::int32_t NL) {
  Array2<double> W_K_SUB(kMechanisms, column.lay_max);
  for_each_element(column, NL, [&](std::int64_t j, std::int32_t e) {
    for (std::int64_t k = 1; k <= kMechanisms; ++k) W_K_SUB(k, e) = weights.W_K(k, j);
  });
  return W_K_SUB;
}

MemoryDecay::MemoryDecay(const RelaxationTable& table, double DT) {
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    // A relaxation time written -0 is a zero one: the mechanism follows at once.
    E_K[k] = std::exp(-(DT / std::fabs(table.T_K[k])));
    one_minus_E_K[k] = 1.0 - E_K[k];
  }
}

}  // namespace zorvik
