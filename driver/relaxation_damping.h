// Small-strain damping by eight relaxation mechanisms per element. Each
// layer's damping ratio gives its quality factor, the quality factor a
// scaling factor CHI, and each mechanism a weight quadratic in CHI. In every
// step the element's memory variables relax toward its averaged strain, and
// their sum is taken off the total strain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "arrays.h"
#include "column.h"
#include "input_files.h"

namespace zorvik {

struct DampingWeights {
  Array1<double> QFACTOR;  // per layer
  Array1<double> CHI;      // per layer
  Array2<double> W_K;      // (mechanism, layer)
};

DampingWeights damping_weights(const Array1<double>& X, std::int32_t NL, const RelaxationTable& table);

// W_K_SUB(., e) = W_K(., layer of e).
Array2<double> element_weights(const DampingWeights& weights, const Column& column, std::int32_t NL);
inline constexpr std::size_t element_weights_bytes_per_element = kMechanisms * sizeof(double);

// The decay of each mechanism over one step, exp(-(DT / T_K)), and its
// complement; the same for every element and every step.
struct MemoryDecay {
  MemoryDecay(const RelaxationTable& table, double DT);
  std::array<double, kMechanisms> E_K{};
  std::array<double, kMechanisms> one_minus_E_K{};
};

// Advances the eight memory variables of one element (memory, in place) and
// returns its corrected strain GAMMA_1, given its total strain GTOT, its
// corrected strain of the previous step GAMMA_0 and its weights W.
inline double update_damping_memory(double GTOT, double GAMMA_0, const double* W, double* memory,
                                    const MemoryDecay& decay) {
  const double GBAR = (GTOT + GAMMA_0) * 0.5;
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    memory[k] = decay.E_K[k] * memory[k] + (decay.one_minus_E_K[k] * GBAR) * W[k];
  }
  double sum = memory[0];
  for (std::size_t k = 1; k < kMechanisms; ++k) sum = sum + memory[k];
  return GTOT - sum;
}

}  // namespace zorvik
