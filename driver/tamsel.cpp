#include "tamsel.h"

#include <string>

#include "analysis.h"
#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "non_finite_report.h"
#include "progress_bar.h"
#include "result_files.h"

namespace zorvik {

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
  // Made while "incident.dat" is open: the message may name one of its lines.
  const std::string non_finite = non_finite_report(run, files);
  files.close_all();
  if (!non_finite.empty()) fail(diag::non_finite_result, non_finite);
}

}  // namespace zorvik
