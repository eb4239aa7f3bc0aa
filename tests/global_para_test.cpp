#include "global_para.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <new>
#include <unistd.h>

#include "reference_backbone.h"

namespace zorvik {
namespace {

using oracle::kWorkedExample;
using oracle::put_curve;

constexpr std::uint64_t kSentinelBits = 0x46293E5940000000;

TEST(GlobalPara, SentinelIsSinglePrecisionOneE30) {
  // Pins the sentinel's value: the double nearest to 1e30 is wrong.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(kSentinel), kSentinelBits);
  EXPECT_EQ(kSentinel, static_cast<double>(1e30F));
}

TEST(GlobalPara, ResetLeavesSentinelRowsAndZerosElsewhere) {
  global_para gp;
  gp.allocate_parameter_sets(3);
  for (int i = 1; i <= 3; ++i) {
    put_curve(gp, 1, i, kWorkedExample);
    put_curve(gp, 2, i, kWorkedExample);
  }
  gp.reset_hysteresis_state();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(gp.xtu(1, i)), kSentinelBits);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(gp.ytu(1, i)), kSentinelBits);
    int nonzero = 0;
    for (int k = 2; k <= kStackRows; ++k) {
      nonzero += std::bit_cast<std::uint64_t>(gp.xtu(k, i)) != 0;
      nonzero += std::bit_cast<std::uint64_t>(gp.ytu(k, i)) != 0;
    }
    EXPECT_EQ(nonzero, 0) << "element " << i;
    EXPECT_EQ(gp.bb(i), 0);
    EXPECT_EQ(gp.par(i), 0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(gp.xm(i)), 0U);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(gp.ym(i)), 0U);
    EXPECT_EQ(gp.stack(i).rows, kStackRows);
    // The reset keeps the parameter sets the driver wrote.
    EXPECT_EQ(gp.gmax(2, i), kWorkedExample.gmax);
    EXPECT_EQ(gp.d_sub(1, i), kWorkedExample.d);
  }
}

TEST(GlobalPara, EveryParameterHasItsOwnEntry) {
  // Pins an accessor that maps two names, rows or elements onto one entry.
  global_para gp;
  gp.allocate_parameter_sets(2);
  const auto value = [](int r, int i, int p) { return 100.0 * i + 10.0 * r + p; };
  for (int i = 1; i <= 2; ++i) {
    for (int r = 1; r <= 2; ++r) {
      put_curve(gp, r, i,
                {value(r, i, 1), value(r, i, 2), value(r, i, 3), value(r, i, 4), value(r, i, 5),
                 value(r, i, 6), value(r, i, 7), value(r, i, 8), value(r, i, 9)});
    }
  }
  const global_para& c = gp;
  for (int i = 1; i <= 2; ++i) {
    for (int r = 1; r <= 2; ++r) {
      EXPECT_EQ(c.gamma_t_sub(r, i), value(r, i, 1));
      EXPECT_EQ(c.a_sub(r, i), value(r, i, 2));
      EXPECT_EQ(c.gamma_ref_sub(r, i), value(r, i, 3));
      EXPECT_EQ(c.beta_sub(r, i), value(r, i, 4));
      EXPECT_EQ(c.s_sub(r, i), value(r, i, 5));
      EXPECT_EQ(c.gmax(r, i), value(r, i, 6));
      EXPECT_EQ(c.mu_sub(r, i), value(r, i, 7));
      EXPECT_EQ(c.tmax_sub(r, i), value(r, i, 8));
      EXPECT_EQ(c.d_sub(r, i), value(r, i, 9));
    }
  }
}

long resident_pages() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = -1;
  statm >> size >> resident;
  return resident;
}

TEST(GlobalPara, UntouchedStackRowsCostNoResidentMemory) {
  // Pins eager zeroing of the stacks: 1000 elements of 2 x 5000 doubles are
  // 80 MB, of which the reset may touch only the pages of the sentinel rows.
  if (resident_pages() < 0) {
    GTEST_SKIP() << "no /proc/self/statm";
  }
  global_para gp;
  gp.allocate_parameter_sets(1000);
  const long before = resident_pages();
  gp.reset_hysteresis_state();
  const long grown_bytes = (resident_pages() - before) * sysconf(_SC_PAGESIZE);
  EXPECT_LT(grown_bytes, 24L << 20);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedAllocator = true;
#else
constexpr bool kSanitizedAllocator = false;
#endif
#else
constexpr bool kSanitizedAllocator = false;
#endif

TEST(GlobalPara, LackOfMemoryThrowsBadAlloc) {
  // Pins an unchecked allocation: the driver turns std::bad_alloc into its
  // diagnostic. The stacks of 2^31 - 1 elements exceed any address space.
  if (kSanitizedAllocator) {
    GTEST_SKIP() << "the sanitizer's allocator aborts instead of failing";
  }
  global_para gp;
  EXPECT_THROW(
      {
        gp.allocate_parameter_sets(2147483647);
        gp.reset_hysteresis_state();
      },
      std::bad_alloc);
}

}  // namespace
}  // namespace zorvik
