// peltra2-convert against a direct count: random genotypes (diploid and
// haploid samples, phased and unphased, missing alleles) mixed with
// multi-allelic sites, indels and monomorphic SNPs, read as text VCF, as
// bgzipped VCF and BCF written by htslib, and from standard input.
#include <gtest/gtest.h>

#include <random>
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

const int SAMPLES = 14;  // s0..s13; s13 is not in the map
const int RECORDS = 90;

// Population column of each sample (-1: unmapped), and its ploidy.
int column_of(int s) { return s < 4 ? 0 : s < 9 ? 1 : s < 13 ? 2 : -1; }
int ploidy_of(int s) { return s == 2 || s == 7 ? 1 : 2; }

struct Expected {
  std::string counts, table;
  long snps = 0, multiallelic = 0, not_snp = 0, monomorphic = 0;
};

// Writes the VCF and the map into `dir` and returns what the converter must
// write, counted here allele by allele.
Expected make_data(const TempDir &dir) {
  std::mt19937 gen(20240611);
  std::vector<std::string> names;
  for (int s = 0; s < SAMPLES; ++s) names.push_back("s" + std::to_string(s));
  std::string vcf = convtest::vcf_header(names);
  Expected e;
  for (int r = 1; r <= RECORDS; ++r) {
    bool multi = r % 7 == 0, indel = r % 11 == 0, fixed = r % 13 == 0;
    std::string chrom = r <= 50 ? "1" : "2";
    long pos = 1000 + 37 * r;
    long ref[3] = {0, 0, 0}, alt[3] = {0, 0, 0};
    unsigned percent_alt = gen() % 90 + 5;
    std::vector<std::string> gts;
    for (int s = 0; s < SAMPLES; ++s) {
      std::string gt;
      for (int a = 0; a < ploidy_of(s); ++a) {
        if (a) gt += gen() % 2 ? "|" : "/";
        if (gen() % 10 == 0) {
          gt += ".";
          continue;
        }
        int allele = !fixed && gen() % 100 < percent_alt ? 1 : 0;
        if (multi && allele && gen() % 3 == 0) allele = 2;
        gt += std::to_string(allele);
        if (column_of(s) >= 0) (allele ? alt : ref)[column_of(s)]++;
      }
      gts.push_back(gt);
    }
    vcf += convtest::vcf_line(chrom, pos, indel ? "AT" : "A", multi ? "C,G" : "C", "GT", gts);
    if (multi) {
      ++e.multiallelic;
    } else if (indel) {
      ++e.not_snp;
    } else if (ref[0] + ref[1] + ref[2] == 0 || alt[0] + alt[1] + alt[2] == 0) {
      ++e.monomorphic;
    } else {
      ++e.snps;
      e.counts += std::to_string(ref[0]) + "\t" + std::to_string(ref[1]) + "\t" +
                  std::to_string(ref[2]) + "\n" + std::to_string(alt[0]) + "\t" +
                  std::to_string(alt[1]) + "\t" + std::to_string(alt[2]) + "\n";
      e.table += std::to_string(e.snps) + "\t" + chrom + "\t" + std::to_string(pos) + "\t.\tA\tC";
      for (int c = 0; c < 3; ++c) e.table += "\t" + std::to_string(ref[c] + alt[c]);
      e.table += "\n";
    }
  }
  dir.write("in.vcf", vcf);
  std::string map;
  for (int s = 0; s < SAMPLES; ++s)
    if (column_of(s) >= 0) map += "s" + std::to_string(s) + "\tpop" + std::to_string(column_of(s)) + "\n";
  dir.write("pops.map", map + "ghost\tpop1\n");
  return e;
}

}  // namespace

