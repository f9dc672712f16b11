// Test mode end to end: what is sampled and when, the frequency file,
// "standardized.env", and the statistics of the result lines checked
// against the per-sample output they are made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

const int K = 4;

void write_inputs(const TempDir &d, const char *matrix = e2e::kMatrix) {
  d.write("snp.txt", e2e::kOneLocus);
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", matrix);
}

std::string test_run(const std::string &extra) {
  return "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -r 5 " + extra;
}

// Fractional ranks, ties sharing their mean rank.
std::vector<double> ranks(const std::vector<double> &v) {
  std::vector<double> r(v.size());
  for (size_t i = 0; i < v.size(); i++) {
    double below = 0, equal = 0;
    for (double w : v) {
      if (w < v[i]) below++;
      if (w == v[i]) equal++;
    }
    r[i] = below + (equal + 1) / 2;
  }
  return r;
}

double pearson(const std::vector<double> &x, const std::vector<double> &y) {
  double mx = 0, my = 0;
  for (size_t i = 0; i < x.size(); i++) mx += x[i] / x.size(), my += y[i] / y.size();
  double sxy = 0, sxx = 0, syy = 0;
  for (size_t i = 0; i < x.size(); i++) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

// -k 6000 samples iterations 5001 and 5501: two frequency lines, and XtX is
// the mean of their squared norms.
TEST(TestMode, SixThousandIterationsSampleTwice) {
  TempDir d;
  write_inputs(d);
  auto r = run_peltra2(test_run("-k 6000 -f -X"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto freqs = e2e::lines(d.read("snp.txt.freqs"));
  ASSERT_EQ(freqs.size(), 2u);
  const std::regex freq_line("(-?\\d\\.\\d{4}e[+-]\\d\\d \\t){4}");
  double xtx = 0;
  for (const auto &line : freqs) {
    EXPECT_TRUE(std::regex_match(line, freq_line)) << line;
    for (double x : e2e::numbers(line)) xtx += x * x / 2;
  }
  auto xtx_lines = e2e::lines(d.read("XtX_out.env.txt"));
  ASSERT_EQ(xtx_lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(xtx_lines[0], std::regex("snp\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d")))
      << xtx_lines[0];
  // Five significant digits in every printed value: 1e-3 relative is ample.
  EXPECT_NEAR(e2e::numbers(xtx_lines[0])[1], xtx, 1e-3 * xtx);
  // The run itself prints nothing after start-up.
  const std::string last = "number of loci = 1\n";
  EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
}

// Samples are the iterations 5001, 5501, ...: 5500 iterations hold one,
// 5501 two.
TEST(TestMode, SamplesStartAtIteration5001) {
  for (int iter : {5500, 5501}) {
    TempDir d;
    write_inputs(d);
    auto r = run_peltra2(test_run("-f -k " + std::to_string(iter)), d.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(e2e::lines(d.read("snp.txt.freqs")).size(), iter == 5500 ? 1u : 2u) << iter;
  }
}

// A variable that is zero everywhere has importance weight 1 at every grid
// point of every sample: its Bayes factor is exactly 1.
TEST(TestMode, ZeroVariableHasBayesFactorOne) {
  TempDir d;
  write_inputs(d);
  d.write("env.txt", "-1.2\t0.3\t0.8\t0.1\n0\t0\t0\t0\n");
  auto r = run_peltra2(test_run("-k 7000"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto f = e2e::fields(e2e::lines(d.read("bf_environ.env.txt"))[0]);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[2], "1.0000e+00");
  EXPECT_NE(f[1], "1.0000e+00");
}

TEST(TestMode, StandardizedEnvironmentWithIdentityIsTheEnvironment) {
  TempDir d;
  write_inputs(d, e2e::kIdentity);
  auto r = run_peltra2(test_run("-k 5001 -c"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(d.read("standardized.env"),
            "-1.2000e+00\t3.0000e-01\t8.0000e-01\t1.0000e-01\t\n"
            "5.0000e-01\t-7.0000e-01\t1.1000e+00\t-9.0000e-01\t\n");
}

TEST(TestMode, StandardizedEnvironmentIsDecorrelated) {
  // Sigma = diag(4, 1, 1, 0.25): L^-1 e divides by 2, 1, 1, 0.5.
  TempDir d;
  write_inputs(d, "4\t9\t9\t9\n0\t1\t9\t9\n0\t0\t1\t9\n0\t0\t0\t0.25\n");
  auto r = run_peltra2(test_run("-k 5001 -c"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(d.read("standardized.env"),
            "-6.0000e-01\t3.0000e-01\t8.0000e-01\t2.0000e-01\t\n"
            "2.5000e-01\t-7.0000e-01\t1.1000e+00\t-1.8000e+00\t\n");
}

// The correlation fields of the Bayes-factor line are means over the
// samples; recompute them from the frequency lines and standardized.env.
TEST(TestMode, BayesFactorLineCorrelationsAreSampleMeans) {
  TempDir d;
  write_inputs(d);
  auto r = run_peltra2(test_run("-k 6000 -c -f"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto env = e2e::lines(d.read("standardized.env"));
  auto freqs = e2e::lines(d.read("snp.txt.freqs"));
  ASSERT_EQ(env.size(), 2u);
  ASSERT_EQ(freqs.size(), 2u);
  auto bf = e2e::lines(d.read("bf_environ.env.txt"));
  ASSERT_EQ(bf.size(), 1u);
  // Name, then BF, mean Spearman, mean Pearson for each of two variables.
  EXPECT_TRUE(std::regex_match(bf[0] + "\n",
                               std::regex("snp\\.txt(\\t-?\\d\\.\\d{4}e[+-]\\d\\d){6}\\t\\n")))
      << bf[0];
  auto f = e2e::numbers(bf[0]);
  for (int i = 0; i < 2; i++) {
    auto e = e2e::numbers(env[i]);
    double spearman = 0, pearson_sum = 0;
    for (const auto &line : freqs) {
      auto x = e2e::numbers(line);
      spearman += pearson(ranks(x), ranks(e)) / 2;
      pearson_sum += pearson(x, e) / 2;
    }
    EXPECT_GT(f[1 + 3 * i], 0) << "Bayes factor of variable " << i + 1;
    EXPECT_NEAR(f[2 + 3 * i], spearman, 1e-4);
    EXPECT_NEAR(f[3 + 3 * i], pearson_sum, 2e-3);
  }
}

// The Z line carries the Spearman sum over the samples, undivided.
TEST(TestMode, ZLineCarriesUndividedSpearmanSum) {
  TempDir d;
  write_inputs(d);
  auto r = run_peltra2(test_run("-k 6000 -z -c -f"), d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto z = e2e::lines(d.read("environ_corr.env.txt"));
  ASSERT_EQ(z.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      z[0], std::regex("snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t-?\\d\\.\\d{5}e[+-]\\d\\d\\t")))
      << z[0];
  auto f = e2e::numbers(z[0]);
  // Z = |0.5 - share above 0 - share at 0| lies in [0, 0.5].
  EXPECT_GE(f[1], 0);
  EXPECT_LE(f[1], 0.5);
  auto e = e2e::numbers(e2e::lines(d.read("standardized.env"))[0]);
  double sum = 0;
  for (const auto &line : e2e::lines(d.read("snp.txt.freqs")))
    sum += pearson(ranks(e2e::numbers(line)), ranks(e));
  EXPECT_NEAR(f[2], sum, 1e-4);
}

TEST(TestMode, SameSeedGivesIdenticalResults) {
  TempDir d;
  write_inputs(d);
  std::string args = test_run("-k 7000 -c -f -X -o a");
  ASSERT_EQ(run_peltra2(args, d.path()).status, 0);
  std::string freqs = d.read("snp.txt.freqs");
  ASSERT_EQ(run_peltra2(test_run("-k 7000 -c -f -X -o b"), d.path()).status, 0);
  EXPECT_EQ(d.read("a.bf"), d.read("b.bf"));
  EXPECT_EQ(d.read("a.xtx"), d.read("b.xtx"));
  EXPECT_EQ(freqs, d.read("snp.txt.freqs"));
  ASSERT_EQ(run_peltra2(test_run("-k 7000 -c -f -X -o c -r 6"), d.path()).status, 0);
  EXPECT_NE(d.read("a.bf").substr(8), d.read("c.bf").substr(8));

  ASSERT_EQ(run_peltra2(test_run("-k 7000 -z -o a"), d.path()).status, 0);
  ASSERT_EQ(run_peltra2(test_run("-k 7000 -z -o b"), d.path()).status, 0);
  EXPECT_EQ(d.read("a.cor"), d.read("b.cor"));
}

}  // namespace
