#include "stable_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "diagnostic_text.h"
#include "fatal.h"
#include "file_table.h"

namespace zorvik {
namespace {

struct Courant {
  double number = 0.0;
  std::int64_t layer = 0;
  std::int32_t element = 0;
};

// The density the scheme gives the node under element e: that of the next
// element, of the half-space under the lowest element on an elastic base,
// and the element's own above a base that moves as prescribed (such a node
// takes no mass from the column; the element's own density keeps the bound
// of a uniform column).
double density_below(const Column& c, const Profile& p, std::int32_t BASE_TYPE, std::int32_t e) {
  if (e < c.lay_max) return c.RHO(e + 1);
  return BASE_TYPE == 1 ? p.RHO_B : c.RHO(e);
}

// DT / DZ x sqrt(G (1 / RHO(e) + 1 / RHO_below) / 2), grouped so that equal
// densities give exactly DT x sqrt(G / RHO) / DZ.
double courant_number(double DT, const Column& c, const global_para& gp, double rho_below, std::int32_t e) {
  const double G = std::max(gp.gmax(1, e), gp.gmax(2, e));
  return DT * std::sqrt(G / c.RHO(e) * 0.5 + G / rho_below * 0.5) / c.DZ(e);
}

// The largest Courant number of the column for the step DT, a NaN counting
// as the largest. Every element of a layer has the layer's thickness,
// density and parameter sets, and all but the last have a node of that
// density below them, so the first and the last stand for all of them.
Courant largest_courant(double DT, const Column& c, const global_para& gp, const Profile& p,
                        const RunSettings& s) {
  Courant worst;
  for (std::int64_t j = 1; j <= s.NL; ++j) {
    for (const std::int32_t e : {c.NODE_INDEX(j), c.NODE_INDEX(j + 1) - 1}) {
      const double C = courant_number(DT, c, gp, density_below(c, p, s.BASE_TYPE, e), e);
      if (worst.element == 0 || (!std::isnan(worst.number) && !(C <= worst.number))) worst = {C, j, e};
    }
  }
  return worst;
}

// The smallest M_SUB that gives every element a Courant number of 1 or less,
// or 0 when none does within a 32-bit step count. A larger M_SUB never gives
// a longer step, so the search may halve the interval.
std::int64_t smallest_stable_M_SUB(const Column& c, const global_para& gp, const Profile& p,
                                     const RunSettings& s, double DT0) {
  const auto stable = [&](std::int64_t M_SUB) {
    return largest_courant(computation_step(DT0, M_SUB), c, gp, p, s).number <= 1.0;
  };
  constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
  if (!stable(kMost)) return 0;
  std::int64_t unstable = s.M_SUB;
  std::int64_t enough = kMost;
  while (enough - unstable > 1) {
    const std::int64_t middle = unstable + (enough - unstable) / 2;
    if (stable(middle)) {
      enough = middle;
    } else {
      unstable = middle;
    }
  }
  return computation_steps(s.NT, enough) <= kMost ? enough : 0;
}

// Three significant digits, or as many more as it takes to show the number
// above 1.
std::string courant_text(double C) {
  if (!std::isfinite(C)) return non_finite_word(C);
  char text[40];
  for (int digits = 3; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%#.*g", digits, C);
    if (std::strtod(text, nullptr) > 1.0) break;
  }
  std::string shown = text;
  if (shown.back() == '.') shown.pop_back();
  return shown;
}

}  // namespace

void check_stable_step(const Column& column, const global_para& gp, const Profile& profile,
                       const RunSettings& s, const TimeBase& time_base, const FileTable& files) {
  const Courant worst = largest_courant(time_base.DT, column, gp, profile, s);
  if (worst.number <= 1.0) return;
  const auto M_SUB = written(files, Unit::control, control_item(ControlItem::M_SUB), std::to_string(s.M_SUB));
  std::string text = "M_SUB = " + M_SUB.text + " gives DT = " + digits_text(time_base.DT, 6) +
                     ", too long for element " + std::to_string(worst.element) + " of layer " +
                     std::to_string(worst.layer) + " (Courant number " + courant_text(worst.number) + " > 1); ";
  const std::int64_t needed = smallest_stable_M_SUB(column, gp, profile, s, time_base.DT0);
  if (needed != 0) {
    text += "M_SUB >= " + std::to_string(needed) + " is needed";
  } else {
    text += "no M_SUB within a 32-bit step count is enough: check gmax and the density of layer " +
            std::to_string(worst.layer) + ", or use thicker elements (a lower FMAX or NPW)";
  }
  files.fail(diag::invalid_input, Unit::control, text);
}

}  // namespace zorvik
