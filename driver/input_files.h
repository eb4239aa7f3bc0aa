// The seven input files, each read in one pass from its beginning with the
// free-format reader, into the arrays of the run. Every array is allocated
// just before the read that fills it. Beside each reader, where its items
// stand in the file, for diagnostics that show a value as written.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "arrays.h"
#include "free_format.h"

namespace zorvik {

class FileTable;
enum class Unit : int;

inline constexpr int kMechanisms = 8;
inline constexpr int kParameters = 9;
// The parameters in the order of the rows of "HH_G.dat" and "HH_x.dat".
inline constexpr std::array<const char*, kParameters> kParameterNames{
    "gamma_t", "a", "gamma_ref", "beta", "s", "gmax", "mu", "tmax", "d"};

// "control.dat": one read statement, a real and eight integers.
struct RunSettings {
  double FMAX = 0.0;
  std::int32_t NPW = 0;
  std::int32_t M_SUB = 0;
  std::int32_t BASE_TYPE = 0;
  std::int32_t NL = 0;
  std::int32_t NT = 0;
  std::int32_t NMAT = 0;
  std::int32_t unused = 0;  // read and never used
  std::int32_t NPT = 0;
};
// Where the checked items of "control.dat" stand.
enum class ControlItem : std::int64_t { FMAX = 1, NPW, M_SUB, BASE_TYPE, NL, NT, NMAT };
constexpr ItemPlace control_item(ControlItem item) { return {static_cast<std::int64_t>(item)}; }

// "incident.dat": NT pairs of time and acceleration.
struct IncidentRecord {
  Array1<double> T;
  Array1<double> A;
};
// Where T(i) and A(i) stand.
constexpr ItemPlace incident_time(std::int64_t i) { return {2 * i - 1}; }
constexpr ItemPlace incident_acceleration(std::int64_t i) { return {2 * i}; }

// "profile.dat": NL soil layers from the surface down, then the half-space.
struct Profile {
  Array1<double> H;   // thickness
  Array1<double> V;   // shear-wave velocity
  Array1<double> X;   // damping ratio
  Array1<double> R;   // density, multiplied by 1000 on reading
  Array1<std::int32_t> MA;  // material number
  double VS_B = 0.0;  // half-space velocity
  double RHO_B = 0.0; // half-space density (after the multiplication)
};
// Where item `column` of row `row` stands: five items a row, all rows one
// read statement.
enum class ProfileColumn : std::int64_t { H = 1, V, X, R, MA };
constexpr ItemPlace profile_item(std::int64_t row, ProfileColumn column) {
  return {(row - 1) * 5 + static_cast<std::int64_t>(column)};
}

// "tabk.dat": relaxation time and the two weight coefficients of each of the
// eight relaxation mechanisms.
struct RelaxationTable {
  std::array<double, kMechanisms> T_K{};
  std::array<double, kMechanisms> A_K{};
  std::array<double, kMechanisms> B_K{};
};
// Where T_K of mechanism 1..8 stands: three items a row, one read statement.
constexpr ItemPlace relaxation_time_item(std::int64_t mechanism) { return {(mechanism - 1) * 3 + 1}; }

RunSettings read_control(FreeFormatReader& in);
IncidentRecord read_incident(FreeFormatReader& in, std::int32_t NT);
Profile read_profile(FreeFormatReader& in, std::int32_t NL);
// "curve.dat": NPT rows of 4 x NMAT values, one read statement per row. No
// result depends on them; the file must still be complete.
Array2<double> read_curve(FreeFormatReader& in, const RunSettings& s);
RelaxationTable read_tabk(FreeFormatReader& in);
// "HH_G.dat" or "HH_x.dat": nine rows, parameter p of materials 1..NMAT in
// row p, into PARA_HY(p, 1..NMAT).
void read_parameter_table(FreeFormatReader& in, Array2<double>& PARA_HY);
// Where PARA_HY(p, m) stands in a table of NMAT materials.
constexpr ItemPlace parameter_item(std::int64_t p, std::int64_t m, std::int64_t NMAT) { return {m, p, NMAT}; }

// An item's value as the user wrote it and its line, read again from the
// file on `unit`; `fallback` on line 0 when the file cannot be read again.
FreeFormatReader::WrittenValue written(const FileTable& files, Unit unit, const ItemPlace& place,
                                       std::string fallback);

}  // namespace zorvik
