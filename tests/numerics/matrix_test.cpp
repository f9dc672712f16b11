// Known answers of the dense linear algebra: the Cholesky factor and inverse,
// the LU inverse with its pivoting rules, products, triangle conventions,
// summation orders, printing and the fatal conditions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"

using numtest::make_mat;
using numtest::make_vec;
using numtest::nrerror_regex;

TEST(Choldc, FactorGoesBelowTheDiagonalAndIntoP) {
  double **a = make_mat({{4, 2}, {-77, 3}});  // a[2][1] is never read
  double *p = dvector(1, 2);
  choldc(a, 2, p);
  EXPECT_EQ(p[1], 2.0);
  EXPECT_EQ(p[2], sqrt(2.0));
  EXPECT_EQ(a[2][1], 1.0);
  EXPECT_EQ(a[1][1], 4.0);
  EXPECT_EQ(a[1][2], 2.0);
  EXPECT_EQ(a[2][2], 3.0);
  free_dvector(p, 1, 2);
  free_dmatrix(a, 1, 2, 1, 2);
}

TEST(Choldc, SubtractsTheTermsFromTheLastDown) {
  // L31 = 1e8, L32 = 1: the last diagonal sum is (1e16 + 4) - 1 - 1e16.
  // Subtracting L32^2 first rounds 1e16 + 3 up to 1e16 + 4 (ties to even)
  // and leaves 4; the other order would leave 3.
  double **a = make_mat({{1, 0, 1e8}, {0, 1, 1}, {0, 0, 1e16 + 4}});
  double *p = dvector(1, 3);
  choldc(a, 3, p);
  EXPECT_EQ(a[3][1], 1e8);
  EXPECT_EQ(a[3][2], 1.0);
  EXPECT_EQ(p[3], 2.0);
  free_dvector(p, 1, 3);
  free_dmatrix(a, 1, 3, 1, 3);
}

