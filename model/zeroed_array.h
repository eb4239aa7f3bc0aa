// Zero-filled arrays of plain values, for the soil model and the driver
// alike. They come from calloc, whose large blocks are untouched zero pages
// straight from the system: memory that is never written costs no resident
// memory.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace zorvik {

struct free_deleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
using zeroed_array = std::unique_ptr<T[], free_deleter>;

// Zero-filled storage of n1 x n2 values of `size` bytes each; a block of its
// own, never null, even when empty. Throws std::bad_array_new_length when the
// size in bytes overflows, std::bad_alloc when the memory cannot be had.
void* allocate_zeroed_bytes(std::size_t n1, std::size_t n2, std::size_t size);

template <class T>
zeroed_array<T> allocate_zeroed(std::size_t n1, std::size_t n2 = 1) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  return zeroed_array<T>(static_cast<T*>(allocate_zeroed_bytes(n1, n2, sizeof(T))));
}

}  // namespace zorvik
