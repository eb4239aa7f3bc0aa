#include "memory_check.h"

#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "column_state.h"
#include "column_stress.h"
#include "control_group.h"
#include "fatal.h"
#include "global_para.h"
#include "relaxation_damping.h"

namespace zorvik {
namespace {

constexpr double kDoubleBytes = sizeof(double);
constexpr double kIntBytes = sizeof(std::int32_t);

// Bytes of the run's arrays: as the address space counts them, and as
// resident memory does once the run has touched them.
struct Footprint {
  double mapped;
  double touched;
};

// The record, its resampling and the histories: what the run needs whatever
// its column.
double record_bytes(const RunSettings& s, std::int32_t NTT) {
  const double NT = s.NT;
  const double NL = s.NL;
  return (2 * NT + NTT + NT * (5 * NL + 3) + 4 * NL + 2) * kDoubleBytes;
}

Footprint run_footprint(const RunSettings& s, std::int32_t NTT, const Column& column) {
  const double elements = column.lay_max;
  const double NL = s.NL;
  const double NMAT = s.NMAT;
  const double NPT = std::max(s.NPT, 0);
  const double bytes =
      record_bytes(s, NTT) +
      // The material tables.
      (NPT * 4 * NMAT + kParameters * NMAT) * kDoubleBytes +
      // Per layer: profile, damping weights, layer parameters, column layout.
      (NL + 1) * ((4 + 10 + 9 + 4) * kDoubleBytes + 4 * kIntBytes) +
      // Per element: the column, its damping weights, the state of the
      // loop, the two parameter sets and the hysteresis state, the stress
      // update's working space.
      elements * static_cast<double>(Column::bytes_per_element + element_weights_bytes_per_element +
                                     ColumnState::bytes_per_element + global_para::bytes_per_element() +
                                     column_stress_space::bytes_per_element);
  // The turning-point stacks are mapped whole but only touched at row 1,
  // which holds the sentinel: one page per element.
  const auto page = static_cast<double>(::sysconf(_SC_PAGESIZE));
  return {bytes + elements * static_cast<double>(global_para::stack_doubles) * kDoubleBytes,
          bytes + elements * page};
}

// The soft limit of `resource` in bytes, or 0 when there is none.
double limit_of(int resource) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0.0;
  return static_cast<double>(limit.rlim_cur);
}

std::string gib(double bytes) {
  const double g = bytes / (1024.0 * 1024.0 * 1024.0);
  char text[32];
  std::snprintf(text, sizeof text, g >= 100.0 ? "%.0f GiB" : "%.3g GiB", g);
  return text;
}

// What the run needs beyond what the system gives: kind of memory, bytes
// needed, bytes available and what bounds them.
struct Shortfall {
  const char* kind;
  double needed;
  double available;
  const char* bound;
};

// What memory holds for the run: physical memory and swap, or the memory
// limit of its control group where that is less.
std::optional<std::pair<double, const char*>> memory_held() {
  std::optional<std::pair<double, const char*>> held;
  struct sysinfo system {};
  if (::sysinfo(&system) == 0) {
    held = {(static_cast<double>(system.totalram) + static_cast<double>(system.totalswap)) *
                static_cast<double>(system.mem_unit),
            "physical memory and swap hold"};
  }
  if (const auto group = control_group_memory_limit()) {
    const auto limit = static_cast<double>(*group);
    if (!held || limit < held->first) held = {limit, "the memory limit of the control group is"};
  }
  return held;
}

std::optional<Shortfall> shortfall(const Footprint& need) {
  if (const auto held = memory_held(); held && need.touched > held->first) {
    return Shortfall{"memory", need.touched, held->first, held->second};
  }
  for (const auto& [resource, bound] : {std::pair{RLIMIT_AS, "the address-space limit is"},
                                         std::pair{RLIMIT_DATA, "the data-size limit is"}}) {
    const double limit = limit_of(resource);
    if (limit > 0.0 && need.mapped > limit) return Shortfall{"address space", need.mapped, limit, bound};
  }
  return std::nullopt;
}

// Ends the run with diagnostic 41: what it needs for `what`, and what bounds it.
[[noreturn]] void refuse(const Shortfall& lack, const std::string& what) {
  fail(diag::no_memory, "the run needs about " + gib(lack.needed) + " of " + lack.kind + " for " + what + "; " +
                            lack.bound + " " + gib(lack.available));
}

}  // namespace

void check_record_memory(const RunSettings& s, std::int32_t NTT) {
  const double bytes = record_bytes(s, NTT);
  if (const auto lack = shortfall({bytes, bytes})) {
    refuse(*lack, std::to_string(NTT) + " computation steps (M_SUB = " + std::to_string(s.M_SUB) + ") and NT = " +
                      std::to_string(s.NT) + " samples");
  }
}

void check_memory(const RunSettings& s, std::int32_t NTT, const Column& column) {
  const auto lack = shortfall(run_footprint(s, NTT, column));
  if (!lack) return;
  // The layer of most elements, where a typing error in a thickness shows.
  std::int64_t largest = 1;
  for (std::int64_t j = 2; j <= s.NL; ++j) {
    if (column.N_SUBLAY(j) > column.N_SUBLAY(largest)) largest = j;
  }
  refuse(*lack, std::to_string(column.lay_max) + " elements (" + std::to_string(column.N_SUBLAY(largest)) +
                    " in layer " + std::to_string(largest) + "), NT = " + std::to_string(s.NT) +
                    " and NL = " + std::to_string(s.NL));
}

}  // namespace zorvik
