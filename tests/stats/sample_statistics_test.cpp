// What each sample adds: ranks and correlations, the Bayes factors'
// importance weights, the frequency line, XtX and the correlation sums.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "stats_state.h"

namespace {

using namespace statstest;
using V = std::vector<double>;

// Ranks of `values` (NUMPOPS set to their number); the values stay as they were.
V ranks_of(const V &values) {
  NUMPOPS = (int)values.size();
  double *v = dvector(1, NUMPOPS), *r = dvector(1, NUMPOPS);
  for (int i = 1; i <= NUMPOPS; i++) v[i] = values[i - 1];
  calc_ranking(v, r);
  for (int i = 1; i <= NUMPOPS; i++) EXPECT_TRUE(v[i] == values[i - 1] || std::isnan(v[i]));
  V out(r + 1, r + 1 + NUMPOPS);
  free_dvector(v, 1, NUMPOPS);
  free_dvector(r, 1, NUMPOPS);
  return out;
}

double pearson(V x, V y) {
  NUMPOPS = (int)x.size();
  return calc_pearson_cor(x.data() - 1, y.data() - 1);
}

TEST(Correlations, FractionalRanksAndPearson) {
  EXPECT_EQ(ranks_of({3, -1, 0, 3, -1, 3, 7}), (V{5, 1.5, 3, 5, 1.5, 5, 7}));
  EXPECT_EQ(ranks_of({1.6e308, -1.6e308, 0}), (V{3, 1, 2}));
  double a = 0.1, b = std::nextafter(0.1, 1.0);  // ties are exact equality
  EXPECT_EQ(ranks_of({b, a, a}), (V{3, 1.5, 1.5}));
  // A value that compares with nothing gets no rank; the others keep theirs.
  V r = ranks_of({2, NAN, 1, INFINITY});
  EXPECT_EQ(r[0] * 10 + r[2], 21);
  EXPECT_TRUE(std::isnan(r[1]) && std::isnan(r[3]));
  // Mean 2 each, s_xy = 1, s_xx = s_yy = 2: (1/3) / (2/3); affine maps keep it.
  EXPECT_NEAR(pearson({1, 2, 3}, {1, 3, 2}), 0.5, 1e-15);
  EXPECT_NEAR(pearson({1, 2, 3}, {13, 33, 23}), 0.5, 1e-15);
  EXPECT_NEAR(pearson({0.3, -1.2, 2.5, 7}, {-0.3, 1.2, -2.5, -7}), -1.0, 1e-15);
  EXPECT_TRUE(std::isnan(pearson({1, 2, 3}, {4, 4, 4})));
  // Ranks 1 2 3 4 against 2 1 4 3: rho = 1 - 6*4/(4*15) = 0.6.
  EXPECT_NEAR(pearson(ranks_of({1, 2, 3, 4}), ranks_of({20, 10, 40, 30})), 0.6, 1e-15);
}

class Samples : public ::testing::Test {
 protected:
  void TearDown() override {
    for (ALLELE *a : loci) free_locus(a, NUMPOPS);
    release_state();
  }
  ALLELE *add_locus(double epsilon, const V &theta) {
    loci.push_back(make_locus(std::vector<int>(theta.size(), 1), std::vector<int>(theta.size(), 2), epsilon, theta));
    NUMLOCI = (int)loci.size();
    return loci.back();
  }
  std::vector<ALLELE *> loci;
};

// Only Sigma^-1 = [[2, 0.5], [0.5, 1]] enters the weights. Variable 1 is
// (1, -2); variable 2 is zero everywhere, so each of its weights is exactly 1.
TEST_F(Samples, BayesFactorWeightsAgainstTheClosedForm) {
  set_covariance(2, {1, 0, 0, 1});
  sigmas_inverse[1][1] = 2;
  sigmas_inverse[2][1] = sigmas_inverse[1][2] = 0.5;
  sigmas_inverse[2][2] = 1;
  set_environment(2, {1, -2, 0, 0});
  ALLELE *loc = add_locus(0.25, {0.05, -0.02});
  calc_bf_imp_weight(loc);
  calc_bf_imp_weight(loc);  // a second sample adds the same again
  // beta = 0.02 (j = 61): theta* = (0.03, 0.02), q* = 0.0028, q = 0.0044,
  // eps (1 - eps) = 0.1875.
  EXPECT_NEAR(beta_imp_weight[1][61], 2 * exp(0.0016 / 0.375), 1e-13);
  EXPECT_EQ(beta_imp_weight[1][51], 2.0);
  for (int j = 1; j <= num_beta; j++) {
    double b = beta_array[j], t1 = 0.05 - b, t2 = -0.02 + 2 * b;
    double w = 2 * exp(-(2 * t1 * t1 + t1 * t2 + t2 * t2 - 0.0044) / (2 * 0.1875));
    EXPECT_NEAR(beta_imp_weight[1][j], w, 1e-13 * w) << "j = " << j;
    EXPECT_EQ(beta_imp_weight[2][j], 2.0) << "j = " << j;
  }
  EXPECT_EQ(loc->theta_offset[1], 0.05);
  EXPECT_EQ(loc->theta_offset[2], -0.02);
  EXPECT_EQ(loc->epsilon, 0.25);
  EXPECT_EQ(bayes_factor(2, 2), 1.0);
}

// A large effect aligned with the offsets at a tiny epsilon (1 - eps) makes
// exp overflow: the weight is infinite rather than wrapped or clamped.
TEST_F(Samples, BayesFactorWeightsOverflowToInfinity) {
  set_covariance(1, {1});
  set_environment(1, {1});
  calc_bf_imp_weight(add_locus(1e-6, {0.1}));
  EXPECT_TRUE(std::isinf(beta_imp_weight[1][101]));
  EXPECT_EQ(beta_imp_weight[1][51], 1.0);
}

std::string file_content(FILE *f) {
  fflush(f);
  rewind(f);
  std::string s;
  for (int c; (c = fgetc(f)) != EOF;) s += (char)c;
  return s;
}

// L^-1 of a correlated 4 x 4 covariance matrix (lower triangle).
const V kLInverse4 = {1.3, 0, 0, 0, -0.4, 2.2, 0, 0, 0.25, 0.6, 0.9, 0, -1.1, 0.05, 0.3, 1.7};

// X = L^-1 theta / sqrt(eps (1 - eps)) of a locus, from the definition.
V expected_x(ALLELE *a) {
  V x(NUMPOPS, 0.0);
  for (int i = 1; i <= NUMPOPS; i++)
    for (int j = 1; j <= i; j++)
      x[i - 1] += chol_dec_sigmas_inverse[i][j] * (a->theta_offset[j] / sqrt((1 - a->epsilon) * a->epsilon));
  return x;
}

// The frequency lines follow the lower-triangular product (entries above the
// diagonal are never read), and XtX adds -2 times the prior exponent of
// every locus at every sample.
TEST_F(Samples, FrequencyLinesAndXtX) {
  set_covariance(4, kLInverse4);
  set_environment(1, {1, 2, 3, 4});
  chol_dec_sigmas_inverse[1][4] = chol_dec_sigmas_inverse[2][3] = 99;
  add_locus(0.37, {0.021, -0.13, 0.004, 0.09});
  add_locus(0.81, {-0.01, 0.02, 0.05, -0.07});
  add_locus(0.5, {0, 0, 0, 0});
  freqs_out = tmpfile();
  FREQS_OUTPUT = CALC_XTX = 1;
  print_X(loci.data());
  print_X(loci.data());
  std::string want;
  char buf[64];
  for (int l = 0; l < 3; l++) {
    for (double v : expected_x(loci[l])) want += (snprintf(buf, sizeof buf, "%.4e \t", v), buf);
    want += "\n";
  }
  EXPECT_EQ(file_content(freqs_out), want + want);
  EXPECT_NE(want.find("\n0.0000e+00 \t0.0000e+00 \t0.0000e+00 \t0.0000e+00 \t\n"), std::string::npos);
  double xtx = -2 * (multivar_prob(loci[0]->theta_offset, 0.37) + multivar_prob(loci[1]->theta_offset, 0.81));
  EXPECT_NEAR(XtX, 2 * xtx, 2e-12 * xtx);
  EXPECT_EQ(corr_vector[1], 0.0);
  fclose(freqs_out);
}

// Variable 1 is an increasing affine map of X: both correlations 1. Variable
// 2 reverses X's order with a non-linear map: Spearman -1, Pearson as
// computed here.
TEST_F(Samples, CorrelationSumsPerVariable) {
  set_covariance(4, kLInverse4);
  set_environment(2, V(8, 0.0));
  add_locus(0.37, {0.021, -0.13, 0.004, 0.09});
  V x = expected_x(loci[0]), cube;
  env_transformed = dmatrix(1, 2, 1, 4);
  env_ranks = dmatrix(1, 2, 1, 4);
  for (int p = 1; p <= 4; p++) {
    env_transformed[1][p] = 3 * x[p - 1] + 1;
    env_transformed[2][p] = -x[p - 1] * x[p - 1] * x[p - 1];
    cube.push_back(env_transformed[2][p]);
  }
  calc_ranking(env_transformed[1], env_ranks[1]);
  calc_ranking(env_transformed[2], env_ranks[2]);
  double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
  for (int p = 0; p < 4; p++) mx += x[p] / 4, my += cube[p] / 4;
  for (int p = 0; p < 4; p++) sxy += (x[p] - mx) * (cube[p] - my), sxx += (x[p] - mx) * (x[p] - mx), syy += (cube[p] - my) * (cube[p] - my);
  double pearson2 = sxy / sqrt(sxx * syy);
  ASSERT_GT(pearson2, -0.999);
  PRINT_COR = 1;
  print_X(loci.data());
  print_X(loci.data());
  EXPECT_NEAR(corr_vector[1], 2.0, 1e-14);
  EXPECT_NEAR(corr_vector2[1], 2.0, 1e-14);
  EXPECT_NEAR(corr_vector[2], -2.0, 1e-14);
  EXPECT_NEAR(corr_vector2[2], 2 * pearson2, 1e-13);
  EXPECT_EQ(XtX, 0.0);
  free_dmatrix(env_transformed, 1, 2, 1, 4);
  free_dmatrix(env_ranks, 1, 2, 1, 4);
  env_transformed = env_ranks = nullptr;
}

}  // namespace
