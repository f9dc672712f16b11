// Test mode on simulated data: SNPs with an environmental effect stand out
// from null SNPs, and null SNPs have XtX near the number of populations.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::run_shell;
using testsupport::TempDir;

namespace {

const int K = 6;

// Second field of every line of a result file, by count file name.
std::map<std::string, double> results(const std::string &text) {
  std::map<std::string, double> out;
  for (const auto &line : e2e::lines(text)) {
    auto f = e2e::fields(line);
    out[f[0]] = strtod(f[1].c_str(), nullptr);
  }
  return out;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[(size_t)(q * (v.size() - 1))];
}

TEST(StatisticalSense, EffectSnpsStandOutAndNullXtXIsNearK) {
  TempDir d;
  // 30 null SNPs and 10 with beta = 0.2 on a variable of variance 1, each
  // in a one-locus file, under a random population tree.
  std::string sim = std::string("'") + PELTRA_TOOLS_DIR +
                    "/peltra2-simulate' --pops 6 --loci 30 --seed 11 --beta 0.2 "
                    "--effect-loci 10 --out sim --one-locus one";
  auto s = run_shell(sim, d.path());
  ASSERT_EQ(s.status, 0) << s.out << s.err;

  std::vector<std::string> files;
  DIR *dir = opendir(d.file("one").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent *e = readdir(dir))
    if (e->d_name[0] != '.') files.push_back(std::string("one/") + e->d_name);
  closedir(dir);
  ASSERT_EQ(files.size(), 40u);

  for (const auto &f : files) {
    std::string common = "-t -i " + f + " -e sim.env -m sim.matrix -n 1 -p 6 -k 10000 -r 3 ";
    ASSERT_EQ(run_peltra2(common + "-X", d.path()).status, 0) << f;
    ASSERT_EQ(run_peltra2(common + "-z -o z", d.path()).status, 0) << f;
  }
  auto bf = results(d.read("bf_environ.sim.env"));
  auto z = results(d.read("z.cor"));
  auto xtx = results(d.read("XtX_out.sim.env"));
  ASSERT_EQ(bf.size(), 40u);
  ASSERT_EQ(z.size(), 40u);

  std::vector<double> bf_null, bf_effect, z_null, z_effect, xtx_null, xtx_effect;
  for (const auto &f : files) {
    bool effect = f.find("effect_") != std::string::npos;
    (effect ? bf_effect : bf_null).push_back(bf[f]);
    (effect ? z_effect : z_null).push_back(z[f]);
    (effect ? xtx_effect : xtx_null).push_back(xtx[f]);
  }
  ASSERT_EQ(bf_effect.size(), 10u);

  // Bayes factors: the typical effect SNP beats 90% of the null SNPs.
  // Observed with these seeds: effect median about 270, null 90% point 0.82.
  EXPECT_GT(median(bf_effect), quantile(bf_null, 0.9));
  EXPECT_GT(median(bf_effect), 10 * median(bf_null));
  // Z lies in [0, 0.5]; an effect puts the correlation chain firmly on one
  // side (observed median 0.5 against 0.21 for null SNPs).
  EXPECT_GT(median(z_effect), median(z_null) + 0.15);
  // Under the null X is close to K independent standard normals, so XtX
  // averages about K. With 30 SNPs of variance near 2K = 12 the standard
  // error of the mean is about 0.6: accept K +- 2 (observed about 5.9).
  double mean_null = 0;
  for (double v : xtx_null) mean_null += v / xtx_null.size();
  EXPECT_NEAR(mean_null, K, 2.0);
  // An effect differentiates the populations beyond Sigma.
  EXPECT_GT(median(xtx_effect), median(xtx_null));
}

}  // namespace
