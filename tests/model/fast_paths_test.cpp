// The tuned updates against plain transcriptions of the same steps: the
// batched epsilon step and the theta step with its block draws and paired
// prior terms must give the same values bit for bit and leave both
// generators at the same point; so must the cached pooled weights.
#include <cmath>
#include <cstring>
#include <random>

#include "model_fixture.h"
#include "model/inline_terms.h"
#include "model/pool_weights.h"
#include "numerics/matrix.h"

using namespace modeltest;

namespace {

// L loci of K populations with varied counts; some with an ancestral
// frequency near 0 or 1, so that epsilon proposals fall outside (0, 1).
std::vector<ALLELE *> varied_loci(int K, int L, unsigned rng_seed) {
  std::mt19937 gen(rng_seed);
  std::vector<ALLELE *> loc;
  for (int l = 0; l < L; l++) {
    std::vector<int> c(K), t(K);
    for (int k = 0; k < K; k++) {
      t[k] = std::uniform_int_distribution<int>(1, 40)(gen);
      c[k] = std::uniform_int_distribution<int>(0, t[k])(gen);
    }
    // Polymorphic overall: population 1 holds both alleles.
    if (l % 7 == 0) std::fill(c.begin(), c.end(), 0);
    t[0] = std::max(t[0], 2);
    c[0] = 1;
    loc.push_back(make_locus(c, t));
  }
  NUMLOCI = L;
  init_epsilon(loc.data());
  init_thetas(loc.data());
  return loc;
}

std::vector<ALLELE *> deep_copy(const std::vector<ALLELE *> &loc) {
  int K = NUMPOPS;
  std::vector<ALLELE *> out;
  for (ALLELE *a : loc) {
    ALLELE *b = new ALLELE(*a);
    b->theta_offset = dvector(1, K);
    b->multinom_prob = dvector(1, K);
    memcpy(b->theta_offset + 1, a->theta_offset + 1, K * sizeof(double));
    memcpy(b->multinom_prob + 1, a->multinom_prob + 1, K * sizeof(double));
    out.push_back(b);
  }
  return out;
}

void expect_same_loci(const std::vector<ALLELE *> &x, const std::vector<ALLELE *> &y) {
  ASSERT_EQ(x.size(), y.size());
  for (size_t l = 0; l < x.size(); l++) {
    ASSERT_EQ(x[l]->epsilon, y[l]->epsilon) << "locus " << l;
    ASSERT_EQ(x[l]->multivar_prob, y[l]->multivar_prob) << "locus " << l;
    for (int k = 1; k <= NUMPOPS; k++) {
      ASSERT_EQ(x[l]->theta_offset[k], y[l]->theta_offset[k]) << "locus " << l << " pop " << k;
      ASSERT_EQ(x[l]->multinom_prob[k], y[l]->multinom_prob[k]) << "locus " << l << " pop " << k;
    }
  }
}

// A covariance matrix with correlated populations, its inverse and factor.
void correlated_sigma(int K) {
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) sigmas[i][j] = 0.04 * pow(0.7, abs(i - j)) + (i == j ? 0.01 : 0);
  dsymmat_cpy2(sigmas, temp_matrix, K);
  sigmas_inverse = choldc_inverse_det(temp_matrix, K, &sigmas_det);
  dsymmat_cpy2(sigmas, chol_dec_sigmas, K);
  double *d = dvector(1, K);
  choldc(chol_dec_sigmas, K, d);
  for (int i = 1; i <= K; i++) {
    chol_dec_sigmas[i][i] = d[i];
    for (int j = i + 1; j <= K; j++) chol_dec_sigmas[i][j] = 0;
  }
}

