// The correlation chain's rules on the edges a run almost never meets (its
// ordinary steps are pinned by the recorded runs): a proposal exactly on a
// bound, impossible frequencies, and the strict acceptance rule, with the
// draws each takes from both generators.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "random/ran_gen.h"
#include "random/randlib.h"
#include "stats_state.h"

namespace {

using namespace statstest;

// One step of the minimal standard sequence, the state word ran1 advances
// once per draw.
long lcg_step(long x) { return (long)(((__int128)x * 16807) % 2147483647); }

const long kSeed1 = 1234567, kSeed2 = 7654321;

// The next n normal deviates of the combined generator seeded with
// (kSeed1, kSeed2); the generator is left reseeded, so they come again.
std::vector<double> replay_normals(int n) {
  setall(kSeed1, kSeed2);
  std::vector<double> z;
  for (int i = 0; i < n; i++) z.push_back((double)gennor(0.0f, 1.0f));
  setall(kSeed1, kSeed2);
  return z;
}

// A start value c with c + 0.01 z == target exactly.
bool start_for(double z, double target, double *c) {
  double step = 0.01 * z;
  double v = target - step;
  for (int i = 0; i < 64 && v + step != target; i++)
    v = std::nextafter(v, v + step < target ? 1.0 : -1.0);
  *c = v;
  return v + step == target;
}

class UpdateCorr : public ::testing::Test {
 protected:
  void SetUp() override {
    set_covariance(3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    set_environment(1, {1, -1, 0.5});
    seed = -12345;
    ran1(&seed);  // seeds the shuffle table; the state word is now known
  }
  void TearDown() override {
    if (loc) free_locus(loc, NUMPOPS);
    release_state();
  }
  void set_env(double e1, double e2, double e3) {
    environ_values[1][1] = e1;
    environ_values[1][2] = e2;
    environ_values[1][3] = e3;
  }
  ALLELE *loc = nullptr;
};

TEST_F(UpdateCorr, ExactBoundsAreEvaluatedAndTheNextValuesRejected) {
  loc = make_locus({0, 0, 0}, {0, 0, 0}, 0.5, {0, 0, 0});
  std::vector<double> z = replay_normals(2);
  for (double bound : {0.1, -0.1}) {
    // The first normal deviate again, from a start that lands exactly on
    // the bound.
    replay_normals(0);
    double c;
    ASSERT_TRUE(start_for(z[0], bound, &c));
    environ_corr = c;
    long state = seed;
    update_corr(loc);
    EXPECT_EQ(environ_corr, bound);
    EXPECT_EQ(seed, lcg_step(state));

    // Then one step past the bound.
    replay_normals(0);
    double past = std::nextafter(bound, 2 * bound);
    ASSERT_TRUE(start_for(z[0], past, &c));
    environ_corr = c;
    state = seed;
    double *vec = loc->multinom_prob;
    update_corr(loc);
    EXPECT_EQ(environ_corr, c);
    EXPECT_EQ(seed, state);
    EXPECT_EQ(loc->multinom_prob, vec);
    // Exactly one normal deviate was taken by the rejected step.
    EXPECT_EQ((double)gennor(0.0f, 1.0f), z[1]);
  }
}

TEST_F(UpdateCorr, ImpossibleFrequencyRejectsWithoutDraw) {
  std::vector<double> z = replay_normals(1);
  // Each case puts one population's proposed frequency at or past a bound
  // where its counts do not sit at that bound. Reaching the likelihood would
  // end the process.
  struct Case {
    std::vector<int> count;
    std::vector<double> theta;
    std::vector<double> env;
  };
  double push = 0.02 / (0.01 * z[0]);  // env value moving p by about +0.02
  std::vector<Case> cases = {
      {{3, 5, 5}, {-0.49, 0, 0}, {-push, 0, 0}},  // p1 about -0.01, count 3
      {{3, 5, 5}, {-0.5, 0, 0}, {0, 0, 0}},       // p1 exactly 0, count 3
      {{5, 5, 7}, {0, 0, 0.49}, {0, 0, push}},    // p3 about 1.01, count 7 of 10
      {{5, 5, 7}, {0, 0, 0.5}, {0, 0, 0}},        // p3 exactly 1, count 7 of 10
  };
  for (size_t i = 0; i < cases.size(); i++) {
    const Case &k = cases[i];
    loc = make_locus(k.count, {10, 10, 10}, 0.5, k.theta);
    set_env(k.env[0], k.env[1], k.env[2]);
    environ_corr = 0;
    replay_normals(0);
    long state = seed;
    double *vec = loc->multinom_prob;
    update_corr(loc);
    EXPECT_EQ(environ_corr, 0) << "case " << i;
    EXPECT_EQ(seed, state) << "case " << i;
    EXPECT_EQ(loc->multinom_prob, vec) << "case " << i;
    free_locus(loc, NUMPOPS);
    loc = nullptr;
  }
}

TEST_F(UpdateCorr, AcceptanceIsStrictlyGreater) {
  loc = make_locus({0, 0, 0}, {0, 0, 0}, 0.5, {0, 0, 0});
  // The uniform deviate the step will draw after reseeding with -777.
  seed = -777;
  double u = ran1(&seed);
  long after_draw = seed;
  // An old log-likelihood o with exp(0 - o) == u exactly.
  double o = -log(u);
  for (int i = 0; i < 64 && exp(-o) != u; i++) o = std::nextafter(o, exp(-o) > u ? 1.0 : -1.0);
  ASSERT_EQ(exp(-o), u);

  replay_normals(0);
  seed = -777;
  environ_corr = 0;
  loc->multinom_prob[1] = o;
  double *vec = loc->multinom_prob;
  update_corr(loc);
  EXPECT_EQ(environ_corr, 0) << "accepted with exp(new - old) == u";
  EXPECT_EQ(seed, after_draw) << "a rejection at the ratio takes exactly one uniform draw";
  EXPECT_EQ(loc->multinom_prob, vec);
  EXPECT_EQ(loc->multinom_prob[1], o);

  double o_less = std::nextafter(o, -1.0);
  while (!(exp(-o_less) > u)) o_less = std::nextafter(o_less, -1.0);
  replay_normals(0);
  seed = -777;
  loc->multinom_prob[1] = o_less;
  update_corr(loc);
  EXPECT_NE(environ_corr, 0) << "rejected with exp(new - old) > u";
  EXPECT_EQ(loc->multinom_prob[1], 0.0);
}

}  // namespace
