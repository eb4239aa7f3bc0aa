// End-to-end harness: the program run as a separate process in a fresh
// temporary working directory, with its standard output, standard error and
// exit status captured, and small input sets to run it on.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::e2e {

// The 21 files of a run in table order: nine files the program reads or only
// opens, then the twelve result files.
inline constexpr std::string_view kInputFiles[] = {"control.dat", "incident.dat", "profile.dat",
                                                   "curve.dat",   "check.dat",    "tabk.dat",
                                                   "HH_G.dat",    "HH_x.dat",     "bug.dat"};
inline constexpr std::string_view kResultFiles[] = {
    "t.dat",         "layer_depth.dat", "node_depth.dat", "max_v.dat", "max_d.dat",
    "max_gamma.dat", "max_tau.dat",     "out_a.dat",      "out_v.dat", "out_d.dat",
    "out_gamma.dat", "out_tau.dat"};

struct RunResult {
  int exit_status = -1;  // -1 when the process did not exit by itself
  int signal = 0;        // the signal that ended it, 0 if none
  bool timed_out = false;
  std::string out;
  std::string err;

  // The first line of standard error, without its line end.
  std::string diagnostic() const;
  // Whether a call-chain listing follows the diagnostic line.
  bool call_chain_follows() const;
  // The innermost entry of the call-chain listing, without its indent.
  std::string innermost() const;
  // Everything, for failure messages.
  std::string describe() const;
};

struct RunOptions {
  mode_t umask = 022;
  // Run as uid/gid 65534 when the tests run as root (the directory and its
  // files are handed to that user first), so that file modes bind.
  bool unprivileged = false;
  // Largest file the child may write, in bytes (0: no limit), set as
  // `ulimit -f` sets it: a write beyond it raises SIGXFSZ.
  long file_size_limit = 0;
  // Largest address space of the child, in bytes (0: no limit).
  long address_space_limit = 0;
  // Standard descriptors (0, 1, 2) the child starts without; nothing is
  // captured from a closed one.
  std::vector<int> closed_streams{};
  // Standard output is a pipe whose reading end is closed before the child
  // starts, as when the reader of a pipeline has gone away.
  bool reader_gone = false;
};

// Why runs with `unprivileged` set cannot make file modes bind here, or
// nothing when they can: always when the tests are not run as root, and as
// root when a child can drop to uid/gid 65534 and still start the program.
std::optional<std::string> unprivileged_unavailable();

// A fresh temporary directory, removed with everything in it (modes restored
// first) when the object goes.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  // Absolute, with every link resolved, as the program names its files.
  std::string path_of(std::string_view name) const;

  void write(std::string_view name, std::string_view content) const;
  std::string read(std::string_view name) const;
  // Permission bits of a file, or of the directory itself for "".
  unsigned mode(std::string_view name) const;
  void set_mode(std::string_view name, unsigned mode) const;
  void make_directory(std::string_view name) const;
  void make_symlink(std::string_view name, std::string_view target) const;
  // The names in the directory, sorted.
  std::vector<std::string> names() const;
  // The input files of the bundled example.
  void copy_example() const;

  RunResult run(const RunOptions& options = {}) const;

 private:
  std::string path_;
};

// Run settings as control.dat holds them.
struct Control {
  std::string FMAX = "25.0";
  int NPW = 10;
  int M_SUB = 5;
  int BASE_TYPE = 1;
  int NL = 1;
  int NT = 20;
  int NMAT = 1;
  int NPT = 1;

  std::string text() const;
};

struct Layer {
  double H = 2.0;    // thickness
  double V = 100.0;  // shear-wave velocity
  double X = 0.05;   // damping ratio
  double R = 2.0;    // density / 1000
  int MA = 1;        // material number
};

// The half-space of the small site.
inline const Layer kHalfSpace{0.0, 400.0, 0.01, 2.2, 1};

// profile.dat: the layers, then the half-space row.
std::string profile_text(const std::vector<Layer>& layers, const Layer& half_space = kHalfSpace);

// An incident record of NT samples from T1 in equal steps: a sine of 5 Hz.
struct Record {
  int NT = 20;
  double step = 0.01;
  double amplitude = 0.5;
  double T1 = 0.0;
};
// incident.dat: one pair of time and acceleration per line.
std::string incident_text(const Record& record);

// The parameters of a soil, the same in both sets: modulus, strength, and
// the power of the strain with which the strength curve grows.
struct Soil {
  double gmax = 2.0e7;
  double tmax = 2.0e4;
  double d = 0.8;
};
// HH_G.dat / HH_x.dat: nine rows of NMAT materials of the same soil.
std::string parameter_table_text(int NMAT, const Soil& soil = {});
// curve.dat: one row of 4 x NMAT values.
std::string curve_text(int NMAT);
// tabk.dat: the eight mechanisms of the bundled example.
std::string tabk_text();

// The seven inputs of a small, stable run: one layer of five elements over an
// elastic half-space, 20 samples, 5 computation steps per sample.
struct SiteInputs {
  Control control;
  std::string incident = incident_text({});
  std::string profile = profile_text({Layer{}});
  std::string curve = curve_text(1);
  std::string tabk = tabk_text();
  std::string HH_G = parameter_table_text(1);
  std::string HH_x = parameter_table_text(1);

  void write_to(const WorkDir& dir) const;
};

// The diagnostic line of failure `number` on a file:
// "zorvik: severe (N): <the text of N>, unit U, file <path>".
std::string file_diagnostic(int number, int unit, std::string_view path);

// Expects failure `number` on file `name` of `dir` (unit `unit`): its exit
// status, its diagnostic line, with ": <detail>" after it when a detail is
// given, and a call-chain listing after that line.
void expect_file_failure(const RunResult& r, const WorkDir& dir, int number, int unit, std::string_view name,
                         std::string_view detail = {});

// Expects exit status 0 and nothing on standard error.
void expect_complete(const RunResult& r);

// Expected standard output of a complete run that draws `marks` marks.
std::string complete_run_output(int marks);

}  // namespace zorvik::e2e
