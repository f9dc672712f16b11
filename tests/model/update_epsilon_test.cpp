// The ancestral frequency step: its draws, its boundary rejections, the
// accepted move's invariants and the distribution the chain settles in.
#include <cmath>

#include "model_fixture.h"

using namespace modeltest;

namespace {

const long kRan1Seed = -4242;

// The first seed pair (s, s + 7) whose first step of sd 0.05 satisfies want.
long seed_pair_with(bool (*want)(float)) {
  long s = 123456789;  // small seeds start the generator with small uniforms
  while (!want(normal_stream(s, s + 7, 1, 0.05f)[0])) s += 9973;
  return s;
}

ALLELE *two_population_locus(double eps) {
  ALLELE *a = make_locus({3, 5}, {10, 10}, eps);
  a->theta_offset[1] = 0.01;
  a->theta_offset[2] = -0.02;
  a->multivar_prob = multivar_prob(a->theta_offset, eps);
  return a;
}

// The locus was left exactly as it was, and neither a uniform deviate nor a
// second normal deviate was consumed.
void expect_rejected_without_draw(ALLELE *a, double eps, double *theta, double mv,
                                  const std::vector<float> &uniforms, float second_normal) {
  EXPECT_EQ(a->epsilon, eps);
  EXPECT_EQ(a->theta_offset, theta);
  EXPECT_EQ(theta[1], 0.01);
  EXPECT_EQ(theta[2], -0.02);
  EXPECT_EQ(a->multivar_prob, mv);
  EXPECT_EQ(EPSILON_UPDATED, 0);
  EXPECT_EQ(ran1(&seed), uniforms[0]);
  EXPECT_EQ(gennor(0, 0.05f), second_normal);
}

}  // namespace

TEST(EpsilonPriorRatio, Values) {
  lambda_D = lambda_A = 0.001;
  EXPECT_EQ(epsilon_prior_ratio(0.3, 0.3), 0.0);
  EXPECT_NEAR(epsilon_prior_ratio(0.25, 0.5), -0.999 * log(0.5) - 0.999 * log(1.5), 1e-15);
  EXPECT_NEAR(epsilon_prior_ratio(0.25, 0.5), 0.2874, 5e-5);
  // Symmetric about one half.
  EXPECT_NEAR(epsilon_prior_ratio(0.75, 0.5), epsilon_prior_ratio(0.25, 0.5), 1e-15);
}

TEST(UpdateEpsilon, ProposalAboveOneIsRejectedWithoutUniform) {
  setup_model(2);
  long s = seed_pair_with([](float d) { return d > 0.01f; });
  std::vector<float> g = normal_stream(s, s + 7, 2, 0.05f);
  double eps = 1 - g[0] / 2.0;  // eps + delta > 1
  ALLELE *a = two_population_locus(eps);
  double *theta = a->theta_offset;
  double mv = a->multivar_prob;
  std::vector<float> u = ran1_stream(kRan1Seed, 1);
  update_epsilon(a);
  expect_rejected_without_draw(a, eps, theta, mv, u, g[1]);
}

TEST(UpdateEpsilon, ProposalOfExactlyZeroIsRejectedWithoutUniform) {
  setup_model(2);
  long s = seed_pair_with([](float d) { return d < -0.01f; });
  std::vector<float> g = normal_stream(s, s + 7, 2, 0.05f);
  double eps = -(double)g[0];  // eps + delta == 0 exactly
  ALLELE *a = two_population_locus(eps);
  double *theta = a->theta_offset;
  double mv = a->multivar_prob;
  std::vector<float> u = ran1_stream(kRan1Seed, 1);
  update_epsilon(a);
  expect_rejected_without_draw(a, eps, theta, mv, u, g[1]);
}

