// Input that would crash a run or silently corrupt every result is refused
// right after the file is read, before the time loop and before any result
// file is touched: diagnostic 72 names the file and the offending item. The
// reader admits finite values only; values computed from them (a density
// times 1000, the damping weights) need not be finite.
#pragma once

#include <cstdint>

#include "arrays.h"
#include "input_files.h"

namespace zorvik {

class FileTable;
enum class Unit : int;
struct DampingWeights;

void check_control(const RunSettings& s, const FileTable& files);
void check_incident(const IncidentRecord& r, const FileTable& files);
void check_profile(const Profile& p, const RunSettings& s, const FileTable& files);
void check_tabk(const RelaxationTable& t, const FileTable& files);
// Under a steady strain g a layer's corrected strain settles at
// g (1 - S/2) / (1 + S/2), S the sum of its eight weights: the relaxed
// modulus is positive only for S < 2, and a negative S makes it exceed the
// unrelaxed one, feeding energy in. Such a layer is refused on "tabk.dat",
// whose coefficients make the weights.
void check_damping_weights(const DampingWeights& w, const Profile& p, std::int32_t NL,
                           const FileTable& files);
// The parameter sets of every material that a layer uses, from the file on
// `unit` ("HH_G.dat" or "HH_x.dat").
void check_parameter_table(const Array2<double>& PARA_HY, const Profile& p, std::int32_t NL,
                           const FileTable& files, Unit unit);

}  // namespace zorvik
