// The 21 files of a run: fixed names relative to the working directory, fixed
// unit numbers, opened in table order before anything is read and closed in
// the same order.
#pragma once

#include <array>
#include <string>

namespace zorvik {

struct FileEntry {
  int unit;
  const char* name;
};

inline constexpr std::array<FileEntry, 21> kFileTable{{
    {21, "control.dat"},     {22, "incident.dat"},    {23, "profile.dat"},
    {24, "curve.dat"},       {25, "check.dat"},       {26, "tabk.dat"},
    {27, "HH_G.dat"},        {28, "HH_x.dat"},        {29, "bug.dat"},
    {31, "t.dat"},           {32, "layer_depth.dat"}, {33, "node_depth.dat"},
    {34, "max_v.dat"},       {35, "max_d.dat"},       {36, "max_gamma.dat"},
    {37, "max_tau.dat"},     {38, "out_a.dat"},       {39, "out_v.dat"},
    {40, "out_d.dat"},       {41, "out_gamma.dat"},   {42, "out_tau.dat"},
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

  int fd(int unit) const;
  bool read_only(int unit) const;
  // The file's name made absolute from the working directory.
  const std::string& path(int unit) const;
  // Records that the run wrote to the file, so that its close is checked.
  void mark_written(int unit);

 private:
  struct OpenFile {
    int fd = -1;
    bool read_only = false;
    bool written = false;
    std::string path;
  };
  const OpenFile& entry(int unit) const;
  OpenFile& entry(int unit);

  std::array<OpenFile, kFileTable.size()> files_{};
};

}  // namespace zorvik