// The theta step of loci low .. hi-1 as plainly written: K normals per
// locus, one prior term at a time, fresh vectors for every accepted locus.
int plain_update_thetas(ALLELE **loc, int low, int hi) {
  int K = NUMPOPS, accepted = 0;
  for (int l = low; l < hi; l++) {
    ALLELE *a = loc[l];
    a->multivar_prob = multivar_prob(a->theta_offset, a->epsilon);
    double *dx = dvector(1, K), *dt = dvector(1, K), *ts = dvector(1, K), *mn = dvector(1, K);
    for (int k = 1; k <= K; k++) dx[k] = gennor(0, (float)X_DEV);
    dmat_vect_mult_tri(chol_dec_sigmas, dx, dt, K);
    bool abandoned = false;
    double d = 0;
    for (int k = 1; k <= K && !abandoned; k++) {
      ts[k] = a->theta_offset[k] + dt[k];
      double p = (ts[k] + a->epsilon) + pop_spec_mean[k];
      if ((a->count[k] != 0 && p <= 0) || (a->count[k] != a->total[k] && p >= 1)) {
        abandoned = true;
        break;
      }
      mn[k] = multinom_prob(p, a, k);
      d = (mn[k] - a->multinom_prob[k]) + d;
    }
    if (!abandoned) {
      double m = multivar_prob(ts, a->epsilon);
      double r = (m - a->multivar_prob) + d;
      bool accept = r > 0;
      if (!accept) accept = exp(r) >= ran1(&seed);
      if (accept) {
        std::swap(a->theta_offset, ts);
        std::swap(a->multinom_prob, mn);
        a->multivar_prob = m;
        accepted++;
      }
    }
    free_dvector(dx, 1, K);
    free_dvector(dt, 1, K);
    free_dvector(ts, 1, K);
    free_dvector(mn, 1, K);
  }
  return accepted;
}

void expect_generators_agree(long s1, long s2, long ran1_seed, void (*run_a)(), void (*run_b)()) {
  setall(s1, s2);
  seed = ran1_seed;
  run_a();
  float next_normal = gennor(0, 1);
  float next_uniform = ran1(&seed);
  setall(s1, s2);
  seed = ran1_seed;
  run_b();
  EXPECT_EQ(gennor(0, 1), next_normal);
  EXPECT_EQ(ran1(&seed), next_uniform);
}

std::vector<ALLELE *> loci_a, loci_b;
int accepted_a, accepted_b;

}  // namespace

// Many loci (an odd number, above the threshold for the workers), twenty
// rounds, a correlated Sigma: the batched step equals the step locus by locus.
TEST(FastPaths, BatchedEpsilonStepEqualsStepByStep) {
  for (int K : {1, 4, 11}) {
    setup_model(K);
    correlated_sigma(K);
    loci_a = varied_loci(K, 1001, 5 + K);
    loci_b = deep_copy(loci_a);
    expect_generators_agree(
        1234, 5678, -99,
        [] {
          EPSILON_UPDATED = 0;
          for (int it = 0; it < 20; it++)
            for (ALLELE *a : loci_a) update_epsilon(a);
          accepted_a = EPSILON_UPDATED;
        },
        [] {
          EPSILON_UPDATED = 0;
          for (int it = 0; it < 20; it++) update_epsilon_all(loci_b.data(), (int)loci_b.size());
          accepted_b = EPSILON_UPDATED;
        });
    expect_same_loci(loci_a, loci_b);
    EXPECT_EQ(accepted_a, accepted_b);
    // Some moves were taken and some refused, including proposals outside (0, 1).
    EXPECT_GT(accepted_a, 1001 * 20 / 10);
    EXPECT_LT(accepted_a, 1001 * 20);
  }
}

// One worker over a whole share draws its normals in blocks; with nobody
// else drawing, the values are those of the plain step.
TEST(FastPaths, ThetaStepOnOneShareEqualsPlainStep) {
  for (int K : {1, 3, 10}) {
    setup_model(K);
    correlated_sigma(K);
    loci_a = varied_loci(K, 77, 40 + K);
    loci_b = deep_copy(loci_a);
    expect_generators_agree(
        4321, 8765, -7,
        [] {
          accepted_a = 0;
          for (int it = 0; it < 30; it++) accepted_a += plain_update_thetas(loci_a.data(), 0, (int)loci_a.size());
        },
        [] {
          THREAD_DATA t{0, (int)loci_b.size(), 0, nullptr, loci_b.data()};
          accepted_b = 0;
          for (int it = 0; it < 30; it++) {
            update_thetas(&t);
            accepted_b += t.allelesupdated;
          }
        });
    expect_same_loci(loci_a, loci_b);
    EXPECT_EQ(accepted_a, accepted_b);
    EXPECT_GT(accepted_a, 0);
  }
}

