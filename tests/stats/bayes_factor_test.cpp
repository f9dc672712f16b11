// Importance weights of the Bayes factors.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "stats_state.h"

namespace {

using namespace statstest;

// A few chain states of one locus over three populations.
struct State {
  double epsilon;
  std::vector<double> theta;
};
const std::vector<State> kStates = {
    {0.3, {0.05, -0.02, 0.01}},
    {0.62, {-0.11, 0.04, 0.09}},
    {0.08, {0.015, 0.002, -0.03}},
    {0.5, {0.0, 0.0, 0.0}},
};

// L^-1 of a correlated 3 x 3 covariance matrix.
const std::vector<double> kLInverse = {2.0, 0, 0, -0.7, 1.5, 0, 0.3, -0.4, 3.1};

class BayesFactor : public ::testing::Test {
 protected:
  void TearDown() override {
    if (loc) free_locus(loc, NUMPOPS);
    release_state();
  }
  // Adds one sample for every state of kStates.
  void sample_all() {
    for (const State &s : kStates) {
      for (int p = 1; p <= NUMPOPS; p++) loc->theta_offset[p] = s.theta[p - 1];
      loc->epsilon = s.epsilon;
      calc_bf_imp_weight(loc);
    }
  }
  ALLELE *loc = nullptr;
};

TEST_F(BayesFactor, GridPointZeroAddsExactlyOnePerSample) {
  set_covariance(3, kLInverse);
  set_environment(2, {1.5, -0.3, 2.0, -40, 25, 3});
  ASSERT_EQ(beta_array[51], 0.0);
  ASSERT_EQ(beta_array[1], -0.1);
  ASSERT_EQ(beta_array[101], 0.1);
  loc = make_locus({1, 1, 1}, {2, 2, 2}, 0.5, {0, 0, 0});
  sample_all();
  EXPECT_EQ(beta_imp_weight[1][51], (double)kStates.size());
  EXPECT_EQ(beta_imp_weight[2][51], (double)kStates.size());
  // The rest of the grid does move.
  EXPECT_NE(beta_imp_weight[1][50], (double)kStates.size());
}

TEST_F(BayesFactor, VariableOfZerosGivesExactlyOne) {
  set_covariance(3, kLInverse);
  set_environment(2, {0, 0, 0, 1, -1, 0.5});
  loc = make_locus({1, 1, 1}, {2, 2, 2}, 0.5, {0, 0, 0});
  sample_all();
  EXPECT_EQ(bayes_factor(1, (int)kStates.size()), 1.0);
  EXPECT_NE(bayes_factor(2, (int)kStates.size()), 1.0);
}

TEST_F(BayesFactor, ClosedFormOnAHandComputedCase) {
  // Only Sigma^-1 enters the weights: set it to [[2, 0.5], [0.5, 1]].
  set_covariance(2, {1, 0, 0, 1});
  sigmas_inverse[1][1] = 2;
  sigmas_inverse[2][1] = sigmas_inverse[1][2] = 0.5;
  sigmas_inverse[2][2] = 1;
  set_environment(1, {1, -2});
  loc = make_locus({1, 1}, {2, 2}, 0.25, {0.05, -0.02});
  calc_bf_imp_weight(loc);
  // beta = 0.02 (j = 61): theta* = (0.03, 0.02), q* = 0.0028, q = 0.0044,
  // eps (1 - eps) = 0.1875, w = exp((0.0044 - 0.0028) / 0.375).
  EXPECT_NEAR(beta_array[61], 0.02, 1e-16);
  EXPECT_NEAR(beta_imp_weight[1][61], exp(0.0016 / 0.375), 1e-13);
  // Every grid point against the closed form, and the state left as it was.
  for (int j = 1; j <= num_beta; j++) {
    double b = beta_array[j];
    double t1 = 0.05 - b, t2 = -0.02 + 2 * b;
    double q_star = 2 * t1 * t1 + 2 * 0.5 * t1 * t2 + t2 * t2;
    double w = exp(-(q_star - 0.0044) / (2 * 0.1875));
    EXPECT_NEAR(beta_imp_weight[1][j], w, 1e-13 * w) << "j = " << j;
  }
  EXPECT_EQ(loc->theta_offset[1], 0.05);
  EXPECT_EQ(loc->theta_offset[2], -0.02);
  EXPECT_EQ(loc->epsilon, 0.25);
}

TEST_F(BayesFactor, MirroredVariableMirrorsTheWeights) {
  set_covariance(3, kLInverse);
  set_environment(2, {1.5, -0.3, 2.0, -1.5, 0.3, -2.0});
  loc = make_locus({1, 1, 1}, {2, 2, 2}, 0.5, {0, 0, 0});
  sample_all();
  // The grid is symmetric up to its rounding error, which moves a weight by
  // far less than 1e-12 of itself for these effect sizes.
  for (int j = 1; j <= num_beta; j++) {
    double a = beta_imp_weight[1][j], b = beta_imp_weight[2][102 - j];
    EXPECT_NEAR(a, b, 1e-12 * a) << "j = " << j;
  }
  int n = (int)kStates.size();
  EXPECT_NEAR(bayes_factor(1, n), bayes_factor(2, n), 1e-12 * bayes_factor(1, n));
  // Not symmetric in itself, or the test above would prove nothing.
  EXPECT_GT(fabs(beta_imp_weight[1][1] - beta_imp_weight[1][101]), 1e-3);
}

TEST_F(BayesFactor, AddingAVariableLeavesTheOthersUnchanged) {
  set_covariance(3, kLInverse);
  set_environment(1, {1.5, -0.3, 2.0});
  loc = make_locus({1, 1, 1}, {2, 2, 2}, 0.5, {0, 0, 0});
  sample_all();
  std::vector<double> alone(beta_imp_weight[1] + 1, beta_imp_weight[1] + 1 + num_beta);
  free_locus(loc, NUMPOPS);
  release_state();

  set_covariance(3, kLInverse);
  set_environment(2, {1.5, -0.3, 2.0, 0.7, 0.1, -0.9});
  loc = make_locus({1, 1, 1}, {2, 2, 2}, 0.5, {0, 0, 0});
  sample_all();
  for (int j = 1; j <= num_beta; j++) EXPECT_EQ(beta_imp_weight[1][j], alone[j - 1]) << "j = " << j;
}

TEST_F(BayesFactor, WeightsOverflowToInfinity) {
  // A large effect aligned with the offsets at a tiny epsilon (1 - eps) makes
  // exp overflow; the weight is infinite rather than wrapped or clamped.
  set_covariance(1, {1});
  set_environment(1, {1});
  loc = make_locus({1}, {2}, 1e-6, {0.1});
  calc_bf_imp_weight(loc);
  EXPECT_TRUE(std::isinf(beta_imp_weight[1][101]));
  EXPECT_EQ(beta_imp_weight[1][51], 1.0);
}

}  // namespace
