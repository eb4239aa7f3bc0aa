#include "non_finite_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "analysis.h"
#include "diagnostic_text.h"
#include "file_table.h"
#include "input_files.h"

namespace zorvik {
namespace {

std::string shown(double v) { return digits_text(v, 6); }

// The time at which the histories show the state after step ISTEP.
std::string step_time(const Analysis& run, std::int64_t ISTEP) {
  return shown(run.incident.T(1) + static_cast<double>(ISTEP - 1) * run.time_base.DT);
}

// The depths are sums of the thicknesses and may pass the double range.
std::string non_finite_depth(const Analysis& run) {
  const Column& c = run.column;
  const std::int32_t NL = run.settings.NL;
  for (std::int64_t j = 1; j <= NL; ++j) {
    if (!std::isfinite(c.LAYER_DEPTH(j))) {
      return "the mid-depth of layer " + std::to_string(j) + " in layer_depth.dat is " + shown(c.LAYER_DEPTH(j));
    }
  }
  for (std::int64_t j = 1; j <= std::int64_t{NL} + 1; ++j) {
    if (!std::isfinite(c.NODE_DEPTH(j))) {
      return "the depth of the top of " +
             (j > NL ? std::string("the half-space") : "layer " + std::to_string(j)) +
             " in node_depth.dat is " + shown(c.NODE_DEPTH(j));
    }
  }
  return {};
}

// The sample of the largest magnitude among those that step k integrates:
// A_IN(k - 1) and A_IN(k) interpolate the samples around them, and
// A_IN(NTT) is 0.
std::int64_t sample_of_step(const Analysis& run, std::int64_t k) {
  const std::int64_t M_SUB = run.settings.M_SUB;
  const std::int64_t first_entry = std::max<std::int64_t>(k - 1, 1);
  const std::int64_t last_entry = std::min<std::int64_t>(k, run.time_base.NTT - 1);
  std::int64_t sample = (first_entry - 1) / M_SUB + 1;
  for (std::int64_t i = sample + 1; i <= (last_entry - 1) / M_SUB + 2; ++i) {
    if (std::fabs(run.incident.A(i)) > std::fabs(run.incident.A(sample))) sample = i;
  }
  return sample;
}

std::string incident_cause(const Analysis& run, const FileTable& files, std::int64_t k, double V_IN) {
  const std::int64_t i = sample_of_step(run, k);
  const auto A = written(files, Unit::incident, incident_acceleration(i), shown(run.incident.A(i)));
  return "the incident velocity became " + shown(V_IN) + " at time " + step_time(run, k) +
         ", integrating the acceleration " + A.text + " of sample " + std::to_string(i) +
         (A.line != 0 ? " on line " + std::to_string(A.line) + " of incident.dat" : " of incident.dat");
}

std::string element_cause(const Analysis& run, const NonFiniteElement& first, double V_IN) {
  const std::int64_t j = layer_of(run.column, first.element);
  return "the first element to turn non-finite was element " + std::to_string(first.element) + " of layer " +
         std::to_string(j) + " at time " + step_time(run, first.step) + ", with strain " + shown(first.strain) +
         " and stress " + shown(first.stress) + " while the incident velocity was " + shown(V_IN) +
         ": check the damping of layer " + std::to_string(j) +
         " (its ratio in profile.dat, the relaxation table in tabk.dat), its material " +
         std::to_string(run.profile.MA(j)) + " in HH_G.dat and HH_x.dat, and the size of the record";
}

// The earliest cause the run can see of a non-finite value recorded after
// step `recorded`. The incident velocity, integrated again, depends on the
// record alone: when it is not finite, the record is at fault whatever else
// overflowed first. Otherwise, the first element that turned non-finite up
// to that step.
std::string earliest_cause(const Analysis& run, const FileTable& files, std::int64_t recorded) {
  const TimeBase& tb = run.time_base;
  const NonFiniteElement& element = run.records.first_non_finite_element;
  IncidentVelocity v(tb.DT);
  double V_IN_at_element = 0.0;
  for (std::int64_t k = 1; k <= tb.NTT; ++k) {
    v.advance(tb.A_IN(k));
    if (!std::isfinite(v.V_IN)) return incident_cause(run, files, k, v.V_IN);
    if (k == element.step) V_IN_at_element = v.V_IN;
  }
  if (element.step != 0 && element.step <= recorded) return element_cause(run, element, V_IN_at_element);
  return "the incident velocity and the strain and stress of every element were finite up to then";
}

}  // namespace

NonFiniteResult first_non_finite(const Records& r) {
  struct History {
    const char* quantity;
    const Array2<double>& values;
  };
  const std::array<History, 3> at_nodes{{{"acceleration", r.OUT_A},
                                          {"relative velocity", r.OUT_V},
                                          {"relative displacement", r.OUT_D}}};
  const std::array<History, 2> at_elements{{{"shear strain", r.OUT_GAMMA}, {"shear stress", r.OUT_TAU}}};
  for (std::int32_t i = 1; i <= r.IREC; ++i) {
    for (const bool at_node : {true, false}) {
      const std::span<const History> histories = at_node ? std::span<const History>(at_nodes) : at_elements;
      for (std::int64_t j = 1; j <= histories[0].values.extent1(); ++j) {
        for (const History& h : histories) {
          if (!std::isfinite(h.values(j, i))) return {h.quantity, j, at_node, i, h.values(j, i)};
        }
      }
    }
  }
  return {};
}

std::string non_finite_report(const Analysis& run, const FileTable& files) {
  const std::string depth = non_finite_depth(run);
  if (!depth.empty()) {
    return depth + ": the layer thicknesses in profile.dat add up beyond the range of a double";
  }
  // A peak is not finite only where a recorded value is not, and the times are
  // finite as read: the histories hold the first non-finite value in time.
  const NonFiniteResult bad = first_non_finite(run.records);
  if (bad.quantity == nullptr) return {};
  const std::string point = !bad.at_node                ? "the recorded element of layer " + std::to_string(bad.layer)
                            : bad.layer > run.settings.NL ? std::string("the top of the half-space")
                                                          : "the top of layer " + std::to_string(bad.layer);
  return std::string(bad.quantity) + " at " + point + " is " + shown(bad.value) +
         " at time " + shown(run.incident.T(bad.record)) + " (line " + std::to_string(bad.record) +
         " of t.dat); " + earliest_cause(run, files, 1 + std::int64_t{bad.record - 1} * run.settings.M_SUB);
}

}  // namespace zorvik
