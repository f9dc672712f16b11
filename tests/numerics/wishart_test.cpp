// The Wishart deviate: the draws it consumes and the exact draw (checked by
// replaying the generator), the p = 1 case, failures, and the first two
// moments over many draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "numerics/wishart.h"
#include "random/randlib.h"

using numtest::copy_mat;
using numtest::make_mat;

namespace {

const long SEED1 = 1234567, SEED2 = 7654321;

// Replays the deviates of one call from the current generator state: the
// normals column by column over the upper triangle, then the chi-squares.
// Returns b = T^T T built with the same in-place sums.
double **replay_bartlett(int p, int n) {
  double **z = dmatrix(1, p, 1, p);
  for (int j = 1; j <= p; j++)
    for (int i = 1; i <= j; i++) z[i][j] = gennor(0.0f, 1.0f);
  std::vector<double> y(p + 1);
  for (int i = 1; i <= p; i++) y[i] = gengam(0.5f, (float)((n - i) * 0.5));
  double **b = dmatrix(1, p, 1, p);
  for (int j = 1; j <= p; j++) {
    double diag = y[j];
    for (int i = 1; i < j; i++) diag += z[i][j] * z[i][j];
    b[j][j] = diag;
    for (int i = 1; i < j; i++) {
      double off = sqrt(y[i]) * z[i][j];
      for (int k = 1; k < i; k++) off += z[k][i] * z[k][j];
      b[i][j] = b[j][i] = off;
    }
  }
  free_dmatrix(z, 1, p, 1, p);
  return b;
}

// L b L^T with every entry summed from 0 in order of the inner index, then
// symmetrised from the two mirrored entries.
double **expected_draw(double **L, double **b, int p) {
  double **bl = dmatrix(1, p, 1, p), **prod = dmatrix(1, p, 1, p), **s = dmatrix(1, p, 1, p);
  for (int i = 1; i <= p; i++)
    for (int j = 1; j <= p; j++) {
      double acc = 0.0;
      for (int k = 1; k <= p; k++) acc += b[i][k] * L[j][k];
      bl[i][j] = acc;
    }
  for (int i = 1; i <= p; i++)
    for (int j = 1; j <= p; j++) {
      double acc = 0.0;
      for (int k = 1; k <= p; k++) acc += L[i][k] * bl[k][j];
      prod[i][j] = acc;
    }
  for (int i = 1; i <= p; i++)
    for (int j = 1; j <= p; j++) s[i][j] = (i == j) ? prod[i][i] : (prod[i][j] + prod[j][i]) * 0.5;
  free_dmatrix(bl, 1, p, 1, p);
  free_dmatrix(prod, 1, p, 1, p);
  return s;
}

// The lower Cholesky factor as a plain matrix, zeros above the diagonal.
double **lower_factor(double **scale, int p) {
  double **L = copy_mat(scale, p, p);
  double *d = dvector(1, p);
  choldc(L, p, d);
  for (int i = 1; i <= p; i++) {
    L[i][i] = d[i];
    for (int j = i + 1; j <= p; j++) L[i][j] = 0.0;
  }
  free_dvector(d, 1, p);
  return L;
}

double **filled(int p, double x) {
  double **m = dmatrix(1, p, 1, p);
  for (int i = 1; i <= p; i++)
    for (int j = 1; j <= p; j++) m[i][j] = x;
  return m;
}

}  // namespace

TEST(Wish, ConsumesExactlyTheBartlettDrawsInOrder) {
  double **scale = make_mat({{2.0, 0.3, -0.4, 0.1},
                             {0.3, 1.5, 0.2, 0.0},
                             {-0.4, 0.2, 1.0, 0.25},
                             {0.1, 0.0, 0.25, 0.8}});
  for (int n : {5, 6, 12}) {
    SCOPED_TRACE(n);
    const int p = 4;
    double **a = copy_mat(scale, p, p);
    double **s = filled(p, std::numeric_limits<double>::quiet_NaN());
    long idum = -99;
    setall(SEED1, SEED2);
    wish(p, n, a, s, &idum);
    const float next = gennor(0.0f, 1.0f);
    EXPECT_EQ(idum, -99);

    setall(SEED1, SEED2);
    double **b = replay_bartlett(p, n);
    // The next deviate after the call is the next one after the replay: the
    // call drew p(p+1)/2 normals and p gammas, no more and no fewer.
    EXPECT_EQ(next, gennor(0.0f, 1.0f));

    double **L = lower_factor(scale, p);
    double **want = expected_draw(L, b, p);
    for (int i = 1; i <= p; i++)
      for (int j = 1; j <= p; j++) {
        EXPECT_EQ(a[i][j], L[i][j]) << i << "," << j;
        EXPECT_EQ(s[i][j], want[i][j]) << i << "," << j;
      }
    free_dmatrix(want, 1, p, 1, p);
    free_dmatrix(L, 1, p, 1, p);
    free_dmatrix(b, 1, p, 1, p);
    free_dmatrix(s, 1, p, 1, p);
    free_dmatrix(a, 1, p, 1, p);
  }
  free_dmatrix(scale, 1, 4, 1, 4);
}

