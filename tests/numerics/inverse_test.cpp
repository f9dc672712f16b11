// Inverses of random positive-definite matrices of sizes 1 to 50, by the
// Cholesky route and by LU. The residual A * A^-1 - I is held to c * n * eps
// * cond(A), the usual bound for a backward-stable inversion, with cond(A) =
// |A|_1 |A^-1|_1 taken from the computed inverse. The matrices stay to the
// end of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"

using numtest::copy_mat;

TEST(Inverse, RandomSpdBothRoutes) {
  std::mt19937_64 rng(20240611);
  std::normal_distribution<double> g(0.0, 1.0);
  for (int n = 1; n <= 50; n++) {
    SCOPED_TRACE(n);
    // B B^T + shift I with B standard normal: the shift sets how
    // ill-conditioned the matrix is (down to about 1e-6 relative to the
    // largest eigenvalue). Built exactly symmetric.
    std::vector<double> b(n * n);
    for (double &x : b) x = g(rng);
    double shift = pow(10.0, -(double)(rng() % 7)) * n;
    double **a = dmatrix(1, n, 1, n);
    for (int i = 1; i <= n; i++)
      for (int j = 1; j <= i; j++) {
        double s = (i == j) ? shift : 0.0;
        for (int k = 0; k < n; k++) s += b[(i - 1) * n + k] * b[(j - 1) * n + k];
        a[i][j] = a[j][i] = s;
      }
    double **lu_inv = dmat_inverse(copy_mat(a, n, n), n), det;
    double **ch_inv = choldc_inverse_det(copy_mat(a, n, n), n, &det);
    // |A|_1 |A^-1|_1, and the largest |(A X - I)_ij| of each inverse,
    // accumulated in long double so that the check's own rounding does not
    // count against the routine.
    double norm_a = 0, norm_inv = 0, worst_lu = 0, worst_ch = 0;
    for (int j = 1; j <= n; j++) {
      double col_a = 0, col_inv = 0;
      for (int i = 1; i <= n; i++) {
        col_a += fabs(a[i][j]);
        col_inv += fabs(lu_inv[i][j]);
        long double lu = (i == j) ? -1.0L : 0.0L, ch = lu;
        for (int k = 1; k <= n; k++) {
          lu += (long double)a[i][k] * lu_inv[k][j];
          ch += (long double)a[i][k] * ch_inv[k][j];
        }
        worst_lu = std::max(worst_lu, (double)fabsl(lu));
        worst_ch = std::max(worst_ch, (double)fabsl(ch));
        EXPECT_EQ(ch_inv[i][j], ch_inv[j][i]);
      }
      norm_a = std::max(norm_a, col_a);
      norm_inv = std::max(norm_inv, col_inv);
    }
    const double cond = norm_a * norm_inv, tol = 10.0 * n * DBL_EPSILON * cond;
    EXPECT_LE(worst_lu, tol) << "cond " << cond;
    EXPECT_LE(worst_ch, tol) << "cond " << cond;
    // The determinant against LU's: the sign of the row interchanges times
    // U's diagonal.
    int *indx = ivector(1, n);
    double lu_det;
    dludcmp(a, n, indx, &lu_det);
    for (int i = 1; i <= n; i++) lu_det *= a[i][i];
    EXPECT_GT(det, 0.0);
    EXPECT_NEAR(det / lu_det, 1.0, 10.0 * n * n * DBL_EPSILON * cond);
  }
}
