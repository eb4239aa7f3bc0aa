#include "tamsel.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "column.h"
#include "column_state.h"
#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "free_format.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_checks.h"
#include "input_files.h"
#include "model_handover.h"
#include "progress_bar.h"
#include "recording.h"
#include "relaxation_damping.h"
#include "result_files.h"
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

// A run that met a non-finite value ends with a diagnostic after its results
// are written: an unstable step gives no silent success.
[[noreturn]] void refuse_non_finite(const NonFiniteResult& bad, const IncidentRecord& incident,
                                    const Column& column, const global_para& gp, double DT,
                                    std::int32_t NL) {
  double courant = 0.0;
  std::int32_t worst = 1;
  for (std::int32_t e = 1; e <= column.lay_max; ++e) {
    const double c = DT * std::sqrt(gp.gmax(1, e) / column.RHO(e)) / column.DZ(e);
    if (c > courant) {
      courant = c;
      worst = e;
    }
  }
  const std::string point = bad.at_node ? (bad.layer > NL ? std::string("the top of the half-space")
                                                          : "the top of layer " + std::to_string(bad.layer))
                                        : "the recorded element of layer " + std::to_string(bad.layer);
  char text[512];
  std::snprintf(text, sizeof text,
                "non-finite result: %s at %s is %s at time %.6g (record %d of t.dat); the time step "
                "DT = %.6g may be too long for the column: the largest Courant number "
                "DT*sqrt(gmax/RHO)/DZ is %.4g, in element %d",
                bad.quantity, point.c_str(), std::isnan(bad.value) ? "NaN" : (bad.value > 0 ? "Infinity" : "-Infinity"),
                incident.T(bad.record), bad.record, DT, courant, worst);
  fail(diag::non_finite_result, text);
}

}  // namespace

void Tamsel(FileTable& files) {
  const StageScope tamsel("Tamsel");
  set_flush_to_zero_mode();

  {
    const StageScope stage("open the 21 files");
    files.open_all();
  }

  RunSettings s;
  {
    const StageScope stage("read control.dat");
    FreeFormatReader in = reader(files, 21);
    s = read_control(in);
    check_control(s, files);
  }

  IncidentRecord incident;
  TimeBase time_base;
  {
    const StageScope stage("read incident.dat");
    FreeFormatReader in = reader(files, 22);
    incident = read_incident(in, s.NT);
    check_incident(incident, files);
    time_base = make_time_base(incident, s.NT, s.M_SUB);
  }

  Profile profile;
  {
    const StageScope stage("read profile.dat");
    FreeFormatReader in = reader(files, 23);
    profile = read_profile(in, s.NL);
    check_profile(profile, s, files);
  }

  {
    const StageScope stage("read curve.dat");
    FreeFormatReader in = reader(files, 24);
    // No result depends on the curves; the file must still be complete.
    const Array2<double> DEGRADATION = read_curve(in, s.NPT, s.NMAT);
  }

  RelaxationTable relaxation;
  {
    const StageScope stage("read tabk.dat");
    FreeFormatReader in = reader(files, 26);
    relaxation = read_tabk(in);
    check_tabk(relaxation, files);
  }
  const DampingWeights weights = damping_weights(profile.X, s.NL, relaxation);

  LayerParameters layers(s.NL);
  Array2<double> PARA_HY(kParameters, s.NMAT);
  {
    const StageScope stage("read HH_G.dat");
    FreeFormatReader in = reader(files, 27);
    read_parameter_table(in, PARA_HY);
    check_parameter_table(PARA_HY, profile, s.NL, files, 27);
    copy_layer_parameters(PARA_HY, profile.MA, s.NL, layers);
  }

  Column column;
  global_para gp;
  Array2<double> W_K_SUB;
  {
    const StageScope stage("divide the layers into elements");
    column = divide_layers(profile, s, files);
    set_element_properties(column, profile, s.NL);
    W_K_SUB = element_weights(weights, column, s.NL);
    model_memory([&] { gp.allocate_parameter_sets(column.lay_max); });
    fill_parameter_row(gp, 1, layers, column, s.NL);
  }

  {
    const StageScope stage("read HH_x.dat");
    FreeFormatReader in = reader(files, 28);
    read_parameter_table(in, PARA_HY);
    check_parameter_table(PARA_HY, profile, s.NL, files, 28);
    copy_layer_parameters(PARA_HY, profile.MA, s.NL, layers);
    fill_parameter_row(gp, 2, layers, column, s.NL);
  }

  ColumnState state(column.lay_max);
  Records records(s.NT, s.NL);
  state.MEMORY_0 = Array2<double>(kMechanisms, column.lay_max);
  model_memory([&] { gp.reset_hysteresis_state(); });

  ProgressBar progress;
  progress.header(time_base.NTT);
  {
    const StageScope stage("time loop");
    const LoopInputs inputs{s, profile, time_base, column, W_K_SUB, relaxation};
    model_memory([&] { run_time_loop(inputs, state, gp, records, progress); });
  }
  progress.closing_lines();

  {
    const StageScope stage("write the result files");
    write_result_files(files, incident, column, records);
  }
  files.close_all();

  if (records.first_non_finite.quantity != nullptr) {
    refuse_non_finite(records.first_non_finite, incident, column, gp, time_base.DT, s.NL);
  }
}

}  // namespace zorvik