TEST(Wish, OneDimension) {
  double **a = make_mat({{2.5}});
  double **s = dmatrix(1, 1, 1, 1);
  setall(SEED1, SEED2);
  wish(1, 7, a, s, nullptr);
  const float next = gennor(0.0f, 1.0f);
  EXPECT_EQ(a[1][1], sqrt(2.5));

  setall(SEED1, SEED2);
  gennor(0.0f, 1.0f);  // drawn, never used
  const double y = gengam(0.5f, 3.0f);
  EXPECT_EQ(next, gennor(0.0f, 1.0f));
  EXPECT_EQ(s[1][1], sqrt(2.5) * (y * sqrt(2.5)));
  EXPECT_NEAR(s[1][1], 2.5 * y, 1e-14 * s[1][1]);
  free_dmatrix(s, 1, 1, 1, 1);
  free_dmatrix(a, 1, 1, 1, 1);
}

TEST(WishDeathTest, Failures) {
  double **s = dmatrix(1, 2, 1, 2);
  EXPECT_EXIT(wish(2, 5, make_mat({{1, 2}, {2, 1}}), s, nullptr), ::testing::ExitedWithCode(1),
              numtest::nrerror_regex("choldc failed"));
  // n = p: the shape of the last chi-square is 0.
  EXPECT_EXIT(wish(2, 2, make_mat({{1, 0}, {0, 1}}), s, nullptr), ::testing::ExitedWithCode(1),
              "^ A or R nonpositive in GENGAM - abort!\n");
  free_dmatrix(s, 1, 2, 1, 2);
}

// Over N draws with scale V and n - 1 degrees of freedom, each entry's mean
// is (n - 1) V_ij with variance (n - 1)(V_ij^2 + V_ii V_jj), and each
// diagonal entry is V_ii times a chi-square with n - 1 degrees of freedom,
// whose sample variance has standard error sqrt((8k^2 + 48k) / N) V_ii^2 for
// k = n - 1. Every check allows 4 standard errors: with the fixed seed the
// outcome is deterministic, and a correct deviate would fail one of these
// checks for fewer than 1 in 1000 seeds, while an off-by-one in the degrees of
// freedom moves the diagonal means by dozens of standard errors.
static void check_moments(double **V, int p, int n, int N) {
  const double k = n - 1;
  std::vector<double> sum(p * p + 1, 0.0), sumsq(p * p + 1, 0.0);
  setall(SEED1, SEED2);
  double **s = dmatrix(1, p, 1, p);
  for (int r = 0; r < N; r++) {
    double **a = copy_mat(V, p, p);
    wish(p, n, a, s, nullptr);
    free_dmatrix(a, 1, p, 1, p);
    for (int i = 1; i <= p; i++)
      for (int j = 1; j <= p; j++) {
        sum[(i - 1) * p + j] += s[i][j];
        sumsq[(i - 1) * p + j] += s[i][j] * s[i][j];
      }
  }
  free_dmatrix(s, 1, p, 1, p);
  for (int i = 1; i <= p; i++)
    for (int j = 1; j <= i; j++) {
      const double mean = sum[(i - 1) * p + j] / N;
      const double se = sqrt(k * (V[i][j] * V[i][j] + V[i][i] * V[j][j]) / N);
      EXPECT_NEAR(mean, k * V[i][j], 4 * se) << "mean of entry " << i << "," << j;
      if (i == j) {
        const double var = sumsq[(i - 1) * p + j] / N - mean * mean;
        const double se_var = sqrt((8 * k * k + 48 * k) / N) * V[i][i] * V[i][i];
        EXPECT_NEAR(var, 2 * k * V[i][i] * V[i][i], 4 * se_var) << "variance of entry " << i;
      }
    }
}

TEST(WishDistribution, MeanAndDiagonalVariance) {
  double **V = make_mat({{1.0, 0.4, -0.3}, {0.4, 2.0, 0.5}, {-0.3, 0.5, 0.7}});
  check_moments(V, 3, 9, 20000);
  free_dmatrix(V, 1, 3, 1, 3);
  // n = p + 1: the second chi-square has 1 degree of freedom (shape 0.5).
  double **W = make_mat({{0.5, -0.2}, {-0.2, 1.0}});
  check_moments(W, 2, 3, 20000);
  free_dmatrix(W, 1, 2, 1, 2);
}
