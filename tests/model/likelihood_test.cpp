// Likelihood, binomial and pooled (with and without the weight table): its
// boundaries and messages, and pooled values against an independent
// extended-precision evaluation (whose binomial coefficients reach 2000
// copies). The ordinary binomial terms and the weights cached per locus are
// pinned by the recorded runs.
#include <cmath>
#include <random>

#include "model_fixture.h"

using namespace modeltest;

namespace {

// C(n, k) by the multiplicative formula in extended precision.
long double ld_binomial(int n, int k) {
  if (k > n - k) k = n - k;
  long double r = 1;
  for (int j = 1; j <= k; j++) r = r * (n - k + j) / j;
  return r;
}

// The pooled log-likelihood in extended precision, largest log-term first.
double ld_pooled(double theta, int n, int t, int c) {
  std::vector<long double> x;
  long double top = -INFINITY, s = 0;
  for (int i = 1; i <= n - 1; i++) {
    long double f = (long double)i / n;
    x.push_back(logl(ld_binomial(n, i)) + c * logl(f) + (t - c) * logl(1 - f) + i * logl(theta) +
                (n - i) * logl(1 - (long double)theta));
    top = std::max(top, x.back());
  }
  for (long double v : x) s += expl(v - top);
  return (double)(top + logl(s));
}

// The pooled log-likelihood of c reads of t from a pool of n copies.
double pooled(double theta, int n, int t, int c) {
  samplesizes[1] = n;
  return multinom_prob(theta, make_locus({c}, {t}), 1);
}

}  // namespace

TEST(Likelihood, BinomialValuesBoundariesAndEmptyPopulations) {
  setup_model(2);
  samplesizes = ivector(1, 2);
  samplesizes[1] = samplesizes[2] = 10;
  ALLELE *a = make_locus({3, 0}, {10, 0});
  EXPECT_DOUBLE_EQ(multinom_prob(0.3, a, 1), 3 * log(0.3) + 7 * log(0.7));
  EXPECT_DOUBLE_EQ(multinom_prob(0.9, a, 1), 3 * log(0.9) + 7 * log(0.1));
  for (double theta : {1e-9, 0.5, 0.999999}) EXPECT_EQ(multinom_prob(theta, a, 2), 0.0);
  // A frequency at or past the bound the counts sit at is log 1 in both modes.
  ALLELE *b = make_locus({10, 0}, {10, 7});
  for (POOL = 0; POOL <= 1; POOL++)
    for (double theta : {1.0, 1.7}) EXPECT_EQ(multinom_prob(theta, b, 1) + multinom_prob(1 - theta, b, 2), 0.0);
  POOL = 0;
  ALLELE *c = make_locus({1, 2, 3}, {4, 4, 4});
  setup_model(3);
  EXPECT_STDOUT_DEATH(multinom_prob(1.2, c, 3), "^theta greater than 1 for a segregating allele pop 3 1\\.2000e\\+00\n$");
  EXPECT_STDOUT_DEATH(multinom_prob(-0.05, c, 1), "^theta greater than 0 for a segregating allele pop 1 -5\\.0000e-02\n$");
}

// Random pools against the extended-precision sum: all terms are positive,
// so only rounding (about n ulps) separates the two. Above 170 copies the
// factorials overflow; the likelihood must stay finite and right, also where
// single terms leave the double range. The weight table multiplies the
// weight's three factors in another order.
TEST(Pooled, AgainstExtendedPrecisionWithAndWithoutTable) {
  setup_model(1);
  POOL = 1;
  samplesizes = ivector(1, 1);
  EXPECT_STDOUT_DEATH(init_lookup(100000, 100000), "^lookup table needs .* GB, more than a quarter of .*run without -l\n$");
  // Two copies, one read: theta (1 - theta); a single copy is log 0.
  for (double theta : {0.1, 0.73}) EXPECT_DOUBLE_EQ(pooled(theta, 2, 1, 1), log(theta * (1 - theta)));
  EXPECT_EQ(pooled(0.4, 1, 3, 1), -INFINITY);
  struct Case {
    int n, t, c;
    double theta;
  };
  std::vector<Case> cases = {{171, 30, 12, 0.4},   {250, 80, 1, 0.02},      {400, 50, 50, 0.97},
                             {2000, 100, 37, 0.35}, {300, 3000, 1400, 0.5}, {1200, 0, 0, 0.6}};
  std::mt19937 gen(20240611);
  for (int rep = 0; rep < 200; rep++) {
    int n = std::uniform_int_distribution<int>(2, 180)(gen), t = std::uniform_int_distribution<int>(0, 60)(gen);
    int c = std::uniform_int_distribution<int>(0, t)(gen);
    cases.push_back({n, t, c, std::uniform_real_distribution<double>(0.01, 0.99)(gen)});
  }
  // A table over pools of 150 to 180 copies, both sides of 170 (small pools
  // with the table are pinned by the recorded pooled runs).
  min_samplesize = 150;
  min_coverage = 0;
  init_lookup(180, 25);
  for (const Case &k : cases) {
    SCOPED_TRACE(testing::Message() << k.n << " " << k.t << " " << k.c);
    double got = pooled(k.theta, k.n, k.t, k.c);
    EXPECT_NEAR(got, ld_pooled(k.theta, k.n, k.t, k.c), (k.n > 170 ? 1e-9 : 1e-12) * std::max(1.0, fabs(got)));
    if (k.n < 150 || k.n > 180 || k.t > 25) continue;
    LOOKUP = 1;
    EXPECT_NEAR(pooled(k.theta, k.n, k.t, k.c), got, 1e-12 * std::max(1.0, fabs(got)));
    LOOKUP = 0;
  }
}
