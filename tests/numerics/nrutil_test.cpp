// Layout of the offset-indexed arrays, release with the same lower bounds,
// and the fatal messages of nrerror and the allocations.
#include <gtest/gtest.h>

#include <climits>

#include "mat_util.h"
#include "numerics/nrutil.h"

using numtest::nrerror_regex;

TEST(Nrutil, VectorsIndexTheirOwnRange) {
  double *v = dvector(1, 5);
  for (int i = 1; i <= 5; i++) v[i] = i;
  EXPECT_EQ(&v[5] - &v[1], 4);
  free_dvector(v, 1, 5);

  // A lower bound other than 1 shifts the handle, not the block.
  int *iv = ivector(-3, 2);
  for (int i = -3; i <= 2; i++) iv[i] = i * 10;
  EXPECT_EQ(iv[-3], -30);
  EXPECT_EQ(iv[2], 20);
  free_ivector(iv, -3, 2);
}

TEST(Nrutil, EmptyRangeGivesAReleasableHandle) {
  double *v = dvector(1, 0);
  ASSERT_NE(v, nullptr);
  free_dvector(v, 1, 0);
  int *iv = ivector(1, 0);
  ASSERT_NE(iv, nullptr);
  free_ivector(iv, 1, 0);
  double **m = dmatrix(1, 3, 1, 0);
  ASSERT_NE(m, nullptr);
  free_dmatrix(m, 1, 3, 1, 0);
}

TEST(Nrutil, MatrixIsOneRowByRowBlock) {
  const int r = 4, c = 3;
  double **m = dmatrix(1, r, 1, c);
  double *first = &m[1][1];
  for (int i = 1; i <= r; i++)
    for (int j = 1; j <= c; j++) {
      EXPECT_EQ(&m[i][j], first + (i - 1) * c + (j - 1)) << i << "," << j;
      m[i][j] = 10 * i + j;
    }
  for (int i = 1; i < r; i++) EXPECT_EQ(&m[i + 1][1], &m[i][c] + 1);
  // A row is a vector over the column range.
  double *row = m[3];
  EXPECT_EQ(row[1], 31);
  EXPECT_EQ(row[3], 33);
  free_dmatrix(m, 1, r, 1, c);

  double **col = dmatrix(1, 5, 1, 1);
  for (int i = 1; i <= 5; i++) col[i][1] = i;
  for (int i = 1; i < 5; i++) EXPECT_EQ(&col[i + 1][1], &col[i][1] + 1);
  free_dmatrix(col, 1, 5, 1, 1);

  double **off = dmatrix(0, 2, -1, 1);
  EXPECT_EQ(&off[2][1] - &off[0][-1], 2 * 3 + 2);
  off[0][-1] = 1;
  off[2][1] = 2;
  free_dmatrix(off, 0, 2, -1, 1);
}

TEST(NrutilDeathTest, NrerrorPrintsThreeLinesOnStderr) {
  EXPECT_EXIT(nrerror("some text"), ::testing::ExitedWithCode(1), nrerror_regex("some text"));
}

TEST(NrutilDeathTest, AllocationFailuresNameTheBlock) {
  const long huge = LONG_MAX / 4;
  EXPECT_EXIT(dvector(1, huge), ::testing::ExitedWithCode(1), nrerror_regex("allocation failure in dvector()"));
  EXPECT_EXIT(ivector(1, huge), ::testing::ExitedWithCode(1), nrerror_regex("allocation failure in ivector()"));
  EXPECT_EXIT(dmatrix(1, huge, 1, 2), ::testing::ExitedWithCode(1),
              nrerror_regex("allocation failure 1 in dmatrix()"));
  EXPECT_EXIT(dmatrix(1, 2, 1, huge), ::testing::ExitedWithCode(1),
              nrerror_regex("allocation failure 2 in dmatrix()"));
  // Rows times columns past any address space must not wrap around.
  EXPECT_EXIT(dmatrix(1, 1L << 20, 1, 1L << 42), ::testing::ExitedWithCode(1),
              nrerror_regex("allocation failure 2 in dmatrix()"));
}
