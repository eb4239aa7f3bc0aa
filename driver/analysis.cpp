#include "analysis.h"

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

FreeFormatReader reader(const FileTable& files, Unit unit) {
  return FreeFormatReader(files.fd(unit), unit_number(unit), files.path(unit));
}

// "HH_G.dat" or "HH_x.dat" into the material table, checked, and copied to
// the layers.
void read_material_table(const FileTable& files, Unit unit, Analysis& run) {
  FreeFormatReader in = reader(files, unit);
  read_parameter_table(in, run.PARA_HY);
  check_parameter_table(run.PARA_HY, run.profile, run.settings.NL, files, unit);
  copy_layer_parameters(run.PARA_HY, run.profile.MA, run.settings.NL, run.layers);
}

}  // namespace

void set_up(FileTable& files, Analysis& run) {
  RunSettings& s = run.settings;
  {
    const StageScope stage("read control.dat");
    FreeFormatReader in = reader(files, Unit::control);
    s = read_control(in);
    check_control(s, files);
  }
  {
    const StageScope stage("read incident.dat");
    FreeFormatReader in = reader(files, Unit::incident);
    run.incident = read_incident(in, s.NT);
    check_incident(run.incident, files);
    const auto NTT = static_cast<std::int32_t>(computation_steps(s.NT, s.M_SUB));  // checked to fit
    check_record_memory(s, NTT);
    run.time_base = make_time_base(run.incident, s.M_SUB, NTT);
  }
  {
    const StageScope stage("read profile.dat");
    FreeFormatReader in = reader(files, Unit::profile);
    run.profile = read_profile(in, s.NL);
    check_profile(run.profile, s, files);
  }
  {
    const StageScope stage("read curve.dat");
    FreeFormatReader in = reader(files, Unit::curve);
    // No result depends on the curves; the file must still be complete.
    run.DEGRADATION = read_curve(in, s);
  }
  {
    const StageScope stage("read tabk.dat");
    FreeFormatReader in = reader(files, Unit::tabk);
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
  {
    const StageScope stage("read HH_G.dat");
    read_material_table(files, Unit::HH_G, run);
  }
  {
    const StageScope stage("divide the layers into elements");
    run.column = divide_layers(run.profile, s, files);
    check_memory(s, run.time_base.NTT, run.column);
    set_element_properties(run.column, run.profile, s.NL);
    run.W_K_SUB = element_weights(run.weights, run.column, s.NL);
    with_memory_diagnostics([&] { run.gp.allocate_parameter_sets(run.column.lay_max); });
    fill_parameter_row(run.gp, 1, run.layers, run.column, s.NL);
  }
  {
    const StageScope stage("read HH_x.dat");
    read_material_table(files, Unit::HH_x, run);
    fill_parameter_row(run.gp, 2, run.layers, run.column, s.NL);
  }
  {
    const StageScope stage("check the time step");
    check_stable_step(run.column, run.gp, run.profile, s, run.time_base, files);
  }
  {
    const StageScope stage("reset the state of the loop");
    run.state = ColumnState(run.column.lay_max);
    run.records = Records(s.NT, s.NL);
    with_memory_diagnostics([&] {
      run.gp.reset_hysteresis_state();
      run.stress_space = column_stress_space(run.column.lay_max);
    });
  }
}

void integrate(Analysis& run, const ProgressBar& progress) {
  const StageScope stage("time loop");
  const LoopInputs inputs{run.settings, run.profile, run.time_base, run.column, run.W_K_SUB, run.relaxation};
  // Growing a turning-point stack is the only allocation the loop can make.
  with_memory_diagnostics([&] { run_time_loop(inputs, run.state, run.gp, run.stress_space, run.records, progress); });
}

}  // namespace zorvik
