#include "arrays.h"

#include <limits>

#include "fatal.h"

namespace zorvik {

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): extents in storage order
void* allocate_zeroed(std::int64_t n1, std::int64_t n2, std::size_t elem_size) {
  const auto e1 = static_cast<std::uint64_t>(n1 > 0 ? n1 : 0);
  const auto e2 = static_cast<std::uint64_t>(n2 > 0 ? n2 : 0);
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (e1 != 0 && e2 > kMax / e1) {
    fail(diag::array_size_overflow, "Cannot allocate array - overflow on array size calculation.");
  }
  const std::uint64_t count = e1 * e2;
  if (count != 0 && elem_size > kMax / count) {
    fail(diag::array_size_overflow, "Cannot allocate array - overflow on array size calculation.");
  }
  const std::uint64_t bytes = count * elem_size;
  if (bytes > std::numeric_limits<std::size_t>::max()) {
    fail(diag::no_memory, "insufficient virtual memory");
  }
  void* p = std::calloc(bytes == 0 ? 1 : static_cast<std::size_t>(bytes), 1);
  if (p == nullptr) fail(diag::no_memory, "insufficient virtual memory");
  return p;
}

}  // namespace zorvik
