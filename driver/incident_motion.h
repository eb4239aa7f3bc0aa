// The time base of the computation, the incident acceleration resampled to
// the computation step, and the incident velocity integrated from it.
#pragma once

#include <cstdint>

#include "arrays.h"
#include "input_files.h"

namespace zorvik {

struct TimeBase {
  double DT0 = 0.0;        // step of the input record, T(2) - T(1)
  double DT = 0.0;         // computation step
  double UF = 0.0;         // interpolation fraction DT / DT0
  std::int32_t NTT = 0;    // number of computation steps
  Array1<double> A_IN;     // incident acceleration at the end of each step
};

// The computation step of M_SUB steps per input sample: DT0 divided by M_SUB
// passed through single precision.
inline double computation_step(double DT0, std::int64_t M_SUB) {
  return DT0 / static_cast<double>(static_cast<float>(M_SUB));
}

// NTT: the number of computation steps of NT samples, (NT - 1) x M_SUB + 1
// (the input checks keep it within 32 bits).
inline std::int64_t computation_steps(std::int64_t NT, std::int64_t M_SUB) { return (NT - 1) * M_SUB + 1; }

// DT0, DT, NTT = computation_steps(NT, M_SUB) for the NT samples of the
// record, and A_IN by linear interpolation within each sample interval;
// A_IN(NTT) stays 0.
TimeBase make_time_base(const IncidentRecord& record, std::int32_t M_SUB, std::int32_t NTT);

// The incident velocity: the trapezoidal integral of A_IN, advanced once per
// step, from rest with the acceleration at the start taken as 0.
struct IncidentVelocity {
  explicit IncidentVelocity(double DT) : half_step(DT * 0.5) {}

  void advance(double a) {
    V_IN = V_IN + (A_PREV + a) * half_step;
    A_PREV = a;
  }

  double V_IN = 0.0;
  double A_PREV = 0.0;
  double half_step;
};

}  // namespace zorvik
