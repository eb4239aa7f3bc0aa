#include "input_checks.h"

#include <cmath>
#include <limits>
#include <string>

#include "diagnostic_text.h"
#include "fatal.h"
#include "file_table.h"
#include "free_format.h"
#include "incident_motion.h"
#include "relaxation_damping.h"

namespace zorvik {
namespace {

[[noreturn]] void refuse(const FileTable& files, Unit unit, const std::string& what) {
  files.fail(diag::invalid_input, unit, what);
}

// An item's value as the user wrote it, or as read.
std::string as_written(const FileTable& files, Unit unit, const ItemPlace& place, double read) {
  return written(files, unit, place, shortest_text(read)).text;
}

// The control value `name` must be at least `least`.
void require_at_least(const FileTable& files, const char* name, ControlItem item, std::int32_t value,
                      std::int32_t least) {
  if (value < least) {
    refuse(files, Unit::control,
           std::string(name) + " = " + written(files, Unit::control, control_item(item), std::to_string(value)).text +
               " is below " + std::to_string(least));
  }
}

}  // namespace

void check_control(const RunSettings& s, const FileTable& files) {
  if (s.FMAX <= 0.0) {
    refuse(files, Unit::control,
           "FMAX = " + as_written(files, Unit::control, control_item(ControlItem::FMAX), s.FMAX) + " is not above 0");
  }
  require_at_least(files, "NPW", ControlItem::NPW, s.NPW, 1);
  require_at_least(files, "M_SUB", ControlItem::M_SUB, s.M_SUB, 1);
  if (s.BASE_TYPE < 1 || s.BASE_TYPE > 3) {
    refuse(files, Unit::control,
           "BASE_TYPE = " +
               written(files, Unit::control, control_item(ControlItem::BASE_TYPE), std::to_string(s.BASE_TYPE)).text +
               " is not 1, 2 or 3");
  }
  require_at_least(files, "NL", ControlItem::NL, s.NL, 1);
  require_at_least(files, "NT", ControlItem::NT, s.NT, 2);
  require_at_least(files, "NMAT", ControlItem::NMAT, s.NMAT, 1);
  const std::int64_t steps = computation_steps(s.NT, s.M_SUB);
  if (steps > std::numeric_limits<std::int32_t>::max()) {
    refuse(files, Unit::control,
           "(NT - 1) x M_SUB + 1 = " + std::to_string(steps) + " steps exceed the 32-bit range");
  }
}

void check_incident(const IncidentRecord& r, const FileTable& files) {
  if (r.T(2) <= r.T(1)) {
    refuse(files, Unit::incident,
           "T(2) = " + as_written(files, Unit::incident, incident_time(2), r.T(2)) + " is not greater than T(1) = " +
               as_written(files, Unit::incident, incident_time(1), r.T(1)));
  }
}

void check_profile(const Profile& p, const RunSettings& s, const FileTable& files) {
  const auto value = [&](std::int64_t j, ProfileColumn column, double read) {
    return as_written(files, Unit::profile, profile_item(j, column), read);
  };
  for (std::int64_t j = 1; j <= s.NL; ++j) {
    const auto refuse_layer = [&](const std::string& what) {
      refuse(files, Unit::profile, "layer " + std::to_string(j) + ": " + what);
    };
    if (p.H(j) <= 0.0) refuse_layer("thickness " + value(j, ProfileColumn::H, p.H(j)) + " is not above 0");
    if (p.V(j) <= 0.0) refuse_layer("velocity " + value(j, ProfileColumn::V, p.V(j)) + " is not above 0");
    if (p.X(j) <= 0.0) refuse_layer("damping ratio " + value(j, ProfileColumn::X, p.X(j)) + " is not above 0");
    if (p.X(j) >= 0.5) {
      refuse_layer("damping ratio " + value(j, ProfileColumn::X, p.X(j)) +
                   " is not below 0.5: damping ratios are fractions (0.03 for 3 %)");
    }
    // The density read is finite; times 1000 it may not be.
    if (!(std::isfinite(p.R(j)) && p.R(j) > 0.0)) {
      refuse_layer("density " + value(j, ProfileColumn::R, p.R(j) / 1000.0) +
                   " x 1000 is not a positive finite value");
    }
    if (p.MA(j) < 1 || p.MA(j) > s.NMAT) {
      refuse_layer("material number " +
                   written(files, Unit::profile, profile_item(j, ProfileColumn::MA), std::to_string(p.MA(j))).text +
                   " is outside 1.." + std::to_string(s.NMAT));
    }
  }
  if (s.BASE_TYPE == 1) {
    const std::int64_t half_space = std::int64_t{s.NL} + 1;
    if (p.VS_B <= 0.0) {
      refuse(files, Unit::profile,
             "half-space: velocity " + value(half_space, ProfileColumn::V, p.VS_B) + " is not above 0");
    }
    if (p.RHO_B <= 0.0) {
      refuse(files, Unit::profile,
             "half-space: density " + value(half_space, ProfileColumn::R, p.RHO_B / 1000.0) + " is not above 0");
    }
  }
}

void check_tabk(const RelaxationTable& t, const FileTable& files) {
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    if (t.T_K[k] < 0.0) {
      const auto mechanism = static_cast<std::int64_t>(k) + 1;
      refuse(files, Unit::tabk,
             "mechanism " + std::to_string(mechanism) + ": relaxation time " +
                 as_written(files, Unit::tabk, relaxation_time_item(mechanism), t.T_K[k]) + " is negative");
    }
  }
}

void check_damping_weights(const DampingWeights& w, const Profile& p, std::int32_t NL,
                           const FileTable& files) {
  for (std::int64_t j = 1; j <= NL; ++j) {
    double S = w.W_K(1, j);
    for (std::int64_t k = 2; k <= kMechanisms; ++k) S = S + w.W_K(k, j);
    if (!(S >= 0.0 && S < 2.0)) {
      refuse(files, Unit::tabk,
             "layer " + std::to_string(j) + " with damping ratio " +
                 as_written(files, Unit::profile, profile_item(j, ProfileColumn::X), p.X(j)) +
                 ": the weights (A_K x CHI + B_K) x CHI of the eight mechanisms sum to " + digits_text(S, 3) +
                 "; a sum of 2 or more, or below 0, makes the column diverge");
    }
  }
}

void check_parameter_table(const Array2<double>& PARA_HY, const Profile& p, std::int32_t NL,
                           const FileTable& files, Unit unit) {
  // gamma_t, a, gamma_ref, gmax and tmax must be above 0, d at least 0:
  // otherwise the backbone gives a not-a-number stress at every strain.
  static constexpr std::array<bool, kParameters> kMustBePositive{true, true,  true, false, false,
                                                                 true, false, true, false};
  constexpr std::size_t kD = 8;
  for (std::int64_t j = 1; j <= NL; ++j) {
    const std::int32_t m = p.MA(j);
    for (std::size_t q = 0; q < kParameters; ++q) {
      const double v = PARA_HY(static_cast<std::int64_t>(q) + 1, m);
      const char* fault = nullptr;
      if (kMustBePositive[q] && v <= 0.0) {
        fault = " is not above 0";
      } else if (q == kD && v < 0.0) {
        fault = " is below 0";
      }
      if (fault != nullptr) {
        const auto row = static_cast<std::int64_t>(q) + 1;
        refuse(files, unit,
               "material " + std::to_string(m) + " (layer " + std::to_string(j) + "): " + kParameterNames[q] + " = " +
                   as_written(files, unit, parameter_item(row, m, PARA_HY.extent2()), v) + fault);
      }
    }
  }
}

}  // namespace zorvik
