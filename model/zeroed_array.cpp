#include "zeroed_array.h"

#include <limits>
#include <new>

namespace zorvik {

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): extents in storage order
void* allocate_zeroed_bytes(std::size_t n1, std::size_t n2, std::size_t size) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if ((n1 != 0 && n2 > kMax / n1) || (n1 * n2 != 0 && size > kMax / (n1 * n2))) {
    throw std::bad_array_new_length();
  }
  const std::size_t bytes = n1 * n2 * size;
  void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}

}  // namespace zorvik
