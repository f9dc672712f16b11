// peltra2-convert's failures: malformed, truncated and unusable input, bad
// maps, order files, pool sizes and options. Each prints one line on
// standard output, exits with status 1 and leaves an earlier run's files as
// they were, with no scratch file behind.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tools/convert_support.h"

using convtest::convert;
using convtest::vcf_line;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const std::string GOOD = "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\n";

// A VCF of 4000 records over 20 samples (several compressed blocks once
// bgzipped), its map, and copies of it that are cut or compressed otherwise.
void write_inputs(const TempDir &dir) {
  std::vector<std::string> names;
  for (int s = 0; s < 20; ++s) names.push_back("s" + std::to_string(s));
  std::string v = convtest::vcf_header(names);
  for (int i = 1; i <= 4000; ++i) {
    std::vector<std::string> gts;
    for (int s = 0; s < 20; ++s) gts.push_back((i + s) % 3 ? "0/1" : "1|1");
    v += vcf_line("1", i, "A", "C", "GT", gts);
  }
  dir.write("large.vcf", v);
  dir.write("large.map", "s0\tA\ns1\tB\ns2\tA\ns3\tB\n");
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("large.vcf"), dir.file("large.bcf"), "wb"));
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("large.vcf"), dir.file("large.vcf.gz"), "wz"));
  ASSERT_EQ(testsupport::run_shell("gzip -c large.vcf > plain.vcf.gz", dir.path()).status, 0);
  for (auto cut : {std::make_pair("large.bcf", "half.bcf"), std::make_pair("large.vcf.gz", "half.vcf.gz"),
                   std::make_pair("plain.vcf.gz", "cut.vcf.gz")}) {
    std::string bytes = dir.read(cut.first);
    dir.write(cut.second, bytes.substr(0, bytes.size() / 2));
  }
  std::string bcf = dir.read("large.bcf");
  dir.write("noeof.bcf", bcf.substr(0, bcf.size() - 28));  // without the empty end-of-file block
  dir.write("bad.vcf", v + "1\t9999\t.\tA\n");
  dir.write("image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  dir.write("map", "s1\tA\ns2\tB\n");
  // Pooled reads: pools p1 and p2 are runs of population A's pool.
  dir.write("pmap", "p1\tA\np2\tA\np3\tB\n");
  dir.write("pool.vcf", convtest::vcf_header({"p1", "p2", "p3"}) +
                            vcf_line("1", 10, "A", "C", "AD", {"3,4", "1,0", "5,6"}));
  dir.write("neg.vcf", convtest::vcf_header({"p1", "p2", "p3"}) +
                           vcf_line("1", 7, "A", "C", "AD", {"1,1", "2,-3", "1,1"}));
}

}  // namespace

