// Normal and exponential deviates on chosen uniforms at the ends of their
// tables, and the failure messages. (Their distributions are checked over
// many draws; every table entry, the gamma deviate's caches and the runs of
// normals drawn at once enter the draws the recorded runs pin.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "random/deviate_tables.h"
#include "random/randlib.h"
#include "reference_generators.h"

namespace {

using reference::Combined;
using reference::exactly;
using reference::seeds_giving;
using ::testing::ExitedWithCode;

// Seeds the generator so that the first uniform drawn is first_z's; returns
// a model of the stream that follows it. s2_next picks that stream.
Combined force_first(int64_t first_z, int64_t s2_next = 777) {
  auto seeds = seeds_giving(first_z, s2_next);
  setall(seeds.first, seeds.second);
  Combined ref(seeds.first, seeds.second);
  EXPECT_EQ(ref.next(), first_z);
  return ref;
}

TEST(Snorm, FirstUniformOneHalfOrOneGivesTheLastCentrePoint) {
  // A half gives s = 0, a one gives s = 1; both land at i = 31 (clamped from
  // 32) where the direct part of the last interval ends at a[31]. Exactly
  // one uniform is used.
  Combined ref = force_first(reference::kHalf);
  EXPECT_NEAR(gennor(0.0, 1.0), 2.153875, 2e-6);
  EXPECT_EQ(ignlgi(), ref.next());
  ref = force_first(reference::kOne);
  EXPECT_NEAR(gennor(10.0, 2.0), 10.0 - 2 * 2.153875, 4e-6);
  EXPECT_EQ(ignlgi(), ref.next());
  force_first(reference::kHalf);
  EXPECT_EQ(gennor(-3.5, 0.0), -3.5f);
}

TEST(Sexpo, FirstUniformOneStopsAtTheLastTableEntry) {
  // u doubles to 2, so u - 1 = 1 lies above every q; the search takes the
  // minimum of eight further uniforms and stops there.
  Combined ref = force_first(reference::kOne);
  float umin = 2;
  for (int n = 0; n < 8; n++) umin = std::fmin(umin, ref.uniform());
  EXPECT_EQ(sexpo(), umin * sexpo_q[0]);
  EXPECT_EQ(ignlgi(), ref.next());

  // A half doubles to exactly 1, which ends the doubling with u - 1 = 0.
  ref = force_first(reference::kHalf);
  EXPECT_EQ(sexpo(), 0.0f);
  EXPECT_EQ(ignlgi(), ref.next());

  // A quarter adds q[0] once and then returns it.
  ref = force_first(reference::kHalf / 2);
  EXPECT_EQ(sexpo(), sexpo_q[0]);
  EXPECT_EQ(ignlgi(), ref.next());
}

TEST(DeviateFailures, NegativeScaleOrShape) {
  float out[4];
  const std::string sd = exactly(" SD < 0 in GENNOR - ABORT\n Value of SD:    -5.000000E-01\n");
  EXPECT_EXIT(gennor_fill(out, 4, 0, -0.5), ExitedWithCode(1), sd);
  EXPECT_EXIT(gennor(0, -0.5), ExitedWithCode(1), sd);
  EXPECT_EXIT(gennor(0, NAN), ExitedWithCode(1), "^ SD < 0 in GENNOR - ABORT\n Value of SD: +-?NAN\n$");
  EXPECT_EXIT(gengam(0.5, 0), ExitedWithCode(1),
              exactly(" A or R nonpositive in GENGAM - abort!\n A value:     5.000000E-01 R value:     0.000000E+00\n"));
  EXPECT_EXIT(gengam(-1, 2), ExitedWithCode(1),
              exactly(" A or R nonpositive in GENGAM - abort!\n A value:    -1.000000E+00 R value:     2.000000E+00\n"));
  EXPECT_EXIT(gengam(1, NAN), ExitedWithCode(1), "^ A or R nonpositive in GENGAM - abort!\n");
}

}  // namespace
