// Likelihood, prior exponent and binomial coefficients.
#include <cmath>
#include <random>

#include "model_fixture.h"
#include "numerics/nrutil.h"

using namespace modeltest;

namespace {

// The factorial product exactly as the coefficient is defined, evaluated
// anew for every call.
double naive_factorial(int m) {
  double f = 1;
  for (int j = 1; j <= m; j++) f *= j;
  return f;
}

double naive_binomial(int n, int k) { return naive_factorial(n) / (naive_factorial(n - k) * naive_factorial(k)); }

// C(n, k) by the multiplicative formula in extended precision.
long double ld_binomial(int n, int k) {
  if (k > n - k) k = n - k;
  long double r = 1;
  for (int j = 1; j <= k; j++) r = r * (n - k + j) / j;
  return r;
}

// The pooled log-likelihood in extended precision and two passes (largest
// log-term first), independently of the code under test.
double ld_pooled(double theta, int n, int t, int c) {
  std::vector<long double> x;
  for (int i = 1; i <= n - 1; i++) {
    long double f = (long double)i / n;
    x.push_back(logl(ld_binomial(n, i)) + c * logl(f) + (t - c) * logl(1 - f) + i * logl(theta) +
                (n - i) * logl(1 - (long double)theta));
  }
  long double top = x[0];
  for (long double v : x) top = std::max(top, v);
  long double s = 0;
  for (long double v : x) s += expl(v - top);
  return (double)(top + logl(s));
}

class Pooled : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_model(1);
    POOL = 1;
    samplesizes = ivector(1, 1);
  }
  double pooled(double theta, int n, int t, int c) {
    samplesizes[1] = n;
    ALLELE *a = make_locus({c}, {t});
    return multinom_prob(theta, a, 1);
  }
};

}  // namespace

TEST(Likelihood, BoundariesGiveLogOneInBothModes) {
  setup_model(2);
  samplesizes = ivector(1, 2);
  samplesizes[1] = samplesizes[2] = 10;
  ALLELE *a = make_locus({10, 0}, {10, 7});
  for (int pool = 0; pool <= 1; pool++) {
    POOL = pool;
    EXPECT_EQ(multinom_prob(1.0, a, 1), 0.0);
    EXPECT_EQ(multinom_prob(1.7, a, 1), 0.0);
    EXPECT_EQ(multinom_prob(0.0, a, 2), 0.0);
    EXPECT_EQ(multinom_prob(-0.3, a, 2), 0.0);
  }
}

TEST(Likelihood, BinomialValuesAndEmptyPopulation) {
  setup_model(2);
  ALLELE *a = make_locus({3, 0}, {10, 0});
  EXPECT_DOUBLE_EQ(multinom_prob(0.3, a, 1), 3 * log(0.3) + 7 * log(0.7));
  EXPECT_DOUBLE_EQ(multinom_prob(0.9, a, 1), 3 * log(0.9) + 7 * log(0.1));
  for (double theta : {1e-9, 0.25, 0.5, 0.999999}) EXPECT_EQ(multinom_prob(theta, a, 2), 0.0);
}

TEST(LikelihoodDeath, FrequencyContradictingTheData) {
  setup_model(3);
  ALLELE *a = make_locus({1, 2, 3}, {4, 4, 4});
  EXPECT_STDOUT_DEATH(multinom_prob(1.2, a, 3),
                      "^theta greater than 1 for a segregating allele pop 3 1\\.2000e\\+00\n$");
  EXPECT_STDOUT_DEATH(multinom_prob(0.0, a, 2),
                      "^theta greater than 0 for a segregating allele pop 2 0\\.0000e\\+00\n$");
  EXPECT_STDOUT_DEATH(multinom_prob(-0.05, a, 1),
                      "^theta greater than 0 for a segregating allele pop 1 -5\\.0000e-02\n$");
}

TEST_F(Pooled, TwoCopiesOneReadWithAndWithoutTable) {
  for (double theta : {0.1, 0.5, 0.73}) EXPECT_DOUBLE_EQ(pooled(theta, 2, 1, 1), log(theta * (1 - theta)));
  min_samplesize = 2;
  min_coverage = 0;
  init_lookup(2, 1);
  LOOKUP = 1;
  for (double theta : {0.1, 0.5, 0.73}) EXPECT_DOUBLE_EQ(pooled(theta, 2, 1, 1), log(theta * (1 - theta)));
  LOOKUP = 0;
}

TEST_F(Pooled, SingleCopyPoolIsLogZero) {
  EXPECT_EQ(pooled(0.4, 1, 3, 1), -INFINITY);
  EXPECT_EQ(pooled(0.4, 0, 3, 1), -INFINITY);
}

// For pools up to 170 copies the value must be that of the defining
// evaluation order, bit for bit, and agree with an exact evaluation.
TEST_F(Pooled, SumMatchesDefinitionForRandomPools) {
  std::mt19937 gen(20240611);
  for (int rep = 0; rep < 200; rep++) {
    int n = std::uniform_int_distribution<int>(2, 170)(gen);
    int t = std::uniform_int_distribution<int>(0, 60)(gen);
    int c = std::uniform_int_distribution<int>(0, t)(gen);
    double theta = std::uniform_real_distribution<double>(0.01, 0.99)(gen);
    double sum = 0;
    for (int i = 1; i <= n - 1; i++) {
      double f = (double)i / n;
      double w = (pow(f, c) * pow(1.0 - f, t - c)) * naive_binomial(n, i);
      sum += (w * pow(theta, i)) * pow(1.0 - theta, n - i);
    }
    double got = pooled(theta, n, t, c);
    EXPECT_EQ(got, log(sum)) << "n=" << n << " t=" << t << " c=" << c << " theta=" << theta;
    // Relative 1e-12: all terms are positive, so only rounding (a few ulps
    // per term, about n ulps in the coefficient) separates the two.
    EXPECT_NEAR(got, ld_pooled(theta, n, t, c), 1e-12 * std::max(1.0, fabs(got)));
  }
}

