// peltra2-convert's files against counts made by hand (diploid and haploid
// samples, phased and unphased, missing alleles, skipped sites) from text
// VCF, bgzipped VCF and BCF written by htslib, and standard input, with all
// populations or those of an order file; pooled reads; filters and thinning; malformed,
// truncated and unusable input, bad maps, order files, pool sizes, options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tools/convert_support.h"

using convtest::convert;
using convtest::split;
using convtest::summary_value;
using convtest::vcf_line;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

// The positions of the SNP table's rows (numbered from 1), joined by spaces.
std::string kept(const std::string &snp_table) {
  std::vector<std::string> rows = split(snp_table);
  std::string pos;
  for (size_t i = 1; i < rows.size(); ++i) {
    std::vector<std::string> f = split(rows[i], '\t');
    EXPECT_EQ(f[0], std::to_string(i));
    pos += (i > 1 ? " " : "") + f[2];
  }
  return pos;
}

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
  dir.write("pmap", "p1\tA\np2\tA\np3\tB\n");
  dir.write("pool.vcf", convtest::vcf_header({"p1", "p2", "p3"}) +
                            vcf_line("1", 10, "A", "C", "AD", {"3,4", "1,0", "5,6"}));
  dir.write("neg.vcf", convtest::vcf_header({"p1", "p2", "p3"}) +
                           vcf_line("1", 7, "A", "C", "AD", {"1,1", "2,-3", "1,1"}));
}

}  // namespace

// Samples a1, a2 (haploid) in A, b1, b2 in B, x in no population; "ghost"
// of the map is not in the VCF. Counted by hand: the multi-allelic site, the
// indel and the SNP monomorphic in the mapped samples are skipped, missing
// alleles and x's are not counted.
TEST(ConvertCounts, KnownCountsInEveryInputForm) {
  TempDir dir;
  std::string v = convtest::vcf_header({"a1", "a2", "b1", "b2", "x"});
  v += vcf_line("1", 100, "A", "C", "GT", {"0/1", "1", "1|1", "./0", "1/1"});
  v += vcf_line("1", 200, "A", "C,G", "GT", {"0/1", "2", "1|1", "0/0", "1/1"});
  v += vcf_line("1", 300, "AT", "A", "GT", {"0/1", "1", "1|1", "0/0", "1/1"});
  v += vcf_line("2", 400, "G", "T", "GT", {"0/0", "0", "0|0", "0/0", "1/1"});
  v += vcf_line("2", 500, "G", "T", "GT", {"1/.", ".", "0/0", "./.", "0/0"});
  v += vcf_line("2", 600, "C", "A", "GT", {"0|1", "1", "0/0", "0/1", "./."});
  dir.write("in.vcf", v);
  dir.write("pops.map", "a1\tA\na2\tA\nb1\tB\nb2\tB\nghost\tB\n");
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("in.vcf"), dir.file("in.bcf"), "wb"));
  ASSERT_TRUE(convtest::rewrite_vcf(dir.file("in.vcf"), dir.file("in.vcf.gz"), "wz"));
  for (const char *input : {"in.vcf", "in.bcf", "in.vcf.gz", "- < in.bcf", "- < in.vcf"}) {
    SCOPED_TRACE(input);
    testsupport::RunResult r = convert(std::string("--vcf ") + input + " --map pops.map --out out", dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("out.counts"), "1\t1\n2\t2\n0\t2\n1\t0\n1\t3\n2\t1\n");
    EXPECT_EQ(dir.read("out.names"), "A\nB\n");
    EXPECT_EQ(dir.read("out.snps"), "snp\tchrom\tpos\tid\tref\talt\tcopies_A\tcopies_B\n"
                                    "1\t1\t100\t.\tA\tC\t3\t3\n2\t2\t500\t.\tG\tT\t1\t2\n"
                                    "3\t2\t600\t.\tC\tA\t3\t4\n");
    EXPECT_EQ(dir.read("out.copies"), "column\tpopulation\tsamples\tcopies_min\tcopies_mean\tcopies_max\n"
                                      "1\tA\t2\t1\t2.33\t3\n2\tB\t2\t2\t3.00\t4\n");
    for (auto s : {std::make_pair("records read", 6), std::make_pair("SNPs written", 3),
                   std::make_pair("multi-allelic", 1), std::make_pair("not a SNP (indel, symbolic, no ALT)", 1),
                   std::make_pair("monomorphic", 1), std::make_pair("no genotyped copies", 0)})
      EXPECT_EQ(summary_value(r.err, s.first), s.second) << s.first;
    for (const char *line : {"peltra2-convert: warning: 1 of the VCF's 5 samples is not in the map and is ignored: x\n",
                             "peltra2-convert: warning: 1 sample of the map is not in the VCF: ghost\n"})
      EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
  }
  // An order file sets the columns and leaves out the populations it omits.
  dir.write("order", "B\n\n# comment\nA\n");
  ASSERT_EQ(convert("--vcf in.vcf --map pops.map --order order --out two", dir.path()).status, 0);
  EXPECT_EQ(dir.read("two.names"), "B\nA\n");
  EXPECT_EQ(dir.read("two.counts"), "1\t1\n2\t2\n2\t0\n0\t1\n3\t1\n1\t2\n");
  dir.write("order", "B\n");
  testsupport::RunResult r = convert("--vcf in.vcf --map pops.map --order order --out one", dir.path());
  EXPECT_NE(r.err.find("1 population of the map is not in the order file; its samples are ignored: A"),
            std::string::npos) << r.err;
  EXPECT_EQ(dir.read("one.counts"), "1\n2\n3\n1\n");
  EXPECT_EQ(summary_value(r.err, "monomorphic"), 2);
}

