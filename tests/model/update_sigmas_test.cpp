// The covariance update: the sufficient statistic over two shares, the
// Wishart draw with NU degrees of freedom, and the derived factors.
#include <cmath>

#include "model_fixture.h"
#include "numerics/matrix.h"

using namespace modeltest;

namespace {

// L loci of K populations with the given offsets and ancestral frequencies;
// the worker descriptions split them as start-up does, and NU = K + 2L.
ALLELE **make_loci(int K, const std::vector<std::vector<double>> &theta, const std::vector<double> &eps) {
  int L = (int)eps.size();
  ALLELE **loc = new ALLELE *[L];
  for (int l = 0; l < L; l++) {
    loc[l] = make_locus(std::vector<int>(K, 1), std::vector<int>(K, 2), eps[l]);
    for (int k = 1; k <= K; k++) loc[l]->theta_offset[k] = theta[l][k - 1];
  }
  setup_workers(loc, L);
  NU = K + 2.0 * L;
  return loc;
}

double scaled_sum(ALLELE **loc, int L, int j, int k) {
  double s = 0;
  for (int l = 0; l < L; l++)
    s += loc[l]->theta_offset[j] * loc[l]->theta_offset[k] / (loc[l]->epsilon * (1 - loc[l]->epsilon));
  return s;
}

}  // namespace

TEST(UpdateSigmas, OnePopulationFacts) {
  setup_model(1);
  ALLELE **loc = make_loci(1, {{0.1}, {-0.3}, {0.05}}, {0.5, 0.2, 0.9});
  double S = scaled_sum(loc, 3, 1, 1);
  // The draw: one normal (unused for K = 1), then a chi-square with NU = 7
  // degrees of freedom as gengam(0.5, 3.5).
  setall(404, 505);
  gennor(0, 1);
  double y = gengam(0.5f, (float)((8 - 1) * 0.5));
  setall(404, 505);
  update_sigmas(loc);
  EXPECT_NEAR(sigmas[1][1], S + 2, 1e-14 * (S + 2));
  double W = sigmas_inverse[1][1];
  EXPECT_NEAR(W, y / (S + 2), 1e-13 * W);
  EXPECT_NEAR(chol_dec_sigmas[1][1], sqrt(1 / W), 1e-13 * sqrt(1 / W));
  EXPECT_NEAR(chol_dec_sigmas_inverse[1][1] * chol_dec_sigmas[1][1], 1.0, 1e-14);
}

TEST(UpdateSigmas, ZeroOffsetsGivePriorScaleAndConsistentFactors) {
  const int K = 3;
  setup_model(K);
  ALLELE **loc = make_loci(K, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0.3, 0.5, 0.6, 0.1});
  setall(1, 2);
  update_sigmas(loc);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) EXPECT_EQ(sigmas[i][j], i == j ? 4.0 : 0.0);
  // F is lower triangular, F F^T = W^-1 and F^-1 F = I.
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) {
      if (j > i) {
        EXPECT_EQ(chol_dec_sigmas[i][j], 0.0);
      }
      double wff = 0, finv_f = 0;
      for (int k = 1; k <= K; k++) {
        double ff = 0;
        for (int m = 1; m <= K; m++) ff += chol_dec_sigmas[k][m] * chol_dec_sigmas[j][m];
        wff += sigmas_inverse[i][k] * ff;
        finv_f += chol_dec_sigmas_inverse[i][k] * chol_dec_sigmas[k][j];
      }
      EXPECT_NEAR(wff, i == j ? 1.0 : 0.0, 1e-12);
      EXPECT_NEAR(finv_f, i == j ? 1.0 : 0.0, 1e-12);
      EXPECT_EQ(sigmas_inverse[i][j], sigmas_inverse[j][i]);
    }
}

