// peltra2-convert's failures: malformed and truncated VCF/BCF input, bad
// maps and order files, and bad options. Each prints one line on standard
// output and exits with status 1.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tools/convert_support.h"

using convtest::convert;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const std::string GOOD = "1\t5\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\n";

void write_map(const TempDir &dir) { dir.write("map", "s1\tA\ns2\tB\n"); }

// A BCF (or bgzipped VCF) of 4000 records over several compressed blocks.
void write_large(const TempDir &dir, const char *name, const char *mode) {
  std::vector<std::string> names;
  for (int s = 0; s < 20; ++s) names.push_back("s" + std::to_string(s));
  std::string v = convtest::vcf_header(names);
  for (int i = 1; i <= 4000; ++i) {
    std::vector<std::string> gts;
    for (int s = 0; s < 20; ++s) gts.push_back((i + s) % 3 ? "0/1" : "1|1");
    v += convtest::vcf_line("1", i, "A", "C", "GT", gts);
  }
  dir.write("large.vcf", v);
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("large.vcf"), dir.file(name), mode));
  dir.write("large.map", "s0\tA\ns1\tB\ns2\tA\ns3\tB\n");
}

void cut(const TempDir &dir, const std::string &from, const std::string &to, long drop_end) {
  std::string bytes = dir.read(from);
  dir.write(to, bytes.substr(0, drop_end < 0 ? bytes.size() / 2 : bytes.size() - drop_end));
}

}  // namespace

TEST(ConvertErrors, MalformedTextRecordNamesTheLineAndQuotesIt) {
  struct Case {
    std::string body, message;
  };
  const Case cases[] = {
      {"1\t14\t.\tA\n", "line 8: 4 columns where the header has 11: '1\t14\t.\tA'"},
      {"1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1", "line 8: 10 columns where the header has 11: "
                                          "'1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1'"},
      {"1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1\n", "line 8: 12 columns where the header has 11: "
                                                  "'1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1'"},
      {"1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1\n", "line 8: the genotype of sample s1 names allele 5 "
                                               "of a record with 2 alleles: "
                                               "'1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1'"},
      {"1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\n", "line 8: POS must be a positive integer: "
                                                 "'1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1'"},
  };
  TempDir dir;
  write_map(dir);
  for (const Case &c : cases) {
    bool last = c.body.back() != '\n';  // a cut last line
    dir.write("in.vcf", convtest::vcf_header({"s1", "s2"}) + GOOD + c.body + (last ? "" : GOOD));
    RunResult r = convert("--vcf in.vcf --map map", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "peltra2-convert: in.vcf: " + c.message + "\n");
  }
}

TEST(ConvertErrors, RecordHtslibRejectsCarriesItsMessage) {
  TempDir dir;
  write_map(dir);
  dir.write("in.vcf", convtest::vcf_header({"s1", "s2"}) + GOOD + GOOD +
                          "1\t14\t.\tA\tC\t.\t.\t.\tGT\tx\t1\n");
  RunResult r = convert("--vcf in.vcf --map map", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("peltra2-convert: in\\.vcf: line 9: htslib cannot "
                                                 "parse the record \\(\\[E::[a-z_]+\\] [^\n]+\\): "
                                                 "'1\t14\t\\.\tA\tC\t\\.\t\\.\t\\.\tGT\tx\t1'\n")))
      << r.out;
  EXPECT_NE(r.err.find("[E::"), std::string::npos);  // htslib's own diagnostic
}

TEST(ConvertErrors, TruncatedFilesFailWhereverTheyAreCut) {
  TempDir dir;
  write_large(dir, "large.bcf", "wb");
  write_large(dir, "large.vcf.gz", "wz");
  cut(dir, "large.bcf", "half.bcf", -1);
  cut(dir, "large.bcf", "noeof.bcf", 28);  // the empty end-of-file block
  cut(dir, "large.vcf.gz", "half.vcf.gz", -1);

  RunResult r = convert("--vcf half.bcf --map large.map --out cut", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: half.bcf is truncated: its end-of-file marker is missing\n");
  EXPECT_FALSE(dir.exists("cut.counts"));

  r = convert("--vcf - --map large.map --out cut < half.bcf", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("peltra2-convert: standard input: record [0-9]+ "
                                                 "\\(after 1:[0-9]+\\): cannot read the record: "
                                                 "the file is truncated or corrupt \\(htslib's "
                                                 "message is on standard error\\)\n")))
      << r.out;

  r = convert("--vcf - --map large.map --out cut < noeof.bcf", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: standard input is truncated: it ends without its "
                   "end-of-file marker (after record 4000)\n");

  r = convert("--vcf - --map large.map --out cut < half.vcf.gz", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("peltra2-convert: standard input: after line "
                                                 "[0-9]+: cannot read on: the file is truncated "
                                                 "or corrupt\n")))
      << r.out;
}

TEST(ConvertErrors, InputsThatAreNoUsableVcf) {
  TempDir dir;
  write_map(dir);
  struct Case {
    std::string content, message;
  };
  const Case cases[] = {
      {"hello\n", "in.vcf is not a VCF or BCF file (htslib sees: unknown text)"},
      {"##fileformat=VCFv4.2\n1\t2\t.\tA\tC\t.\t.\t.\n",
       "in.vcf: cannot read the VCF header (htslib's message is on standard error)"},
      {"##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n"
       "1\t2\t.\tA\tC\t.\t.\t.\n", "in.vcf has no samples"},
  };
  for (const Case &c : cases) {
    dir.write("in.vcf", c.content);
    RunResult r = convert("--vcf in.vcf --map map", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "peltra2-convert: " + c.message + "\n");
  }
  RunResult r = convert("--vcf absent.vcf --map map", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "peltra2-convert: cannot open absent.vcf: No such file or directory\n");
}