TEST(CholdcDeathTest, NotPositiveDefinite) {
  const std::string msg = nrerror_regex("choldc failed");
  double *p = dvector(1, 2);
  EXPECT_EXIT(choldc(make_mat({{0, 0}, {0, 1}}), 2, p), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(choldc(make_mat({{-1, 0}, {0, 1}}), 2, p), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(choldc(make_mat({{1, 2}, {2, 1}}), 2, p), ::testing::ExitedWithCode(1), msg);
  double det;
  EXPECT_EXIT(choldc_inverse_det(make_mat({{1, 2}, {2, 1}}), 2, &det), ::testing::ExitedWithCode(1), msg);
  free_dvector(p, 1, 2);
}

TEST(CholdcInverseDet, KnownTwoByTwo) {
  double **mat = make_mat({{4, 2}, {2, 3}});
  double det = 0;
  double **inv = choldc_inverse_det(mat, 2, &det);
  EXPECT_NEAR(inv[1][1], 0.375, 1e-15);
  EXPECT_NEAR(inv[1][2], -0.25, 1e-15);
  EXPECT_NEAR(inv[2][1], -0.25, 1e-15);
  EXPECT_NEAR(inv[2][2], 0.5, 1e-15);
  EXPECT_NEAR(det, 8.0, 1e-14);
  // mat is left holding L^-1 exactly, with zeros above the diagonal.
  EXPECT_EQ(mat[1][1], 0.5);
  EXPECT_EQ(mat[1][2], 0.0);
  EXPECT_NEAR(mat[2][1], -0.3535534, 1e-7);
  EXPECT_NEAR(mat[2][2], 0.7071068, 1e-7);
  EXPECT_EQ(mat[2][2], 1.0 / sqrt(2.0));
  free_dmatrix(inv, 1, 2, 1, 2);
  free_dmatrix(mat, 1, 2, 1, 2);
}

TEST(Ludcmp, LaterRowWinsATie) {
  // Both rows scale to 1 in column 1: row 2 becomes the pivot.
  double **a = make_mat({{1, 0}, {1, 1}});
  int *indx = ivector(1, 2);
  double d = 0;
  dludcmp(a, 2, indx, &d);
  EXPECT_EQ(indx[1], 2);
  EXPECT_EQ(indx[2], 2);
  EXPECT_EQ(d, -1.0);
  EXPECT_EQ(a[1][1], 1.0);
  EXPECT_EQ(a[1][2], 1.0);
  EXPECT_EQ(a[2][1], 1.0);
  EXPECT_EQ(a[2][2], -1.0);
  // Solve A x = (1, 3): x = (1, 2).
  double *b = make_vec({1, 3});
  dlubksb(a, 2, indx, b);
  EXPECT_EQ(b[1], 1.0);
  EXPECT_EQ(b[2], 2.0);
  free_dvector(b, 1, 2);
  free_ivector(indx, 1, 2);
  free_dmatrix(a, 1, 2, 1, 2);
}

TEST(Ludcmp, ScaleFactorFollowsTheExchangedRow) {
  // Column 1: rows 1 and 3 tie at scaled size 1 and row 3 wins. Column 2 then
  // compares row 2 (scale 1/1.25, size 1: 0.8) with the old row 1 now in
  // place 3 (scale 1, size 1): the old row 1's scale must have moved with it,
  // or row 3 would count only 0.5 and lose.
  double **a = make_mat({{1, 1, 0}, {0, 1, 1.25}, {2, 0, 1}});
  int *indx = ivector(1, 3);
  double d = 0;
  dludcmp(a, 3, indx, &d);
  EXPECT_EQ(indx[1], 3);
  EXPECT_EQ(indx[2], 3);
  EXPECT_EQ(indx[3], 3);
  EXPECT_EQ(d, 1.0);
  free_ivector(indx, 1, 3);
  free_dmatrix(a, 1, 3, 1, 3);
}

TEST(DmatInverse, PermutationIsItsOwnInverse) {
  double **mat = make_mat({{0, 1}, {1, 0}});
  double **inv = dmat_inverse(mat, 2);
  EXPECT_EQ(inv[1][1], 0.0);
  EXPECT_EQ(inv[1][2], 1.0);
  EXPECT_EQ(inv[2][1], 1.0);
  EXPECT_EQ(inv[2][2], 0.0);
  free_dmatrix(inv, 1, 2, 1, 2);
  free_dmatrix(mat, 1, 2, 1, 2);
}

TEST(DmatInverse, ZeroPivotBecomesTiny) {
  // 1,1/1,1 is singular with nonzero rows: the zero pivot is replaced by
  // 1e-20 and the inverse has entries of order 1e20.
  double **mat = make_mat({{1, 1}, {1, 1}});
  double **inv = dmat_inverse(mat, 2);
  const double big = 1.0 / 1.0e-20;
  EXPECT_EQ(mat[2][2], 1.0e-20);
  EXPECT_EQ(inv[1][1], -big);
  EXPECT_EQ(inv[1][2], big);
  EXPECT_EQ(inv[2][1], big);
  EXPECT_EQ(inv[2][2], -big);
  free_dmatrix(inv, 1, 2, 1, 2);
  free_dmatrix(mat, 1, 2, 1, 2);
}

TEST(DmatInverseDeathTest, ZeroRow) {
  EXPECT_EXIT(dmat_inverse(make_mat({{1, 2}, {0, 0}}), 2), ::testing::ExitedWithCode(1),
              nrerror_regex("Singular matrix in routine ludcmp"));
}

TEST(DmatMult, RectangularProductAndTranspose) {
  double **m1 = make_mat({{1, 2, 3}, {4, 5, 6}});  // 2 x 3
  double **m2 = make_mat({{1, 0}, {0, 1}, {1, 1}});  // 3 x 2
  double **y = dmat_mult(m1, 2, 3, m2, 3, 2);
  EXPECT_EQ(y[1][1], 4.0);
  EXPECT_EQ(y[1][2], 5.0);
  EXPECT_EQ(y[2][1], 10.0);
  EXPECT_EQ(y[2][2], 11.0);
  double **t = dmat_transpose(m1, 2, 3);  // 3 x 2
  for (int i = 1; i <= 2; i++)
    for (int j = 1; j <= 3; j++) EXPECT_EQ(t[j][i], m1[i][j]);
  EXPECT_EQ(&t[3][2] - &t[1][1], 5);
  free_dmatrix(t, 1, 3, 1, 2);
  free_dmatrix(y, 1, 2, 1, 2);
  free_dmatrix(m2, 1, 3, 1, 2);
  free_dmatrix(m1, 1, 2, 1, 3);
}

TEST(DmatMult, SumsInOrderOfK) {
  // 1e16 - 1e16 + 1 is 1 in this order; from the other end 1 is lost.
  double **m1 = make_mat({{1e16, -1e16, 1}});
  double **m2 = make_mat({{1}, {1}, {1}});
  double **y = dmat_mult(m1, 1, 3, m2, 3, 1);
  EXPECT_EQ(y[1][1], 1.0);
  free_dmatrix(y, 1, 1, 1, 1);

  double **sq = make_mat({{1e16, -1e16, 1}, {0, 0, 0}, {0, 0, 0}});
  double *v = make_vec({1, 1, 1});
  double *out = dvector(1, 3);
  dmat_vect_mult(sq, v, out, 3);
  EXPECT_EQ(out[1], 1.0);
  EXPECT_EQ(out[2], 0.0);
  free_dvector(out, 1, 3);
  free_dvector(v, 1, 3);
  free_dmatrix(sq, 1, 3, 1, 3);
  free_dmatrix(m2, 1, 3, 1, 1);
  free_dmatrix(m1, 1, 1, 1, 3);
}

TEST(DmatMultDeathTest, MismatchedInnerDimension) {
  double **m = make_mat({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EXIT(dmat_mult(m, 2, 3, m, 2, 3), ::testing::ExitedWithCode(1),
              nrerror_regex("invalid matrix multiplication"));
  free_dmatrix(m, 1, 2, 1, 3);
}

TEST(Triangles, LowerTriangleConventions) {
  // The entries above the diagonal hold junk that must not be read.
  double **m = make_mat({{2, 1000}, {1, 3}});
  double *v = make_vec({1, 2});
  EXPECT_EQ(dvect_symmat_mult(v, m, 2), 18.0);
  EXPECT_EQ(dvect_symmat_mult(v, m, 0), 0.0);

  double *out = dvector(1, 2);
  dmat_vect_mult_tri(m, v, out, 2);
  EXPECT_EQ(out[1], 2.0);
  EXPECT_EQ(out[2], 7.0);
  dmat_vect_mult(m, v, out, 2);
  EXPECT_EQ(out[1], 2002.0);
  EXPECT_EQ(out[2], 7.0);

  double **src = make_mat({{1, 9}, {2, 3}});
  double **dst = dmatrix(1, 2, 1, 2);
  dsymmat_cpy2(src, dst, 2);
  EXPECT_EQ(dst[1][1], 1.0);
  EXPECT_EQ(dst[1][2], 2.0);
  EXPECT_EQ(dst[2][1], 2.0);
  EXPECT_EQ(dst[2][2], 3.0);
  EXPECT_EQ(src[1][2], 9.0);

  free_dmatrix(dst, 1, 2, 1, 2);
  free_dmatrix(src, 1, 2, 1, 2);
  free_dvector(out, 1, 2);
  free_dvector(v, 1, 2);
  free_dmatrix(m, 1, 2, 1, 2);
}

TEST(DprintMat, ExactLayout) {
  double **m = make_mat({{1, 2}, {3, 4}});
  ::testing::internal::CaptureStdout();
  dprint_mat(m, 2, 2);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\n1.000000e+00\t2.000000e+00\t\n3.000000e+00\t4.000000e+00\t\n\n");
  free_dmatrix(m, 1, 2, 1, 2);
}
