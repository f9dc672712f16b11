// The Wishart deviate: the draws it consumes and the draw itself, checked by
// replaying the generator through Bartlett's construction, and its failures.
// (Its mean and degrees of freedom are checked over many draws by the
// covariance update's test; the rounding of each entry is pinned by the
// recorded runs.) The matrices stay to the end of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "mat_util.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "numerics/wishart.h"
#include "random/randlib.h"

using numtest::make_mat;

// A 4 x 4 scale at several degrees of freedom, and p = 1 (whose one normal
// is drawn and never used).
TEST(Wish, ConsumesExactlyTheBartlettDrawsInOrder) {
  double **scale4 = make_mat({{2.0, 0.3, -0.4, 0.1},
                              {0.3, 1.5, 0.2, 0.0},
                              {-0.4, 0.2, 1.0, 0.25},
                              {0.1, 0.0, 0.25, 0.8}});
  const struct {
    int p, n;
    double **scale;
  } cases[] = {{4, 5, scale4}, {4, 6, scale4}, {4, 12, scale4}, {1, 7, make_mat({{2.5}})}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.n);
    const int p = c.p;
    double **L = dmatrix(1, p, 1, p);
    std::copy(&c.scale[1][1], &c.scale[1][1] + p * p, &L[1][1]);  // a matrix is one block
    double **s = dmatrix(1, p, 1, p);
    long idum = -99;
    setall(1234567, 7654321);
    wish(p, c.n, L, s, &idum);
    const float next = gennor(0.0f, 1.0f);
    EXPECT_EQ(idum, -99);

    // The replay: T upper triangular, the normals column by column over the
    // upper triangle (the diagonal ones unused), then the chi-square roots
    // with n - i degrees of freedom on the diagonal.
    setall(1234567, 7654321);
    std::vector<std::vector<double>> T(p + 1, std::vector<double>(p + 1, 0.0));
    for (int j = 1; j <= p; j++)
      for (int i = 1; i <= j; i++) T[i][j] = gennor(0.0f, 1.0f);
    for (int i = 1; i <= p; i++) T[i][i] = sqrt(gengam(0.5f, (float)((c.n - i) * 0.5)));
    // The call drew p(p+1)/2 normals and p gammas, no more and no fewer.
    EXPECT_EQ(next, gennor(0.0f, 1.0f));

    // L is left as the lower factor of the scale; the draw is (T L^T)^T
    // (T L^T), exactly symmetric.
    for (int i = 1; i <= p; i++)
      for (int j = 1; j <= p; j++) {
        double ll = 0, want = 0;
        for (int k = 1; k <= p; k++) {
          ll += L[i][k] * L[j][k];
          double mi = 0, mj = 0;
          for (int l = k; l <= p; l++) mi += T[k][l] * L[i][l], mj += T[k][l] * L[j][l];
          want += mi * mj;
        }
        EXPECT_TRUE(j <= i || L[i][j] == 0.0);
        EXPECT_NEAR(ll, c.scale[i][j], 1e-14);
        EXPECT_NEAR(s[i][j], want, 1e-13 * (fabs(want) + 1)) << i << "," << j;
        EXPECT_EQ(s[i][j], s[j][i]);
      }
  }
}

TEST(WishDeathTest, Failures) {
  double **s = dmatrix(1, 2, 1, 2);
  EXPECT_EXIT(wish(2, 5, make_mat({{1, 2}, {2, 1}}), s, nullptr), ::testing::ExitedWithCode(1),
              numtest::nrerror_regex("choldc failed"));
  // n = p: the shape of the last chi-square is 0.
  EXPECT_EXIT(wish(2, 2, make_mat({{1, 0}, {0, 1}}), s, nullptr), ::testing::ExitedWithCode(1),
              "^ A or R nonpositive in GENGAM - abort!\n");
}
