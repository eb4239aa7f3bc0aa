#include "tamsel.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "analysis.h"
#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "progress_bar.h"
#include "result_files.h"

namespace zorvik {
namespace {

// A run that met a non-finite value ends with a diagnostic after its results
// are written: a diverging run never reports success.
[[noreturn]] void refuse_non_finite(const Analysis& run) {
  const NonFiniteResult& bad = run.records.first_non_finite;
  const double DT = run.time_base.DT;
  double courant = 0.0;
  std::int32_t worst = 1;
  for (std::int32_t e = 1; e <= run.column.lay_max; ++e) {
    const double c = DT * std::sqrt(run.gp.gmax(1, e) / run.column.RHO(e)) / run.column.DZ(e);
    if (c > courant) {
      courant = c;
      worst = e;
    }
  }
  const std::string point =
      !bad.at_node ? "the recorded element of layer " + std::to_string(bad.layer)
      : bad.layer > run.settings.NL ? std::string("the top of the half-space")
                                    : "the top of layer " + std::to_string(bad.layer);
  const char* value = std::isnan(bad.value) ? "NaN" : bad.value > 0 ? "Infinity" : "-Infinity";
  char text[512];
  std::snprintf(text, sizeof text,
                "non-finite result: %s at %s is %s at time %.6g (line %d of t.dat); the time step "
                "DT = %.6g may be too long for the column: the largest Courant number "
                "DT*sqrt(gmax/RHO)/DZ is %.4g, in element %d",
                bad.quantity, point.c_str(), value, run.incident.T(bad.record), bad.record, DT, courant, worst);
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
  Analysis run;
  set_up(files, run);

  ProgressBar progress;
  progress.header(run.time_base.NTT);
  integrate(run, progress);
  progress.closing_lines();
  {
    const StageScope stage("write the result files");
    write_result_files(files, run.incident, run.column, run.records);
  }
  files.close_all();

  if (run.records.first_non_finite.quantity != nullptr) refuse_non_finite(run);
}

}  // namespace zorvik