// The binomial term skips the logarithm that a zero count (or a count equal
// to the total) multiplies; the value keeps every bit of the full formula,
// signed zeros included, down to frequencies whose complement rounds to 1.
TEST(FastPaths, BinomialTermKeepsEveryBit) {
  std::mt19937 gen(17);
  std::vector<double> thetas = {1e-300, 1e-17, 1e-16, 0.5, 1 - 1e-16, std::nextafter(1.0, 0.0)};
  for (int i = 0; i < 20000; i++) thetas.push_back(std::uniform_real_distribution<double>(0, 1)(gen));
  for (double theta : thetas) {
    if (!(theta > 0 && theta < 1)) continue;
    for (int t : {0, 1, 2, 7, 40, 1000})
      for (int c : {0, 1, t / 2, t - 1, t}) {
        if (c < 0 || c > t) continue;
        double full = c * log(theta) + (t - c) * log(1.0 - theta);
        double fast = binomial_log_likelihood(theta, c, t);
        ASSERT_EQ(memcmp(&full, &fast, sizeof full), 0) << theta << " " << c << " " << t;
      }
  }
}

// Pooled mode without the table: the weights computed once per triple at
// start-up give every likelihood bit for bit, for pools on both sides of
// 170 copies, and a triple the loci do not hold is still computed per call.
TEST(FastPaths, PooledWeightsComputedOnceKeepEveryBit) {
  const int K = 3, L = 60;
  setup_model(K);
  POOL = 1;
  LOOKUP = 0;
  samplesizes = ivector(1, K);
  samplesizes[1] = 20;
  samplesizes[2] = 40;
  samplesizes[3] = 200;
  std::mt19937 gen(23);
  std::vector<ALLELE *> loc;
  for (int l = 0; l < L; l++) {
    std::vector<int> c(K), t(K);
    for (int k = 0; k < K; k++) {
      t[k] = std::uniform_int_distribution<int>(0, 100)(gen);
      c[k] = std::uniform_int_distribution<int>(0, t[k])(gen);
    }
    loc.push_back(make_locus(c, t));
  }
  std::vector<double> thetas;
  for (int i = 0; i < 5; i++) thetas.push_back(std::uniform_real_distribution<double>(0.001, 0.999)(gen));

  init_pool_weights(loc.data(), 0);
  EXPECT_EQ(pool_weights_cached(), 0u);
  std::vector<double> plain;
  for (ALLELE *a : loc)
    for (int k = 1; k <= K; k++)
      for (double th : thetas) plain.push_back(multinom_prob(th, a, k));

  init_pool_weights(loc.data(), L);
  EXPECT_GT(pool_weights_cached(), 0u);
  EXPECT_NE(cached_pool_weights(40, loc[0]->total[2], loc[0]->count[2]), nullptr);
  size_t i = 0;
  for (ALLELE *a : loc)
    for (int k = 1; k <= K; k++)
      for (double th : thetas) {
        double v = multinom_prob(th, a, k);
        ASSERT_EQ(memcmp(&v, &plain[i], sizeof v), 0) << "locus value " << i;
        i++;
      }
  // A count no locus holds.
  ALLELE *other = make_locus({0, 0, 0}, {0, 0, 0});
  other->total[2] = 101;
  other->count[2] = 50;
  EXPECT_EQ(cached_pool_weights(40, 101, 50), nullptr);
  EXPECT_TRUE(std::isfinite(multinom_prob(0.4, other, 2)));
  init_pool_weights(loc.data(), 0);
  POOL = 0;
}
