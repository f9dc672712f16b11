// peltra2-simulate: its command line, the bundled example data (which the
// command quoted in examples/README.md must reproduce byte for byte), and
// the statistical properties of its draws on fixed seeds.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "tools/convert_support.h"

using convtest::simulate;
using testsupport::TempDir;


TEST(SimulateCli, BadOptionsAndMatrixFilesFailWithOneLineAndStatus1) {
  // One case a line: the arguments after "--pops 3 --loci 5" (after "=": the
  // whole arguments), " | ", the message; a matrix file m.txt is written with
  // the content after a further " | " (rows split at "/", values at " ").
  const std::string cases = R"(= | --pops is required (the number of populations)
=--pops 0 --loci 5 | option --pops: '0' is not a whole number from 1 to 1000
--seed | option '--seed' needs a value
--copies 4,5 | option --copies: 2 values; give 1 or 3 (one per population)
--tree --groups 2 | give only one of --tree, --matrix and --groups
--groups 4 | --groups: 4 groups cannot be made of 3 populations
--branch-lengths 0.2,0.1 | --branch-lengths: expected 0 < MIN <= MAX
--anc-range 0,0.5 | --anc-range: expected 0 < MIN <= MAX < 1
--beta 0.1 | --beta needs --effect-fraction or --effect-loci
--beta 0.1 --effect-fraction 1.5 | --effect-fraction: expected a value from 0 to 1
--beta 0.1 --effect-loci 1 --env 2 --effect-var 3 | --effect-var: there are only 2 environmental variables
--pooled | --pooled needs --max-coverage
--pooled --max-coverage 9 --pool-size 171 | option --pool-size: '171' is not a whole number from 2 to 170
--pooled --max-coverage 9 --min-coverage 10 | --min-coverage: 10 is above --max-coverage 9
--matrix missing.txt | cannot open the matrix file missing.txt: No such file or directory
--out no/such/dir/x | cannot write no/such/dir/x.counts: No such file or directory; give --out another name
--matrix m.txt | m.txt: 2 lines; 3 needed (one row per population, --pops 3) | 1 0 0/0 1 0
--matrix m.txt | m.txt, line 2: 2 values; 3 needed (--pops 3) | 1 0 0/0 1/0 0 1
--matrix m.txt | m.txt, line 2, field 2: 'abc' is not a number | 1 0 0/0 abc 0/0 0 1
--matrix m.txt | m.txt, line 2, field 1: 0.49, but line 1, field 2 is 0.5: the matrix must be symmetric | 1 0.5 0/0.49 1 0/0 0 1
--matrix m.txt | m.txt: the matrix of its first 3 lines is not positive definite; give a covariance matrix | 1 2 0/2 1 0/0 0 1
)";
  TempDir dir;
  for (const std::string &line : convtest::split(cases)) {
    std::vector<std::string> f = convtest::split(std::regex_replace(line, std::regex(" \\| "), "|"), '|');
    std::string args = f[0][0] == '=' ? f[0].substr(1) : "--pops 3 --loci 5 " + f[0];
    std::string matrix = f.size() > 2 ? std::regex_replace(f[2], std::regex(" "), "\t") + "\n" : "";
    dir.write("m.txt", std::regex_replace(matrix, std::regex("/"), "\n"));
    auto r = simulate(args, dir.path());
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "peltra2-simulate: " + f[1] + "\n") << args;
    EXPECT_EQ(r.out, "") << args;
  }
  EXPECT_FALSE(dir.exists("simulated.counts"));
}

// The command in examples/README.md regenerates every bundled file, which
// pins the layouts and number formats of the files and the random streams.
TEST(SimulateCli, ExamplesAreReproducedByTheDocumentedCommand) {
  const std::string source = PELTRA_SOURCE_DIR;
  std::smatch m;
  std::string readme = testsupport::read_file(source + "/examples/README.md");
  ASSERT_TRUE(std::regex_search(readme, m, std::regex("peltra2-simulate( --[^\\n`]*)")));
  const std::string args = m[1];
  ASSERT_TRUE(std::regex_search(args, m, std::regex("--out (examples/[A-Za-z0-9_.-]+)")));
  const std::string prefix = m[1];
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("examples").c_str(), 0777), 0);
  auto r = simulate(args, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char *suffix : {".counts", ".matrix", ".env", ".effect.counts"}) {
    std::string bundled = testsupport::read_file(source + "/" + prefix + suffix);
    EXPECT_EQ(dir.read(prefix + suffix), bundled) << prefix << suffix << " is not reproduced";
  }
}

// The statistical checks: each tolerance is 4 standard errors estimated from
// the same draws, so that a correct simulator fails a check with any given
// seed with probability below 1e-4, while the faults targeted here (a wrong
// factor, a missing term, a transposed matrix) move the estimate by many
// standard errors.
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

// A simulation (with --truth); sim["x"] reads back the numbers of simulated.x.
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
  EXPECT_WITHIN_4SE(bias, 0.0, "read frequency bias");
  EXPECT_WITHIN_4SE(ratio, 1.0, "read frequency variance ratio");
}
