// Statistical properties of peltra2-simulate's draws, on fixed seeds. Each
// tolerance is a multiple of the standard error estimated from the same
// draws: 4 standard errors, so that a correct simulator fails a check with
// any given seed with probability below 1e-4, while the faults targeted here
// (a wrong factor, a missing term, a transposed matrix) move the estimate by
// many standard errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/sim_support.h"

using simtest::simulate;
using testsupport::TempDir;

namespace {

// Running mean and standard error of a sample.
struct Mean {
  double n = 0, sum = 0, sum2 = 0;
  void add(double x) {
    n += 1;
    sum += x;
    sum2 += x * x;
  }
  double mean() const { return sum / n; }
  double se() const { return std::sqrt((sum2 / n - mean() * mean()) / (n - 1)); }
};

#define EXPECT_WITHIN_4SE(stat, target, what) \
  EXPECT_NEAR((stat).mean(), (target), 4 * (stat).se()) << what

const char *const SIGMA =
    "0.03\t0.015\t0.01\t0\n"
    "0.015\t0.04\t0.005\t-0.005\n"
    "0.01\t0.005\t0.02\t0\n"
    "0\t-0.005\t0\t0.025\n";

}  // namespace

// The offsets of a locus have covariance eps(1 - eps) Sigma. Frequencies
// stay within 0.3 +- 4 sd of the bounds here, so clipping is negligible.
TEST(SimulateModel, FrequencyCovarianceIsEpsilonScaledSigma) {
  TempDir dir;
  dir.write("sigma.txt", SIGMA);
  const int K = 4, L = 20000, n = 40;
  auto r = simulate(
      "--pops 4 --loci 20000 --copies 40 --matrix sigma.txt --anc-range 0.3,0.7 "
      "--truth --seed 31",
      dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::vector<double>> sigma = simtest::read_table(dir.file("simulated.matrix"));
  std::vector<std::vector<double>> truth = simtest::read_table(dir.file("simulated.truth"));
  std::vector<simtest::CountLocus> counts = simtest::read_counts(dir.file("simulated.counts"));
  ASSERT_EQ(truth.size(), size_t(L));
  ASSERT_EQ(counts.size(), size_t(L));

  std::vector<std::vector<Mean>> from_truth(K, std::vector<Mean>(K)), from_counts = from_truth;
  Mean binomial_bias, binomial_ratio;
  for (int l = 0; l < L; ++l) {
    double eps = truth[l][0], scale = eps * (1 - eps);
    for (int k = 0; k < K; ++k) {
      double p = truth[l][2 + k], y = counts[l].first[k] / double(n);
      if (p <= 0 || p >= 1) continue;  // clipped: the count is fixed
      binomial_bias.add(y - p);
      binomial_ratio.add((y - p) * (y - p) / (p * (1 - p) / n));
    }
    for (int i = 0; i < K; ++i)
      for (int j = 0; j <= i; ++j) {
        from_truth[i][j].add((truth[l][2 + i] - eps) * (truth[l][2 + j] - eps) / scale);
        // Sample frequencies add binomial noise to the diagonal only; its
        // unbiased estimate y(1 - y) / (n - 1) is taken off.
        double yi = counts[l].first[i] / double(n), yj = counts[l].first[j] / double(n);
        double v = (yi - eps) * (yj - eps);
        if (i == j) v -= yi * (1 - yi) / (n - 1);
        from_counts[i][j].add(v / scale);
      }
  }
  // Counts are Binomial(n, p) given the true frequency p.
  EXPECT_WITHIN_4SE(binomial_bias, 0.0, "sample frequency bias");
  EXPECT_WITHIN_4SE(binomial_ratio, 1.0, "sample frequency variance ratio");
  for (int i = 0; i < K; ++i)
    for (int j = 0; j <= i; ++j) {
      EXPECT_WITHIN_4SE(from_truth[i][j], sigma[i][j], "true frequencies, entry " << i << "," << j);
      EXPECT_WITHIN_4SE(from_counts[i][j], sigma[i][j],
                        "sample frequencies, entry " << i << "," << j);
    }
}

// An environmental effect beta * e shifts the mean frequency of the loci
// that carry it, and only theirs.
TEST(SimulateModel, EnvironmentalEffectShiftsTheMarkedLoci) {
  TempDir dir;
  const int K = 5;
  auto r = simulate(
      "--pops 5 --loci 10000 --groups 1 --group-drift 0.005 --private-drift 0.01 "
      "--anc-range 0.3,0.7 --env 2 --effect-var 2 --beta 0.08 --effect-fraction 0.5 "
      "--truth --seed 12",
      dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::vector<double>> env = simtest::read_table(dir.file("simulated.env"));
  std::vector<std::vector<double>> truth = simtest::read_table(dir.file("simulated.truth"));
  std::vector<Mean> marked(K), neutral(K);
  for (const auto &t : truth)
    for (int k = 0; k < K; ++k) (t[1] != 0 ? marked : neutral)[k].add(t[2 + k] - t[0]);
  ASSERT_EQ(marked[0].n, 5000);
  int unlike_first_variable = 0;
  for (int k = 0; k < K; ++k) {
    EXPECT_WITHIN_4SE(marked[k], 0.08 * env[1][k], "population " << k);
    EXPECT_WITHIN_4SE(neutral[k], 0.0, "population " << k);
    if (std::fabs(marked[k].mean() - 0.08 * env[0][k]) > 4 * marked[k].se())
      ++unlike_first_variable;
  }
  // The second variable was asked for, not the first.
  EXPECT_GT(unlike_first_variable, 0);
}

// Ancestral frequencies follow the Beta law; both gamma branches (shape
// above and below 1) are used. With 800 copies per locus, monomorphic
// redraws remove a negligible share of the edges.
TEST(SimulateModel, AncestralFrequenciesFollowTheBetaLaw) {
  struct Case {
    double a, b;
  };
  for (Case c : {Case{2, 5}, Case{0.9, 0.9}}) {
    TempDir dir;
    std::string args =
        "--pops 4 --loci 20000 --copies 200 --anc-range 0.000001,0.999999 --truth "
        "--seed 3 --anc-beta " +
        std::to_string(c.a) + "," + std::to_string(c.b);
    auto r = simulate(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    double mean = c.a / (c.a + c.b);
    double var = c.a * c.b / ((c.a + c.b) * (c.a + c.b) * (c.a + c.b + 1));
    Mean m, v;
    for (const auto &t : simtest::read_table(dir.file("simulated.truth"))) {
      m.add(t[0]);
      v.add((t[0] - mean) * (t[0] - mean));
    }
    EXPECT_WITHIN_4SE(m, mean, "Beta(" << c.a << ", " << c.b << ") mean");
    EXPECT_WITHIN_4SE(v, var, "Beta(" << c.a << ", " << c.b << ") variance");
  }
}

// Pooled reads: the pool holds Binomial(n, p) copies and the reads are
// Binomial(t, copies / n), so c / t has mean p and variance
// p(1 - p)(1/n + (1 - 1/n)/t).
TEST(SimulateModel, PooledReadsCarryPoolAndReadNoise) {
  TempDir dir;
  const int K = 3;
  const double n = 10;
  auto r = simulate(
      "--pops 3 --loci 20000 --pooled --pool-size 10 --min-coverage 20 "
      "--max-coverage 30 --anc-range 0.2,0.8 --truth --seed 17",
      dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<std::vector<double>> truth = simtest::read_table(dir.file("simulated.truth"));
  std::vector<simtest::CountLocus> counts = simtest::read_counts(dir.file("simulated.counts"));
  Mean bias, ratio;
  for (size_t l = 0; l < truth.size(); ++l)
    for (int k = 0; k < K; ++k) {
      double p = truth[l][2 + k];
      if (p <= 0 || p >= 1) continue;
      double t = counts[l].first[k] + counts[l].second[k];
      double y = counts[l].first[k] / t;
      bias.add(y - p);
      ratio.add((y - p) * (y - p) / (p * (1 - p) * (1 / n + (1 - 1 / n) / t)));
    }
  EXPECT_WITHIN_4SE(bias, 0.0, "read frequency bias");
  EXPECT_WITHIN_4SE(ratio, 1.0, "read frequency variance ratio");
}

// A tree covariance: symmetric, every population's variance above its
// covariances, which are never negative, and the three-point condition of
// trees (of the three covariances of any three populations, the two
// smallest are equal: two of them branch off together).
TEST(SimulateModel, TreeMatricesHaveTreeShape) {
  const int K = 8;
  for (int seed = 1; seed <= 5; ++seed) {
    TempDir dir;
    auto r = simulate(
        "--pops 8 --loci 1 --tree --branch-lengths 0.01,0.02 --seed " + std::to_string(seed),
        dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::vector<double>> s = simtest::read_table(dir.file("simulated.matrix"));
    ASSERT_EQ(s.size(), size_t(K));
    int zero_pairs = 0;
    for (int i = 0; i < K; ++i) {
      EXPECT_GE(s[i][i], 0.01);
      EXPECT_LE(s[i][i], (K - 1) * 0.02);
      for (int j = 0; j < K; ++j) {
        EXPECT_EQ(s[i][j], s[j][i]);
        if (i == j) continue;
        EXPECT_GE(s[i][j], 0.0);
        EXPECT_GT(s[i][i], s[i][j]);
        if (s[i][j] == 0) ++zero_pairs;
        for (int k = 0; k < K; ++k) {
          if (k == i || k == j) continue;
          double v[3] = {s[i][j], s[i][k], s[j][k]};
          std::sort(v, v + 3);
          EXPECT_EQ(v[0], v[1]) << "populations " << i << " " << j << " " << k;
        }
      }
    }
    // The root splits the populations in two: those pairs share no drift.
    EXPECT_GE(zero_pairs, 2 * (K - 1)) << "seed " << seed;
  }
}
