// Known answers of the offset-indexed arrays and the dense linear algebra:
// layouts, the Cholesky factor and inverse, the LU pivoting rules, products,
// triangle conventions and the fatal messages. (The LU inverse of the
// covariance update is pinned by the recorded runs.)
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"

using namespace numtest;
using ::testing::ExitedWithCode;

// These tests leave their small matrices to the end of the process.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

TEST(Nrutil, LayoutsAndFailures) {
  // A lower bound other than 1 shifts the handle, not the block; a matrix is
  // one row-by-row block.
  int *iv = ivector(-3, 2);
  iv[-3] = -30, iv[2] = 20;
  EXPECT_EQ(iv[-3] + iv[2], -10);
  double **m = dmatrix(0, 3, -1, 1);
  for (int i = 0; i <= 3; i++)
    for (int j = -1; j <= 1; j++) EXPECT_EQ(&m[i][j], &m[0][-1] + i * 3 + (j + 1));
  const long huge = LONG_MAX / 4;
  EXPECT_EXIT(nrerror("some text"), ExitedWithCode(1), nrerror_regex("some text"));
  EXPECT_EXIT(dvector(1, huge), ExitedWithCode(1), nrerror_regex("allocation failure in dvector()"));
  EXPECT_EXIT(ivector(1, huge), ExitedWithCode(1), nrerror_regex("allocation failure in ivector()"));
  EXPECT_EXIT(dmatrix(1, huge, 1, 2), ExitedWithCode(1), nrerror_regex("allocation failure 1 in dmatrix()"));
  // Rows times columns past any address space must not wrap around.
  EXPECT_EXIT(dmatrix(1, 1L << 20, 1, 1L << 42), ExitedWithCode(1), nrerror_regex("allocation failure 2 in dmatrix()"));
}

TEST(Choldc, FactorInverseAndDeterminant) {
  double **a = make_mat({{4, 2}, {-77, 3}});  // a[2][1] is never read
  double *p = dvector(1, 3);
  choldc(a, 2, p);
  EXPECT_EQ(p[1] * 10 + p[2] * p[2], 22.0);
  EXPECT_EQ(a[2][1] * 10 + a[1][2], 12.0);
  // The terms are subtracted from the last down: L31 = 1e8, L32 = 1, and the
  // last diagonal sum (1e16 + 4) - 1 - 1e16 is 4 in this order (1e16 + 3
  // rounds to 1e16 + 4), 3 in the other.
  choldc(make_mat({{1, 0, 1e8}, {0, 1, 1}, {0, 0, 1e16 + 4}}), 3, p);
  EXPECT_EQ(p[3], 2.0);
  double **mat = make_mat({{4, 2}, {2, 3}});
  double det = 0;
  double **inv = choldc_inverse_det(mat, 2, &det);
  const double want[2][2] = {{0.375, -0.25}, {-0.25, 0.5}};
  for (int i = 1; i <= 2; i++)
    for (int j = 1; j <= 2; j++) EXPECT_NEAR(inv[i][j], want[i - 1][j - 1], 1e-15) << i << j;
  EXPECT_NEAR(det, 8.0, 1e-14);
  // mat is left holding L^-1, with zeros above the diagonal.
  EXPECT_EQ(mat[1][1], 0.5);
  EXPECT_EQ(mat[1][2], 0.0);
  EXPECT_NEAR(mat[2][1], -0.3535534, 1e-7);
  EXPECT_EQ(mat[2][2], 1.0 / sqrt(2.0));
  for (auto rows : {make_mat({{0, 0}, {0, 1}}), make_mat({{-1, 0}, {0, 1}}), make_mat({{1, 2}, {2, 1}})})
    EXPECT_EXIT(choldc(rows, 2, p), ExitedWithCode(1), nrerror_regex("choldc failed"));
  EXPECT_EXIT(choldc_inverse_det(make_mat({{1, 2}, {2, 1}}), 2, &det), ExitedWithCode(1), nrerror_regex("choldc failed"));
}

TEST(Ludcmp, PivotingRulesSolveAndInverse) {
  // Both rows scale to 1 in column 1: the later row wins the tie.
  double **a = make_mat({{1, 0}, {1, 1}});
  int *indx = ivector(1, 3);
  double d = 0;
  dludcmp(a, 2, indx, &d);
  EXPECT_EQ(indx[1] * 10 + indx[2], 22);
  EXPECT_EQ(d, -1.0);
  EXPECT_EQ(a[2][2], -1.0);
  double b[] = {0, 1, 3};  // A x = (1, 3): x = (1, 2)
  dlubksb(a, 2, indx, b);
  EXPECT_EQ(b[1] * 10 + b[2], 12.0);
  // Column 1: rows 1 and 3 tie and row 3 wins. Column 2 then compares row 2
  // (scale 1/1.25, size 1: 0.8) with the old row 1 now in place 3 (scale 1):
  // its scale must have moved with it, or it would count only 0.5 and lose.
  double **c = make_mat({{1, 1, 0}, {0, 1, 1.25}, {2, 0, 1}});
  dludcmp(c, 3, indx, &d);
  EXPECT_EQ(indx[1] * 100 + indx[2] * 10 + indx[3], 333);
  EXPECT_EQ(d, 1.0);
  double **inv = dmat_inverse(make_mat({{2, 1}, {1, 1}}), 2);  // columns solved in turn
  EXPECT_EQ(inv[1][1] * 1000 + inv[1][2] * 100 + inv[2][1] * 10 + inv[2][2], 1000 - 100 - 10 + 2);
}

// Products: the shapes they refuse, and the lower-triangle routines, which
// never read above the diagonal. (Their summation orders and the printed
// matrix are pinned by the recorded runs.)
TEST(Products, ShapesAndTriangles) {
  double **y = dmat_mult(make_mat({{1, 2, 3}, {4, 5, 6}}), 2, 3, make_mat({{1, 0}, {0, 1}, {1, 1}}), 3, 2);
  EXPECT_EQ(y[1][1] * 1000 + y[1][2] * 100 + y[2][1] * 10 + y[2][2], 4000 + 500 + 100 + 11);
  EXPECT_EQ(dmat_transpose(y, 2, 2)[1][2], 10.0);
  EXPECT_EXIT(dmat_mult(y, 2, 2, y, 3, 2), ExitedWithCode(1), nrerror_regex("invalid matrix multiplication"));
  double **m = make_mat({{2, 1000}, {1, 3}});
  double v[] = {0, 1, 2}, out[3];
  EXPECT_EQ(dvect_symmat_mult(v, m, 2), 18.0);
  dmat_vect_mult_tri(m, v, out, 2);
  EXPECT_EQ(out[1] * 10 + out[2], 27.0);
}
