// The node stages of a step: the base node by the base condition, the
// interior nodes and the free surface from the stresses of the elements
// around them, then displacement, velocity and acceleration of every node.
#pragma once

#include <cstdint>

#include "column.h"
#include "column_state.h"
#include "input_files.h"

namespace zorvik {

// The base condition and the products of the step, fixed for the run.
struct StepConstants {
  StepConstants(double DT, const RunSettings& settings, const Profile& profile)
      : DT(DT), two_DT(2.0 * DT), VS_B_DT(profile.VS_B * DT), four_DT_VS_B((4.0 * DT) * profile.VS_B),
        RHO_B(profile.RHO_B), BASE_TYPE(settings.BASE_TYPE) {}
  double DT;
  double two_DT;
  double VS_B_DT;
  double four_DT_VS_B;
  double RHO_B;
  std::int32_t BASE_TYPE;
};

// Half-step velocity of the base node lay_max + 1. Type 1: an elastic
// half-space acting through a dashpot of impedance RHO_B x VS_B driven by
// twice the incident velocity; 2: a rigid base moving with twice the incident
// velocity; 3: with the incident velocity.
void move_base_node(ColumnState& state, const Column& column, const StepConstants& step, double V_IN);

// Half-step velocities of the interior nodes and the free surface; each node
// carries half of each element next to it, with the density of the element
// below.
void move_column_nodes(ColumnState& state, const Column& column, const StepConstants& step);

// D_2, V_NT and A_NT of every node, base included, then the new velocity and
// displacement become the old ones.
void advance_kinematics(ColumnState& state, const Column& column, const StepConstants& step);

}  // namespace zorvik