TEST(ConvertErrors, BadMapsAndOrderFiles) {
  TempDir dir;
  dir.write("in.vcf", convtest::vcf_header({"s1", "s2"}) + GOOD);
  struct Case {
    std::string map, order, message;
  };
  const Case cases[] = {
      {"s1\tA\ns2\n", "", "map: line 2: expected sample name, tab, population name"},
      {"s1\tA\ns2\tB\ns1\tB\n", "", "map: line 3: sample 's1' is already in population 'A' (line 1)"},
      {"s1\tA\ns2\tA\nx\tB\n", "", "population 'B' has no sample in the VCF in.vcf"},
      {"# only a comment\n", "", "map: the map names no sample"},
      {"s1\tA\ns2\tB\n", "B\nC\n", "order: line 2: population 'C' is not in the map map"},
      {"s1\tA\ns2\tB\n", "B\nA\nB\n", "order: line 3: population 'B' is listed twice"},
  };
  for (const Case &c : cases) {
    dir.write("map", c.map);
    dir.write("order", c.order);
    RunResult r = convert("--vcf in.vcf --map map" + std::string(c.order.empty() ? "" : " --order order"),
                          dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "peltra2-convert: " + c.message + "\n");
  }
  RunResult r = convert("--vcf in.vcf --map nomap", dir.path());
  EXPECT_EQ(r.out, "peltra2-convert: cannot open the population map nomap: No such file or directory\n");
}

TEST(ConvertErrors, BadOptionsAndHelp) {
  TempDir dir;
  struct Case {
    const char *args, *message;
  };
  const Case cases[] = {
      {"--map m", "--vcf is required (a VCF or BCF file, or - for standard input)"},
      {"--vcf v", "--map is required (sample name, tab, population name per line)"},
      {"--vcf v --map m --min-maf 0.6", "--min-maf: expected a number from 0 to 0.5, got '0.6'"},
      {"--vcf v --map m --min-copies -1",
       "--min-copies: expected an integer from 0 to 1000000000, got '-1'"},
      {"--vcf v --map m --thin-every 0",
       "--thin-every: expected an integer from 1 to 1000000000, got '0'"},
      {"--vcf v --map m --seed x", "--seed: expected an integer from 0 to 18446744073709551615, "
                                   "got 'x'"},
      {"--vcf v --map m --pool-sizes p", "--pool-sizes needs --pooled"},
      {"--vcf v --map m --frob", "unknown option '--frob' (see --help)"},
      {"--vcf v --map m --out", "option '--out' needs a value"},
      {"--vcf v --map m extra", "unexpected argument 'extra' (see --help)"},
  };
  for (const Case &c : cases) {
    RunResult r = convert(c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out, "peltra2-convert: " + std::string(c.message) + "\n");
  }
  RunResult r = convert("--help", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: peltra2-convert --vcf FILE --map FILE [options]\n", 0), 0u);
}

// A failed conversion leaves no output: none for a new prefix, and an
// earlier run's files untouched, whatever stopped it.
TEST(ConvertErrors, FailuresLeaveNoOutputAndKeepAnEarlierOne) {
  TempDir dir;
  write_large(dir, "large.vcf.gz", "wz");
  ASSERT_EQ(testsupport::run_shell("gzip -c large.vcf > plain.vcf.gz", dir.path()).status, 0);
  cut(dir, "plain.vcf.gz", "cut.vcf.gz", -1);
  dir.write("bad.vcf", dir.read("large.vcf") + "1\t9999\t.\tA\n");
  dir.write("image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  struct Case {
    std::string args, message;
  };
  const Case cases[] = {
      {"--vcf cut.vcf.gz", "cut.vcf.gz ends early: the compressed data break off in line [0-9]+, "
                           "so the file is truncated \\(copy or download it again\\)"},
      {"--vcf - < cut.vcf.gz", "standard input ends early: .*"},
      {"--vcf bad.vcf", "bad.vcf: line [0-9]+: 4 columns where the header has 29: .*"},
      {"--vcf image.png", "image.png is not a VCF or BCF file \\(plain, gzipped or bgzipped\\)"},
      {"--vcf large.vcf --min-copies 1000", "no SNP passed; no file written"},
      {"--vcf large.vcf --vcf large.vcf", "option --vcf given twice"},
  };
  ASSERT_EQ(convert("--vcf large.vcf --map large.map --out old", dir.path()).status, 0);
  const std::string earlier = dir.read("old.counts");
  for (const Case &c : cases) {
    for (const char *prefix : {"old", "new"}) {
      RunResult r = convert(c.args + " --map large.map --out " + prefix, dir.path());
      EXPECT_EQ(r.status, 1) << c.args;
      EXPECT_TRUE(std::regex_match(r.out, std::regex("peltra2-convert: " + c.message + "\n")))
          << r.out;
    }
    EXPECT_EQ(dir.read("old.counts"), earlier) << c.args;
    RunResult ls = testsupport::run_shell("ls", dir.path());
    EXPECT_EQ(ls.out.find("new."), std::string::npos) << c.args << ls.out;
    EXPECT_EQ(ls.out.find(".tmp-"), std::string::npos) << c.args << ls.out;
  }
}
