#include "fp_mode.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace zorvik {

void set_flush_to_zero_mode() noexcept {
#if defined(__x86_64__) || defined(_M_X64)
  constexpr unsigned kFlushToZero = 0x8000;
  constexpr unsigned kDenormalsAreZero = 0x0040;
  _mm_setcsr(_mm_getcsr() | kFlushToZero | kDenormalsAreZero);
#endif
}

}  // namespace zorvik
