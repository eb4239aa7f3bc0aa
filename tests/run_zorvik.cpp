#include "run_zorvik.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <stdexcept>

namespace zorvik::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kTimeoutSeconds = 60;  // for any one run
constexpr uid_t kUnprivilegedUid = 65534;
constexpr gid_t kUnprivilegedGid = 65534;

[[noreturn]] void fail_setup(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// In the child between fork and exec: gives up root for uid/gid 65534.
bool drop_privileges() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedGid) == 0 &&
         ::setuid(kUnprivilegedUid) == 0 && ::setuid(0) != 0;
}

void hand_to_unprivileged_user(const std::string& dir) {
  if (::lchown(dir.c_str(), kUnprivilegedUid, kUnprivilegedGid) != 0) fail_setup("chown " + dir);
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string p = entry.path().string();
    if (::lchown(p.c_str(), kUnprivilegedUid, kUnprivilegedGid) != 0) fail_setup("chown " + p);
  }
}

// Reads both pipes to their end; false when the deadline passed first.
bool drain(int out_fd, int err_fd, std::string& out, std::string& err,
           std::chrono::steady_clock::time_point deadline) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_pipes = (out_fd >= 0 ? 1 : 0) + (err_fd >= 0 ? 1 : 0);
  char chunk[8192];
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) fail_setup("poll");
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t n = ::read(fds[k].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[k]->append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[k].fd = -1;
        --open_pipes;
      }
    }
  }
  return true;
}

std::string format(const char* pattern, double v) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, v);
  return text;
}

}  // namespace

std::string RunResult::diagnostic() const { return err.substr(0, err.find('\n')); }

bool RunResult::call_chain_follows() const {
  const std::size_t end = err.find('\n');
  return end != std::string::npos && err.find_first_not_of(" \n", end) != std::string::npos;
}

std::string RunResult::innermost() const {
  // The diagnostic line, the listing's heading, then its entries.
  const std::size_t heading = err.find('\n');
  const std::size_t entry = heading == std::string::npos ? heading : err.find('\n', heading + 1);
  if (entry == std::string::npos) return {};
  const std::size_t begin = err.find_first_not_of(' ', entry + 1);
  return begin == std::string::npos ? std::string() : err.substr(begin, err.find('\n', begin) - begin);
}

std::string RunResult::describe() const {
  std::ostringstream s;
  s << "exit status " << exit_status;
  if (signal != 0) s << ", signal " << signal;
  if (timed_out) s << ", timed out";
  s << "\n--- stdout ---\n" << out << "\n--- stderr ---\n" << err;
  return s.str();
}

std::optional<std::string> unprivileged_unavailable() {
  static const std::optional<std::string> reason = []() -> std::optional<std::string> {
    if (::geteuid() != 0) return std::nullopt;  // modes bind for this user already
    const pid_t pid = ::fork();
    if (pid < 0) return "cannot fork to probe for an unprivileged user";
    if (pid == 0) {
      if (!drop_privileges()) ::_exit(1);
      ::_exit(::access(ZORVIK_EXE, X_OK) == 0 ? 0 : 2);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) {
      return "uid 65534 may not execute " ZORVIK_EXE ", and root ignores file modes";
    }
    return "running as root without the right to switch to uid/gid 65534: file modes would not bind";
  }();
  return reason;
}

WorkDir::WorkDir() {
  std::string pattern = testing::TempDir() + "zorvik_e2e_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) fail_setup("mkdtemp " + pattern);
  path_ = fs::canonical(pattern).string();
}

WorkDir::~WorkDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (it->is_symlink(ignored)) continue;
    const fs::perms wanted = it->is_directory(ignored) ? fs::perms::owner_all
                                                       : fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(it->path(), wanted, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string WorkDir::path_of(std::string_view name) const { return path_ + "/" + std::string(name); }

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): name, then content
void WorkDir::write(std::string_view name, std::string_view content) const {
  std::ofstream file(path_of(name), std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!file.good()) throw std::runtime_error("cannot write " + path_of(name));
}

