// Chain initialisation: the starting covariance matrix and the loci's
// starting frequencies and cached terms.
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
// tests build them afresh in every test and never release them, so leak
// reports here would describe the tests, not the program.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

}  // namespace

TEST(InitSigmas, HalfNormalDiagonalFromTheFirstDraws) {
  for (int K : {1, 4}) {
    setup_model(K);
    std::vector<float> g = normal_stream(1234, 5678, K + 1);
    init_sigmas();
    for (int i = 1; i <= K; i++)
      for (int j = 1; j <= K; j++) {
        if (i != j) {
          EXPECT_EQ(sigmas[i][j], 0.0);
          EXPECT_NEAR(sigmas_inverse[i][j], 0.0, 1e-300);
          continue;
        }
        EXPECT_EQ(sigmas[i][i], (double)fabsf(g[i - 1]));
        EXPECT_NEAR(sigmas_inverse[i][i] * sigmas[i][i], 1.0, 1e-14);
      }
    // Exactly K deviates were drawn.
    EXPECT_EQ(gennor(0, 1), g[K]);
  }
}

TEST(InitChain, StartsAtTheObservedFrequencies) {
  setup_model(2);
  sigmas_inverse[1][1] = 2;
  sigmas_inverse[2][1] = 0.5;
  sigmas_inverse[2][2] = 3;
  ALLELE *loc[] = {make_locus({3, 7}, {10, 10})};
  NUMLOCI = 1;
  init_epsilon(loc);
  init_thetas(loc);
  ALLELE *a = loc[0];
  EXPECT_EQ(a->epsilon, 0.5);
  EXPECT_EQ(a->theta_offset[1], 0.3 - 0.5);
  EXPECT_EQ(a->theta_offset[2], 0.7 - 0.5);
  EXPECT_DOUBLE_EQ(a->epsilon + a->theta_offset[1], 0.3);
  EXPECT_DOUBLE_EQ(a->epsilon + a->theta_offset[2], 0.7);
  EXPECT_DOUBLE_EQ(a->multinom_prob[1], 3 * log(0.3) + 7 * log(0.7));
  EXPECT_DOUBLE_EQ(a->multinom_prob[2], 7 * log(0.7) + 3 * log(0.3));
  // q = 2 (0.04) + 3 (0.04) + 2 (0.5)(-0.2)(0.2) = 0.16; exponent -0.5 q / 0.25.
  EXPECT_NEAR(a->multivar_prob, -0.32, 1e-15);
}

TEST(InitChain, EmptyPopulationStartsAtAncestralFrequency) {
  setup_model(3);
  ALLELE *loc[] = {make_locus({0, 2, 5}, {0, 8, 12})};
  NUMLOCI = 1;
  init_epsilon(loc);
  init_thetas(loc);
  EXPECT_EQ(loc[0]->epsilon, 7.0 / 20);
  EXPECT_EQ(loc[0]->theta_offset[1], 0.0);
  EXPECT_EQ(loc[0]->multinom_prob[1], 0.0);
}

TEST(InitChain, OnePopulation) {
  setup_model(1);
  sigmas_inverse[1][1] = 4;
  ALLELE *loc[] = {make_locus({4}, {10})};
  NUMLOCI = 1;
  init_epsilon(loc);
  init_thetas(loc);
  EXPECT_EQ(loc[0]->epsilon, 0.4);
  EXPECT_EQ(loc[0]->theta_offset[1], 0.0);
  EXPECT_EQ(loc[0]->multivar_prob, 0.0);
  EXPECT_DOUBLE_EQ(loc[0]->multinom_prob[1], 4 * log(0.4) + 6 * log(0.6));
}

TEST(InitChainDeath, MonomorphicLocusNamesItsIndex) {
  setup_model(2);
  ALLELE *first[] = {make_locus({0, 0}, {10, 12}), make_locus({1, 1}, {2, 2})};
  ALLELE *later[] = {make_locus({1, 2}, {3, 4}), make_locus({5, 1}, {9, 2}), make_locus({4, 6}, {4, 6})};
  NUMLOCI = 2;
  EXPECT_STDOUT_DEATH(init_epsilon(first), "^initial epsilon zero or 1 locus 0\n$");
  NUMLOCI = 3;
  EXPECT_STDOUT_DEATH(init_epsilon(later), "^initial epsilon zero or 1 locus 2\n$");
}

TEST(InitChainDeath, LocusWithoutAnyCopies) {
  setup_model(2);
  ALLELE *loc[] = {make_locus({1, 2}, {3, 4}), make_locus({0, 0}, {0, 0})};
  NUMLOCI = 2;
  EXPECT_STDOUT_DEATH(init_epsilon(loc), "^initial epsilon undefined locus 1: no allele copies in any population\n$");
}
