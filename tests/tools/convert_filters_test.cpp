// peltra2-convert's filters and thinning: exact boundaries of the minimum
// copies and minor allele frequency, every n-th SNP, and random subsets
// (size, file order, seed, and an even chance for every SNP).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tools/convert_support.h"
#include "tools/sim_support.h"

using convtest::convert;
using convtest::summary_value;
using simtest::fields_of;
using simtest::lines_of;
using testsupport::TempDir;

namespace {

// Two populations of two diploid samples each: 4 copies per population.
void write_filter_data(const TempDir &dir) {
  std::string v = convtest::vcf_header({"a1", "a2", "b1", "b2"});
  v += convtest::vcf_line("1", 1, "A", "C", "GT", {"0/0", "0/1", "0/0", "0/0"});  // MAF 1/8
  v += convtest::vcf_line("1", 2, "A", "C", "GT", {"0/1", "0/1", "0/0", "0/0"});  // MAF 2/8
  v += convtest::vcf_line("1", 3, "A", "C", "GT", {"./.", "./1", "0/0", "0/1"});  // 1 copy in A
  v += convtest::vcf_line("1", 4, "A", "C", "GT", {"1/1", "1|1", "1/1", "1/1"});  // all ALT
  v += convtest::vcf_line("1", 5, "A", "C", "GT", {"./.", "./.", "./.", "./."});  // nothing called
  v += convtest::vcf_line("1", 6, "A", "C", "GT", {"1/1", "0/1", "1/1", "1/1"});  // MAF 1/8, REF minor
  dir.write("in.vcf", v);
  dir.write("map", "a1\tA\na2\tA\nb1\tB\nb2\tB\n");
}

std::vector<std::string> positions(const std::string &snp_table) {
  std::vector<std::string> pos;
  std::vector<std::string> rows = lines_of(snp_table);
  for (size_t i = 1; i < rows.size(); ++i) pos.push_back(fields_of(rows[i])[2]);
  return pos;
}

// `n` polymorphic SNPs at positions 1..n, two populations.
void write_many(const TempDir &dir, int n) {
  std::string v = convtest::vcf_header({"a", "b"});
  for (int i = 1; i <= n; ++i) v += convtest::vcf_line("1", i, "G", "T", "GT", {"0/1", "1/1"});
  dir.write("many.vcf", v);
  dir.write("many.map", "a\tA\nb\tB\n");
}

}  // namespace

