// Runs on data simulated by peltra2-simulate with fixed seeds: effect SNPs
// stand out in test mode, null SNPs have XtX near K, and matrix estimation
// recovers the structure and the scale of the simulated populations. The
// bounds allow for the spread between seeds; the figures quoted were
// measured with these settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "e2e/e2e_fixtures.h"

using testsupport::run_peltra2;
using testsupport::run_shell;
using testsupport::TempDir;

namespace {

typedef std::vector<std::vector<double>> Matrix;

std::string simulate(const std::string &args) {
  return std::string("'") + PELTRA_TOOLS_DIR + "/peltra2-simulate' " + args;
}

double quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[(size_t)(q * (v.size() - 1))];
}
double median(const std::vector<double> &v) { return (quantile(v, 0.5) + quantile(v, 0.5 + 0.5 / v.size())) / 2; }

TEST(SimulatedData, EffectSnpsStandOutAndNullXtXIsNearK) {
  TempDir d;
  // 30 null SNPs and 10 with beta = 0.2 on a variable of variance 1, each
  // in a one-locus file, under a random population tree of 6 populations.
  auto s = run_shell(simulate("--pops 6 --loci 30 --seed 11 --beta 0.2 --effect-loci 10 --out sim --one-locus one"),
                     d.path());
  ASSERT_EQ(s.status, 0) << s.out << s.err;
  std::vector<std::string> files = e2e::lines(run_shell("ls one/*", d.path()).out);
  ASSERT_EQ(files.size(), 40u);
  for (const auto &f : files) {
    std::string common = "-t -i " + f + " -e sim.env -m sim.matrix -n 1 -p 6 -k 10000 -r 3 ";
    ASSERT_EQ(run_peltra2(common + "-X", d.path()).status, 0) << f;
    ASSERT_EQ(run_peltra2(common + "-z -o z", d.path()).status, 0) << f;
  }
  // [0] Bayes factors, [1] Z, [2] XtX of the null and the effect SNPs.
  std::vector<double> null[3], effect[3];
  const char *result_files[3] = {"bf_environ.sim.env", "z.cor", "XtX_out.sim.env"};
  for (int k = 0; k < 3; k++)
    for (const auto &line : e2e::lines(d.read(result_files[k])))
      (line.find("effect_") != std::string::npos ? effect : null)[k].push_back(e2e::numbers(line)[1]);
  ASSERT_EQ(effect[0].size(), 10u);
  // The typical effect SNP beats 90% of the null SNPs (observed: effect
  // median about 270, null 90% point 0.82).
  EXPECT_GT(median(effect[0]), quantile(null[0], 0.9));
  EXPECT_GT(median(effect[0]), 10 * median(null[0]));
  // Z lies in [0, 0.5]; an effect puts the correlation chain firmly on one
  // side (observed median 0.5 against 0.21 for null SNPs).
  EXPECT_GT(median(effect[1]), median(null[1]) + 0.15);
  // Under the null X is close to K independent standard normals, so XtX
  // averages about K; with 30 SNPs of variance near 2K the standard error
  // of the mean is about 0.6: accept K +- 2 (observed about 5.9).
  double mean_null = 0;
  for (double v : null[2]) mean_null += v / null[2].size();
  EXPECT_NEAR(mean_null, 6, 2.0);
  EXPECT_GT(median(effect[2]), median(null[2]));
}

// The mean of the last two of a run's three K x K reports (the first is
// burn-in).
Matrix averaged_reports(const std::string &out, int k) {
  Matrix avg(k, std::vector<double>(k, 0.0));
  auto ls = e2e::lines(out);
  int found = 0;
  for (size_t i = 0; i + k < ls.size(); i++)
    if (ls[i].rfind("VAR-COVAR MATRIX: ITER = ", 0) == 0 && ++found > 1)
      for (int r = 0; r < k; r++)
        for (int c = 0; c < k; c++) avg[r][c] += e2e::numbers(ls[i + 1 + r]).at(c) / 2;
  EXPECT_EQ(found, 3) << out;
  return avg;
}

// The Wishart draw has NU = K + 2L degrees of freedom while the sum S runs
// over L loci, so the drawn Sigma is about S / 2L; and the offsets are
// measured from an ancestral frequency estimated from the same populations,
// so two groups that share no drift come out negatively correlated. Six
// populations in two groups of three (drift 0.1 shared within a group, 0.02
// private), 400 SNPs of 40 copies, 1500 iterations: measured over 8 data
// sets 0.48 to 0.53 within, -0.44 to -0.53 between, and a diagonal ratio to
// the simulated Sigma of 0.29 to 0.34 (single populations 0.25 to 0.40). A
// build with NU = K + L gave 1.9 and positive between-group correlations.
TEST(SimulatedData, TwoDriftGroupsPositiveWithinNegativeBetweenAndHalvedScale) {
  const int K = 6;
  TempDir d;
  auto s = run_shell(simulate("--pops 6 --loci 400 --copies 40 --groups 2 --group-drift 0.1 "
                              "--private-drift 0.02 --seed 4 --out sim"),
                     d.path());
  ASSERT_EQ(s.status, 0) << s.out << s.err;
  auto r = run_peltra2("-i sim.counts -p 6 -k 1500 -r 4", d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  Matrix avg = averaged_reports(r.out, K), truth;
  for (const auto &line : e2e::lines(d.read("sim.matrix")))
    if (!line.empty()) truth.push_back(e2e::numbers(line));
  ASSERT_EQ(truth.size(), (size_t)K);
  double est = 0, sim = 0;
  for (int i = 0; i < K; i++) {
    double within = 0, between = 0;
    for (int j = 0; j < K; j++)
      if (j != i) (truth[i][j] > 0 ? within : between) += avg[i][j] / std::sqrt(avg[i][i] * avg[j][j]);
    within /= 2;
    between /= 3;
    EXPECT_GT(within, 0.3) << "population " << i + 1;
    EXPECT_LT(between, -0.2) << "population " << i + 1;
    EXPECT_GT(within - between, 0.6) << "population " << i + 1;
    EXPECT_GT(avg[i][i] / truth[i][i], 0.15) << "population " << i + 1;
    EXPECT_LT(avg[i][i] / truth[i][i], 0.55) << "population " << i + 1;
    est += avg[i][i];
    sim += truth[i][i];
  }
  EXPECT_GT(est / sim, 0.2);
  EXPECT_LT(est / sim, 0.45);
}

}  // namespace
