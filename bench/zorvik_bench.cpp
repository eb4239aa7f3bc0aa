// Speed and memory of whole analyses on two cases built from the bundled
// example:
//   realistic     the example's site and record on a finer column (FMAX 100,
//                 NPW 34: 503 elements) with M_SUB 80;
//   output-heavy  every layer split into eight (40 layers of one element), the
//                 record repeated to 40000 samples, M_SUB 10: over 8 million
//                 result fields.
// For each: the time loop in element-steps per second and ns per element-step
// (best of the repetitions, set-up and result files kept out); its libm floor,
// the log10 and pow calls a run makes per element-step times their cost timed
// here on a sample of that run's own arguments, and the ratio loop / floor;
// result writing in MB/s, and ns per E17.6E3 edit of the run's own values;
// the peak resident memory of the program itself run on the case; and a
// checksum of its twelve result files.
//
//   zorvik_bench [repetitions]     (default 3)
//
// The calls are counted in a second process of this program started with the
// probe library preloaded (zorvik_bench --probe DIR).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis.h"
#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "libm_probe_file.h"
#include "number_edit.h"
#include "progress_bar.h"
#include "result_files.h"

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;
using zorvik::ProbeArguments;

struct BenchCase {
  const char* name;
  const char* FMAX;
  int NPW;
  int M_SUB;
  int split;  // each layer of the example divided into this many layers
  int NT;     // samples, the example's record repeated; 0: the record as it is
};