TEST(UpdateEpsilon, PositiveRatioAcceptsWithoutUniform) {
  // Offsets equal to the step: the proposal's offsets are exactly zero, its
  // prior term 0, far above the current one under a tight prior.
  setup_model(2);
  sigmas_inverse[1][1] = sigmas_inverse[2][2] = 1e4;
  long s = seed_pair_with([](float d) { return fabsf(d) > 0.01f; });
  float delta = normal_stream(s, s + 7, 1, 0.05f)[0];
  ALLELE *a = make_locus({4, 6}, {10, 10}, 0.5);
  a->theta_offset[1] = a->theta_offset[2] = delta;
  a->multivar_prob = multivar_prob(a->theta_offset, 0.5);
  ASSERT_LT(a->multivar_prob, -1);
  double p1 = a->epsilon + a->theta_offset[1];
  std::vector<float> u = ran1_stream(kRan1Seed, 1);
  update_epsilon(a);
  EXPECT_EQ(EPSILON_UPDATED, 1);
  EXPECT_EQ(a->epsilon, 0.5 + delta);
  EXPECT_EQ(a->theta_offset[1], 0.0);
  EXPECT_EQ(a->theta_offset[2], 0.0);
  EXPECT_EQ(a->multivar_prob, 0.0);
  EXPECT_EQ(a->epsilon + a->theta_offset[1], p1);
  EXPECT_EQ(ran1(&seed), u[0]);
}

TEST(UpdateEpsilon, NegativeRatioDrawsOneUniform) {
  setup_model(2);
  sigmas_inverse[1][1] = sigmas_inverse[2][2] = 1e6;
  long s = seed_pair_with([](float d) { return fabsf(d) > 0.01f; });
  normal_stream(s, s + 7, 1, 0.05f);
  ALLELE *a = make_locus({4, 6}, {10, 10}, 0.5);
  std::vector<float> u = ran1_stream(kRan1Seed, 2);
  update_epsilon(a);
  EXPECT_EQ(EPSILON_UPDATED, 0);
  EXPECT_EQ(a->epsilon, 0.5);
  EXPECT_EQ(ran1(&seed), u[1]);
}

// With K = 1 and p fixed, the chain on epsilon has the stationary density
// eps^(l-1) (1-eps)^(l-1) exp(-(p-eps)^2 / (2 s2 eps (1-eps))) on (0, 1):
// the prior of epsilon times the offset's prior exponent, without the
// normalising factor (eps (1-eps))^(-1/2), which the ratio leaves out.
TEST(UpdateEpsilon, SettlesInItsStationaryDistribution) {
  setup_model(1);
  const double s2 = 0.01, p = 0.4;
  sigmas_inverse[1][1] = 1 / s2;
  ALLELE *a = make_locus({4}, {10}, p);
  a->multivar_prob = 0;
  setall(2024, 611);
  seed = kRan1Seed;
  const int N = 200000;
  double sum = 0, sum2 = 0;
  for (int it = 0; it < N; it++) {
    update_epsilon(a);
    sum += a->epsilon;
    sum2 += a->epsilon * a->epsilon;
  }
  double mean = sum / N, var = sum2 / N - mean * mean;

  double z = 0, m1 = 0, m2 = 0;
  const int M = 200000;
  for (int i = 1; i < M; i++) {
    double e = (double)i / M;
    double d = pow(e, -0.999) * pow(1 - e, -0.999) * exp(-(p - e) * (p - e) / (2 * s2 * e * (1 - e)));
    z += d;
    m1 += d * e;
    m2 += d * e * e;
  }
  double true_mean = m1 / z, true_var = m2 / z - true_mean * true_mean;
  // The posterior sd is about 0.05 and the step 0.05, so successive values
  // are correlated over a few steps: 200000 steps give some 40000 effective
  // samples, a standard error of about 0.0003 for the mean and 1% for the
  // variance. Tolerances are about five of those.
  EXPECT_NEAR(mean, true_mean, 0.0015);
  EXPECT_NEAR(var / true_var, 1.0, 0.05);
}
