#include "incident_motion.h"

namespace zorvik {

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): steps per sample, then steps in all
TimeBase make_time_base(const IncidentRecord& record, std::int32_t M_SUB, std::int32_t NTT) {
  const std::int64_t NT = record.A.size();
  TimeBase tb;
  tb.DT0 = record.T(2) - record.T(1);
  tb.DT = computation_step(tb.DT0, M_SUB);
  tb.NTT = NTT;

  tb.A_IN = Array1<double>(tb.NTT);
  tb.UF = tb.DT / tb.DT0;
  for (std::int64_t i = 1; i <= NT - 1; ++i) {
    for (std::int64_t j = 1; j <= M_SUB; ++j) {
      const double w = static_cast<double>(j) * tb.UF;
      const double from_start = (1.0 - w) * record.A(i);
      const double from_end = w * record.A(i + 1);
      tb.A_IN((i - 1) * M_SUB + j) = from_start + from_end;
    }
  }
  return tb;
}

}  // namespace zorvik
