#include "result_files.h"

#include "file_table.h"
#include "number_edit.h"
#include "result_writer.h"

namespace zorvik {
namespace {

std::size_t line_length(std::int64_t fields, int width) {
  return static_cast<std::size_t>(fields) * static_cast<std::size_t>(width);
}

void edit_fields(const double* values, std::int64_t n, char* line) {
  for (std::int64_t j = 0; j < n; ++j) edit_e17_6e3(values[j], line + j * kEFieldWidth);
}

// One line of E17.6E3 fields.
void write_line(FileTable& files, Unit unit, const Array1<double>& values) {
  ResultWriter out(files, unit, line_length(values.size(), kEFieldWidth));
  edit_fields(values.data(), values.size(), out.next_line());
  out.flush();
}

// One line of E17.6E3 fields per record, from its contiguous recorded points.
void write_table(FileTable& files, Unit unit, const Array2<double>& table) {
  const std::int64_t points = table.extent1();
  ResultWriter out(files, unit, line_length(points, kEFieldWidth));
  for (std::int64_t i = 1; i <= table.extent2(); ++i) edit_fields(table.column(i), points, out.next_line());
  out.flush();
}

// One G15.6 field per line.
void write_times(FileTable& files, Unit unit, const Array1<double>& T) {
  ResultWriter out(files, unit, kGFieldWidth);
  for (std::int64_t i = 1; i <= T.size(); ++i) edit_g15_6(T(i), out.next_line());
  out.flush();
}

}  // namespace

void write_result_files(FileTable& files, const IncidentRecord& incident, const Column& column,
                        const Records& r) {
  write_times(files, Unit::t, incident.T);
  write_line(files, Unit::layer_depth, column.LAYER_DEPTH);
  write_line(files, Unit::node_depth, column.NODE_DEPTH);
  write_line(files, Unit::max_v, r.MAX_V);
  write_line(files, Unit::max_d, r.MAX_D);
  write_line(files, Unit::max_gamma, r.MAX_GAMMA);
  write_line(files, Unit::max_tau, r.MAX_TAU);
  write_table(files, Unit::out_a, r.OUT_A);
  write_table(files, Unit::out_v, r.OUT_V);
  write_table(files, Unit::out_d, r.OUT_D);
  write_table(files, Unit::out_gamma, r.OUT_GAMMA);
  write_table(files, Unit::out_tau, r.OUT_TAU);
}

}  // namespace zorvik