TEST(ConvertFilters, BoundariesAreInclusiveAndReasonsCountedOnce) {
  TempDir dir;
  write_filter_data(dir);
  testsupport::RunResult r = convert("--vcf in.vcf --map map --out f", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(positions(dir.read("f.snps")), (std::vector<std::string>{"1", "2", "3", "6"}));
  EXPECT_EQ(summary_value(r.err, "monomorphic"), 1);
  EXPECT_EQ(summary_value(r.err, "no genotyped copies"), 1);
  EXPECT_EQ(summary_value(r.err, "thinned"), -1);  // listed only when thinning is on
  EXPECT_EQ(dir.read("f.counts"), "3\t4\n1\t0\n2\t4\n2\t0\n0\t3\n1\t1\n1\t0\n3\t4\n");

  r = convert("--vcf in.vcf --map map --out f --min-maf 0.25 --min-copies 2", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(positions(dir.read("f.snps")), (std::vector<std::string>{"2"}));
  EXPECT_EQ(summary_value(r.err, "fewer than 2 copies in a population"), 1);
  EXPECT_EQ(summary_value(r.err, "minor allele frequency below 0.25"), 2);
  EXPECT_EQ(summary_value(r.err, "monomorphic"), 1);
  EXPECT_EQ(summary_value(r.err, "SNPs written"), 1);

  r = convert("--vcf in.vcf --map map --out f --min-maf 0.126 --min-copies 1", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(positions(dir.read("f.snps")), (std::vector<std::string>{"2", "3"}));
}

TEST(ConvertFilters, NothingLeftIsAnError) {
  TempDir dir;
  write_filter_data(dir);
  testsupport::RunResult r = convert("--vcf in.vcf --map map --out f --min-copies 5", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: no SNP passed; no file written\n");
  EXPECT_EQ(summary_value(r.err, "fewer than 5 copies in a population"), 5);
}

TEST(ConvertThinning, EveryNthKeepsTheFirstAndEachNthAfterIt) {
  TempDir dir;
  write_many(dir, 10);
  testsupport::RunResult r = convert("--vcf many.vcf --map many.map --thin-every 3", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(positions(dir.read("converted.snps")),
            (std::vector<std::string>{"1", "4", "7", "10"}));
  EXPECT_EQ(lines_of(dir.read("converted.snps"))[4].substr(0, 2), "4\t");  // renumbered
  EXPECT_EQ(summary_value(r.err, "thinned"), 6);
  EXPECT_EQ(summary_value(r.err, "SNPs written"), 4);
}

TEST(ConvertThinning, RandomSubsetHasItsSizeFileOrderAndFollowsTheSeed) {
  TempDir dir;
  write_many(dir, 40);
  auto pick = [&](const std::string &opts) {
    testsupport::RunResult r = convert("--vcf many.vcf --map many.map --out t " + opts, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    return positions(dir.read("t.snps"));
  };
  std::vector<std::string> a = pick("--thin-random 10 --seed 5");
  ASSERT_EQ(a.size(), 10u);
  for (size_t i = 1; i < a.size(); ++i) EXPECT_LT(std::stoi(a[i - 1]), std::stoi(a[i]));
  EXPECT_EQ(pick("--thin-random 10 --seed 5"), a);
  EXPECT_NE(pick("--thin-random 10 --seed 6"), a);
  EXPECT_EQ(pick("--thin-random 40").size(), 40u);
  EXPECT_EQ(pick("--thin-random 100000").size(), 40u);
}

TEST(ConvertThinning, RandomSubsetGivesEverySnpTheSameChance) {
  // 150 subsets of 2 out of 5: each SNP is expected 60 times. The chi-square
  // statistic over the 5 SNPs has 4 degrees of freedom; 18.47 is its 0.1%
  // upper quantile (fixed picks per subset make the spread only smaller).
  // An unbiased choice fails about once in a thousand seed sets, and this
  // fixed set passes; a reservoir that draws its slot one short (the usual
  // slip) scores above 20 on almost every seed set.
  TempDir dir;
  write_many(dir, 5);
  testsupport::RunResult r = testsupport::run_shell(
      "for s in $(seq 1 150); do '" + convtest::converter() +
          "' --vcf many.vcf --map many.map --out t$s --thin-random 2 --seed $s 2>/dev/null || exit 1; done",
      dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  std::vector<int> chosen(6, 0);
  for (int seed = 1; seed <= 150; ++seed) {
    std::vector<std::string> picked = positions(dir.read("t" + std::to_string(seed) + ".snps"));
    ASSERT_EQ(picked.size(), 2u);
    for (const std::string &p : picked) ++chosen[std::stoi(p)];
  }
  double chi2 = 0;
  for (int i = 1; i <= 5; ++i) chi2 += (chosen[i] - 60.0) * (chosen[i] - 60.0) / 60.0;
  EXPECT_LT(chi2, 18.47);
}

TEST(ConvertThinning, LimitAndExclusiveOptions) {
  TempDir dir;
  write_many(dir, 3);
  testsupport::RunResult r = convert("--vcf many.vcf --map many.map --thin-random 100001", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: --thin-random: expected an integer from 1 to 100000, got "
                   "'100001'\n");
  r = convert("--vcf many.vcf --map many.map --thin-random 2 --thin-every 2", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: --thin-every and --thin-random exclude each other\n");
}
