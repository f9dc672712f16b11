// Statistical properties of peltra2-simulate's draws, on fixed seeds. Each
// tolerance is 4 standard errors estimated from the same draws, so that a
// correct simulator fails a check with any given seed with probability
// below 1e-4, while the faults targeted here (a wrong factor, a missing
// term, a transposed matrix) move the estimate by many standard errors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tools/convert_support.h"

using Table = std::vector<std::vector<double>>;

namespace {

// Running mean and standard error of a sample.
struct Mean {
  double n = 0, sum = 0, sum2 = 0;
  void add(double x) { n += 1, sum += x, sum2 += x * x; }
  double mean() const { return sum / n; }
  double se() const { return std::sqrt((sum2 / n - mean() * mean()) / (n - 1)); }
};

#define EXPECT_WITHIN_4SE(stat, target, what) EXPECT_NEAR((stat).mean(), (target), 4 * (stat).se()) << what

// Runs the simulator (with --truth) in a scratch folder and reads back the
// file of numbers named `simulated.<suffix>`.
struct Sim {
  testsupport::TempDir dir;
  explicit Sim(const std::string &args, const std::string &matrix = "") {
    if (!matrix.empty()) dir.write("sigma.txt", matrix);
    testsupport::RunResult r = convtest::simulate(args + " --truth", dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
  }
  Table operator[](const char *suffix) const {
    return convtest::read_table(dir.file("simulated." + std::string(suffix)));
  }
};

}  // namespace

// The offsets of a locus have covariance eps(1 - eps) Sigma, and counts are
// Binomial(n, p) given the true frequency p. Frequencies stay within 0.3 +- 4
// sd of the bounds here, so clipping is negligible.
TEST(SimulateModel, FrequencyCovarianceIsEpsilonScaledSigma) {
  Sim sim("--pops 4 --loci 20000 --copies 40 --matrix sigma.txt --anc-range 0.3,0.7 --seed 31",
          "0.03\t0.015\t0.01\t0\n0.015\t0.04\t0.005\t-0.005\n0.01\t0.005\t0.02\t0\n0\t-0.005\t0\t0.025\n");
  Table truth = sim["truth"], counts = sim["counts"], sigma = sim["matrix"];
  ASSERT_TRUE(truth.size() == 20000u && counts.size() == 40000u);
  std::vector<std::vector<Mean>> cov(4, std::vector<Mean>(4));
  Mean bias, ratio;
  for (size_t l = 0; l < truth.size(); ++l) {
    const double eps = truth[l][0], *p = &truth[l][2], *c = &counts[2 * l][0];
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j <= i; ++j) cov[i][j].add((p[i] - eps) * (p[j] - eps) / (eps * (1 - eps)));
      if (p[i] <= 0 || p[i] >= 1) continue;  // clipped: the count is fixed
      bias.add(c[i] / 40 - p[i]);
      ratio.add((c[i] / 40 - p[i]) * (c[i] / 40 - p[i]) / (p[i] * (1 - p[i]) / 40));
    }
  }
  EXPECT_WITHIN_4SE(bias, 0.0, "sample frequency bias");
  EXPECT_WITHIN_4SE(ratio, 1.0, "sample frequency variance ratio");
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j) EXPECT_WITHIN_4SE(cov[i][j], sigma[i][j], "entry " << i << "," << j);
}

// An environmental effect beta * e shifts the mean frequency of the loci
// that carry it, and only theirs; the variable asked for, not the first.
TEST(SimulateModel, EnvironmentalEffectShiftsTheMarkedLoci) {
  Sim sim("--pops 5 --loci 10000 --groups 1 --group-drift 0.005 --private-drift 0.01 "
          "--anc-range 0.3,0.7 --env 2 --effect-var 2 --beta 0.08 --effect-fraction 0.5 --seed 12");
  Table env = sim["env"];
  std::vector<Mean> marked(5), neutral(5);
  for (const std::vector<double> &t : sim["truth"])
    for (int k = 0; k < 5; ++k) (t[1] != 0 ? marked : neutral)[k].add(t[2 + k] - t[0]);
  ASSERT_EQ(marked[0].n, 5000);
  int unlike_first_variable = 0;
  for (int k = 0; k < 5; ++k) {
    EXPECT_WITHIN_4SE(marked[k], 0.08 * env[1][k], "population " << k);
    EXPECT_WITHIN_4SE(neutral[k], 0.0, "population " << k);
    unlike_first_variable += std::fabs(marked[k].mean() - 0.08 * env[0][k]) > 4 * marked[k].se();
  }
  EXPECT_GT(unlike_first_variable, 0);
}

// Pooled reads: the pool holds Binomial(n, p) copies and the reads are
// Binomial(t, copies / n), so c / t has mean p and variance
// p(1 - p)(1/n + (1 - 1/n)/t). The coverage t is uniform on 20..30: each
// value is drawn Binomial(60000, 1/11) times, sd 70.
TEST(SimulateModel, PooledReadsCarryPoolAndReadNoise) {
  Sim sim("--pops 3 --loci 20000 --pooled --pool-size 10,20,30 --min-coverage 20 --max-coverage 30 "
          "--anc-range 0.2,0.8 --seed 17");
  EXPECT_EQ(sim.dir.read("simulated.samplesize"), "10\t20\t30\n");
  Table truth = sim["truth"], counts = sim["counts"];
  ASSERT_EQ(counts.size(), 2 * truth.size());
  Mean bias, ratio;
  std::vector<double> coverage(31);
  for (size_t l = 0; l < truth.size(); ++l)
    for (int k = 0; k < 3; ++k) {
      double c = counts[2 * l][k], t = c + counts[2 * l + 1][k], p = truth[l][2 + k], n = 10 * k + 10;
      ASSERT_TRUE(c >= 0 && t >= 20 && t <= 30) << "locus " << l + 1 << " coverage " << t;
      coverage[int(t)] += 1;
      if (p <= 0 || p >= 1) continue;
      bias.add(c / t - p);
      ratio.add((c / t - p) * (c / t - p) / (p * (1 - p) * (1 / n + (1 - 1 / n) / t)));
    }
  for (int t = 20; t <= 30; ++t) EXPECT_NEAR(coverage[t], 60000 / 11.0, 4 * 70) << "coverage " << t;
  EXPECT_WITHIN_4SE(bias, 0.0, "read frequency bias");
  EXPECT_WITHIN_4SE(ratio, 1.0, "read frequency variance ratio");
}
