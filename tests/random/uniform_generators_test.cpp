// The two uniform generators against independent models (128-bit modular
// arithmetic, the shuffle table kept by sequence position): their streams,
// seeding rules, ends of range, and the failure messages.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "random/ran_gen.h"
#include "random/randlib.h"
#include "reference_generators.h"

namespace {

using namespace reference;
using ::testing::ExitedWithCode;

// The program seeds ran1 with a negative word and calls setall before any
// draw, so only those seeding rules are checked.
TEST(Ran1, StreamsAndSeedingRules) {
  // The model is pinned to the known sequence: the 10,000th element from 1.
  Shuffled one(1);
  for (int n = 0; n < 9960; n++) one.next();  // forty steps seed the table
  EXPECT_EQ(one.state, 1043618065);
  for (int64_t seed : {1L, 20240611L, 2147483646L}) {
    long s = -seed;
    Shuffled ref(seed);
    for (int n = 0; n < 100000; n++) {
      float v = ran1(&s);
      ASSERT_EQ(v, ref.next()) << "seed " << seed << " call " << n;
      ASSERT_EQ(s, ref.state);
    }
  }
}

std::string mltmod_message(long a, long s, long m) {
  char line[100];
  snprintf(line, sizeof line, " a = %12ld s = %12ld m = %12ld\n", a, s, m);
  return std::string(" a, m, s out of order in mltmod - ABORT!\n") + line + " mltmod requires: 0 < a < m; 0 < s < m\n";
}

TEST(Combined, ModularProductsAndTheirFailures) {
  EXPECT_EQ(mltmod(2147483562, 2147483562, 2147483563), 1);
  std::mt19937_64 gen(20240611);
  for (int n = 0; n < 100000; n++) {
    // Moduli of every size up to 2^31, half of them near the top.
    int64_t m = (n & 1) ? 2147483647 - (int64_t)(gen() % 1000000) : 2 + (int64_t)(gen() % (1ULL << (1 + gen() % 30)));
    int64_t a = 1 + (int64_t)(gen() % (uint64_t)(m - 1)), s = 1 + (int64_t)(gen() % (uint64_t)(m - 1));
    ASSERT_EQ(mltmod(a, s, m), mulmod(a, s, m)) << a << " " << s << " " << m;
  }
  EXPECT_EQ(mltmod_message(2082007225, 0, kM1),
            " a, m, s out of order in mltmod - ABORT!\n a =   2082007225 s =            0 m =   2147483563\n"
            " mltmod requires: 0 < a < m; 0 < s < m\n");
  for (auto [a, s, m] : std::vector<std::array<long, 3>>{{0, 5, 7}, {7, 5, 7}, {3, -5, 7}, {3, 7, 7}})
    EXPECT_EXIT(mltmod(a, s, m), ExitedWithCode(1), exactly(mltmod_message(a, s, m)));
  EXPECT_EXIT(setall(kM1, 1), ExitedWithCode(1), exactly(mltmod_message(2082007225, kM1, kM1)));
  EXPECT_EXIT(setall(-5, 1), ExitedWithCode(1), exactly(mltmod_message(2082007225, -5, kM1)));
  EXPECT_EXIT(setall(1, kM2), ExitedWithCode(1), exactly(mltmod_message(784306273, kM2, kM2)));
}

// The program only ever draws from generator 1, whose seeds setall sets; the
// other virtual generators and their segments are never used.
TEST(Combined, StreamsAndScaling) {
  for (auto p : std::vector<std::array<int64_t, 2>>{{1, 1}, {1234567890, 123456789}, {kM1 - 1, kM2 - 1}, {987654321, 55555}}) {
    setall(p[0], p[1]);
    Combined ref(p[0], p[1]);
    for (int n = 0; n < 100000; n++) ASSERT_EQ(ignlgi(), ref.next()) << p[0] << ", " << p[1] << " output " << n;
  }
  auto ranf_for = [](int64_t z) {
    auto seeds = seeds_giving(z, 5);
    setall(seeds.first, seeds.second);
    return ranf();
  };
  EXPECT_EQ(ranf_for(1), 0x1p-31f);
  EXPECT_EQ(ranf_for(kHalf), 0.5f);
  EXPECT_EQ(ranf_for(kOne), 1.0f);
  EXPECT_EQ(ranf_for(kM1 - 1), 1.0f);
  EXPECT_LT(ranf_for(kOne - 1), 1.0f);
}

}  // namespace
