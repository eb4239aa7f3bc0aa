// The run's arrays: sized once from the counts of the input, zero-filled,
// indexed from 1, and for two indices stored with the first index fastest.
// A negative extent gives an empty array. A size that overflows a 64-bit byte
// count ends the run with diagnostic 179, memory that cannot be had with 41.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace zorvik {

// Zero-filled storage for n1 × n2 elements of elem_size bytes each (negative
// extents count as 0). Never returns null: an empty request gets a minimal
// block.
void* allocate_zeroed(std::int64_t n1, std::int64_t n2, std::size_t elem_size);

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
class Array1 {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Array1() = default;
  explicit Array1(std::int64_t extent)
      : data_(static_cast<T*>(allocate_zeroed(extent, 1, sizeof(T)))),
        n_(extent > 0 ? extent : 0) {}

  T& operator()(std::int64_t i) noexcept {
    assert(i >= 1 && i <= n_);
    return data_.get()[i - 1];
  }
  const T& operator()(std::int64_t i) const noexcept {
    assert(i >= 1 && i <= n_);
    return data_.get()[i - 1];
  }
  // Element 1 at offset 0.
  T* data() noexcept { return data_.get(); }
  const T* data() const noexcept { return data_.get(); }
  std::int64_t size() const noexcept { return n_; }

 private:
  std::unique_ptr<T[], FreeDeleter> data_;
  std::int64_t n_ = 0;
};

template <class T>
class Array2 {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  Array2() = default;
  Array2(std::int64_t extent1, std::int64_t extent2)
      : data_(static_cast<T*>(allocate_zeroed(extent1, extent2, sizeof(T)))),
        n1_(extent1 > 0 ? extent1 : 0),
        n2_(extent2 > 0 ? extent2 : 0) {}

  T& operator()(std::int64_t i, std::int64_t j) noexcept {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return data_.get()[(i - 1) + (j - 1) * n1_];
  }
  const T& operator()(std::int64_t i, std::int64_t j) const noexcept {
    assert(i >= 1 && i <= n1_ && j >= 1 && j <= n2_);
    return data_.get()[(i - 1) + (j - 1) * n1_];
  }
  // The n1 contiguous elements (1, j) .. (n1, j).
  T* column(std::int64_t j) noexcept { return data_.get() + (j - 1) * n1_; }
  const T* column(std::int64_t j) const noexcept { return data_.get() + (j - 1) * n1_; }
  std::int64_t extent1() const noexcept { return n1_; }
  std::int64_t extent2() const noexcept { return n2_; }

 private:
  std::unique_ptr<T[], FreeDeleter> data_;
  std::int64_t n1_ = 0;
  std::int64_t n2_ = 0;
};

}  // namespace zorvik
