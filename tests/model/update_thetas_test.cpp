// The offsets step: draws per locus, the abandon rule, the acceptance rule,
// the hand-over of the proposal, and the distribution the chain settles in.
#include <cmath>
#include <random>

#include "model_fixture.h"

using namespace modeltest;

namespace {

const long kRan1Seed = -31337;

// One worker description over a single locus, run on this thread.
THREAD_DATA *single(ALLELE **loc) {
  THREAD_DATA *t = new THREAD_DATA();
  t->low = 0;
  t->hi = 1;
  t->loc = loc;
  t->allelesupdated = -1;
  return t;
}

// A seed pair (s, s + 3) whose first deviate of sd X_DEV satisfies want.
long seed_pair_with(bool (*want)(float)) {
  long s = 123456789;  // small seeds start the generator with small uniforms
  while (!want(normal_stream(s, s + 3, 1, (float)X_DEV)[0])) s += 9973;
  return s;
}

}  // namespace

TEST(UpdateThetas, ImpossibleProposalIsAbandonedAfterAllNormals) {
  // K = 3 with identity factor: the step is the normal draw itself. The
  // first population sits half a step from the edge the step crosses.
  const int K = 3;
  setup_model(K);
  sigmas_inverse[2][2] = 9;
  long s = seed_pair_with([](float d) { return fabsf(d) > 0.01f; });
  std::vector<float> g = normal_stream(s, s + 3, K + 1, 0.05f);
  bool up = g[0] > 0;
  ALLELE *a = make_locus({up ? 4 : 3, 2, 5}, {10, 10, 10}, 0.5);
  a->theta_offset[1] = up ? 0.5 - g[0] / 2.0 : -0.5 - g[0] / 2.0;
  a->theta_offset[2] = 0.1;
  a->multivar_prob = 12345;  // stale
  double *theta = a->theta_offset, *mn = a->multinom_prob;
  ALLELE *loc[] = {a};
  THREAD_DATA *t = single(loc);
  std::vector<float> u = ran1_stream(kRan1Seed, 1);
  update_thetas(t);
  EXPECT_EQ(t->allelesupdated, 0);
  EXPECT_EQ(a->theta_offset, theta);
  EXPECT_EQ(a->multinom_prob, mn);
  EXPECT_EQ(a->theta_offset[2], 0.1);
  EXPECT_EQ(a->multivar_prob, multivar_prob(theta, 0.5));  // refreshed, kept
  EXPECT_EQ(ran1(&seed), u[0]);                             // no uniform
  EXPECT_EQ(gennor(0, 0.05f), g[K]);                        // all K normals
}

TEST(UpdateThetas, PositiveRatioAcceptsWithoutUniformAndHandsOverVectors) {
  // Offsets equal to minus the step under a tight prior and no data: the
  // proposal lands exactly on 0, prior term 0.
  // Pooled runs step with sd 0.02.
  const int K = 2;
  setup_model(K);
  X_DEV = 0.02;
  sigmas_inverse[1][1] = sigmas_inverse[2][2] = 1e4;
  std::vector<float> g = normal_stream(5, 8, K + 1, 0.02f);
  ALLELE *a = make_locus({0, 0}, {0, 0}, 0.5);
  for (int k = 1; k <= K; k++) a->theta_offset[k] = -(double)g[k - 1];
  double *theta = a->theta_offset, *mn = a->multinom_prob;
  ALLELE *loc[] = {a};
  THREAD_DATA *t = single(loc);
  std::vector<float> u = ran1_stream(kRan1Seed, 1);
  update_thetas(t);
  EXPECT_EQ(t->allelesupdated, 1);
  EXPECT_NE(a->theta_offset, theta);
  EXPECT_NE(a->multinom_prob, mn);
  for (int k = 1; k <= K; k++) {
    EXPECT_EQ(a->theta_offset[k], 0.0);
    EXPECT_EQ(a->multinom_prob[k], 0.0);
  }
  EXPECT_EQ(a->multivar_prob, 0.0);
  EXPECT_EQ(ran1(&seed), u[0]);
  EXPECT_EQ(gennor(0, 0.02f), g[K]);
}

// A negative ratio takes one uniform and rejects here; so does a ratio that
// is not a number.
TEST(UpdateThetas, NegativeOrUndefinedRatioRejectsAfterOneUniform) {
  const int K = 2;
  setup_model(K);
  sigmas_inverse[1][1] = sigmas_inverse[2][2] = 1e8;
  for (bool nan : {false, true}) {
    normal_stream(5, 8, 0);
    ALLELE *a = make_locus({0, 0}, {0, 0}, 0.5);
    if (nan) a->multinom_prob[2] = NAN;
    double *theta = a->theta_offset;
    ALLELE *loc[] = {a};
    THREAD_DATA *t = single(loc);
    std::vector<float> u = ran1_stream(kRan1Seed, 2);
    update_thetas(t);
    EXPECT_EQ(t->allelesupdated, 0);
    EXPECT_EQ(a->theta_offset, theta);
    EXPECT_EQ(ran1(&seed), u[1]);
  }
}