TEST(ConvertErrors, OneLineStatus1AndNoOutput) {
  TempDir dir;
  write_inputs(dir);
  const std::string H = convtest::vcf_header({"s1", "s2"}) + GOOD;
  // The file written first (name, content; none if the name is empty), the
  // arguments, and the message after "peltra2-convert: ", matched whole as
  // a regular expression if it starts with "~".
  struct Case {
    const char *file;
    std::string content;
    const char *args;
    std::string message;
  } cases[] = {
      // Malformed records name the line and quote it; a cut last line too.
      {"in.vcf", H + "1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1", "--vcf in.vcf --map map",
       "in.vcf: line 8: 10 columns where the header has 11: '1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1'"},
      {"in.vcf", H + "1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1\n", "--vcf in.vcf --map map",
       "in.vcf: line 8: 12 columns where the header has 11: '1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1'"},
      {"in.vcf", H + "1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1\n", "--vcf in.vcf --map map",
       "in.vcf: line 8: the genotype of sample s1 names allele 5 of a record with 2 alleles: "
       "'1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1'"},
      {"in.vcf", H + "1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\n", "--vcf in.vcf --map map",
       "in.vcf: line 8: POS must be a positive integer: '1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1'"},
      {"in.vcf", H + GOOD + "1\t14\t.\tA\tC\t.\t.\t.\tGT\tx\t1\n", "--vcf in.vcf --map map",
       "~in\\.vcf: line 9: htslib cannot parse the record \\(\\[E::[a-z_]+\\] [^\n]+\\): "
       "'1\t14\t\\.\tA\tC\t\\.\t\\.\t\\.\tGT\tx\t1'"},
      {"", "", "--vcf bad.vcf --map large.map", "~bad.vcf: line 4007: 4 columns where the header has 29: .*"},
      // Truncated and unusable input.
      {"", "", "--vcf half.bcf --map large.map", "half.bcf is truncated: its end-of-file marker is missing"},
      {"", "", "--vcf - < half.bcf --map large.map",
       "~standard input: record [0-9]+ \\(after 1:[0-9]+\\): cannot read the record: the file is "
       "truncated or corrupt \\(htslib's message is on standard error\\)"},
      {"", "", "--vcf - < noeof.bcf --map large.map",
       "standard input is truncated: it ends without its end-of-file marker (after record 4000)"},
      {"", "", "--vcf - < half.vcf.gz --map large.map",
       "~standard input: after line [0-9]+: cannot read on: the file is truncated or corrupt"},
      {"", "", "--vcf cut.vcf.gz --map large.map",
       "~cut.vcf.gz ends early: the compressed data break off in line [0-9]+, so the file is "
       "truncated \\(copy or download it again\\)"},
      {"", "", "--vcf image.png --map map",
       "image.png is not a VCF or BCF file (plain, gzipped or bgzipped)"},
      {"in.vcf", "hello\n", "--vcf in.vcf --map map",
       "in.vcf is not a VCF or BCF file (htslib sees: unknown text)"},
      {"in.vcf", "##fileformat=VCFv4.2\n1\t2\t.\tA\tC\t.\t.\t.\n", "--vcf in.vcf --map map",
       "in.vcf: cannot read the VCF header (htslib's message is on standard error)"},
      {"in.vcf", "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n1\t2\t.\tA\tC\t.\t.\t.\n",
       "--vcf in.vcf --map map", "in.vcf has no samples"},
      {"", "", "--vcf absent.vcf --map map", "cannot open absent.vcf: No such file or directory"},
      {"", "", "--vcf large.vcf --map large.map --min-copies 1000", "no SNP passed; no file written"},
      // Maps and order files.
      {"in.vcf", H, "--vcf in.vcf --map nomap",
       "cannot open the population map nomap: No such file or directory"},
      {"m", "s1\tA\ns2\n", "--vcf in.vcf --map m", "m: line 2: expected sample name, tab, population name"},
      {"m", "s1\tA\ns2\tB\ns1\tB\n", "--vcf in.vcf --map m",
       "m: line 3: sample 's1' is already in population 'A' (line 1)"},
      {"m", "s1\tA\ns2\tA\nx\tB\n", "--vcf in.vcf --map m", "population 'B' has no sample in the VCF in.vcf"},
      {"m", "# only a comment\n", "--vcf in.vcf --map m", "m: the map names no sample"},
      {"o", "B\nC\n", "--vcf in.vcf --map map --order o", "o: line 2: population 'C' is not in the map map"},
      {"o", "B\nA\nB\n", "--vcf in.vcf --map map --order o", "o: line 3: population 'B' is listed twice"},
      // Pool sizes and reads.
      {"", "", "--vcf pool.vcf --map pmap --pooled",
       "--pooled needs --pool-sizes (population name, tab, allele copies per line)"},
      {"s", "A\t40\n", "--vcf pool.vcf --map pmap --pooled --pool-sizes s",
       "s: no pool size for population 'B'"},
      {"s", "A\t40\nB\t1\n", "--vcf pool.vcf --map pmap --pooled --pool-sizes s",
       "s: line 2: field 2: expected a pool size from 2 to 1000000 allele copies, got '1'"},
      {"s", "A\t40\nB\n", "--vcf pool.vcf --map pmap --pooled --pool-sizes s",
       "s: line 2: expected population name, tab, allele copies in the pool"},
      {"s", "A\t40\nB\t9\nA\t41\n", "--vcf pool.vcf --map pmap --pooled --pool-sizes s",
       "s: line 3: population 'A' has two pool sizes"},
      {"s", "A\t40\nB\t9\n", "--vcf neg.vcf --map pmap --pooled --pool-sizes s",
       "neg.vcf: line 7: the AD field of sample p2 holds a negative count: "
       "'1\t7\t.\tA\tC\t.\t.\t.\tAD\t1,1\t2,-3\t1,1'"},
      // Options.
      {"", "", "--map m", "--vcf is required (a VCF or BCF file, or - for standard input)"},
      {"", "", "--vcf v", "--map is required (sample name, tab, population name per line)"},
      {"", "", "--vcf v --map m --min-maf 0.6", "--min-maf: expected a number from 0 to 0.5, got '0.6'"},
      {"", "", "--vcf v --map m --thin-every 0",
       "--thin-every: expected an integer from 1 to 1000000000, got '0'"},
      {"", "", "--vcf v --map m --seed x", "--seed: expected an integer from 0 to 18446744073709551615, got 'x'"},
      {"", "", "--vcf v --map m --pool-sizes p", "--pool-sizes needs --pooled"},
      {"", "", "--vcf v --map m --frob", "unknown option '--frob' (see --help)"},
      {"", "", "--vcf v --map m extra", "unexpected argument 'extra' (see --help)"},
      {"", "", "--vcf v --map m --vcf w", "option --vcf given twice"},
      {"", "", "--vcf v --map m --out", "option '--out' needs a value"},
  };
  ASSERT_EQ(convert("--vcf large.vcf --map large.map --out old", dir.path()).status, 0);
  const std::string counts = dir.read("old.counts"), snps = dir.read("old.snps");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args);
    if (c.file[0]) dir.write(c.file, c.content);
    RunResult r = convert(std::string("--out old ") + c.args, dir.path());
    EXPECT_EQ(r.status, 1);
    if (c.message[0] == '~')
      EXPECT_TRUE(std::regex_match(r.out, std::regex("peltra2-convert: " + c.message.substr(1) + "\n")))
          << r.out;
    else
      EXPECT_EQ(r.out, "peltra2-convert: " + c.message + "\n");
    EXPECT_EQ(dir.read("old.counts"), counts);
    EXPECT_EQ(dir.read("old.snps"), snps);
    EXPECT_EQ(testsupport::run_shell("ls | grep -c tmp", dir.path()).out, "0\n");
  }
  RunResult r = convert("--help", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: peltra2-convert --vcf FILE --map FILE [options]\n", 0), 0u);
}
