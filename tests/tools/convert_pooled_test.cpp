// peltra2-convert in pooled mode: reads from AD added per population, pool
// sizes per population, and the failures of both. (Its files have the
// layouts of the simulator's, which peltra2 is shown to read.)
#include <gtest/gtest.h>

#include <string>

#include "tools/convert_support.h"

using convtest::convert;
using convtest::summary_value;
using convtest::vcf_line;
using testsupport::TempDir;

namespace {

// Pools p1 and p2 are runs of population A's pool, p3 is population B's.
void write_pooled(const TempDir &dir) {
  std::string v = convtest::vcf_header({"p1", "p2", "p3"});
  v += vcf_line("1", 10, "A", "C", "GT:AD", {"0/1:3,4", "0/0:1,0", "0/1:5,6"});
  v += vcf_line("1", 20, "T", "G", "AD", {".", "2,2", "0,7"});
  v += vcf_line("1", 30, "A", "C", "AD", {".", ".", "."});
  v += vcf_line("1", 40, "A", "C,G", "AD", {"1,2,3", "1,1,1", "4,0,1"});
  v += vcf_line("2", 50, "C", "A", "AD", {"10,0", "5,0", "8,0"});
  v += vcf_line("2", 60, "C", "A", "GT", {"0/1", "0/1", "1/1"});
  dir.write("pool.vcf", v);
  dir.write("neg.vcf", convtest::vcf_header({"p1", "p2", "p3"}) +
                           vcf_line("1", 7, "A", "C", "AD", {"1,1", "2,-3", "1,1"}));
  dir.write("map", "p1\tA\np2\tA\np3\tB\n");
  dir.write("sizes", "B\t20\nA\t40\n");
}

}  // namespace

TEST(ConvertPooled, ReadsFromADAddedPerPopulationWithTheSampleSizeFile) {
  TempDir dir;
  write_pooled(dir);
  testsupport::RunResult r =
      convert("--vcf pool.vcf --map map --pooled --pool-sizes sizes --out pool", dir.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(dir.read("pool.counts"), "4\t5\n4\t6\n2\t0\n2\t7\n");
  EXPECT_EQ(dir.read("pool.samplesize"), "40\t20\n");
  EXPECT_EQ(dir.read("pool.snps"),
            "snp\tchrom\tpos\tid\tref\talt\treads_A\treads_B\n"
            "1\t1\t10\t.\tA\tC\t8\t11\n"
            "2\t1\t20\t.\tT\tG\t4\t7\n");
  EXPECT_EQ(dir.read("pool.copies"),
            "column\tpopulation\tsamples\treads_min\treads_mean\treads_max\tpool_size\n"
            "1\tA\t2\t4\t6.00\t8\t40\n"
            "2\tB\t1\t7\t9.00\t11\t20\n");
  EXPECT_EQ(summary_value(r.err, "no reads"), 2);
  EXPECT_EQ(summary_value(r.err, "multi-allelic"), 1);
  EXPECT_EQ(summary_value(r.err, "monomorphic"), 1);
}

TEST(ConvertPooled, BadPoolSizesAndADFail) {
  TempDir dir;
  write_pooled(dir);
  struct Case {
    const char *sizes, *vcf, *message;  // sizes == nullptr: no --pool-sizes
  };
  const Case cases[] = {
      {"A\t40\n", "pool.vcf", "bad: no pool size for population 'B'"},
      {"A\t40\nB\t1\n", "pool.vcf",
       "bad: line 2: field 2: expected a pool size from 2 to 1000000 allele copies, got '1'"},
      {"A\t40\nB\n", "pool.vcf",
       "bad: line 2: expected population name, tab, allele copies in the pool"},
      {"A\t40\nC\t9\nB\t9\n", "pool.vcf", "bad: line 2: population 'C' is not in the map map"},
      {"A\t40\nB\t9\nA\t41\n", "pool.vcf", "bad: line 3: population 'A' has two pool sizes"},
      {"A\t40\nB\t9\n", "neg.vcf",
       "neg.vcf: line 7: the AD field of sample p2 holds a negative count: '1\t7\t.\tA\tC\t.\t.\t.\t"
       "AD\t1,1\t2,-3\t1,1'"},
      {nullptr, "pool.vcf",
       "--pooled needs --pool-sizes (population name, tab, allele copies per line)"},
  };
  for (const Case &c : cases) {
    if (c.sizes) dir.write("bad", c.sizes);
    testsupport::RunResult r = convert(std::string("--vcf ") + c.vcf + " --map map --pooled" +
                                           (c.sizes ? " --pool-sizes bad" : ""), dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "peltra2-convert: " + std::string(c.message) + "\n");
  }
}
