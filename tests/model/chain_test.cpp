// The chain's start and its updates: edges a run almost never meets (the
// ordinary steps are pinned by the recorded end-to-end runs), and the
// distributions the chain settles in (fixed seeds; tolerances about five
// standard errors, the effective sample size allowing for the chain's
// correlation).
#include <cmath>

#include "model_fixture.h"

using namespace modeltest;

namespace {

// Death tests re-run the test binary instead of forking a process that
// may hold worker threads.
class ThreadsafeDeathTests : public ::testing::Environment {
 public:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
const auto *const kDeathStyle = ::testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);

// The model state and its loci live until the process ends, by design; these
// tests build them afresh in every test and never release them.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

const long kRan1Seed = -4242;

// The first seed pair (s, s + 7) whose first deviate of sd 0.05 is not tiny.
long seed_pair_with_a_step() {
  long s = 123456789;  // small seeds start the generator with small uniforms
  while (fabsf(normal_stream(s, s + 7, 1, 0.05f)[0]) <= 0.01f) s += 9973;
  return s;
}

// One worker description over a single locus, run on this thread.
THREAD_DATA *single(ALLELE *a) { return new THREAD_DATA{0, 1, -1, nullptr, new ALLELE *[1]{a}}; }

// The mean and variance of a density on (0, 1), by the midpoint rule.
std::pair<double, double> moments(double (*density)(double)) {
  double z = 0, m1 = 0, m2 = 0;
  for (int i = 1; i < 200000; i++) {
    double x = i / 200000.0, d = density(x);
    z += d, m1 += d * x, m2 += d * x * x;
  }
  return {m1 / z, m2 / z - (m1 / z) * (m1 / z)};
}

}  // namespace

TEST(ChainStart, ObservedFrequenciesAndLociWithoutPolymorphism) {
  setup_model(3);
  sigmas_inverse[1][1] = 2;
  sigmas_inverse[2][1] = 0.5;
  sigmas_inverse[2][2] = 3;
  ALLELE *loc[] = {make_locus({3, 7, 0}, {10, 10, 0})};
  NUMLOCI = 1;
  init_epsilon(loc);
  init_thetas(loc);
  ALLELE *a = loc[0];
  EXPECT_EQ(a->epsilon, 0.5);
  EXPECT_EQ(a->theta_offset[1], 0.3 - 0.5);
  EXPECT_EQ(a->theta_offset[2], 0.7 - 0.5);
  EXPECT_EQ(a->theta_offset[3], 0.0);  // an empty population starts at epsilon
  EXPECT_DOUBLE_EQ(a->multinom_prob[1], 3 * log(0.3) + 7 * log(0.7));
  EXPECT_EQ(a->multinom_prob[3], 0.0);
  // The prior exponent reads the lower triangle of Sigma^-1 only (the upper
  // is identity's 0): q = 2 (0.04) + 3 (0.04) + 2 (0.5)(-0.2)(0.2) = 0.16;
  // exponent -0.5 q / 0.25.
  EXPECT_NEAR(a->multivar_prob, -0.32, 1e-15);

  setup_model(2);
  ALLELE *first[] = {make_locus({0, 0}, {10, 12}), make_locus({1, 1}, {2, 2})};
  ALLELE *later[] = {make_locus({1, 2}, {3, 4}), make_locus({5, 1}, {9, 2}), make_locus({4, 6}, {4, 6})};
  ALLELE *empty[] = {make_locus({1, 2}, {3, 4}), make_locus({0, 0}, {0, 0})};
  NUMLOCI = 2;
  EXPECT_STDOUT_DEATH(init_epsilon(first), "^initial epsilon zero or 1 locus 0\n$");
  EXPECT_STDOUT_DEATH(init_epsilon(empty), "^initial epsilon undefined locus 1: no allele copies in any population\n$");
  NUMLOCI = 3;
  EXPECT_STDOUT_DEATH(init_epsilon(later), "^initial epsilon zero or 1 locus 2\n$");
}

// With K = 1 and p fixed, the chain on epsilon has the stationary density
// eps^(l-1) (1-eps)^(l-1) exp(-(p-eps)^2 / (2 s2 eps (1-eps))) (the ratio
// leaves out the factor (eps (1-eps))^(-1/2)). Posterior sd about 0.05 and
// step 0.05: some 40000 effective samples, standard errors 0.0003 (mean)
// and 1% (variance).
TEST(UpdateEpsilon, SettlesInItsStationaryDistribution) {
  setup_model(1);
  sigmas_inverse[1][1] = 100;
  ALLELE *a = make_locus({4}, {10}, 0.4);
  setall(2024, 611);
  seed = kRan1Seed;
  double sum = 0, sum2 = 0;
  for (int it = 0; it < 200000; it++) {
    update_epsilon(a);
    sum += a->epsilon / 200000, sum2 += a->epsilon * a->epsilon / 200000;
  }
  auto [mean, var] = moments([](double e) {
    return pow(e, -0.999) * pow(1 - e, -0.999) * exp(-(0.4 - e) * (0.4 - e) / (0.02 * e * (1 - e)));
  });
  EXPECT_NEAR(sum, mean, 0.0015);
  EXPECT_NEAR((sum2 - sum * sum) / var, 1.0, 0.05);
}