TEST(ConvertCounts, EqualADirectCountInEveryInputForm) {
  TempDir dir;
  Expected e = make_data(dir);
  ASSERT_GT(e.monomorphic, 0);
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("in.vcf"), dir.file("in.bcf"), "wb"));
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("in.vcf"), dir.file("in.vcf.gz"), "wz"));

  const char *inputs[] = {"--vcf in.vcf", "--vcf in.bcf", "--vcf in.vcf.gz", "--vcf - < in.bcf",
                          "--vcf - < in.vcf"};
  for (const char *input : inputs) {
    SCOPED_TRACE(input);
    testsupport::RunResult r = convert(std::string(input) + " --map pops.map --out out", dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(dir.read("out.counts"), e.counts);
    EXPECT_EQ(dir.read("out.snps"),
              "snp\tchrom\tpos\tid\tref\talt\tcopies_pop0\tcopies_pop1\tcopies_pop2\n" + e.table);
    EXPECT_EQ(dir.read("out.names"), "pop0\npop1\npop2\n");
    EXPECT_EQ(summary_value(r.err, "records read"), RECORDS);
    EXPECT_EQ(summary_value(r.err, "SNPs written"), e.snps);
    EXPECT_EQ(summary_value(r.err, "multi-allelic"), e.multiallelic);
    EXPECT_EQ(summary_value(r.err, "not a SNP (indel, symbolic, no ALT)"), e.not_snp);
    EXPECT_EQ(summary_value(r.err, "monomorphic"), e.monomorphic);
    EXPECT_EQ(summary_value(r.err, "no genotyped copies"), 0);
    EXPECT_NE(r.err.find("peltra2-convert: 1 of the VCF's 14 samples is not in the map and is "
                         "ignored: s13\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("peltra2-convert: 1 sample of the map is not in the VCF: ghost\n"),
              std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(ConvertCounts, CopiesFileSummarisesTheWrittenSnps) {
  TempDir dir;
  Expected e = make_data(dir);
  ASSERT_EQ(convert("--vcf in.vcf --map pops.map --out out", dir.path()).status, 0);
  std::vector<std::string> rows = lines_of(dir.read("out.copies"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "column\tpopulation\tsamples\tcopies_min\tcopies_mean\tcopies_max");
  const int samples[3] = {4, 5, 4};
  const int most[3] = {7, 9, 8};  // copies when nothing is missing (one haploid in pops 0, 1)
  std::vector<std::string> table = lines_of(e.table);
  for (int c = 0; c < 3; ++c) {
    std::vector<std::string> f = fields_of(rows[c + 1]);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0], std::to_string(c + 1));
    EXPECT_EQ(f[1], "pop" + std::to_string(c));
    EXPECT_EQ(f[2], std::to_string(samples[c]));
    long lo = 1 << 30, hi = 0;
    double sum = 0;
    for (const std::string &row : table) {
      long n = std::stol(fields_of(row)[6 + c]);
      lo = std::min(lo, n);
      hi = std::max(hi, n);
      sum += n;
    }
    EXPECT_EQ(std::stol(f[3]), lo);
    EXPECT_NEAR(std::stod(f[4]), sum / table.size(), 0.005);
    EXPECT_EQ(std::stol(f[5]), hi);
    EXPECT_LE(hi, most[c]);
  }
}

TEST(ConvertCounts, OrderFileSetsAndSelectsTheColumns) {
  TempDir dir;
  make_data(dir);
  ASSERT_EQ(convert("--vcf in.vcf --map pops.map --out all", dir.path()).status, 0);
  dir.write("order", "pop2\n\n# comment\npop0\n");
  testsupport::RunResult r = convert("--vcf in.vcf --map pops.map --order order --out two", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("1 population of the map is not in the order file; its samples are "
                       "ignored: pop1"), std::string::npos) << r.err;
  EXPECT_EQ(dir.read("two.names"), "pop2\npop0\n");
  // Dropping pop1 can only make SNPs monomorphic, so compare per SNP by position.
  std::vector<std::string> all = lines_of(dir.read("all.snps")), two = lines_of(dir.read("two.snps"));
  std::vector<std::string> all_counts = lines_of(dir.read("all.counts"));
  std::vector<std::string> two_counts = lines_of(dir.read("two.counts"));
  size_t j = 1;
  for (size_t i = 1; i < all.size() && j < two.size(); ++i) {
    std::vector<std::string> a = fields_of(all[i]), b = fields_of(two[j]);
    if (a[2] != b[2]) continue;
    for (int line = 0; line < 2; ++line) {
      std::vector<std::string> ca = fields_of(all_counts[2 * (i - 1) + line]);
      std::vector<std::string> cb = fields_of(two_counts[2 * (j - 1) + line]);
      EXPECT_EQ(cb, (std::vector<std::string>{ca[2], ca[0]})) << "pos " << a[2];
    }
    ++j;
  }
  EXPECT_EQ(j, two.size());
}
