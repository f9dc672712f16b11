// Inverses of random positive-definite matrices of sizes 1 to 50, by the
// Cholesky route and by LU (the matrices stay to the end of the process). The residual A * A^-1 - I is held to c * n * eps * cond(A), the usual
// bound for a backward-stable inversion, with cond(A) = |A|_1 |A^-1|_1 taken
// from the computed inverse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"

using numtest::copy_mat;

namespace {

double norm1(double **m, int n) {
  double best = 0;
  for (int j = 1; j <= n; j++) {
    double col = 0;
    for (int i = 1; i <= n; i++) col += fabs(m[i][j]);
    best = std::max(best, col);
  }
  return best;
}

// Largest |(A X - I)_ij|, accumulated in long double so that the check's own
// rounding does not count against the routine.
double residual(double **a, double **x, int n) {
  double worst = 0;
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++) {
      long double s = (i == j) ? -1.0L : 0.0L;
      for (int k = 1; k <= n; k++) s += (long double)a[i][k] * x[k][j];
      worst = std::max(worst, (double)fabsl(s));
    }
  return worst;
}

// B B^T + shift I with B standard normal: the shift sets how ill-conditioned
// the matrix is (down to about 1e-6 relative to the largest eigenvalue).
double **random_spd(int n, std::mt19937_64 &rng) {
  std::normal_distribution<double> g(0.0, 1.0);
  double **b = dmatrix(1, n, 1, n);
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++) b[i][j] = g(rng);
  double shift = pow(10.0, -(double)(rng() % 7)) * n;
  double **a = dmatrix(1, n, 1, n);
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++) {
      double s = (i == j) ? shift : 0.0;
      for (int k = 1; k <= n; k++) s += b[i][k] * b[j][k];
      a[i][j] = s;
    }
  for (int i = 1; i <= n; i++)
    for (int j = 1; j < i; j++) a[i][j] = a[j][i];  // exactly symmetric
  return a;
}

}  // namespace

TEST(Inverse, RandomSpdBothRoutes) {
  std::mt19937_64 rng(20240611);
  for (int n = 1; n <= 50; n++) {
    SCOPED_TRACE(n);
    double **a = random_spd(n, rng);

    double **lu_in = copy_mat(a, n, n);
    double **lu_inv = dmat_inverse(lu_in, n);
    const double cond = norm1(a, n) * norm1(lu_inv, n);
    const double tol = 10.0 * n * DBL_EPSILON * cond;
    EXPECT_LE(residual(a, lu_inv, n), tol) << "cond " << cond;
    // The LU determinant: the sign of the row interchanges times U's diagonal.
    double **lu_again = copy_mat(a, n, n);
    int *indx = ivector(1, n);
    double lu_det;
    dludcmp(lu_again, n, indx, &lu_det);
    for (int i = 1; i <= n; i++) lu_det *= lu_again[i][i];

    double **ch_in = copy_mat(a, n, n);
    double det;
    double **ch_inv = choldc_inverse_det(ch_in, n, &det);
    EXPECT_LE(residual(a, ch_inv, n), tol) << "cond " << cond;
    for (int i = 1; i <= n; i++)
      for (int j = 1; j <= n; j++) EXPECT_EQ(ch_inv[i][j], ch_inv[j][i]);
    EXPECT_GT(det, 0.0);
    EXPECT_NEAR(det / lu_det, 1.0, 10.0 * n * n * DBL_EPSILON * cond);
  }
}