// The draw's mean is NU V with V = (S + (K+1) I)^-1, S summed over both
// shares; one degree of freedom more or less would be 10% off here (NU =
// 10). Each entry of a draw has sd at most sqrt(2 NU V_ii V_jj); the
// tolerance is five standard errors of the mean of 4000 draws.
TEST(UpdateSigmas, DrawHasMeanNuTimesScale) {
  const double th[4][2] = {{0.3, 0.2}, {-0.1, 0.05}, {0.2, 0.25}, {0.0, -0.1}}, eps[4] = {0.5, 0.3, 0.6, 0.2};
  setup_model(2);
  ALLELE **loc = new ALLELE *[4];
  double s[3][3] = {{0}, {0, 3, 0}, {0, 0, 3}};
  for (int l = 0; l < 4; l++) {
    loc[l] = make_locus({1, 1}, {2, 2}, eps[l]);
    for (int i = 1; i <= 2; i++) {
      loc[l]->theta_offset[i] = th[l][i - 1];
      for (int j = 1; j <= 2; j++) s[i][j] += th[l][i - 1] * th[l][j - 1] / (eps[l] * (1 - eps[l]));
    }
  }
  setup_workers(loc, 4);
  NU = 2 + 2.0 * 4;
  thread_data1->sum[2][2] = 99;  // stale sums are cleared
  double det = s[1][1] * s[2][2] - s[2][1] * s[2][1];
  double V[3][3] = {{0}, {0, s[2][2] / det, -s[2][1] / det}, {0, -s[2][1] / det, s[1][1] / det}};
  setall(8, 9);
  double mean[3][3] = {{0}};
  for (int it = 0; it < 4000; it++) {
    update_sigmas(loc);
    for (int i = 1; i <= 2; i++)
      for (int j = 1; j <= 2; j++) mean[i][j] += sigmas_inverse[i][j] / 4000;
  }
  for (int i = 1; i <= 2; i++)
    for (int j = 1; j <= 2; j++) EXPECT_NEAR(mean[i][j], NU * V[i][j], 0.035 * NU * sqrt(V[i][i] * V[j][j])) << i << j;
  loc[0]->epsilon = 0;
  EXPECT_STDOUT_DEATH(update_sigmas(loc), "^epsilon zero or 1 locus 0 \\(epsilon = 0\\.0000e\\+00\\)");
}

// K normals per locus; a proposal outside (0, 1) for a population whose
// counts do not sit at that bound is abandoned after all K normals, without
// a uniform, and the prior term is refreshed. A second K re-sizes the step's
// work vectors. (Accepting and refusing are pinned by the recorded runs.)
TEST(UpdateThetas, AbandonedProposalDrawsNoUniform) {
  for (int K : {3, 2}) {
    setup_model(K);
    sigmas_inverse[2][2] = 9;
    long s = seed_pair_with_a_step();
    std::vector<float> g = normal_stream(s, s + 7, K + 1, 0.05f);
    bool up = g[0] > 0;
    std::vector<int> count = {up ? 4 : 3, 2, 5};
    count.resize(K);
    ALLELE *a = make_locus(count, std::vector<int>(K, 10), 0.5);
    a->theta_offset[1] = up ? 0.5 - g[0] / 2.0 : -0.5 - g[0] / 2.0;
    a->theta_offset[2] = 0.1;
    a->multivar_prob = 12345;  // stale
    double *theta = a->theta_offset;
    THREAD_DATA *t = single(a);
    float u = first_ran1(kRan1Seed);
    update_thetas(t);
    EXPECT_EQ(t->allelesupdated, 0);
    EXPECT_EQ(a->theta_offset, theta);
    EXPECT_EQ(a->multivar_prob, multivar_prob(theta, 0.5));  // refreshed, kept
    EXPECT_EQ(ran1(&seed), u);
    EXPECT_EQ(gennor(0, 0.05f), g[K]);
  }
}

// With K = 1, Sigma = 1 and eps = 0.5, p has density p^3 (1-p)^7
// exp(-(p-0.5)^2 / 0.5): sd 0.13 against a step of 0.1, standard errors
// about 0.001 (mean) and 1.5% (variance). (The prior with correlated
// populations has its known answer at the chain's start.)
TEST(UpdateThetas, SettlesInThePosterior) {
  const int N = 200000;
  setup_model(1);
  X_DEV = 0.1;
  ALLELE *loc[] = {make_locus({3}, {10}, 0.5)};
  NUMLOCI = 1;
  init_thetas(loc);
  THREAD_DATA *t = single(loc[0]);
  setall(21, 22);
  seed = kRan1Seed;
  double s = 0, s2 = 0;
  for (int it = 0; it < N; it++) {
    update_thetas(t);
    double p = 0.5 + loc[0]->theta_offset[1];
    s += p / N, s2 += p * p / N;
  }
  auto [mean, var] = moments([](double p) { return pow(p, 3) * pow(1 - p, 7) * exp(-(p - 0.5) * (p - 0.5) / 0.5); });
  EXPECT_NEAR(s, mean, 0.005);
  EXPECT_NEAR((s2 - s * s) / var, 1.0, 0.07);
}
