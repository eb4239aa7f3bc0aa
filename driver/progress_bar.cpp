#include "progress_bar.h"

#include <algorithm>
#include <cstdio>

namespace zorvik {
namespace {

void put(const char* text) {
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