TEST(ConvertFilters, KeptSnpsAndSkipReasonsPerOption) {
  // Two populations of two diploid samples each: 4 copies per population.
  TempDir dir;
  std::string v = convtest::vcf_header({"a1", "a2", "b1", "b2"});
  v += vcf_line("1", 1, "A", "C", "GT", {"0/0", "0/1", "0/0", "0/0"});  // MAF 1/8
  v += vcf_line("1", 2, "A", "C", "GT", {"0/1", "0/1", "0/0", "0/0"});  // MAF 2/8
  v += vcf_line("1", 3, "A", "C", "GT", {"./.", "./1", "0/0", "0/1"});  // 1 copy in A
  v += vcf_line("1", 4, "A", "C", "GT", {"1/1", "1|1", "1/1", "1/1"});  // all ALT
  v += vcf_line("1", 5, "A", "C", "GT", {"./.", "./.", "./.", "./."});  // nothing called
  v += vcf_line("1", 6, "A", "C", "GT", {"1/1", "0/1", "1/1", "1/1"});  // MAF 1/8, REF minor
  dir.write("in.vcf", v);
  dir.write("map", "a1\tA\na2\tA\nb1\tB\nb2\tB\n");
  // The positions written and summary lines (-1: not listed).
  struct Case {
    const char *options, *result;
    std::vector<std::pair<const char *, long>> summary;
  };
  const Case cases[] = {
      {"", "1 2 3 6", {{"monomorphic", 1}, {"no genotyped copies", 1}, {"thinned", -1}}},
      {"--min-maf 0.25 --min-copies 2", "2",
       {{"fewer than 2 copies in a population", 1}, {"minor allele frequency below 0.25", 2},
        {"monomorphic", 1}, {"SNPs written", 1}}},
      {"--min-maf 0.126 --min-copies 1", "2 3", {}},
      {"--thin-every 3", "1 6", {{"thinned", 2}, {"SNPs written", 2}}},
      // A random subset is written in file order and fixed by the seed; every
      // SNP can be drawn (a reservoir whose slot is drawn one short never
      // keeps the first).
      {"--thin-random 2 --seed 5", "2 6", {{"thinned", 2}}},
      {"--thin-random 2 --seed 6", "1 6", {{"thinned", 2}}},
      {"--thin-random 100000", "1 2 3 6", {{"thinned", 0}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.options);
    auto r = convert(std::string("--vcf in.vcf --map map --out f ") + c.options, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(kept(dir.read("f.snps")), c.result);
    for (const auto &s : c.summary) EXPECT_EQ(summary_value(r.err, s.first), s.second) << s.first;
    if (c.options[0] == '\0') {
      EXPECT_EQ(dir.read("f.counts"), "3\t4\n1\t0\n2\t4\n2\t0\n0\t3\n1\t1\n1\t0\n3\t4\n");
    }
  }
}



// The failures: each ends with one line on standard error, exits with
// status 1 and leaves an earlier run's files as they were, with no scratch
// file.
TEST(ConvertErrors, OneLineStatus1AndNoOutput) {
  TempDir dir;
  write_inputs(dir);
  // One case a line: the arguments, " | ", the message after
  // "peltra2-convert: " (matched whole as a regular expression if it starts
  // with "~"), and optionally " | " a file name, " | " its content, written
  // first ("H" stands for a header of samples s1, s2 and a good line 7;
  // \t and \n stand for a tab and a line feed).
  const std::string cases = R"(--vcf in.vcf --map map | in.vcf, line 8: 10 columns where the header has 11: '1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1' | in.vcf | H1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1
--vcf in.vcf --map map | in.vcf, line 8: 12 columns where the header has 11: '1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1' | in.vcf | H1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\t1\n
--vcf in.vcf --map map | in.vcf, line 8: the genotype of sample s1 names allele 5 of a record with 2 alleles: '1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1' | in.vcf | H1\t14\t.\tA\tC\t.\t.\t.\tGT\t0/5\t1\n
--vcf in.vcf --map map | in.vcf, line 8: POS must be a positive integer: '1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1' | in.vcf | H1\tfour\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1\n
--vcf in.vcf --map map | ~in\.vcf, line 8: htslib cannot parse the record \(\[E::[a-z_]+\] [^\n]+\): '1\t14\t\.\tA\tC\t\.\t\.\t\.\tGT\tx\t1' | in.vcf | H1\t14\t.\tA\tC\t.\t.\t.\tGT\tx\t1\n
--vcf bad.vcf --map large.map | ~bad.vcf, line 4007: 4 columns where the header has 29: .*
--vcf half.bcf --map large.map | half.bcf is truncated: its end-of-file marker is missing
--vcf - < half.bcf --map large.map | ~standard input, record [0-9]+ \(after 1:[0-9]+\): cannot read the record: the file is truncated or corrupt \(htslib's message is on standard error\)
--vcf - < noeof.bcf --map large.map | standard input is truncated: it ends without its end-of-file marker (after record 4000)
--vcf - < half.vcf.gz --map large.map | ~standard input, after line [0-9]+: cannot read on: the file is truncated or corrupt
--vcf cut.vcf.gz --map large.map | ~cut.vcf.gz ends early: the compressed data break off in line [0-9]+, so the file is truncated \(copy or download it again\)
--vcf image.png --map map | image.png is not a VCF or BCF file (plain, gzipped or bgzipped)
--vcf in.vcf --map map | in.vcf is not a VCF or BCF file (htslib sees: unknown text) | in.vcf | hello\n
--vcf in.vcf --map map | in.vcf: cannot read the VCF header (htslib's message is on standard error) | in.vcf | ##fileformat=VCFv4.2\n1\t2\t.\tA\tC\t.\t.\t.\n
--vcf in.vcf --map map | in.vcf has no samples | in.vcf | ##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\n1\t2\t.\tA\tC\t.\t.\t.\n
--vcf absent.vcf --map map | cannot open absent.vcf: No such file or directory
--vcf large.vcf --map large.map --min-copies 1000 | no SNP passed; no file written
--vcf in.vcf --map nomap | cannot open the population map nomap: No such file or directory | in.vcf | H
--vcf in.vcf --map m | m, line 2: 1 field; 2 needed (sample name, tab, population name) | m | s1\tA\ns2\n
--vcf in.vcf --map m | m, line 3: sample 's1' is already in population 'A' (line 1) | m | s1\tA\ns2\tB\ns1\tB\n
--vcf in.vcf --map m | population 'B' has no sample in the VCF in.vcf | m | s1\tA\ns2\tA\nx\tB\n
--vcf in.vcf --map m | m: the map names no sample | m | # only a comment\n
--vcf in.vcf --map map --order o | o, line 2: population 'C' is not in the map map | o | B\nC\n
--vcf in.vcf --map map --order o | o, line 3: population 'B' is listed twice | o | B\nA\nB\n
--vcf pool.vcf --map pmap --pooled | --pooled needs --pool-sizes (population name, tab, allele copies per line)
--vcf pool.vcf --map pmap --pooled --pool-sizes s | s: no pool size for population 'B' | s | A\t40\n
--vcf pool.vcf --map pmap --pooled --pool-sizes s | s, line 2, field 2: '1' is not a pool size from 2 to 1000000 allele copies | s | A\t40\nB\t1\n
--vcf pool.vcf --map pmap --pooled --pool-sizes s | s, line 2: 1 field; 2 needed (population name, tab, allele copies in the pool) | s | A\t40\nB\n
--vcf pool.vcf --map pmap --pooled --pool-sizes s | s, line 3: population 'A' has two pool sizes | s | A\t40\nB\t9\nA\t41\n
--vcf neg.vcf --map pmap --pooled --pool-sizes s | neg.vcf, line 7: the AD field of sample p2 holds a negative count: '1\t7\t.\tA\tC\t.\t.\t.\tAD\t1,1\t2,-3\t1,1' | s | A\t40\nB\t9\n
--map m | --vcf is required (a VCF or BCF file, or - for standard input)
--vcf v | --map is required (sample name, tab, population name per line)
--vcf v --map m --min-maf 0.6 | option --min-maf: '0.6' is not a number from 0 to 0.5
--vcf v --map m --thin-every 0 | option --thin-every: '0' is not a whole number from 1 to 1000000000
--vcf v --map m --thin-random 100001 | option --thin-random: '100001' is not a whole number from 1 to 100000
--vcf v --map m --thin-random 2 --thin-every 2 | --thin-every and --thin-random exclude each other
--vcf v --map m --seed x | option --seed: 'x' is not a whole number from 0 to 18446744073709551615
--vcf v --map m --pool-sizes p | --pool-sizes needs --pooled
--vcf v --map m --frob | unknown option '--frob' (see --help)
--vcf v --map m extra | unexpected argument 'extra' (see --help)
--vcf v --map m --vcf w | option --vcf given more than once
--vcf v --map m --out | option '--out' needs a value
)";
  ASSERT_EQ(convert("--vcf large.vcf --map large.map --out old", dir.path()).status, 0);
  const std::string counts = dir.read("old.counts"), snps = dir.read("old.snps");
  const std::string H = convtest::vcf_header({"s1", "s2"}) + GOOD;
  for (std::string line : split(cases)) {
    SCOPED_TRACE(line);
    line = std::regex_replace(std::regex_replace(line, std::regex(R"(\\t)"), "\t"), std::regex(R"(\\n)"), "\n");
    std::vector<std::string> f = split(std::regex_replace(line, std::regex(" \\| "), "|"), '|');
    if (f.size() > 2) dir.write(f[2], f[3][0] == 'H' ? H + f[3].substr(1) : f[3]);
    RunResult r = convert("--out old " + f[0], dir.path());
    EXPECT_EQ(r.status, 1);
    // The message is the last line on standard error, after any warning
    // or summary; nothing goes to standard output.
    EXPECT_EQ(r.out, "");
    std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    if (f[1][0] == '~')
      EXPECT_TRUE(std::regex_match(last, std::regex("peltra2-convert: " + f[1].substr(1) + "\n"))) << r.err;
    else
      EXPECT_EQ(last, "peltra2-convert: " + f[1] + "\n") << r.err;
    EXPECT_EQ(dir.read("old.counts"), counts);
    EXPECT_EQ(dir.read("old.snps"), snps);
    EXPECT_EQ(testsupport::run_shell("ls | grep -c tmp", dir.path()).out, "0\n");
  }
  // A replaced file keeps its mode; a new one gets the mode the umask leaves.
  ASSERT_EQ(chmod(dir.file("old.counts").c_str(), 0640), 0);
  ASSERT_EQ(convert("--vcf large.vcf --map large.map --out old", dir.path()).status, 0);
  ASSERT_EQ(testsupport::run_shell(std::string("umask 077; '") + PELTRA_TOOLS_DIR +
                                       "/peltra2-convert' --vcf large.vcf --map large.map --out new",
                                   dir.path()).status, 0);
  for (const auto &[name, mode] : {std::make_pair("old.counts", 0640), std::make_pair("new.counts", 0600)}) {
    struct stat st;
    ASSERT_EQ(stat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(mode)) << name;
  }
  // Pooled reads: AD added up per population (p1 and p2 are runs of A's pool).
  dir.write("s", "A\t40\nB\t9\n");
  ASSERT_EQ(convert("--vcf pool.vcf --map pmap --pooled --pool-sizes s --out pool", dir.path()).status, 0);
  EXPECT_EQ(dir.read("pool.counts") + dir.read("pool.samplesize"), "4\t5\n4\t6\n40\t9\n");
  RunResult r = convert("--help", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: peltra2-convert --vcf FILE --map FILE [options]\n", 0), 0u);
}
