// The hints on standard error: each row runs peltra2 on small files and
// checks the status, a fragment of the fixed standard output (unchanged)
// and the hint line that standard error starts with.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_fixtures.h"

using testsupport::TempDir;

namespace {

const char *kTest = "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5 ";
const char *kMatrixRun = "-i counts.txt -p 4 -k 10 -r 5 ";
const char *kTwoLoci = "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n";

struct Row {
  std::vector<std::pair<std::string, std::string>> files;  // over the defaults
  std::string args;
  int status;
  std::string out;  // fragment of standard output
  std::string err;  // what standard error starts with ("" = empty)
  std::vector<std::pair<std::string, const char *>> after = {};  // content; null = absent
};

const Row kRows[] = {
    // The frequency file only with -f: an earlier one stays, none is created.
    {{{"snp.txt.freqs", "earlier\n"}}, kTest, 0, "number of loci = 1\n", "",
     {{"snp.txt.freqs", "earlier\n"}}},
    {{}, kTest, 0, "number of loci = 1\n", "", {{"snp.txt.freqs", nullptr}}},
    // Extra fields, extra environment lines.
    {{{"counts.txt", "1\t2\t3\t4\t5\n5\t4\t3\t2\t1\n"}}, kMatrixRun, 0, "num_alleles = 2.000000\n",
     "peltra2: count file \"counts.txt\", line 1: 5 fields where -p is 4; only the first 4 are "
     "used, on this line and on any other\n"},
    {{{"env.txt", "1\t2\t3\t4\n5\t6\t7\t8\t9\t10\n"}}, kTest, 0, "reading environ\n",
     "peltra2: environment file \"env.txt\", line 2: 6 fields where -p is 4; only the first 4 are "
     "used, on this line and on any other\n"},
    {{{"matrix.txt", "1\t0\t0\t0\t7\n0\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}},
     kTest, 0, "number of loci = 1\n",
     "peltra2: matrix file \"matrix.txt\", line 1: 5 fields where -p is 4; only the first 4 are "
     "used, on this line and on any other\n"},
    {{{"env.txt", std::string(e2e::kEnviron) + "1\t2\t3\t4\n\n5\n"}}, kTest, 0, "reading environ\n",
     "peltra2: environment file \"env.txt\": 2 more lines than the 2 that -n asks for; they are "
     "ignored\n"},
    // Numbers read as strtol reads them, and said so; a repeated option.
    {{}, "-i counts.txt -p 4 -k 12abc -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: -k \"12abc\" is not a plain whole number; it was read as 12\n"},
    {{}, "-i counts.txt -p 4 -k 10 -r 4294967301", 0, "SEED = -5\n",
     "peltra2: -r \"4294967301\" is beyond the 32-bit range; it was read as 5\n"},
    {{}, "-i counts.txt -p 4 -k 10 -k 12 -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: -k given more than once; the last value (\"12\") is used\n"},
    // The configuration check names what is missing or in conflict.
    {{}, "-t -i snp.txt -n 2 -p 4 -k 5001", 1,
     "\n!!!Missing or wrong options for chosen configuration.\n",
     "peltra2: -t needs -m (matrix file), -e (environment file) and -n (a number above 0); "
     "missing: -m -e\n"},
    {{}, "-x -c -X -s sizes.txt -i counts.txt -p 4 -k 10", 1,
     "\n!!!Missing or wrong options for chosen configuration.\n",
     "peltra2: -x excludes -c, -f and -X; remove: -c -X\n"},
    // Refused seed, before the generator's own lines.
    {{}, "-i counts.txt -p 4 -k 10 -r 1073741782", 1, "So running matrix estimation\n",
     "peltra2: -r \"1073741782\" gives the seed 1073741782, which the generator refuses: give a "
     "whole number from 1 to 1073741781 (its sign is ignored)\n a, m, s out of order"},
    // Matrices the factorisation refuses.
    {{{"matrix.txt", "1\t2\t0\t0\n2\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}}, kTest, 1, "reading environ\n",
     "peltra2: matrix file \"matrix.txt\": the matrix of its first 4 lines is not positive definite "
     "(the factorisation fails at row 2); give a covariance matrix such as a matrix-estimation run "
     "prints\nNumerical Recipes run-time error...\ncholdc failed\n"},
    {{{"matrix.txt", "1\t1\t0\t0\n1\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}}, kTest, 1, "reading environ\n",
     "peltra2: matrix file \"matrix.txt\": the matrix of its first 4 lines is singular"},
    // A monomorphic SNP, counted from 1.
    {{{"counts.txt", std::string(e2e::kOneLocus) + "3\t3\t3\t3\n0\t0\t0\t0\n"}}, kMatrixRun, 1,
     "number of loci = 2\ninitial epsilon zero or 1 locus 1\n",
     "peltra2: count file \"counts.txt\", SNP 2 (lines 3-4): the SNP is monomorphic (its first "
     "allele has every copy in every population); remove it from the count file\n"},
    // --help and --version.
    {{}, "--help", 0, "\t\t-l - Pool mode", ""},
    {{}, "--version", 0, "peltra2 0.4.0", ""},
};

}  // namespace

TEST(Hints, EachRowKeepsTheOutputAndAddsItsHint) {
  for (const Row &row : kRows) {
    TempDir d;
    d.write("snp.txt", e2e::kOneLocus);
    d.write("counts.txt", kTwoLoci);
    d.write("env.txt", e2e::kEnviron);
    d.write("matrix.txt", e2e::kMatrix);
    d.write("sizes.txt", e2e::kSampleSizes);
    for (const auto &[name, content] : row.files) d.write(name, content);
    auto r = testsupport::run_peltra2(row.args, d.path());
    SCOPED_TRACE(row.args + "\n--- stdout ---\n" + r.out + "--- stderr ---\n" + r.err);
    EXPECT_EQ(r.status, row.status);
    EXPECT_NE(r.out.find(row.out), std::string::npos);
    if (row.err.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(r.err.compare(0, row.err.size(), row.err), 0);
    for (const auto &[name, content] : row.after) {
      EXPECT_EQ(d.exists(name), content != nullptr) << name;
      if (content) {
        EXPECT_EQ(d.read(name), content) << name;
      }
    }
  }
}