// Whole iterations (epsilon steps, covariance draw, offsets on two workers)
// over many loci: the accepted loci are exactly those that took over new
// vectors, and every cached term matches the state after each iteration.
TEST(UpdateThetas, WholeIterationsKeepEveryCachedTerm) {
  const int K = 3, L = 41;
  setup_model(K);
  setall(77, 78);
  init_sigmas();
  std::mt19937 gen(3);
  ALLELE **loc = new ALLELE *[L];
  for (int l = 0; l < L; l++) {
    std::vector<int> c(K), t(K);
    for (int k = 0; k < K; k++) {
      t[k] = std::uniform_int_distribution<int>(0, 30)(gen);
      c[k] = std::uniform_int_distribution<int>(0, t[k])(gen);
    }
    c[0] = 1;
    t[0] = std::max(t[0], 3);
    loc[l] = make_locus(c, t);
  }
  setup_workers(loc, L);
  NU = K + 2.0 * L;
  init_epsilon(loc);
  init_thetas(loc);
  seed = kRan1Seed;
  for (int it = 0; it < 60; it++) {
    for (int l = 0; l < L; l++) update_epsilon(loc[l]);
    update_sigmas(loc);
    std::vector<double *> before(L);
    for (int l = 0; l < L; l++) before[l] = loc[l]->theta_offset;
    run_worker_pair(update_thetas, thread_data1, thread_data2);
    int changed = 0;
    for (int l = 0; l < L; l++) {
      ALLELE *a = loc[l];
      changed += a->theta_offset != before[l];
      // The epsilon step keeps p only up to rounding and leaves the cached
      // likelihood as it was.
      for (int k = 1; k <= K; k++) {
        double want = multinom_prob(a->epsilon + a->theta_offset[k], a, k);
        ASSERT_NEAR(a->multinom_prob[k], want, 1e-9 * std::max(1.0, fabs(want)));
      }
      ASSERT_EQ(a->multivar_prob, multivar_prob(a->theta_offset, a->epsilon));
    }
    EXPECT_EQ(thread_data1->allelesupdated + thread_data2->allelesupdated, changed);
  }
}

// Without data the offsets' stationary law is their prior,
// N(0, eps (1 - eps) Sigma). One locus (the first share empty, so the run is
// deterministic), Sigma with correlation 0.6, X_DEV = 1 so that the walk
// mixes in a few steps.
TEST(UpdateThetas, PriorOnlySettlesInThePrior) {
  const int K = 2;
  setup_model(K);
  X_DEV = 1;
  chol_dec_sigmas[2][1] = 0.6;
  chol_dec_sigmas[2][2] = 0.8;
  sigmas_inverse[1][1] = sigmas_inverse[2][2] = 1 / 0.64;
  sigmas_inverse[2][1] = sigmas_inverse[1][2] = -0.6 / 0.64;
  ALLELE *loc[] = {make_locus({0, 0}, {0, 0}, 0.5)};
  setup_workers(loc, 1);
  setall(11, 12);
  seed = kRan1Seed;
  const int N = 200000;
  double s11 = 0, s22 = 0, s12 = 0, m1 = 0;
  for (int it = 0; it < N; it++) {
    run_worker_pair(update_thetas, thread_data1, thread_data2);
    double *th = loc[0]->theta_offset;
    s11 += th[1] * th[1];
    s22 += th[2] * th[2];
    s12 += th[1] * th[2];
    m1 += th[1];
  }
  EXPECT_EQ(thread_data1->allelesupdated, 0);
  // Target variances 0.25, covariance 0.15. About 30% of the steps are
  // accepted and the correlation time is some 10 steps: 20000 effective
  // samples, a standard error of about 0.0025 on each second moment.
  EXPECT_NEAR(m1 / N, 0.0, 0.02);
  EXPECT_NEAR(s11 / N, 0.25, 0.015);
  EXPECT_NEAR(s22 / N, 0.25, 0.015);
  EXPECT_NEAR(s12 / N, 0.15, 0.015);
}

// With data the stationary law of p = eps + theta (K = 1, Sigma = 1,
// eps = 0.5 fixed) has density p^3 (1-p)^7 exp(-(p-0.5)^2 / 0.5) on (0, 1).
TEST(UpdateThetas, BinomialDataSettlesInThePosterior) {
  setup_model(1);
  X_DEV = 0.1;
  ALLELE *loc[] = {make_locus({3}, {10}, 0.5)};
  NUMLOCI = 1;
  init_thetas(loc);
  setup_workers(loc, 1);
  setall(21, 22);
  seed = kRan1Seed;
  const int N = 200000;
  double s = 0, s2 = 0;
  for (int it = 0; it < N; it++) {
    run_worker_pair(update_thetas, thread_data1, thread_data2);
    double p = 0.5 + loc[0]->theta_offset[1];
    s += p;
    s2 += p * p;
  }
  double z = 0, m1 = 0, m2 = 0;
  for (int i = 1; i < 100000; i++) {
    double p = i / 100000.0;
    double d = pow(p, 3) * pow(1 - p, 7) * exp(-(p - 0.5) * (p - 0.5) / 0.5);
    z += d;
    m1 += d * p;
    m2 += d * p * p;
  }
  double mean = m1 / z, var = m2 / z - mean * mean;
  // Posterior sd about 0.13 against a step of 0.1: roughly 20000 effective
  // samples, standard errors about 0.001 (mean) and 1.5% (variance).
  EXPECT_NEAR(s / N, mean, 0.005);
  EXPECT_NEAR((s2 / N - (s / N) * (s / N)) / var, 1.0, 0.07);
}
