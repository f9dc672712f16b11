// Fractional ranks and Pearson's correlation over the populations.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

namespace {

// Ranks of `values` (NUMPOPS set to their number); checks values stay as they were.
std::vector<double> ranks_of(const std::vector<double> &values) {
  NUMPOPS = (int)values.size();
  double *v = dvector(1, NUMPOPS), *r = dvector(1, NUMPOPS);
  for (int i = 1; i <= NUMPOPS; i++) v[i] = values[i - 1];
  calc_ranking(v, r);
  std::vector<double> out(r + 1, r + 1 + NUMPOPS);
  for (int i = 1; i <= NUMPOPS; i++)
    EXPECT_TRUE(v[i] == values[i - 1] || (std::isnan(v[i]) && std::isnan(values[i - 1])))
        << "values changed at " << i;
  free_dvector(v, 1, NUMPOPS);
  free_dvector(r, 1, NUMPOPS);
  return out;
}

double pearson(const std::vector<double> &x, const std::vector<double> &y) {
  NUMPOPS = (int)x.size();
  double *a = dvector(1, NUMPOPS), *b = dvector(1, NUMPOPS);
  for (int i = 1; i <= NUMPOPS; i++) {
    a[i] = x[i - 1];
    b[i] = y[i - 1];
  }
  double c = calc_pearson_cor(a, b);
  free_dvector(a, 1, NUMPOPS);
  free_dvector(b, 1, NUMPOPS);
  return c;
}

using V = std::vector<double>;

TEST(CalcRanking, FractionalRanksWithExactTies) {
  EXPECT_EQ(ranks_of({5, 3, 5, 1}), (V{3.5, 2, 3.5, 1}));
  EXPECT_EQ(ranks_of({2, 2, 2}), (V{2, 2, 2}));
  EXPECT_EQ(ranks_of({4, 1, 3}), (V{3, 1, 2}));
  // Two groups of ties, with negative values and a value at 0.
  EXPECT_EQ(ranks_of({3, -1, 0, 3, -1, 3, 7}), (V{5, 1.5, 3, 5, 1.5, 5, 7}));
  EXPECT_EQ(ranks_of({-2.5}), (V{1}));
  // Ties are exact equality of doubles.
  double a = 0.1, b = std::nextafter(0.1, 1.0);
  EXPECT_EQ(ranks_of({b, a, a}), (V{3, 1.5, 1.5}));
}

TEST(CalcRanking, ExtremeFiniteValuesAndNotANumber) {
  // Values of the largest allowed magnitude still rank.
  EXPECT_EQ(ranks_of({1.6e308, -1.6e308, 0}), (V{3, 1, 2}));
  // A value that compares with nothing gets no rank; the others keep theirs.
  V r = ranks_of({2, NAN, 1, INFINITY});
  EXPECT_EQ(r[0], 2);
  EXPECT_TRUE(std::isnan(r[1]));
  EXPECT_EQ(r[2], 1);
  EXPECT_TRUE(std::isnan(r[3]));
}

TEST(CalcPearsonCor, KnownValues) {
  V x{0.3, -1.2, 2.5, 0.01, 7};
  V neg;
  for (double v : x) neg.push_back(-v);
  EXPECT_NEAR(pearson(x, x), 1.0, 1e-15);
  EXPECT_NEAR(pearson(x, neg), -1.0, 1e-15);
  // Mean 2 each, s_xy = 1, s_xx = s_yy = 2: (1/3) / (2/3).
  EXPECT_NEAR(pearson({1, 2, 3}, {1, 3, 2}), 0.5, 1e-15);
  // Invariant under positive affine maps of either vector.
  EXPECT_NEAR(pearson({1, 2, 3}, {13, 33, 23}), 0.5, 1e-15);
  // A constant vector gives 0/0.
  EXPECT_TRUE(std::isnan(pearson({1, 2, 3}, {4, 4, 4})));
}

TEST(CalcPearsonCor, SpearmanFromRanks) {
  // Monotone but not linear: Spearman 1, Pearson below 1.
  V x{1, 2, 3, 4, 5}, y{1, 8, 27, 64, 125};
  EXPECT_NEAR(pearson(ranks_of(x), ranks_of(y)), 1.0, 1e-15);
  EXPECT_LT(pearson(x, y), 0.99);
  // Ranks 1 2 3 4 against 2 1 4 3: sum of d^2 = 4, rho = 1 - 6*4/(4*15) = 0.6.
  EXPECT_NEAR(pearson(ranks_of({1, 2, 3, 4}), ranks_of({20, 10, 40, 30})), 0.6, 1e-15);
}

}  // namespace
