#include "node_update.h"

namespace zorvik {

void move_base_node(ColumnState& s, const Column& column, const StepConstants& step, double V_IN) {
  const std::int32_t last = column.lay_max;
  const std::int32_t nb = last + 1;
  switch (step.BASE_TYPE) {
    case 1: {
      const double driving = V_IN * step.four_DT_VS_B;
      const double stress = (s.TAU_1(last) * step.two_DT) / step.RHO_B;
      const double carried = (column.DZ(last) - step.VS_B_DT) * s.V_EST_1(nb);
      s.V_EST_2(nb) = ((driving - stress) + carried) / (column.DZ(last) + step.VS_B_DT);
      break;
    }
    case 2:
      s.V_EST_2(nb) = (V_IN * 4.0) - s.V_EST_1(nb);
      break;
    case 3:
      s.V_EST_2(nb) = (V_IN + V_IN) - s.V_EST_1(nb);
      break;
  }
}

void move_column_nodes(ColumnState& s, const Column& column, const StepConstants& step) {
  for (std::int64_t i = 2; i <= column.lay_max; ++i) {
    s.V_EST_2(i) = (((s.TAU_1(i) - s.TAU_1(i - 1)) * step.two_DT) / (column.DZ(i - 1) + column.DZ(i))) /
                       column.RHO(i) +
                   s.V_EST_1(i);
  }
  s.V_EST_2(1) = ((s.TAU_1(1) * step.two_DT) / column.DZ(1)) / column.RHO(1) + s.V_EST_1(1);
}

void advance_kinematics(ColumnState& s, const Column& column, const StepConstants& step) {
  const double DT = step.DT;
  for (std::int64_t n = 1; n <= std::int64_t{column.lay_max} + 1; ++n) {
    s.D_2(n) = (DT * s.V_EST_2(n)) + s.D_1(n);
    s.V_NT(n) = (s.V_EST_2(n) + s.V_EST_1(n)) * 0.5;
    s.A_NT(n) = (s.V_EST_2(n) - s.V_EST_1(n)) / DT;
    s.V_EST_1(n) = s.V_EST_2(n);
    s.D_1(n) = s.D_2(n);
  }
}

}  // namespace zorvik
