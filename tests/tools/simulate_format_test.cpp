// peltra2-simulate's files: the layouts peltra2 reads, the reproducibility
// of a seed, and the independence of the optional outputs from the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tools/sim_support.h"

using simtest::lines_of;
using simtest::simulate;
using testsupport::TempDir;

namespace {

// Every line holds exactly `n` fields matching `field`, joined by single
// tabs, with nothing after the last one; the text ends with a line feed.
void expect_fields(const std::string &text, size_t n, const std::string &field) {
  const std::string f = "(" + field + ")";
  std::regex line(f + "(\t" + f + "){" + std::to_string(n - 1) + "}");
  ASSERT_EQ(text.back(), '\n');
  for (const std::string &l : lines_of(text)) ASSERT_TRUE(std::regex_match(l, line)) << l;
}

}  // namespace

TEST(SimulateFormat, CountMatrixAndEnvironmentLayouts) {
  TempDir dir;
  auto r =
      simulate("--pops 5 --loci 400 --copies 6,20,40,1,9 --groups 2 --env 3 --seed 11", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  const int copies[] = {6, 20, 40, 1, 9};
  std::string counts = dir.read("simulated.counts");
  EXPECT_EQ(lines_of(counts).size(), 800u);
  expect_fields(counts, 5, "0|[1-9][0-9]*");
  for (const auto &l : simtest::read_counts(dir.file("simulated.counts"))) {
    int first = 0, all = 0;
    for (int k = 0; k < 5; ++k) {
      ASSERT_EQ(l.first[k] + l.second[k], copies[k]);
      first += l.first[k];
      all += copies[k];
    }
    ASSERT_TRUE(first > 0 && first < all) << "monomorphic locus";
  }
  // Two groups of 5: populations 1-3 and 4-5, shared drift 0.1, private 0.02.
  EXPECT_EQ(dir.read("simulated.matrix"),
            "0.12\t0.1\t0.1\t0\t0\n0.1\t0.12\t0.1\t0\t0\n0.1\t0.1\t0.12\t0\t0\n"
            "0\t0\t0\t0.12\t0.1\n0\t0\t0\t0.1\t0.12\n");
  std::string env = dir.read("simulated.env");
  EXPECT_EQ(lines_of(env).size(), 3u);
  expect_fields(env, 5, "-?[0-9]+\\.[0-9]{6}");
  for (const auto &row : simtest::read_table(dir.file("simulated.env"))) {
    double mean = 0, ss = 0;
    for (double v : row) mean += v / 5;
    for (double v : row) ss += (v - mean) * (v - mean) / 5;
    EXPECT_NEAR(mean, 0.0, 1e-5);  // values are rounded to 6 decimals
    EXPECT_NEAR(ss, 1.0, 1e-5);
  }
  EXPECT_FALSE(dir.exists("simulated.truth") || dir.exists("simulated.samplesize"));
}

TEST(SimulateFormat, PooledReadsAndSampleSizeFile) {
  TempDir dir;
  ASSERT_EQ(simulate("--pops 3 --loci 300 --pooled --pool-size 10,20,30 --min-coverage 5 "
                     "--max-coverage 12 --seed 4 --out pool",
                     dir.path())
                .status,
            0);
  EXPECT_EQ(dir.read("pool.samplesize"), "10\t20\t30\n");
  std::vector<int> seen(13, 0);
  for (const auto &l : simtest::read_counts(dir.file("pool.counts"))) {
    int reads = 0, coverage = 0;
    for (int k = 0; k < 3; ++k) {
      int t = l.first[k] + l.second[k];
      ASSERT_TRUE(l.first[k] >= 0 && l.second[k] >= 0 && t >= 5 && t <= 12) << t;
      seen[t]++;
      reads += l.first[k];
      coverage += t;
    }
    ASSERT_TRUE(reads > 0 && reads < coverage) << "monomorphic locus";
  }
  for (int t = 5; t <= 12; ++t) EXPECT_GT(seen[t], 50) << "coverage " << t << " nearly never drawn";
}

// The same seed gives the same files; each part of a simulation has its own
// random stream, so optional outputs do not change the count file; the
// one-locus files repeat its SNPs under names that sort in SNP order.
TEST(SimulateFormat, SeedFixesEveryFileAndOptionsLeaveTheCountsAlone) {
  TempDir a, b, c, plain;
  const std::string args =
      "--pops 4 --loci 12 --env 2 --beta 0.05 --effect-fraction 0.2 "
      "--effect-loci 3 --truth --one-locus one";
  ASSERT_EQ(simulate(args + " --seed 99", a.path()).status, 0);
  ASSERT_EQ(simulate(args + " --seed 99", b.path()).status, 0);
  ASSERT_EQ(simulate(args + " --seed 100", c.path()).status, 0);
  ASSERT_EQ(simulate("--pops 4 --loci 12 --seed 99", plain.path()).status, 0);
  std::vector<std::string> files{"simulated.counts",      "simulated.matrix",
                                 "simulated.env",         "simulated.truth",
                                 "simulated.effect_loci", "simulated.effect.counts",
                                 "simulated.effect.truth"};
  for (int i = 1; i <= 12; ++i)
    files.push_back((i < 10 ? "one/snp_0" : "one/snp_") + std::to_string(i) + ".counts");
  for (int i = 1; i <= 3; ++i) files.push_back("one/effect_" + std::to_string(i) + ".counts");
  for (const std::string &f : files) {
    ASSERT_TRUE(a.exists(f)) << f;
    EXPECT_EQ(a.read(f), b.read(f)) << f;
  }
  EXPECT_FALSE(a.exists("one/snp_1.counts"));
  for (const char *f : {"simulated.counts", "simulated.matrix", "simulated.env"})
    EXPECT_NE(a.read(f), c.read(f)) << f;
  EXPECT_EQ(a.read("simulated.matrix"), plain.read("simulated.matrix"));

  // Loci outside the effect list are the plain run's loci, and every
  // one-locus file holds its SNP's two lines.
  std::vector<std::string> effect = lines_of(a.read("simulated.effect_loci"));
  std::vector<std::string> with = lines_of(a.read("simulated.counts"));
  std::vector<std::string> without = lines_of(plain.read("simulated.counts"));
  for (int i = 1; i <= 12; ++i) {
    std::string snp = with[2 * i - 2] + "\n" + with[2 * i - 1] + "\n";
    EXPECT_EQ(a.read(files[6 + i]), snp);
    bool marked = std::find(effect.begin(), effect.end(), std::to_string(i)) != effect.end();
    if (!marked) {
      EXPECT_EQ(snp, without[2 * i - 2] + "\n" + without[2 * i - 1] + "\n") << i;
    }
  }
}

TEST(SimulateFormat, TruthLinesAgreeWithTheEffectList) {
  TempDir dir;
  ASSERT_EQ(simulate("--pops 3 --loci 1000 --seed 21 --beta -0.07 --effect-fraction 0.25 --truth",
                     dir.path())
                .status,
            0);
  std::vector<std::string> listed = lines_of(dir.read("simulated.effect_loci"));
  ASSERT_EQ(listed.size(), 250u);  // exactly round(0.25 * 1000)
  std::vector<char> marked(1001, 0);
  long previous = 0;
  for (const std::string &s : listed) {
    long l = std::stol(s);
    ASSERT_TRUE(l > previous && l <= 1000) << l;  // ascending, hence unique
    marked[l] = 1;
    previous = l;
  }
  std::vector<std::vector<double>> truth = simtest::read_table(dir.file("simulated.truth"));
  ASSERT_EQ(truth.size(), 1000u);
  for (size_t l = 0; l < truth.size(); ++l) {
    ASSERT_EQ(truth[l].size(), 5u);
    EXPECT_EQ(truth[l][1], marked[l + 1] ? -0.07 : 0.0) << "locus " << l + 1;
    EXPECT_TRUE(truth[l][0] >= 0.05 && truth[l][0] <= 0.95);
    for (int k = 2; k < 5; ++k) EXPECT_TRUE(truth[l][k] >= 0 && truth[l][k] <= 1);
  }
  EXPECT_EQ(simtest::read_table(dir.file("simulated.env")).size(), 1u);  // --beta implies --env 1
}
