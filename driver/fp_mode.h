#pragma once

namespace zorvik {

// Flush-to-zero and denormals-are-zero for the whole run (x86-64: MXCSR bits
// 15 and 6, every other bit as the process started). Elsewhere a no-op.
void set_flush_to_zero_mode() noexcept;

}  // namespace zorvik
