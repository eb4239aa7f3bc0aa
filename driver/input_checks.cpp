#include "input_checks.h"

#include <cmath>
#include <limits>
#include <string>

#include "diagnostic_text.h"
#include "fatal.h"
#include "file_table.h"
#include "free_format.h"
#include "relaxation_damping.h"

namespace zorvik {
namespace {

// Items of a row of "profile.dat": thickness, velocity, damping ratio,
// density, material number.
constexpr std::int64_t kProfileRow = 5;

[[noreturn]] void refuse(const FileTable& files, Unit unit, const std::string& what) {
  files.fail(diag::invalid_input, unit, what);
}

// An item's value as the user wrote it, read again from its file; `read`
// when the file cannot be read again.
std::string written(const FileTable& files, Unit unit, const ItemPlace& place, const std::string& read) {
  const auto value = FreeFormatReader::value_as_written(files.fd(unit), place);
  return value ? value->text : read;
}
std::string written(const FileTable& files, Unit unit, const ItemPlace& place, double read) {
  return written(files, unit, place, shortest_text(read));
}

// Item `column` (from 1) of row `row` of a file read as one statement of
// rows of `width` items.
ItemPlace in_row(std::int64_t row, std::int64_t width, std::int64_t column) {
  return {(row - 1) * width + column};
}

// The control value `name`, item `item` of the file, must be at least `least`.
void require_at_least(const FileTable& files, const char* name, std::int64_t item, std::int32_t value,
                      std::int32_t least) {
  if (value < least) {
    refuse(files, Unit::control,
           std::string(name) + " = " + written(files, Unit::control, {item}, std::to_string(value)) + " is below " +
               std::to_string(least));
  }
}

}  // namespace

void check_control(const RunSettings& s, const FileTable& files) {
  if (s.FMAX <= 0.0) {
    refuse(files, Unit::control, "FMAX = " + written(files, Unit::control, {1}, s.FMAX) + " is not above 0");
  }
  require_at_least(files, "NPW", 2, s.NPW, 1);
  require_at_least(files, "M_SUB", 3, s.M_SUB, 1);
  if (s.BASE_TYPE < 1 || s.BASE_TYPE > 3) {
    refuse(files, Unit::control,
           "BASE_TYPE = " + written(files, Unit::control, {4}, std::to_string(s.BASE_TYPE)) + " is not 1, 2 or 3");
  }
  require_at_least(files, "NL", 5, s.NL, 1);
  require_at_least(files, "NT", 6, s.NT, 2);
  require_at_least(files, "NMAT", 7, s.NMAT, 1);
  const std::int64_t steps = (std::int64_t{s.NT} - 1) * s.M_SUB + 1;
  if (steps > std::numeric_limits<std::int32_t>::max()) {
    refuse(files, Unit::control,
           "(NT - 1) x M_SUB + 1 = " + std::to_string(steps) + " steps exceed the 32-bit range");
  }
}

void check_incident(const IncidentRecord& r, const FileTable& files) {
  if (r.T(2) <= r.T(1)) {
    refuse(files, Unit::incident,
           "T(2) = " + written(files, Unit::incident, {3}, r.T(2)) + " is not greater than T(1) = " +
               written(files, Unit::incident, {1}, r.T(1)));
  }
}

void check_profile(const Profile& p, const RunSettings& s, const FileTable& files) {
  const auto value = [&](std::int64_t j, std::int64_t column, double read) {
    return written(files, Unit::profile, in_row(j, kProfileRow, column), read);
  };
  for (std::int64_t j = 1; j <= s.NL; ++j) {
    const auto refuse_layer = [&](const std::string& what) {
      refuse(files, Unit::profile, "layer " + std::to_string(j) + ": " + what);
    };
    if (p.H(j) <= 0.0) refuse_layer("thickness " + value(j, 1, p.H(j)) + " is not above 0");
    if (p.V(j) <= 0.0) refuse_layer("velocity " + value(j, 2, p.V(j)) + " is not above 0");
    if (p.X(j) <= 0.0) refuse_layer("damping ratio " + value(j, 3, p.X(j)) + " is not above 0");
    if (p.X(j) >= 0.5) {
      refuse_layer("damping ratio " + value(j, 3, p.X(j)) +
                   " is not below 0.5: damping ratios are fractions (0.03 for 3 %)");
    }
    // The density read is finite; times 1000 it may not be.
    if (!(std::isfinite(p.R(j)) && p.R(j) > 0.0)) {
      refuse_layer("density " + value(j, 4, p.R(j) / 1000.0) + " x 1000 is not a positive finite value");
    }
    if (p.MA(j) < 1 || p.MA(j) > s.NMAT) {
      refuse_layer("material number " +
                   written(files, Unit::profile, in_row(j, kProfileRow, 5), std::to_string(p.MA(j))) +
                   " is outside 1.." + std::to_string(s.NMAT));
    }
  }
  if (s.BASE_TYPE == 1) {
    const std::int64_t half_space = std::int64_t{s.NL} + 1;
    if (p.VS_B <= 0.0) {
      refuse(files, Unit::profile, "half-space: velocity " + value(half_space, 2, p.VS_B) + " is not above 0");
    }
    if (p.RHO_B <= 0.0) {
      refuse(files, Unit::profile,
             "half-space: density " + value(half_space, 4, p.RHO_B / 1000.0) + " is not above 0");
    }
  }
}

void check_tabk(const RelaxationTable& t, const FileTable& files) {
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    if (t.T_K[k] < 0.0) {
      const auto mechanism = static_cast<std::int64_t>(k) + 1;
      refuse(files, Unit::tabk,
             "mechanism " + std::to_string(mechanism) + ": relaxation time " +
                 written(files, Unit::tabk, in_row(mechanism, 3, 1), t.T_K[k]) + " is negative");
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
                 written(files, Unit::profile, in_row(j, kProfileRow, 3), p.X(j)) +
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
                   written(files, unit, {m, row, PARA_HY.extent2()}, v) + fault);
      }
    }
  }
}

}  // namespace zorvik
