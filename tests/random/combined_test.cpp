// The combined multiplicative generator: exact modular products, seeding,
// the raw stream against 128-bit arithmetic, and the failure messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "random/randlib.h"
#include "reference_generators.h"

namespace {

using reference::Combined;
using reference::exactly;
using reference::kM1;
using reference::kM2;
using ::testing::ExitedWithCode;

TEST(Mltmod, ExactOverRandomTriples) {
  EXPECT_EQ(mltmod(2082007225, 1, 2147483563), 2082007225);
  EXPECT_EQ(mltmod(2147483562, 2147483562, 2147483563), 1);
  EXPECT_EQ(mltmod(2147483646, 2147483645, 2147483647), 2);
  std::mt19937_64 gen(20240611);
  for (int n = 0; n < 300000; n++) {
    // Moduli of every size up to 2^31, half of them near the top.
    int64_t m = (n & 1) ? 2147483647 - (int64_t)(gen() % 1000000)
                        : 2 + (int64_t)(gen() % ((uint64_t)1 << (1 + gen() % 30)));
    int64_t a = 1 + (int64_t)(gen() % (uint64_t)(m - 1));
    int64_t s = 1 + (int64_t)(gen() % (uint64_t)(m - 1));
    ASSERT_EQ(mltmod(a, s, m), (int64_t)((unsigned __int128)a * s % m)) << a << " " << s << " " << m;
  }
}

std::string mltmod_message(long a, long s, long m) {
  char line[100];
  snprintf(line, sizeof line, " a = %12ld s = %12ld m = %12ld\n", a, s, m);
  return std::string(" a, m, s out of order in mltmod - ABORT!\n") + line +
         " mltmod requires: 0 < a < m; 0 < s < m\n";
}

TEST(Mltmod, ArgumentsOutOfOrderEndTheProcess) {
  EXPECT_EQ(mltmod_message(2082007225, 0, 2147483563),
            " a, m, s out of order in mltmod - ABORT!\n"
            " a =   2082007225 s =            0 m =   2147483563\n"
            " mltmod requires: 0 < a < m; 0 < s < m\n");
  EXPECT_EXIT(mltmod(0, 5, 7), ExitedWithCode(1), exactly(mltmod_message(0, 5, 7)));
  EXPECT_EXIT(mltmod(7, 5, 7), ExitedWithCode(1), exactly(mltmod_message(7, 5, 7)));
  EXPECT_EXIT(mltmod(3, -5, 7), ExitedWithCode(1), exactly(mltmod_message(3, -5, 7)));
  EXPECT_EXIT(mltmod(3, 7, 7), ExitedWithCode(1), exactly(mltmod_message(3, 7, 7)));
}

TEST(Setall, SeedsOutOfRangeEndTheProcess) {
  EXPECT_EXIT(setall(0, 0), ExitedWithCode(1), exactly(mltmod_message(2082007225, 0, kM1)));
  EXPECT_EXIT(setall(kM1, 1), ExitedWithCode(1), exactly(mltmod_message(2082007225, kM1, kM1)));
  EXPECT_EXIT(setall(-5, 1), ExitedWithCode(1), exactly(mltmod_message(2082007225, -5, kM1)));
  EXPECT_EXIT(setall(1, 0), ExitedWithCode(1), exactly(mltmod_message(784306273, 0, kM2)));
  EXPECT_EXIT(setall(1, kM2), ExitedWithCode(1), exactly(mltmod_message(784306273, kM2, kM2)));
}

void expect_stream(int64_t seed1, int64_t seed2, int count) {
  Combined ref(seed1, seed2);
  for (int n = 0; n < count; n++) {
    long z = ignlgi();
    ASSERT_EQ(z, ref.next()) << "seeds " << seed1 << ", " << seed2 << " output " << n;
    ASSERT_GE(z, 1);
    ASSERT_LE(z, kM1 - 1);
  }
}

TEST(Ignlgi, StreamMatches128BitArithmetic) {
  const int64_t pairs[][2] = {{1, 1},          {2, 1},           {1234567890, 123456789},
                              {kM1 - 1, kM2 - 1}, {2147483562, 1073741781}, {987654321, 55555}};
  for (auto &p : pairs) {
    setall(p[0], p[1]);
    expect_stream(p[0], p[1], 200000);
  }
  // Seeding again restarts the stream.
  setall(2, 1);
  expect_stream(2, 1, 10);
  setall(2, 1);
  expect_stream(2, 1, 10);
}

// Run in a freshly started process: exits 0 when the stream, drawn without
// any setall, is the one seeded with 1234567890 and 123456789.
void default_stream_check() {
  Combined ref(1234567890, 123456789);
  float first = ranf();
  bool ok = first == (float)(ref.next() * 4.656613057E-10);
  for (int n = 0; n < 10000; n++) ok = ok && ignlgi() == ref.next();
  _exit(ok ? 0 : 1);
}

TEST(Ignlgi, DefaultSeedsWithoutSetall) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(default_stream_check(), ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(Ranf, ScalingAndItsEnds) {
  using reference::seeds_giving;
  auto ranf_for = [](int64_t z) {
    auto seeds = seeds_giving(z, 5);
    setall(seeds.first, seeds.second);
    return ranf();
  };
  for (int64_t z : {(int64_t)1, reference::kHalf, kM1 - 64, kM1 - 1}) {
    auto seeds = seeds_giving(z, 1000);
    setall(seeds.first, seeds.second);
    EXPECT_EQ(ignlgi(), z);
  }
  EXPECT_EQ(ranf_for(1), 0x1p-31f);
  EXPECT_EQ(ranf_for(reference::kHalf), 0.5f);
  EXPECT_EQ(ranf_for(reference::kOne), 1.0f);
  EXPECT_EQ(ranf_for(kM1 - 1), 1.0f);
  EXPECT_LT(ranf_for(reference::kOne - 1), 1.0f);
  EXPECT_EQ(ranf_for(1234567), (float)(1234567 * 4.656613057E-10));
}

TEST(VirtualGenerators, StreamsStartAtTheirSpacedSeeds) {
  // Generator g starts 2^50 steps after generator g - 1; a segment is 2^30 steps.
  const int64_t vw1 = reference::powmod(40014, (uint64_t)1 << 50, kM1);
  const int64_t vw2 = reference::powmod(40692, (uint64_t)1 << 50, kM2);
  const int64_t w1 = reference::powmod(40014, (uint64_t)1 << 30, kM1);
  const int64_t w2 = reference::powmod(40692, (uint64_t)1 << 30, kM2);
  EXPECT_EQ(vw1, 2082007225);
  EXPECT_EQ(vw2, 784306273);
  EXPECT_EQ(w1, 1033780774);
  EXPECT_EQ(w2, 1494757890);

  setall(11111, 22222);
  long g = 3, got = 0;
  gscgn(1, &g);
  gscgn(0, &got);
  EXPECT_EQ(got, 3);
  int64_t s1 = reference::mulmod(reference::mulmod(vw1, vw1, kM1), 11111, kM1);
  int64_t s2 = reference::mulmod(reference::mulmod(vw2, vw2, kM2), 22222, kM2);
  expect_stream(s1, s2, 100);
  initgn(1);  // next segment
  expect_stream(reference::mulmod(w1, s1, kM1), reference::mulmod(w2, s2, kM2), 100);
  initgn(0);  // back to the segment's start
  expect_stream(reference::mulmod(w1, s1, kM1), reference::mulmod(w2, s2, kM2), 100);
  initgn(-1);  // back to the generator's initial seeds
  expect_stream(s1, s2, 100);
  g = 1;
  gscgn(1, &g);
  expect_stream(11111, 22222, 100);
}

TEST(GeneratorState, FlagsAndFailures) {
  setall(1, 1);
  long flag = 0;
  gsrgs(0, &flag);
  EXPECT_EQ(flag, 1);
  gssst(0, &flag);
  EXPECT_EQ(flag, 1);

  EXPECT_EXIT(
      {
        long zero = 0;
        gsrgs(1, &zero);
        initgn(-1);
      },
      ExitedWithCode(1), exactly(" INITGN called before random number generator  initialized -- abort!\n"));
  EXPECT_EXIT(initgn(2), ExitedWithCode(1), exactly("isdtyp not in range in INITGN\n"));
  EXPECT_EXIT(initgn(-2), ExitedWithCode(1), exactly("isdtyp not in range in INITGN\n"));
  // A generator number outside 1 .. 32 is a failure like the others.
  long bad = 33;
  EXPECT_EXIT(gscgn(1, &bad), ExitedWithCode(1), exactly(" Generator number out of range in GSCGN\n"));
  bad = 0;
  EXPECT_EXIT(gscgn(1, &bad), ExitedWithCode(1), exactly(" Generator number out of range in GSCGN\n"));
  long g = 32;
  gscgn(1, &g);
  g = 1;
  gscgn(1, &g);
}

}  // namespace
