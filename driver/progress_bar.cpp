#include "progress_bar.h"

#include <algorithm>
#include <cstdio>

namespace zorvik {
namespace {

// Once a write to standard output has failed (a reader that went away, a full
// device), the rest of the progress text is dropped: the run goes on.
void put(const char* text) {
  if (std::ferror(stdout) != 0) return;
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

void ProgressBar::header(std::int32_t NTT) {
  N_BAR = std::max<std::int32_t>(1, NTT / 50);
  put("|---------------- Calculating --------------------|\n");
}

void ProgressBar::mark() const { put("|"); }

void ProgressBar::closing_lines() const {
  put(" \n \nCalculation finished. Writing results to disk...\n \n");
}

}  // namespace zorvik
