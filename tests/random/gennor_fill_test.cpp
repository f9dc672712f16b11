// gennor_fill: a run of normal deviates drawn with the generator's seeds held
// in locals gives the deviates of as many gennor calls, leaves the generator
// where they would, and fails as gennor does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "random/randlib.h"
#include "reference_generators.h"

namespace {

using reference::exactly;
using ::testing::ExitedWithCode;

bool same_bits(float a, float b) { return memcmp(&a, &b, sizeof a) == 0; }

// 200000 deviates reach the tail and the rejection loops of the normal
// algorithm thousands of times each.
TEST(GennorFill, SameDeviatesAndStateAsSingleCalls) {
  const int n = 200000;
  const struct {
    long s1, s2;
    float av, sd;
  } cases[] = {{2, 1, 0, 0.05f}, {987654321, 55555, 0, 1}, {2147483562, 2147483398, 1.5f, 0.02f}};
  for (const auto &c : cases) {
    setall(c.s1, c.s2);
    std::vector<float> one(n), run(n);
    for (int i = 0; i < n; i++) one[i] = gennor(c.av, c.sd);
    float next_uniform = ranf();
    setall(c.s1, c.s2);
    // In runs of varied length, as the workers take them.
    int done = 0, len = 1;
    while (done < n) {
      int m = std::min(len, n - done);
      gennor_fill(run.data() + done, m, c.av, c.sd);
      done += m;
      len = len * 3 % 641 + 1;
    }
    for (int i = 0; i < n; i++) ASSERT_TRUE(same_bits(one[i], run[i])) << "deviate " << i;
    EXPECT_TRUE(same_bits(ranf(), next_uniform));
  }
}

// An empty run draws nothing; the first deviate of the next run is the one
// a single call would give.
TEST(GennorFill, EmptyRunDrawsNothing) {
  setall(77, 78);
  float first = gennor(0, 1);
  setall(77, 78);
  float out = 123;
  gennor_fill(&out, 0, 0, 1);
  EXPECT_EQ(out, 123);
  gennor_fill(&out, 1, 0, 1);
  EXPECT_TRUE(same_bits(out, first));
}

TEST(GennorFill, NegativeScaleFailsLikeGennor) {
  float out[4];
  EXPECT_EXIT(gennor_fill(out, 4, 0, -0.5), ExitedWithCode(1),
              exactly(" SD < 0 in GENNOR - ABORT\n Value of SD:    -5.000000E-01\n"));
}

}  // namespace