TEST_F(Pooled, TableAgreesWithDirectWeights) {
  min_samplesize = 3;
  min_coverage = 2;
  init_lookup(40, 25);
  std::mt19937 gen(7);
  for (int rep = 0; rep < 100; rep++) {
    int n = std::uniform_int_distribution<int>(3, 40)(gen);
    int t = std::uniform_int_distribution<int>(2, 25)(gen);
    int c = std::uniform_int_distribution<int>(0, t)(gen);
    double theta = std::uniform_real_distribution<double>(0.01, 0.99)(gen);
    LOOKUP = 0;
    double direct = pooled(theta, n, t, c);
    LOOKUP = 1;
    double table = pooled(theta, n, t, c);
    // The table multiplies the weight's three factors in another order.
    EXPECT_NEAR(table, direct, 1e-13 * std::max(1.0, fabs(direct)));
  }
  LOOKUP = 0;
}

// Above 170 copies the factorials overflow; the likelihood must stay finite
// and right, also where single terms leave the double range.
TEST_F(Pooled, LargePoolsStayFinite) {
  struct Case { int n, t, c; double theta; } cases[] = {
      {171, 30, 12, 0.4}, {250, 80, 1, 0.02}, {400, 50, 50, 0.97}, {2000, 100, 37, 0.35},
      {300, 3000, 1400, 0.5}, {1200, 0, 0, 0.6}};
  for (const Case &k : cases) {
    double got = pooled(k.theta, k.n, k.t, k.c);
    ASSERT_TRUE(std::isfinite(got)) << k.n;
    EXPECT_NEAR(got, ld_pooled(k.theta, k.n, k.t, k.c), 1e-9 * std::max(1.0, fabs(got))) << k.n;
  }
  min_samplesize = 171;
  min_coverage = 0;
  init_lookup(180, 12);
  double direct = pooled(0.3, 180, 12, 5);
  LOOKUP = 1;
  EXPECT_NEAR(pooled(0.3, 180, 12, 5), direct, 1e-12 * fabs(direct));
  LOOKUP = 0;
}

TEST(LikelihoodDeath, OversizedLookupTableIsRefused) {
  setup_model(1);
  min_samplesize = 2;
  min_coverage = 0;
  EXPECT_STDOUT_DEATH(init_lookup(100000, 100000), "^lookup table needs .* GB, more than a quarter of .*run without -l\n$");
}

TEST(BinomialCoeff, ProductFormulaUpTo170) {
  EXPECT_EQ(binomial_coeff(5, 2), 10.0);
  for (int n = 0; n <= 170; n++) {
    EXPECT_EQ(binomial_coeff(n, 0), 1.0);
    EXPECT_EQ(binomial_coeff(n, n), 1.0);
    for (int k = 0; k <= n; k++) ASSERT_EQ(binomial_coeff(n, k), naive_binomial(n, k)) << n << " " << k;
  }
}

TEST(BinomialCoeff, NoOverflowFrom171To400) {
  for (int n = 171; n <= 400; n++)
    for (int k = 0; k <= n; k++) {
      double got = binomial_coeff(n, k);
      ASSERT_TRUE(std::isfinite(got)) << n << " " << k;
      // Log-gamma of arguments up to 401 is good to a few 1e-16 relative,
      // so the exponential of the difference to about 1e-12.
      ASSERT_NEAR(got / (double)ld_binomial(n, k), 1.0, 1e-11) << n << " " << k;
    }
  // Pascal's rule across the 170/171 boundary.
  for (int k = 1; k <= 170; k++)
    EXPECT_NEAR(binomial_coeff(171, k) / (binomial_coeff(170, k) + binomial_coeff(170, k - 1)), 1.0, 1e-11);
}

TEST(MultivarProb, KnownValues) {
  setup_model(1);
  sigmas_inverse[1][1] = 4;
  double *v = dvector(1, 1);
  v[1] = 0;
  EXPECT_EQ(multivar_prob(v, 0.3), 0.0);
  v[1] = 0.1;
  EXPECT_NEAR(multivar_prob(v, 0.5), -0.08, 1e-15);

  // K = 2, lower triangle 2 / 1 3 and a stray value above the diagonal:
  // v^T M v = 18 for v = (1, 2), so the exponent is -9 / (0.2 * 0.8).
  setup_model(2);
  sigmas_inverse[1][1] = 2;
  sigmas_inverse[2][1] = 1;
  sigmas_inverse[2][2] = 3;
  sigmas_inverse[1][2] = 100;
  double *w = dvector(1, 2);
  w[1] = 1;
  w[2] = 2;
  EXPECT_DOUBLE_EQ(multivar_prob(w, 0.2), -9 / (0.2 * 0.8));
}
