#include "global_para.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

namespace zorvik {

void global_para::allocate_parameter_sets(std::int32_t n_elements) {
  const std::int32_t n = std::max(n_elements, 0);
  curves_ = allocate_zeroed<element_curves>(static_cast<std::size_t>(n));
  lay_max_ = n;
}

void global_para::reset_hysteresis_state() {
  const auto n = static_cast<std::size_t>(lay_max_);
  for (std::size_t e = 0; e < n; ++e) {
    element_curves& c = curves_[e];
    c.centre[0] = weight_centre(c.set[0].a);
    c.centre[1] = weight_centre(c.set[1].a);
  }
  bb_ = allocate_zeroed<std::int32_t>(n);
  par_ = allocate_zeroed<std::int32_t>(n);
  xm_ = allocate_zeroed<double>(n);
  ym_ = allocate_zeroed<double>(n);
  stacks_ = allocate_zeroed<turning_point_stack>(n);
  grown_rows_ = std::make_unique<zeroed_array<double>[]>(n);

  stack_rows_ = allocate_zeroed<double>(n, stack_doubles);
  for (std::size_t e = 0; e < n; ++e) {
    double* xy = stack_rows_.get() + e * stack_doubles;
    xy[0] = kSentinel;
    xy[1] = kSentinel;
    stacks_[e] = turning_point_stack{xy, kStackRows};
  }
}

void global_para::grow_stack(int i) {
  turning_point_stack& s = stack(i);
  constexpr std::int32_t most = std::numeric_limits<std::int32_t>::max();
  if (s.rows == most) {
    throw std::bad_alloc();
  }
  const std::int32_t rows = s.rows > most / 2 ? most : 2 * s.rows;
  const auto old_rows = static_cast<std::size_t>(s.rows);
  const auto new_rows = static_cast<std::size_t>(rows);
  zeroed_array<double> block = allocate_zeroed<double>(new_rows, 2);
  std::copy_n(s.xy, 2 * old_rows, block.get());
  s = turning_point_stack{block.get(), rows};
  grown_rows_[at(i)] = std::move(block);
}

}  // namespace zorvik
