// The seven input files, each read in one pass from its beginning with the
// free-format reader, into the arrays of the run. Every array is allocated
// just before the read that fills it.
#pragma once

#include <array>
#include <cstdint>

#include "arrays.h"

namespace zorvik {

class FreeFormatReader;

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

// "incident.dat": NT pairs of time and acceleration.
struct IncidentRecord {
  Array1<double> T;
  Array1<double> A;
};

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

// "tabk.dat": relaxation time and the two weight coefficients of each of the
// eight relaxation mechanisms.
struct RelaxationTable {
  std::array<double, kMechanisms> T_K{};
  std::array<double, kMechanisms> A_K{};
  std::array<double, kMechanisms> B_K{};
};

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

}  // namespace zorvik
