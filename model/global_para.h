// The soil model's store: for every element of the column its two parameter
// sets and its hysteresis state. Elements are numbered 1..lay_max; the
// accessors take the 1-based indices of the model's equations.
//
// Life cycle: allocate_parameter_sets(lay_max) once; fill row 1 (backbone
// set) and row 2 (branch set) of every element; reset_hysteresis_state()
// once. From then on only hyster and hyster_column change anything, and of
// the parameters only gmax(2, i). Lack of memory is thrown as std::bad_alloc.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tauhybfkz.h"
#include "zeroed_array.h"

namespace zorvik {

// Row 1 of both turning-point stacks: 1e30 rounded to single precision and
// widened (bits 0x46293E5940000000), not the double nearest to 1e30.
inline constexpr double kSentinel = 1.0000000150474662e+30;
// Rows of a turning-point stack after the reset.
inline constexpr int kStackRows = 5000;

// Both parameter sets of one element, row 1 then row 2, with the weight
// centre of each (formed by the reset; `a` does not change after it).
struct element_curves {
  std::array<parameter_set, 2> set;
  std::array<double, 2> centre;
};

// One element's turning-point stack of rows 1..rows: the strain x and the
// stress y of row k side by side at offsets 2k - 2 and 2k - 1, so that the
// rows the stress update reads lie together.
struct turning_point_stack {
  double* xy;
  std::int32_t rows;
};

struct global_para {
  // Sets lay_max and creates both parameter sets of every element, all zero.
  void allocate_parameter_sets(std::int32_t n_elements);

  // The number of elements, the extent of every per-element array.
  std::int32_t lay_max() const { return lay_max_; }

  // Creates the hysteresis state, all zero but row 1 of both stacks, which
  // holds the sentinel. The stacks' storage is zeroed lazily: rows that are
  // never touched cost no resident memory.
  void reset_hysteresis_state();

  // Parameter set r (1 backbone, 2 branch) of element i.
  double& gamma_t_sub(int r, int i) { return parameters(r, i).gamma_t; }
  double& a_sub(int r, int i) { return parameters(r, i).a; }
  double& gamma_ref_sub(int r, int i) { return parameters(r, i).gamma_ref; }
  double& beta_sub(int r, int i) { return parameters(r, i).beta; }
  double& s_sub(int r, int i) { return parameters(r, i).s; }
  double& gmax(int r, int i) { return parameters(r, i).gmax; }
  double& mu_sub(int r, int i) { return parameters(r, i).mu; }
  double& tmax_sub(int r, int i) { return parameters(r, i).tmax; }
  double& d_sub(int r, int i) { return parameters(r, i).d; }
  const double& gamma_t_sub(int r, int i) const { return parameters(r, i).gamma_t; }
  const double& a_sub(int r, int i) const { return parameters(r, i).a; }
  const double& gamma_ref_sub(int r, int i) const { return parameters(r, i).gamma_ref; }
  const double& beta_sub(int r, int i) const { return parameters(r, i).beta; }
  const double& s_sub(int r, int i) const { return parameters(r, i).s; }
  const double& gmax(int r, int i) const { return parameters(r, i).gmax; }
  const double& mu_sub(int r, int i) const { return parameters(r, i).mu; }
  const double& tmax_sub(int r, int i) const { return parameters(r, i).tmax; }
  const double& d_sub(int r, int i) const { return parameters(r, i).d; }

  // Hysteresis state of element i; row k of its stacks, k = 1..stack(i).rows.
  std::int32_t& bb(int i) { return bb_[at(i)]; }
  std::int32_t& par(int i) { return par_[at(i)]; }
  double& xm(int i) { return xm_[at(i)]; }
  double& ym(int i) { return ym_[at(i)]; }
  double& xtu(int k, int i) { return strain_at(k, stack(i)); }
  double& ytu(int k, int i) { return stress_at(k, stack(i)); }
  const std::int32_t& bb(int i) const { return bb_[at(i)]; }
  const std::int32_t& par(int i) const { return par_[at(i)]; }
  const double& xm(int i) const { return xm_[at(i)]; }
  const double& ym(int i) const { return ym_[at(i)]; }
  const double& xtu(int k, int i) const { return strain_at(k, stack(i)); }
  const double& ytu(int k, int i) const { return stress_at(k, stack(i)); }

  // Whole records, for the model's own routines.
  parameter_set& parameters(int r, int i) { return curves(i).set[side(r)]; }
  const parameter_set& parameters(int r, int i) const { return curves(i).set[side(r)]; }
  element_curves& curves(int i) { return curves_[at(i)]; }
  const element_curves& curves(int i) const { return curves_[at(i)]; }
  turning_point_stack& stack(int i) { return stacks_[at(i)]; }
  const turning_point_stack& stack(int i) const { return stacks_[at(i)]; }

  // Doubles the rows of element i's stacks, keeping their contents, in
  // storage of that element alone.
  void grow_stack(int i);

  // Bytes per element of the parameter sets and of the hysteresis state but
  // the stacks' rows.
  static constexpr std::size_t bytes_per_element() {
    return sizeof(decltype(curves_)::element_type) + sizeof(decltype(bb_)::element_type) +
           sizeof(decltype(par_)::element_type) + sizeof(decltype(xm_)::element_type) +
           sizeof(decltype(ym_)::element_type) + sizeof(decltype(stacks_)::element_type) +
           sizeof(decltype(grown_rows_)::element_type);
  }
  // The doubles of the stacks' rows of one element after the reset, strain
  // and stress of every row.
  static constexpr std::size_t stack_doubles = 2 * static_cast<std::size_t>(kStackRows);

 private:
  std::size_t at(int i) const {
    assert(i >= 1 && i <= lay_max_);
    return static_cast<std::size_t>(i - 1);
  }
  static std::size_t side(int r) {
    assert(r == 1 || r == 2);
    return static_cast<std::size_t>(r - 1);
  }
  // The strain and the stress of row k of a stack.
  static double& strain_at(int k, const turning_point_stack& s) {
    assert(k >= 1 && k <= s.rows);
    return s.xy[2 * static_cast<std::size_t>(k - 1)];
  }
  static double& stress_at(int k, const turning_point_stack& s) {
    assert(k >= 1 && k <= s.rows);
    return s.xy[2 * static_cast<std::size_t>(k - 1) + 1];
  }

  std::int32_t lay_max_ = 0;
  zeroed_array<element_curves> curves_;
  zeroed_array<std::int32_t> bb_;
  zeroed_array<std::int32_t> par_;
  zeroed_array<double> xm_;
  zeroed_array<double> ym_;
  zeroed_array<turning_point_stack> stacks_;
  zeroed_array<double> stack_rows_;                     // kStackRows rows per element
  std::unique_ptr<zeroed_array<double>[]> grown_rows_;  // an element's rows after growth
};

}  // namespace zorvik
