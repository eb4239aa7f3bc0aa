// The time loop: NTT steps of the explicit leap-frog scheme, each the
// sequence of its stages.
#pragma once

#include <cstdint>

#include "arrays.h"
#include "column.h"
#include "column_state.h"
#include "column_stress.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"
#include "progress_bar.h"
#include "recording.h"
#include "relaxation_damping.h"

namespace zorvik {

// What the loop reads and never changes.
struct LoopInputs {
  const RunSettings& settings;
  const Profile& profile;
  const TimeBase& time_base;
  const Column& column;
  const Array2<double>& W_K_SUB;
  const RelaxationTable& relaxation;
};

void run_time_loop(const LoopInputs& in, ColumnState& state, global_para& gp, column_stress_space& stress_space,
                   Records& records, const ProgressBar& progress);

}  // namespace zorvik
