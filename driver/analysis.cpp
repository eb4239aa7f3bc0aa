#include "analysis.h"

#include <new>

#include "fatal.h"
#include "file_table.h"
#include "free_format.h"
#include "input_checks.h"
#include "memory_check.h"
#include "model_handover.h"
#include "relaxation_damping.h"
#include "stable_step.h"
#include "time_loop.h"

namespace zorvik {
namespace {

FreeFormatReader reader(const FileTable& files, int unit) {
  return FreeFormatReader(files.fd(unit), unit, files.path(unit));
}

// The soil model reports lack of memory as std::bad_alloc.
template <class F>
void model_memory(F&& allocate) {
  try {
    allocate();
  } catch (const std::bad_alloc&) {
    fail(diag::no_memory, "insufficient virtual memory");
  }
}

}  // namespace

void set_up(FileTable& files, Analysis& run) {
  RunSettings& s = run.settings;
  {
    const StageScope stage("read control.dat");
    FreeFormatReader in = reader(files, 21);
    s = read_control(in);
    check_control(s, files);
  }
  {
    const StageScope stage("read incident.dat");
    FreeFormatReader in = reader(files, 22);
    run.incident = read_incident(in, s.NT);
    check_incident(run.incident, files);
    run.time_base = make_time_base(run.incident, s.NT, s.M_SUB);
  }
  {
    const StageScope stage("read profile.dat");
    FreeFormatReader in = reader(files, 23);
    run.profile = read_profile(in, s.NL);
    check_profile(run.profile, s, files);
  }
  {
    const StageScope stage("read curve.dat");
    FreeFormatReader in = reader(files, 24);
    // No result depends on the curves; the file must still be complete.
    run.DEGRADATION = read_curve(in, s);
  }
  {
    const StageScope stage("read tabk.dat");
    FreeFormatReader in = reader(files, 26);
    run.relaxation = read_tabk(in);
    check_tabk(run.relaxation, files);
  }
  {
    const StageScope stage("compute the damping weights");
    run.weights = damping_weights(run.profile.X, s.NL, run.relaxation);
    check_damping_weights(run.weights, run.profile, s.NL, files);
  }

  run.layers = LayerParameters(s.NL);
  run.PARA_HY = Array2<double>(kParameters, s.NMAT);
  Array2<double>& PARA_HY = run.PARA_HY;
  LayerParameters& layers = run.layers;
  {
    const StageScope stage("read HH_G.dat");
    FreeFormatReader in = reader(files, 27);
    read_parameter_table(in, PARA_HY);
    check_parameter_table(PARA_HY, run.profile, s.NL, files, 27);
    copy_layer_parameters(PARA_HY, run.profile.MA, s.NL, layers);
  }
  {
    const StageScope stage("divide the layers into elements");
    run.column = divide_layers(run.profile, s, files);
    check_memory(s, run.time_base.NTT, run.column);
    set_element_properties(run.column, run.profile, s.NL);
    run.W_K_SUB = element_weights(run.weights, run.column, s.NL);
    model_memory([&] { run.gp.allocate_parameter_sets(run.column.lay_max); });
    fill_parameter_row(run.gp, 1, layers, run.column, s.NL);
  }
  {
    const StageScope stage("read HH_x.dat");
    FreeFormatReader in = reader(files, 28);
    read_parameter_table(in, PARA_HY);
    check_parameter_table(PARA_HY, run.profile, s.NL, files, 28);
    copy_layer_parameters(PARA_HY, run.profile.MA, s.NL, layers);
    fill_parameter_row(run.gp, 2, layers, run.column, s.NL);
  }
  {
    const StageScope stage("check the time step");
    check_stable_step(run.column, run.gp, s, run.time_base, files);
  }
  {
    const StageScope stage("reset the state of the loop");
    run.state = ColumnState(run.column.lay_max);
    run.records = Records(s.NT, s.NL);
    run.state.MEMORY_0 = Array2<double>(kMechanisms, run.column.lay_max);
    model_memory([&] { run.gp.reset_hysteresis_state(); });
  }
}

void integrate(Analysis& run, const ProgressBar& progress) {
  const StageScope stage("time loop");
  const LoopInputs inputs{run.settings, run.profile, run.time_base, run.column, run.W_K_SUB, run.relaxation};
  // Growing a turning-point stack is the only allocation the loop can make.
  model_memory([&] { run_time_loop(inputs, run.state, run.gp, run.records, progress); });
}

}  // namespace zorvik
