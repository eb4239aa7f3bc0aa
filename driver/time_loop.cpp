#include "time_loop.h"

#include "element_update.h"
#include "element_watch.h"
#include "node_update.h"

namespace zorvik {

void run_time_loop(const LoopInputs& in, ColumnState& state, global_para& gp, column_stress_space& stress_space,
                   Records& records, const ProgressBar& progress) {
  const double DT = in.time_base.DT;
  const MemoryDecay decay(in.relaxation, DT);
  const StepConstants constants(DT, in.settings, in.profile);
  IncidentVelocity incident(DT);
  const std::int32_t NTT = in.time_base.NTT;
  for (std::int64_t ISTEP = 1; ISTEP <= NTT; ++ISTEP) {
    progress.marks(ISTEP);
    if (update_elements(state, in.column, in.W_K_SUB, decay, gp, stress_space)) {
      note_non_finite_element(state, in.column, ISTEP, records.first_non_finite_element);
    }
    incident.advance(in.time_base.A_IN(ISTEP));
    move_base_node(state, in.column, constants, incident.V_IN);
    move_column_nodes(state, in.column, constants);
    advance_kinematics(state, in.column, constants);
    if (is_recorded_step(ISTEP, in.settings.M_SUB)) record_step(records, state, in.column, in.settings.NL);
  }
}

}  // namespace zorvik
