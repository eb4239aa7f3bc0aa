// Everything a run sets up from its inputs and then advances: the phases of
// the set-up, and the time loop over the state they leave.
#pragma once

#include "arrays.h"
#include "column.h"
#include "column_state.h"
#include "column_stress.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"
#include "model_handover.h"
#include "recording.h"
#include "relaxation_damping.h"

namespace zorvik {

class FileTable;
class ProgressBar;

struct Analysis {
  RunSettings settings;
  IncidentRecord incident;
  TimeBase time_base;
  Profile profile;
  Array2<double> DEGRADATION;  // curve.dat: read, never used
  RelaxationTable relaxation;
  DampingWeights weights;
  Array2<double> PARA_HY;      // the material table read last
  LayerParameters layers;      // each layer's material parameters
  Column column;
  Array2<double> W_K_SUB;            // damping weights (mechanism, element)
  global_para gp;                    // the soil model's parameter sets and hysteresis state
  column_stress_space stress_space;  // working space of the soil model's stress update
  ColumnState state;
  Records records;
};

// Reads the seven inputs from the open files and sets up the column, the
// damping, the soil model and the zeroed state of the loop. Every array lives
// until the run ends.
void set_up(FileTable& files, Analysis& run);

// The time loop from rest to the last step, with its progress marks.
void integrate(Analysis& run, const ProgressBar& progress);

}  // namespace zorvik
