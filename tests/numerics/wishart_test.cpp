// The Wishart deviate: the draws it consumes and the exact draw, checked by
// replaying the generator through Bartlett's construction, and its failures.
// (Its mean and degrees of freedom are checked over many draws by the
// covariance update's test.) The matrices stay to the end of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
  return L;
}

double **filled(int p, double x) {
  double **m = dmatrix(1, p, 1, p);
  std::fill(&m[1][1], &m[1][1] + p * p, x);
  return m;
}

}  // namespace

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
    double **a = copy_mat(c.scale, p, p);
    double **s = filled(p, std::numeric_limits<double>::quiet_NaN());
    long idum = -99;
    setall(SEED1, SEED2);
    wish(p, c.n, a, s, &idum);
    const float next = gennor(0.0f, 1.0f);
    EXPECT_EQ(idum, -99);

    setall(SEED1, SEED2);
    double **b = replay_bartlett(p, c.n);
    // The next deviate after the call is the next one after the replay: the
    // call drew p(p+1)/2 normals and p gammas, no more and no fewer.
    EXPECT_EQ(next, gennor(0.0f, 1.0f));

    double **L = lower_factor(c.scale, p);
    double **want = expected_draw(L, b, p);
    for (int i = 1; i <= p; i++)
      for (int j = 1; j <= p; j++) {
        EXPECT_EQ(a[i][j], L[i][j]) << i << "," << j;
        EXPECT_EQ(s[i][j], want[i][j]) << i << "," << j;
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
