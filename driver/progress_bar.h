// Standard output of a run: the header before the time loop, a row of "|"
// marks during it, and the closing lines after it.
#pragma once

#include <cstdint>

namespace zorvik {

class ProgressBar {
 public:
  // Forms the mark interval from the number of steps and writes the header.
  void header(std::int32_t NTT);
  // The marks due at the start of step ISTEP: one at step 1, and one at
  // every multiple of the interval.
  void marks(std::int64_t ISTEP) const {
    if (ISTEP == 1) mark();
    if (ISTEP % N_BAR == 0) mark();
  }
  void closing_lines() const;

  std::int32_t interval() const { return N_BAR; }

 private:
  void mark() const;

  // NTT / 50, but at least 1 so that runs of fewer than 50 steps mark every
  // step instead of dividing by zero.
  std::int32_t N_BAR = 1;
};

}  // namespace zorvik
