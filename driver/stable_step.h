// The explicit scheme is stable only while DT^2 times the largest eigenvalue
// of the column (its stiffness over its node masses) stays at 4 or below. A
// longer step does not overflow (the stress is bounded by the strength) but
// gives plausible-looking nonsense, so it is refused before the loop:
// diagnostic 72 on "control.dat".
//
// The scheme gives node i the mass RHO(i) (DZ(i-1) + DZ(i)) / 2: the density
// of the element below the node, for the whole node. Split that mass between
// the two elements that meet there, half of each element's thickness at the
// node's density. Element e then carries RHO(e) DZ(e) / 2 at its top node and
// RHO_below DZ(e) / 2 at its bottom node, and with the stiffness G / DZ(e) its
// own largest eigenvalue is 2 G (1 / RHO(e) + 1 / RHO_below) / DZ(e)^2. The
// assembled column's largest eigenvalue is at most the largest of the
// elements' own, so the column is stable when every element's Courant number
//   C(e) = DT / DZ(e) x sqrt(G (1 / RHO(e) + 1 / RHO_below) / 2)
// is 1 or less. In a uniform column this is DT x sqrt(G / RHO) / DZ; where a
// heavy, stiff layer lies on a light one, the node between them is far
// lighter than the heavy layer's density makes it seem.
#pragma once

#include "column.h"
#include "global_para.h"
#include "incident_motion.h"
#include "input_files.h"

namespace zorvik {

class FileTable;

// Refuses the run when an element's Courant number C(e), with G the larger
// of its two gmax as read, exceeds 1, naming the smallest M_SUB that brings
// every element to 1 or below.
void check_stable_step(const Column& column, const global_para& gp, const Profile& profile,
                       const RunSettings& s, const TimeBase& time_base, const FileTable& files);

}  // namespace zorvik