std::string WorkDir::read(std::string_view name) const {
  std::ifstream file(path_of(name), std::ios::binary);
  if (!file.good()) throw std::runtime_error("cannot read " + path_of(name));
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

unsigned WorkDir::mode(std::string_view name) const {
  struct stat st {};
  const std::string p = name.empty() ? path_ : path_of(name);
  if (::lstat(p.c_str(), &st) != 0) fail_setup("stat " + p);
  return st.st_mode & 07777U;
}

void WorkDir::set_mode(std::string_view name, unsigned mode) const {
  const std::string p = name.empty() ? path_ : path_of(name);
  if (::chmod(p.c_str(), mode) != 0) fail_setup("chmod " + p);
}

void WorkDir::make_directory(std::string_view name) const { fs::create_directory(path_of(name)); }

void WorkDir::make_symlink(std::string_view name, std::string_view target) const {
  fs::create_symlink(fs::path(target), path_of(name));
}

std::vector<std::string> WorkDir::names() const {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WorkDir::copy_example() const {
  for (const fs::directory_entry& entry : fs::directory_iterator(ZORVIK_EXAMPLE_DIR)) {
    if (entry.path().extension() != ".dat") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    write(entry.path().filename().string(), content.str());
  }
}

RunResult WorkDir::run(const RunOptions& options) const {
  const bool drop = options.unprivileged && ::geteuid() == 0;
  if (drop) hand_to_unprivileged_user(path_);

  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) fail_setup("pipe");
  const int null_in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (options.reader_gone) {
    ::close(out_pipe[0]);
    out_pipe[0] = -1;
  }
  char program[] = "zorvik";
  char* const argv[] = {program, nullptr};

  const pid_t pid = ::fork();
  if (pid < 0) fail_setup("fork");
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    if (::dup2(null_in, 0) < 0 || ::dup2(out_pipe[1], 1) < 0 || ::dup2(err_pipe[1], 2) < 0) ::_exit(125);
    if (::chdir(path_.c_str()) != 0) ::_exit(125);
    ::umask(options.umask);
    if (options.file_size_limit > 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    if (options.address_space_limit > 0) {
      const rlimit limit{static_cast<rlim_t>(options.address_space_limit),
                         static_cast<rlim_t>(options.address_space_limit)};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(125);
    }
    for (const int fd : options.closed_streams) ::close(fd);
    if (drop && !drop_privileges()) ::_exit(126);
    ::execv(ZORVIK_EXE, argv);
    ::_exit(127);
  }
  ::close(null_in);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  if (!drain(out_pipe[0], err_pipe[0], result.out, result.err, deadline)) {
    result.timed_out = true;
    ::kill(pid, SIGKILL);
  }
  if (out_pipe[0] >= 0) ::close(out_pipe[0]);
  ::close(err_pipe[0]);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string Control::text() const {
  std::ostringstream s;
  s << FMAX << ' ' << NPW << ' ' << M_SUB << ' ' << BASE_TYPE << ' ' << NL << ' ' << NT << ' ' << NMAT
    << " 0 " << NPT << '\n';
  return s.str();
}

std::string profile_text(const std::vector<Layer>& layers, const Layer& half_space) {
  std::string text;
  const auto row = [&text](const Layer& l) {
    text += format("%.17g ", l.H) + format("%.17g ", l.V) + format("%.17g ", l.X) +
            format("%.17g ", l.R) + std::to_string(l.MA) + '\n';
  };
  for (const Layer& l : layers) row(l);
  row(half_space);
  return text;
}

std::string incident_text(const Record& record) {
  std::string text;
  for (int i = 0; i < record.NT; ++i) {
    const double t = i * record.step;
    const double a = record.amplitude * std::sin(2.0 * std::numbers::pi * 5.0 * t);
    text += format("%.10g ", record.T1 + t) + format("%.8e\n", a);
  }
  return text;
}

std::string parameter_table_text(int NMAT, const Soil& soil) {
  // gamma_t, a, gamma_ref, beta, s, gmax, mu, tmax, d
  const double row_values[9] = {5.0e-7,    1.2, soil.tmax / soil.gmax, 1.0,   0.9,
                                soil.gmax, 0.5, soil.tmax,             soil.d};
  std::string text;
  for (const double v : row_values) {
    for (int m = 0; m < NMAT; ++m) text += format("%.17g ", v);
    text += '\n';
  }
  return text;
}

std::string curve_text(int NMAT) {
  std::string text;
  for (int m = 0; m < NMAT; ++m) text += "0.001 0.96 0.001 3.2 ";
  return text + '\n';
}

std::string tabk_text() {
  return "1.418137e-03 7.548359e-02 1.896172e-01\n"
         "6.297635e-03 4.022889e-02 1.022016e-01\n"
         "1.975507e-02 3.306545e-02 9.546685e-02\n"
         "5.988284e-02 3.143486e-02 9.453559e-02\n"
         "1.809695e-01 2.542392e-02 9.524907e-02\n"
         "5.513268e-01 2.424216e-02 9.672275e-02\n"
         "1.792203e+00 1.555429e-02 1.109663e-01\n"
         "9.549297e+00 1.943923e-02 2.147471e-01\n";
}

void SiteInputs::write_to(const WorkDir& dir) const {
  dir.write("control.dat", control.text());
  dir.write("incident.dat", incident);
  dir.write("profile.dat", profile);
  dir.write("curve.dat", curve);
  dir.write("tabk.dat", tabk);
  dir.write("HH_G.dat", HH_G);
  dir.write("HH_x.dat", HH_x);
}

std::string file_diagnostic(int number, int unit, std::string_view path) {
  static const std::map<int, std::string_view> kTexts = {
      {9, "permission to access file denied"},
      {24, "end-of-file during read"},
      {29, "file not found"},
      {30, "open failure"},
      {38, "error during write"},
      {47, "write to READONLY file"},
      {59, "list-directed I/O syntax error"},
      {64, "input conversion error"},
      {71, "missing value"},
      {72, "invalid input value"}};
  return "zorvik: severe (" + std::to_string(number) + "): " + std::string(kTexts.at(number)) + ", unit " +
         std::to_string(unit) + ", file " + std::string(path);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): number and unit, as in the diagnostic
void expect_file_failure(const RunResult& r, const WorkDir& dir, int number, int unit, std::string_view name,
                         std::string_view detail) {
  EXPECT_EQ(r.exit_status, number) << r.describe();
  std::string expected = file_diagnostic(number, unit, dir.path_of(name));
  if (!detail.empty()) expected += ": " + std::string(detail);
  EXPECT_EQ(r.diagnostic(), expected);
  EXPECT_TRUE(r.call_chain_follows()) << r.err;
}

void expect_complete(const RunResult& r) {
  EXPECT_EQ(r.exit_status, 0) << r.describe();
  EXPECT_EQ(r.err, "");
}

std::string complete_run_output(int marks) {
  return "|---------------- Calculating --------------------|\n" +
         std::string(static_cast<std::size_t>(marks), '|') +
         " \n \nCalculation finished. Writing results to disk...\n \n";
}

}  // namespace zorvik::e2e
