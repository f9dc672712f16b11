// peltra2-simulate's files beyond those of the bundled example: copies per
// population, the group matrix, pooled reads that peltra2 reads, the loci
// that carry an effect, and the one-locus files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/convert_support.h"

using convtest::read_table;
using convtest::simulate;
using convtest::split;
using testsupport::TempDir;

// The counts hold each population's copies and no monomorphic locus; two
// groups (populations 1-2 and 3) share a drift of 0.1 over a private one of
// 0.02; peltra2 reads pooled reads with their pool sizes.
TEST(SimulateFormat, CopiesGroupsAndPooledReads) {
  TempDir dir;
  ASSERT_EQ(simulate("--pops 3 --loci 100 --copies 6,20,1 --groups 2 --seed 5 --out s", dir.path()).status, 0);
  ASSERT_EQ(simulate("--pops 3 --loci 40 --pooled --pool-size 20 --max-coverage 30 --seed 5 --out p",
                     dir.path()).status, 0);
  EXPECT_EQ(dir.read("s.matrix"), "0.12\t0.1\t0\n0.1\t0.12\t0\n0\t0\t0.12\n");
  std::vector<std::vector<double>> c = read_table(dir.file("s.counts"));
  ASSERT_EQ(c.size(), 200u);
  for (size_t l = 0; l < c.size(); l += 2) {
    EXPECT_TRUE(c[l][0] + c[l + 1][0] == 6 && c[l][1] + c[l + 1][1] == 20 && c[l][2] + c[l + 1][2] == 1) << l;
    EXPECT_TRUE(c[l][0] + c[l][1] + c[l][2] > 0 && c[l][0] + c[l][1] + c[l][2] < 27) << l / 2 + 1;
  }
  auto r = testsupport::run_peltra2("-x -s p.samplesize -i p.counts -p 3 -k 500 -r 3", dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("number of loci = 40\n"), std::string::npos) << r.out;
}

// Exactly round(0.236 * 100) = 24 loci, in ascending order, carry beta in
// the truth file (and --beta implies --env 1). Each part of a simulation has its own random stream, so
// the matrix and the loci before the first marked one are those of a run
// without the effect. The one-locus files repeat the SNPs under names that
// sort in SNP order.
TEST(SimulateFormat, EffectLociTruthAndOneLocusFiles) {
  TempDir dir, plain;
  ASSERT_EQ(simulate("--pops 4 --loci 100 --beta -0.07 --effect-fraction 0.236 --effect-loci 3 "
                     "--truth --one-locus one --seed 99", dir.path()).status, 0);
  ASSERT_EQ(simulate("--pops 4 --loci 100 --seed 99", plain.path()).status, 0);
  EXPECT_EQ(dir.read("simulated.matrix"), plain.read("simulated.matrix"));
  EXPECT_EQ(read_table(dir.file("simulated.env")).size(), 1u);
  std::vector<std::string> listed = split(dir.read("simulated.effect_loci"));
  ASSERT_EQ(listed.size(), 24u);
  std::vector<char> marked(101, 0);
  for (size_t i = 0; i < listed.size(); ++i) {
    int l = std::stoi(listed[i]);
    ASSERT_TRUE(l >= 1 && l <= 100 && (i == 0 || l > std::stoi(listed[i - 1]))) << l;
    marked[l] = 1;
  }
  std::vector<std::vector<double>> truth = read_table(dir.file("simulated.truth"));
  std::vector<std::string> with = split(dir.read("simulated.counts")), without = split(plain.read("simulated.counts"));
  std::vector<std::string> effect = split(dir.read("simulated.effect.counts"));
  ASSERT_TRUE(truth.size() == 100u && effect.size() == 6u);
  for (int l = 1; l <= 100; ++l) {
    EXPECT_EQ(truth[l - 1][1], marked[l] ? -0.07 : 0.0) << "locus " << l;
    EXPECT_TRUE(truth[l - 1][0] >= 0.05 && truth[l - 1][0] <= 0.95) << l;  // the default --anc-range
    std::string snp = with[2 * l - 2] + "\n" + with[2 * l - 1] + "\n";
    EXPECT_EQ(dir.read("one/snp_" + std::to_string(1000 + l).substr(1) + ".counts"), snp) << l;
    EXPECT_TRUE(l >= std::stoi(listed[0]) || snp == without[2 * l - 2] + "\n" + without[2 * l - 1] + "\n") << l;
    EXPECT_TRUE(l > 3 || dir.read("one/effect_" + std::to_string(l) + ".counts") ==
                             effect[2 * l - 2] + "\n" + effect[2 * l - 1] + "\n") << l;
  }
}
