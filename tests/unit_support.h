// What the unit tests share: exact comparison of doubles, the elements of
// an array, and soil models of given parameter sets.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "global_para.h"
#include "reference_backbone.h"

namespace zorvik::test {

// Equal only for the same value with the same sign of zero.
inline std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }
inline std::vector<std::uint64_t> bits(const std::vector<double>& values) {
  std::vector<std::uint64_t> b;
  for (const double v : values) b.push_back(bits(v));
  return b;
}

// The elements of a 1-based array, in order.
template <class Array>
auto values(const Array& a) {
  return std::vector(a.data(), a.data() + a.size());
}

// A realistic branch set whose stress is 0 at zero strain.
inline constexpr oracle::curve kBranchSet{2e-6, 0.9, 8e-4, 1.1, 0.85, 45000.0, 6.0, 40.0, 0.7};

// A model of elements 1..n with the sets `backbone` (row 1) and `branch`
// (row 2), reset.
inline void put_model(global_para& gp, int n, const oracle::curve& backbone, const oracle::curve& branch) {
  gp.allocate_parameter_sets(n);
  for (int i = 1; i <= n; ++i) {
    oracle::put_curve(gp, 1, i, backbone);
    oracle::put_curve(gp, 2, i, branch);
  }
  gp.reset_hysteresis_state();
}

}  // namespace zorvik::test
