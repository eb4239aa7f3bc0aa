// Figure of merit of the time loop: element-steps per second over a whole
// analysis of a site (set-up and result files kept out of the timing), with a
// checksum of every recorded value so that a faster build can be checked to
// give bit-identical results.
//
//   column_bench [input-directory [repetitions]]
//
// The input directory defaults to the bundled example.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "analysis.h"
#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "progress_bar.h"

namespace {

namespace fs = std::filesystem;

// FNV-1a over the bytes of a (recorded point, record) table, taken point by
// point, each point's history in record order.
std::uint64_t checksum(const zorvik::Array2<double>& table, std::uint64_t h) {
  for (std::int64_t j = 1; j <= table.extent1(); ++j) {
    for (std::int64_t i = 1; i <= table.extent2(); ++i) {
      const double v = table(j, i);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
      for (std::size_t k = 0; k < sizeof v; ++k) h = (h ^ bytes[k]) * 1099511628211ULL;
    }
  }
  return h;
}

struct Timing {
  double seconds;               // of the time loop alone
  std::int64_t element_steps;   // elements x steps
  std::uint64_t checksum;       // of every recorded value
};

// Runs one analysis in the current directory.
Timing run_once() {
  zorvik::FileTable files;
  files.open_all();
  zorvik::Analysis run;
  zorvik::set_up(files, run);

  std::fflush(stdout);
  const int saved = ::dup(1);
  const int sink = ::open("/dev/null", O_WRONLY);
  ::dup2(sink, 1);
  zorvik::ProgressBar progress;
  progress.header(run.time_base.NTT);
  const auto start = std::chrono::steady_clock::now();
  zorvik::integrate(run, progress);
  const auto stop = std::chrono::steady_clock::now();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(sink);
  ::close(saved);

  std::uint64_t h = 1469598103934665603ULL;
  for (const auto* t : {&run.records.OUT_A, &run.records.OUT_V, &run.records.OUT_D,
                        &run.records.OUT_GAMMA, &run.records.OUT_TAU}) {
    h = checksum(*t, h);
  }
  return {std::chrono::duration<double>(stop - start).count(),
          std::int64_t{run.column.lay_max} * run.time_base.NTT, h};
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path inputs = fs::absolute(argc > 1 ? argv[1] : ZORVIK_EXAMPLE_DIR);
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  const fs::path work = fs::temp_directory_path() / ("zorvik-bench-" + std::to_string(::getpid()));
  fs::create_directories(work);
  for (const char* name : {"control.dat", "incident.dat", "profile.dat", "curve.dat", "tabk.dat",
                           "HH_G.dat", "HH_x.dat"}) {
    fs::copy_file(inputs / name, work / name, fs::copy_options::overwrite_existing);
  }
  const fs::path home = fs::current_path();
  fs::current_path(work);
  zorvik::set_flush_to_zero_mode();

  int status = 0;
  try {
    Timing best = run_once();
    for (int r = 1; r < repetitions; ++r) {
      const Timing t = run_once();
      if (t.seconds < best.seconds) best = t;
    }
    const auto element_steps = static_cast<double>(best.element_steps);
    std::printf("inputs            %s\n", inputs.c_str());
    std::printf("element-steps     %.0f per run, best of %d runs\n", element_steps, repetitions);
    std::printf("time loop         %.4f s\n", best.seconds);
    std::printf("ns per elem-step  %.1f\n", best.seconds * 1e9 / element_steps);
    std::printf("results checksum  %016llx\n", static_cast<unsigned long long>(best.checksum));
    std::printf("FOM               %.3f M element-steps/s\n", element_steps / best.seconds * 1e-6);
  } catch (const zorvik::FatalError& error) {
    std::fprintf(stderr, "%s\n", zorvik::diagnostic_line(error).c_str());
    status = error.number();
  }
  fs::current_path(home);
  fs::remove_all(work);
  return status;
}
