// The 21 files of a run: fixed names relative to the working directory, fixed
// unit numbers, opened in table order before anything is read and closed in
// the same order.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zorvik {

// The unit number of each file, as its diagnostics show it (30 is not used).
enum class Unit : int {
  control = 21, incident = 22, profile = 23, curve = 24, check = 25, tabk = 26, HH_G = 27, HH_x = 28, bug = 29,
  t = 31, layer_depth = 32, node_depth = 33, max_v = 34, max_d = 35, max_gamma = 36, max_tau = 37,
  out_a = 38, out_v = 39, out_d = 40, out_gamma = 41, out_tau = 42,
};

constexpr int unit_number(Unit unit) { return static_cast<int>(unit); }

// The twelve result files, "t.dat" to "out_tau.dat", follow the inputs.
constexpr bool is_result_file(Unit unit) { return unit >= Unit::t; }

struct FileEntry {
  Unit unit;
  const char* name;
};

inline constexpr std::array<FileEntry, 21> kFileTable{{
    {Unit::control, "control.dat"},         {Unit::incident, "incident.dat"},
    {Unit::profile, "profile.dat"},         {Unit::curve, "curve.dat"},
    {Unit::check, "check.dat"},             {Unit::tabk, "tabk.dat"},
    {Unit::HH_G, "HH_G.dat"},               {Unit::HH_x, "HH_x.dat"},
    {Unit::bug, "bug.dat"},                 {Unit::t, "t.dat"},
    {Unit::layer_depth, "layer_depth.dat"}, {Unit::node_depth, "node_depth.dat"},
    {Unit::max_v, "max_v.dat"},             {Unit::max_d, "max_d.dat"},
    {Unit::max_gamma, "max_gamma.dat"},     {Unit::max_tau, "max_tau.dat"},
    {Unit::out_a, "out_a.dat"},             {Unit::out_v, "out_v.dat"},
    {Unit::out_d, "out_d.dat"},             {Unit::out_gamma, "out_gamma.dat"},
    {Unit::out_tau, "out_tau.dat"},
}};

class FileTable {
 public:
  FileTable() = default;
  ~FileTable();
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;

  // Opens every file in table order: read and write, created with mode 0666
  // less the umask when missing, never cut; where the system refuses that for
  // permission or a read-only file system, read only. A refusal throws the
  // open diagnostic (9, 29 or 30); the files opened before it stay open.
  void open_all();

  // Closes every open file in table order. A failing close of a file that
  // was written throws the write diagnostic (38) after all are closed.
  void close_all();

  int fd(Unit unit) const;
  bool read_only(Unit unit) const;
  // The file's name made absolute from the working directory.
  const std::string& path(Unit unit) const;
  // Records that the run wrote to the file, so that its close is checked.
  void mark_written(Unit unit);

  // Throws the file diagnostic `number` for the file, with an optional detail.
  [[noreturn]] void fail(int number, Unit unit, std::string_view detail = {}) const;
  // Diagnostic 38 on `unit`, its call chain naming the system's reason
  // (errno `error_number`; none when 0).
  [[noreturn]] void fail_write(Unit unit, int error_number) const;

 private:
  struct OpenFile {
    int fd = -1;
    bool read_only = false;
    bool written = false;
    std::string path;
  };
  const OpenFile& entry(Unit unit) const;
  OpenFile& entry(Unit unit);

  std::array<OpenFile, kFileTable.size()> files_{};
};

}  // namespace zorvik
