// The explicit scheme is stable only while a shear wave needs at least one
// step to cross an element. A longer step does not overflow (the stress is
// bounded by the strength) but gives plausible-looking nonsense, so it is
// refused before the loop: diagnostic 72 on "control.dat".
#pragma once

#include "column.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"

namespace zorvik {

class FileTable;

// Refuses the run when an element's Courant number DT x sqrt(G / RHO) / DZ,
// with G the larger of its two gmax, exceeds 1, naming the smallest M_SUB
// that brings every element to 1 or below.
void check_stable_step(const Column& column, const global_para& gp, const RunSettings& s,
                       const TimeBase& time_base, const FileTable& files);

}  // namespace zorvik
