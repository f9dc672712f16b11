// The correlation chain's rules on the edges a run almost never meets (its
// ordinary steps are pinned by the recorded runs): impossible frequencies
// and the strict acceptance rule, with the draws each takes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "random/ran_gen.h"
#include "random/randlib.h"
#include "stats_state.h"

namespace {

using namespace statstest;

// The first n normal deviates of the combined generator seeded with
// (1234567, 7654321); the generator is left reseeded, so they come again.
std::vector<double> replay_normals(int n) {
  setall(1234567, 7654321);
  std::vector<double> z;
  for (int i = 0; i < n; i++) z.push_back((double)gennor(0.0f, 1.0f));
  setall(1234567, 7654321);
  return z;
}

// Three populations with Sigma = I, one variable, and the shuffle table
// seeded, so that ran1's state word is known.
class UpdateCorr : public ::testing::Test {
 protected:
  void SetUp() override {
    set_covariance(3);
    set_environment(1, {1, -1, 0.5});
    seed = -12345;
    ran1(&seed);
  }
  // One step from correlation c; true if it moved. Checks that a refused step
  // leaves the locus's vector alone and that ran1 was drawn `uniforms` times.
  bool step(ALLELE *loc, double c, int uniforms) {
    replay_normals(0);
    environ_corr = c;
    long state = seed;
    double *vec = loc->multinom_prob;
    update_corr(loc);
    for (int i = 0; i < uniforms; i++) state = (long)(((__int128)state * 16807) % 2147483647);
    EXPECT_EQ(seed, state);
    if (environ_corr == c) {
      EXPECT_EQ(loc->multinom_prob, vec);
    }
    return environ_corr != c;
  }
};

// Each case puts one population's proposed frequency at or past a bound
// where its counts do not sit at that bound. Reaching the likelihood would
// end the process.
TEST_F(UpdateCorr, ImpossibleFrequencyRejectsWithoutDraw) {
  double push = 0.02 / (0.01 * replay_normals(1)[0]);  // env value moving p by about +0.02
  const struct {
    std::vector<int> count;
    std::vector<double> theta, env;
  } cases[] = {
      {{3, 5, 5}, {-0.49, 0, 0}, {-push, 0, 0}},  // p1 about -0.01, count 3
      {{3, 5, 5}, {-0.5, 0, 0}, {0, 0, 0}},       // p1 exactly 0, count 3
      {{5, 5, 7}, {0, 0, 0.49}, {0, 0, push}},    // p3 about 1.01, count 7 of 10
      {{5, 5, 7}, {0, 0, 0.5}, {0, 0, 0}},        // p3 exactly 1, count 7 of 10
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(k.theta[0] + k.theta[2]);
    for (int p = 1; p <= 3; p++) environ_values[1][p] = k.env[p - 1];
    EXPECT_FALSE(step(make_locus(0.5, k.theta, k.count, 10), 0, 0));
  }
}

TEST_F(UpdateCorr, AcceptanceIsStrictlyGreater) {
  ALLELE *loc = make_locus(0.5, {0, 0, 0}, {0, 0, 0}, 0);
  // The uniform deviate the step will draw after the table is seeded from
  // -777, and an old log-likelihood o with exp(0 - o) == u exactly.
  auto reseed = [] {
    seed = -777;
    ran1(&seed);
  };
  reseed();
  double u = ran1(&seed);
  double o = -log(u);
  for (int i = 0; i < 64 && exp(-o) != u; i++) o = std::nextafter(o, exp(-o) > u ? 1.0 : -1.0);
  ASSERT_EQ(exp(-o), u);
  reseed();
  loc->multinom_prob[1] = o;
  EXPECT_FALSE(step(loc, 0, 1)) << "accepted with exp(new - old) == u";
  EXPECT_EQ(loc->multinom_prob[1], o);

  double o_less = std::nextafter(o, -1.0);
  while (!(exp(-o_less) > u)) o_less = std::nextafter(o_less, -1.0);
  reseed();
  loc->multinom_prob[1] = o_less;
  EXPECT_TRUE(step(loc, 0, 1)) << "rejected with exp(new - old) > u";
  EXPECT_EQ(loc->multinom_prob[1], 0.0);
}

}  // namespace
