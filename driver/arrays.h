// The run's arrays: sized once from the counts of the input, zero-filled,
// indexed from 1, and for two indices stored with the first index fastest.
// A negative extent gives an empty array. A size that overflows a 64-bit byte
// count ends the run with diagnostic 179, memory that cannot be had with 41.
// Indices are checked in Debug builds.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "fatal.h"
#include "zeroed_array.h"

namespace zorvik {

// n1 x n2 zero-filled values of T; negative extents count as 0.
template <class T>
zeroed_array<T> zeroed_cells(std::int64_t n1, std::int64_t n2) {
  const auto extent = [](std::int64_t n) { return static_cast<std::size_t>(n > 0 ? n : 0); };
  return with_memory_diagnostics([&] { return allocate_zeroed<T>(extent(n1), extent(n2)); });
}

template <class T>
class Array1 {
 public:
  Array1() = default;
  explicit Array1(std::int64_t extent) : data_(zeroed_cells<T>(extent, 1)), n_(extent > 0 ? extent : 0) {}

  T& operator()(std::int64_t i) noexcept {
    assert(i >= 1 && i <= n_);
    return data_.get()[i - 1];
  }
  const T& operator()(std::int64_t i) const noexcept {
    assert(i >= 1 && i <= n_);
    return data_.get()[i - 1];
  }
  // Element 1 at offset 0, followed by the other size() - 1.
  T* data() noexcept {
    assert(data_ != nullptr && "array never created");
    return data_.get();
  }
  const T* data() const noexcept {
    assert(data_ != nullptr && "array never created");
    return data_.get();
  }
  std::int64_t size() const noexcept { return n_; }

 private:
  zeroed_array<T> data_;
  std::int64_t n_ = 0;
};

template <class T>
class Array2 {
 public:
  Array2() = default;
  Array2(std::int64_t extent1, std::int64_t extent2)
      : data_(zeroed_cells<T>(extent1, extent2)), n1_(extent1 > 0 ? extent1 : 0), n2_(extent2 > 0 ? extent2 : 0) {}

  T& operator()(std::int64_t i, std::int64_t j) noexcept {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return data_.get()[(i - 1) + (j - 1) * n1_];
  }
  const T& operator()(std::int64_t i, std::int64_t j) const noexcept {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return data_.get()[(i - 1) + (j - 1) * n1_];
  }
  // The n1 contiguous elements (1, j) .. (n1, j).
  T* column(std::int64_t j) noexcept {
    assert(j >= 1 && j <= n2_);
    return data_.get() + (j - 1) * n1_;
  }
  const T* column(std::int64_t j) const noexcept {
    assert(j >= 1 && j <= n2_);
    return data_.get() + (j - 1) * n1_;
  }
  std::int64_t extent1() const noexcept { return n1_; }
  std::int64_t extent2() const noexcept { return n2_; }

 private:
  zeroed_array<T> data_;
  std::int64_t n1_ = 0;
  std::int64_t n2_ = 0;
};

}  // namespace zorvik
