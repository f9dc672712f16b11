// The shuffled uniform generator against an independent model of the
// Park-Miller sequence and its shuffle table.
#include <gtest/gtest.h>
#include <unistd.h>

#include "random/ran_gen.h"
#include "reference_generators.h"

namespace {

using reference::Shuffled;

// Run in a freshly started process, where the table is still unseeded: exits
// 0 when the first call with this seed gives the stream seeded from x0.
void first_call_matches(long seed_value, int64_t x0) {
  long s = seed_value;
  float v = ran1(&s);
  Shuffled ref(x0);
  _exit(v == ref.next() && s == ref.state ? 0 : 1);
}

TEST(Ran1, UnseededTableSeedsFromOneForZeroOrPositiveSeed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(first_call_matches(0, 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(first_call_matches(987654, 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(first_call_matches(-1, 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(first_call_matches(-987654, 987654), ::testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(Ran1, SeedingFromMinusOne) {
  // The reference model is pinned to the known start of the sequence.
  Shuffled ref(1);
  EXPECT_EQ(ref.table[31], reference::powmod(16807, 9, 2147483647));
  EXPECT_EQ(ref.last, reference::powmod(16807, 40, 2147483647));
  EXPECT_EQ(16807L * 16807 % 2147483647, 282475249);
  EXPECT_EQ(282475249L * 16807 % 2147483647, 1622650073);

  long s = -1;
  float first = ran1(&s);
  EXPECT_EQ(first, ref.next());
  EXPECT_EQ(s, ref.state);
  // The 10,000th element of the sequence from 1: forty steps seed the table,
  // and every call takes one more.
  for (int n = 2; n <= 9960; n++) ran1(&s);
  EXPECT_EQ(s, 1043618065);
}

TEST(Ran1, ReseedsOnNonPositiveSeedAndContinuesFromPositive) {
  long s = -12345;
  ran1(&s);
  ran1(&s);
  s = -777;
  Shuffled ref(777);
  EXPECT_EQ(ran1(&s), ref.next());
  EXPECT_EQ(ran1(&s), ref.next());

  // 0 on a seeded table reseeds from 1.
  s = 0;
  Shuffled one(1);
  EXPECT_EQ(ran1(&s), one.next());

  // A positive word set from outside continues the sequence from that value
  // through the existing table.
  s = 424242;
  one.state = 424242;
  EXPECT_EQ(ran1(&s), one.next());
  EXPECT_EQ(s, 424242L * 16807 % 2147483647);
  EXPECT_EQ(ran1(&s), one.next());
}

TEST(Ran1, LongStreamMatchesReference) {
  for (int64_t seed : {1L, 20240611L, 2147483646L}) {
    long s = -seed;
    Shuffled ref(seed);
    for (int n = 0; n < 200000; n++) {
      float v = ran1(&s);
      ASSERT_EQ(v, ref.next()) << "seed " << seed << " call " << n;
      ASSERT_GT(v, 0.0f);
      ASSERT_LE(v, 0.99999988079071044921875f);
      ASSERT_EQ(s, ref.state);
    }
  }
}

// Seeds the table from some s (searched for) such that the second call
// after seeding reads back the slot written by the first; the first call
// is made with a state word that steps to target, so the second call
// returns target scaled to (0, 1).
float output_for(int64_t target) {
  int64_t s = 1;
  for (;; s++) {
    Shuffled ref(s);
    ref.next();
    int slot = (int)(ref.last >> 26);
    if ((ref.table[slot] >> 26) == slot) break;
  }
  long word = -s;
  ran1(&word);
  word = reference::mulmod(target, reference::invmod(16807, 2147483647), 2147483647);
  ran1(&word);
  EXPECT_EQ(word, target);
  return ran1(&word);
}

TEST(Ran1, LargestCandidatesAreClampedBelowOne) {
  // Candidates that narrow to 1 and to 1 - 2^-24 both come back as 1 - 2^-23.
  EXPECT_EQ(output_for(2147483646), 0.99999988079071044921875f);
  EXPECT_EQ(output_for(2147483519), 0.99999988079071044921875f);
  EXPECT_EQ(output_for(2147483391), 0.99999988079071044921875f);
  // Below that the candidate itself is returned.
  EXPECT_EQ(output_for(2147483000), (float)(2147483000 * (1.0 / 2147483647)));
  EXPECT_LT(output_for(2147483000), 0.99999988079071044921875f);
  EXPECT_EQ(output_for(1), (float)(1.0 / 2147483647));
}

}  // namespace
