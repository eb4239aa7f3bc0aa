#include "global_para.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <new>

#include "reference_backbone.h"
#include "unit_support.h"

namespace zorvik {
namespace {

using test::bits;

TEST(GlobalPara, ResetLeavesTheSentinelInRowOneAndZerosElsewhere) {
  // Pins the sentinel's bits (the double nearest to 1e30 is wrong) and a
  // reset that leaves any other entry nonzero or changes the parameter sets.
  global_para gp;
  test::put_model(gp, 3, oracle::kWorkedExample, test::kBranchSet);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(bits(gp.xtu(1, i)), 0x46293E5940000000U);
    EXPECT_EQ(bits(gp.ytu(1, i)), 0x46293E5940000000U);
    int nonzero = 0;
    for (int k = 2; k <= kStackRows; ++k) nonzero += (bits(gp.xtu(k, i)) | bits(gp.ytu(k, i))) != 0;
    EXPECT_EQ(nonzero, 0) << "element " << i;
    EXPECT_EQ(gp.bb(i) | gp.par(i), 0);
    EXPECT_EQ(bits(gp.xm(i)) | bits(gp.ym(i)), 0U);
    for (int r = 1; r <= 2; ++r) {
      const oracle::curve& set = r == 1 ? oracle::kWorkedExample : test::kBranchSet;
      const parameter_set& p = gp.parameters(r, i);
      EXPECT_EQ(bits({p.gamma_t, p.a, p.gamma_ref, p.beta, p.s, p.gmax, p.mu, p.tmax, p.d}),
                bits({set.gamma_t, set.a, set.gamma_ref, set.beta, set.s, set.gmax, set.mu, set.tmax, set.d}))
          << "element " << i << ", row " << r;
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
  EXPECT_LT((resident_pages() - before) * sysconf(_SC_PAGESIZE), 24L << 20);
}

#if defined(__SANITIZE_ADDRESS__)
#define ZORVIK_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORVIK_SANITIZED_ALLOCATOR 1
#endif
#endif

TEST(GlobalPara, LackOfMemoryThrowsBadAlloc) {
  // Pins an unchecked allocation: the driver turns std::bad_alloc into its
  // diagnostic. The stacks of 2^31 - 1 elements exceed any address space.
#ifdef ZORVIK_SANITIZED_ALLOCATOR
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of failing";
#endif
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
