// What each sample adds: ranks and correlations, and the Bayes factors'
// importance weights. (The frequency lines, XtX and the correlation sums of
// a run are pinned by the recorded end-to-end runs.)
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "stats_state.h"

// The model state of each test stays to the end of the process.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

namespace {

using namespace statstest;
using V = std::vector<double>;

// Ranks of `values` (NUMPOPS set to their number); the values stay as they were.
V ranks_of(const V &values) {
  NUMPOPS = (int)values.size();
  V v = values, r(values.size());
  calc_ranking(v.data() - 1, r.data() - 1);
  for (size_t i = 0; i < v.size(); i++) EXPECT_TRUE(v[i] == values[i] || std::isnan(v[i]));
  return r;
}

double pearson(V x, V y) {
  NUMPOPS = (int)x.size();
  return calc_pearson_cor(x.data() - 1, y.data() - 1);
}

TEST(Correlations, FractionalRanksAndPearson) {
  EXPECT_EQ(ranks_of({3, -1, 0, 3, -1, 3, 7}), (V{5, 1.5, 3, 5, 1.5, 5, 7}));
  EXPECT_EQ(ranks_of({1.6e308, -1.6e308, 0}), (V{3, 1, 2}));
  double a = 0.1, b = std::nextafter(0.1, 1.0);  // ties are exact equality
  EXPECT_EQ(ranks_of({b, a, a}), (V{3, 1.5, 1.5}));
  // A value that compares with nothing gets no rank; the others keep theirs.
  V r = ranks_of({2, NAN, 1, INFINITY});
  EXPECT_EQ(r[0] * 10 + r[2], 21);
  EXPECT_TRUE(std::isnan(r[1]) && std::isnan(r[3]));
  // Mean 2 each, s_xy = 1, s_xx = s_yy = 2: (1/3) / (2/3); affine maps keep it.
  EXPECT_NEAR(pearson({1, 2, 3}, {1, 3, 2}), 0.5, 1e-15);
  EXPECT_NEAR(pearson({1, 2, 3}, {13, 33, 23}), 0.5, 1e-15);
  EXPECT_NEAR(pearson({0.3, -1.2, 2.5, 7}, {-0.3, 1.2, -2.5, -7}), -1.0, 1e-15);
  EXPECT_TRUE(std::isnan(pearson({1, 2, 3}, {4, 4, 4})));
  // Ranks 1 2 3 4 against 2 1 4 3: rho = 1 - 6*4/(4*15) = 0.6.
  EXPECT_NEAR(pearson(ranks_of({1, 2, 3, 4}), ranks_of({20, 10, 40, 30})), 0.6, 1e-15);
}

// Variable 1 is (1, -1); variable 2 is zero everywhere, so each of its
// weights is exactly 1 per sample. A large effect at a tiny epsilon
// (1 - eps) makes exp overflow: the weight is infinite rather than wrapped or
// clamped. (The ordinary weights are pinned by the recorded runs' Bayes
// factors.)
TEST(Samples, BayesFactorWeightsAtTheirEdges) {
  set_covariance(2);
  set_environment(2, {1, -1, 0, 0});
  ALLELE *loc = make_locus(1e-6, {0.1, -0.1});
  calc_bf_imp_weight(loc);
  calc_bf_imp_weight(loc);  // a second sample adds the same again
  EXPECT_TRUE(std::isinf(beta_imp_weight[1][101]));
  EXPECT_EQ(beta_imp_weight[1][51], 2.0);
  for (int j = 1; j <= num_beta; j++) EXPECT_EQ(beta_imp_weight[2][j], 2.0) << "j = " << j;
  EXPECT_EQ(loc->theta_offset[1] + loc->theta_offset[2] + loc->epsilon, 1e-6);
}

}  // namespace