TEST(UpdateSigmas, EmptyShareAddsNothing) {
  const int K = 2;
  setup_model(K);
  ALLELE **loc = make_loci(K, {{0.2, -0.1}}, {0.4});
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) thread_data1->sum[i][j] = 99;
  setall(3, 4);
  update_sigmas(loc);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) EXPECT_EQ(thread_data1->sum[i][j], 0.0);
  EXPECT_DOUBLE_EQ(thread_data2->sum[1][1], 0.04 / 0.24);
  EXPECT_DOUBLE_EQ(thread_data2->sum[2][1], -0.02 / 0.24);
  EXPECT_DOUBLE_EQ(thread_data2->sum[2][2], 0.01 / 0.24);
  EXPECT_EQ(thread_data2->sum[1][2], 0.0);
  EXPECT_DOUBLE_EQ(sigmas[1][1], 0.04 / 0.24 + 3);
  EXPECT_DOUBLE_EQ(sigmas[1][2], -0.02 / 0.24);
  EXPECT_DOUBLE_EQ(sigmas[2][1], -0.02 / 0.24);
  EXPECT_DOUBLE_EQ(sigmas[2][2], 0.01 / 0.24 + 3);
}

TEST(UpdateSigmas, TwoSharesSumEveryLocus) {
  const int K = 3;
  setup_model(K);
  std::vector<std::vector<double>> th;
  std::vector<double> eps;
  for (int l = 0; l < 9; l++) {
    th.push_back({0.01 * l, -0.02 * (l % 3), 0.03 - 0.005 * l});
    eps.push_back(0.1 + 0.09 * l);
  }
  ALLELE **loc = make_loci(K, th, eps);
  setall(5, 6);
  update_sigmas(loc);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= i; j++) {
      double want = scaled_sum(loc, 9, i, j) + (i == j ? K + 1 : 0);
      EXPECT_NEAR(sigmas[i][j], want, 1e-14 * fabs(want));
      EXPECT_EQ(sigmas[j][i], sigmas[i][j]);
    }
}

// The draw's mean is NU V with V = (S + (K+1) I)^-1; a draw with one degree
// of freedom more or less would be 10% off here (NU = 10).
TEST(UpdateSigmas, DrawHasMeanNuTimesScale) {
  const int K = 2;
  setup_model(K);
  ALLELE **loc = make_loci(K, {{0.3, 0.2}, {-0.1, 0.05}, {0.2, 0.25}, {0.0, -0.1}}, {0.5, 0.3, 0.6, 0.2});
  double s11 = scaled_sum(loc, 4, 1, 1) + 3, s21 = scaled_sum(loc, 4, 2, 1), s22 = scaled_sum(loc, 4, 2, 2) + 3;
  double det = s11 * s22 - s21 * s21;
  double V[3][3] = {{0}, {0, s22 / det, -s21 / det}, {0, -s21 / det, s11 / det}};
  setall(8, 9);
  const int N = 4000;
  double mean[3][3] = {{0}};
  for (int it = 0; it < N; it++) {
    update_sigmas(loc);
    for (int i = 1; i <= K; i++)
      for (int j = 1; j <= K; j++) mean[i][j] += sigmas_inverse[i][j] / N;
  }
  // Each entry of a draw has sd at most sqrt(2 NU V_ii V_jj), so the mean of
  // 4000 draws has a standard error of 0.007 NU sqrt(V_ii V_jj); the
  // tolerance is five of those.
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++)
      EXPECT_NEAR(mean[i][j], NU * V[i][j], 0.035 * NU * sqrt(V[i][i] * V[j][j])) << i << j;
}

TEST(UpdateSigmasDeath, EpsilonOutsideTheIntervalStopsTheUpdate) {
  setup_model(2);
  ALLELE **loc = make_loci(2, {{0.1, 0.1}}, {0.0});
  EXPECT_STDOUT_DEATH(update_sigmas(loc), "^epsilon zero or 1 locus 0 \\(epsilon = 0\\.0000e\\+00\\)");
}