constexpr BenchCase kCases[] = {
    {"realistic", "100.0", 34, 80, 1, 0},
    {"output-heavy", "1.0", 1, 10, 8, 40000},
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

// The case's seven inputs in dir, from the example's.
void build_case(const BenchCase& c, const fs::path& example, const fs::path& dir) {
  fs::create_directories(dir);
  for (const char* name : {"curve.dat", "tabk.dat", "HH_G.dat", "HH_x.dat"}) {
    fs::copy_file(example / name, dir / name, fs::copy_options::overwrite_existing);
  }
  std::istringstream control(read_file(example / "control.dat"));
  std::string FMAX;
  int NPW = 0, M_SUB = 0, BASE_TYPE = 0, NL = 0, NT = 0, NMAT = 0, unused = 0, NPT = 0;
  control >> FMAX >> NPW >> M_SUB >> BASE_TYPE >> NL >> NT >> NMAT >> unused >> NPT;

  std::istringstream profile(read_file(example / "profile.dat"));
  std::string rows;
  for (int j = 0; j <= NL; ++j) {
    double H = 0.0, V = 0.0, X = 0.0, R = 0.0;
    int MA = 0;
    profile >> H >> V >> X >> R >> MA;
    const int copies = j < NL ? c.split : 1;
    for (int k = 0; k < copies; ++k) {
      char row[160];
      std::snprintf(row, sizeof row, "%.17g %.17g %.17g %.17g %d\n", H / copies, V, X, R, MA);
      rows += row;
    }
  }
  write_file(dir / "profile.dat", rows);

  std::istringstream incident(read_file(example / "incident.dat"));
  std::vector<std::string> times, accelerations;
  for (std::string t, a; incident >> t >> a;) {
    times.push_back(t);
    accelerations.push_back(a);
  }
  std::string record;
  const int samples = c.NT > 0 ? c.NT : NT;
  for (int i = 0; i < samples; ++i) {
    const auto k = static_cast<std::size_t>(i) % accelerations.size();
    // A repeated record's times: i x 0.02, the example's step, to two decimals.
    const std::string t = c.NT > 0 ? std::to_string(i / 50) + "." + std::to_string(100 + 2 * (i % 50)).substr(1)
                                   : times[k];
    record += t + " " + accelerations[k] + "\n";
  }
  write_file(dir / "incident.dat", record);

  char line[160];
  std::snprintf(line, sizeof line, "%s %d %d %d %d %d %d %d %d\n", c.FMAX, c.NPW, c.M_SUB, BASE_TYPE,
                NL * c.split, samples, NMAT, unused, NPT);
  write_file(dir / "control.dat", line);
}

// FNV-1a of the twelve result files in unit order.
std::uint64_t results_checksum(const fs::path& dir) {
  std::uint64_t h = 0xcbf29ce484222325U;
  for (const zorvik::FileEntry& f : zorvik::kFileTable) {
    if (!zorvik::is_result_file(f.unit)) continue;
    for (const char byte : read_file(dir / f.name)) {
      h = (h ^ static_cast<unsigned char>(byte)) * 0x100000001b3U;
    }
  }
  return h;
}

// Standard output goes to /dev/null while f runs.
void quietly(const std::function<void()>& f) {
  std::fflush(stdout);
  const int saved = ::dup(1);
  const int sink = ::open("/dev/null", O_WRONLY);
  ::dup2(sink, 1);
  f();
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(sink);
  ::close(saved);
}

struct WritingRate {
  std::int64_t bytes = 0;  // of all twelve files
  double seconds = 0.0;

  double mb_per_s() const { return static_cast<double>(bytes) / seconds * 1e-6; }
};

// Writes the result files of a run whose tables are recorded into the open
// file table, timed.
WritingRate time_result_writing(zorvik::FileTable& files, const zorvik::Analysis& run) {
  const auto start = clock_type::now();
  zorvik::write_result_files(files, run.incident, run.column, run.records);
  WritingRate rate;
  rate.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
  for (const zorvik::FileEntry& f : zorvik::kFileTable) {
    struct stat st {};
    if (zorvik::is_result_file(f.unit) && ::fstat(files.fd(f.unit), &st) == 0) rate.bytes += st.st_size;
  }
  return rate;
}

struct Timing {
  double loop_seconds = 0.0;
  WritingRate writing;
  double edit_ns = 0.0;  // per E17.6E3 field
  std::int64_t element_steps = 0;
  std::int32_t elements = 0;
  std::int32_t steps = 0;
  std::int64_t fields = 0;  // of the result files
};

// ns per E17.6E3 field, edited into memory, over up to 2^20 values of the
// history tables.
double ns_per_field(const zorvik::Records& records) {
  std::vector<double> values;
  for (const auto* t : {&records.OUT_A, &records.OUT_V, &records.OUT_D, &records.OUT_GAMMA, &records.OUT_TAU}) {
    const double* v = t->column(1);
    const std::int64_t n = std::min<std::int64_t>(t->extent1() * t->extent2(), (1 << 20) / 5);
    values.insert(values.end(), v, v + n);
  }
  std::vector<char> text(values.size() * zorvik::kEFieldWidth);
  double best = 1e300;
  for (int pass = 0; pass < 5; ++pass) {
    const auto start = clock_type::now();
    char* out = text.data();
    for (const double v : values) {
      zorvik::edit_e17_6e3(v, out);
      out += zorvik::kEFieldWidth;
    }
    best = std::min(best, std::chrono::duration<double>(clock_type::now() - start).count());
  }
  return best * 1e9 / static_cast<double>(values.size());
}

// One analysis in the current directory: set-up, the timed loop, the timed
// result files.
Timing run_once() {
  zorvik::FileTable files;
  files.open_all();
  zorvik::Analysis run;
  zorvik::set_up(files, run);
  Timing t;
  t.elements = run.column.lay_max;
  t.steps = run.time_base.NTT;
  t.element_steps = std::int64_t{t.elements} * t.steps;
  const std::int64_t NT = run.settings.NT, NL = run.settings.NL;
  t.fields = NT + NL + 3 * (NL + 1) + 2 * NL + NT * (3 * (NL + 1) + 2 * NL);
  quietly([&] {
    zorvik::ProgressBar progress;
    progress.header(run.time_base.NTT);
    const auto start = clock_type::now();
    zorvik::integrate(run, progress);
    t.loop_seconds = std::chrono::duration<double>(clock_type::now() - start).count();
  });
  t.writing = time_result_writing(files, run);
  files.close_all();
  t.edit_ns = ns_per_field(run.records);
  return t;
}

// Runs argv in dir with standard output discarded; returns the peak resident
// memory in kB, or -1 when it did not exit with 0.
long run_child(const fs::path& dir, const std::vector<std::string>& argv, const char* preload) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int sink = ::open("/dev/null", O_WRONLY);
    ::dup2(sink, 1);
    if (preload != nullptr) ::setenv("LD_PRELOAD", preload, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

struct CallSample {
  std::uint64_t count = 0;
  std::vector<ProbeArguments> sample;
};

// The probe's file (libm_probe_file.h): log10, then pow.
std::vector<CallSample> read_probe(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<CallSample> calls(2);
  for (CallSample& c : calls) {
    zorvik::ProbeHead head{0, 0};
    in.read(reinterpret_cast<char*>(&head), sizeof head);
    c.count = head.count;
    c.sample.resize(head.kept);
    in.read(reinterpret_cast<char*>(c.sample.data()),
            static_cast<std::streamsize>(head.kept * sizeof(ProbeArguments)));
  }
  if (!in) throw std::runtime_error("incomplete libm probe file " + file.string());
  return calls;
}

volatile double sink_value = 0.0;

// Mean ns per call of f over the sample, best of five passes.
template <class F>
double ns_per_call(const std::vector<ProbeArguments>& sample, F f) {
  if (sample.empty()) return 0.0;
  double best = 1e300;
  for (int pass = 0; pass < 5; ++pass) {
    double sum = 0.0;
    const auto start = clock_type::now();
    for (const ProbeArguments& a : sample) sum += f(a);
    const double s = std::chrono::duration<double>(clock_type::now() - start).count();
    sink_value = sum;
    best = std::min(best, s);
  }
  return best * 1e9 / static_cast<double>(sample.size());
}

// The probe's file in a case's directory.
constexpr const char* kProbeFile = "libm-calls.bin";

// The probe process: one analysis in dir, its loop's libm calls written to
// the probe's file there.
int probe(const fs::path& dir) {
  using start_fn = void (*)();
  using stop_fn = int (*)(const char*);
  auto* start = reinterpret_cast<start_fn>(dlsym(RTLD_DEFAULT, "zorvik_libm_probe_start"));
  auto* stop = reinterpret_cast<stop_fn>(dlsym(RTLD_DEFAULT, "zorvik_libm_probe_stop"));
  if (start == nullptr || stop == nullptr) {
    std::fprintf(stderr, "zorvik_bench --probe: the libm probe is not preloaded\n");
    return 1;
  }
  fs::current_path(dir);
  zorvik::set_flush_to_zero_mode();
  zorvik::FileTable files;
  files.open_all();
  zorvik::Analysis run;
  zorvik::set_up(files, run);
  zorvik::ProgressBar progress;
  progress.header(run.time_base.NTT);
  start();
  zorvik::integrate(run, progress);
  return stop(kProbeFile);
}

struct Report {
  Timing best;
  long peak_kb = -1;
  std::uint64_t checksum = 0;
  bool same_results = false;  // in this process and in the program itself
  double calls_per_element_step = 0.0;
  double floor_ns = 0.0;  // per element-step
  double log10_ns = 0.0, pow_ns = 0.0;
  double log10_share = 0.0;
};

Report measure(const BenchCase& c, const fs::path& example, const fs::path& dir, int repetitions,
               const std::string& self) {
  build_case(c, example, dir);
  Report r;
  r.peak_kb = run_child(dir, {ZORVIK_EXE}, nullptr);
  if (r.peak_kb < 0) throw std::runtime_error(std::string("the program failed on the ") + c.name + " case");
  r.checksum = results_checksum(dir);

  const fs::path home = fs::current_path();
  fs::current_path(dir);
  r.best = run_once();
  for (int k = 1; k < repetitions; ++k) {
    const Timing t = run_once();
    r.best.loop_seconds = std::min(r.best.loop_seconds, t.loop_seconds);
    if (t.writing.seconds < r.best.writing.seconds) r.best.writing = t.writing;
    r.best.edit_ns = std::min(r.best.edit_ns, t.edit_ns);
  }
  fs::current_path(home);
  r.same_results = results_checksum(dir) == r.checksum;

  if (run_child(dir, {self, "--probe", dir.string()}, ZORVIK_LIBM_PROBE) < 0) {
    throw std::runtime_error(std::string("the libm probe failed on the ") + c.name + " case");
  }
  const std::vector<CallSample> calls = read_probe(dir / kProbeFile);
  r.log10_ns = ns_per_call(calls[0].sample, [](const ProbeArguments& a) { return std::log10(a.x); });
  r.pow_ns = ns_per_call(calls[1].sample, [](const ProbeArguments& a) { return std::pow(a.x, a.y); });
  const auto steps = static_cast<double>(r.best.element_steps);
  const auto n_log10 = static_cast<double>(calls[0].count);
  const auto n_pow = static_cast<double>(calls[1].count);
  r.calls_per_element_step = (n_log10 + n_pow) / steps;
  r.log10_share = n_log10 / (n_log10 + n_pow);
  r.floor_ns = (n_log10 * r.log10_ns + n_pow * r.pow_ns) / steps;
  return r;
}

void print(const std::vector<Report>& reports, int repetitions) {
  const auto row = [&](const char* label, const std::function<std::string(const Report&)>& cell) {
    std::printf("%-34s", label);
    for (const Report& r : reports) std::printf("%18s", cell(r).c_str());
    std::printf("\n");
  };
  const auto fixed = [](double v, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return std::string(text);
  };
  std::printf("%-34s", "");
  for (const BenchCase& c : kCases) std::printf("%18s", c.name);
  std::printf("\n");
  row("elements x steps", [](const Report& r) {
    return std::to_string(r.best.elements) + " x " + std::to_string(r.best.steps);
  });
  std::printf("time loop, best of %d runs:\n", repetitions);
  row("  element-steps per second", [&](const Report& r) {
    return fixed(static_cast<double>(r.best.element_steps) / r.best.loop_seconds * 1e-6, 2) + " M";
  });
  const auto ns = [](const Report& r) { return r.best.loop_seconds * 1e9 / static_cast<double>(r.best.element_steps); };
  row("  ns per element-step", [&](const Report& r) { return fixed(ns(r), 1); });
  std::printf("libm floor of the loop:\n");
  row("  log10 + pow calls per elem-step", [&](const Report& r) { return fixed(r.calls_per_element_step, 3); });
  row("  of which log10", [&](const Report& r) { return fixed(r.log10_share * 100.0, 1) + " %"; });
  row("  ns per log10 / pow call", [&](const Report& r) { return fixed(r.log10_ns, 1) + " / " + fixed(r.pow_ns, 1); });
  row("  floor, ns per element-step", [&](const Report& r) { return fixed(r.floor_ns, 1); });
  row("  loop / floor", [&](const Report& r) { return fixed(ns(r) / r.floor_ns, 2); });
  std::printf("result files:\n");
  row("  fields", [](const Report& r) { return std::to_string(r.best.fields); });
  row("  MB", [&](const Report& r) { return fixed(static_cast<double>(r.best.writing.bytes) * 1e-6, 1); });
  row("  writing, MB/s", [&](const Report& r) { return fixed(r.best.writing.mb_per_s(), 0); });
  row("  ns per E17.6E3 edit", [&](const Report& r) { return fixed(r.best.edit_ns, 1); });
  row("  checksum (FNV-1a)", [](const Report& r) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(r.checksum));
    return std::string(text) + (r.same_results ? "" : " !");
  });
  row("peak resident memory, MB", [&](const Report& r) { return fixed(static_cast<double>(r.peak_kb) / 1024.0, 1); });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--probe") {
    try {
      return probe(argv[2]);
    } catch (const zorvik::FatalError& error) {
      std::fprintf(stderr, "%s\n", zorvik::diagnostic_line(error).c_str());
      return error.number();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "zorvik_bench --probe: %s\n", error.what());
      return 1;
    }
  }
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const fs::path work = fs::temp_directory_path() / ("zorvik-bench-" + std::to_string(::getpid()));
  int status = 0;
  try {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    zorvik::set_flush_to_zero_mode();
    std::vector<Report> reports;
    for (const BenchCase& c : kCases) {
      reports.push_back(measure(c, ZORVIK_EXAMPLE_DIR, work / c.name, repetitions, self));
    }
    print(reports, repetitions);
    for (const Report& r : reports) {
      if (!r.same_results) {
        std::fprintf(stderr, "zorvik_bench: results written here differ from the program's (marked !)\n");
        status = 1;
      }
    }
  } catch (const zorvik::FatalError& error) {
    std::fprintf(stderr, "%s\n", zorvik::diagnostic_line(error).c_str());
    status = error.number();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zorvik_bench: %s\n", error.what());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return status;
}
