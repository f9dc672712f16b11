// The command line as the user sees it, run through the peltra2 binary: the
// help text, the option messages, the configuration check, the number and
// seed rules, and the start-up output. The count file c.txt does not exist:
// those rows end at the check, at seeding or after the run header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/cli.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::run_peltra2;

const std::string kBanner = "===== PELTRA2.0 =====\n\n";
const std::string kMissing = "\n!!!Missing or wrong options for chosen configuration.\n";
const std::string kPooledOneVariable = "Only a single environmental variable is supported in pooled mode. \n\n";
const std::string kMatrixMode = "TEST = 0 . So running matrix estimation\n";
const std::string kTestMode = "TEST = 1 . So running test at a SNP\n";
const std::string kLeftOver = "left over from an earlier run\n";

// One line per option, as parse_cl prints them.
const std::string kX = "NGS is set\n", kC = "correlation output is set\n", kE = "environment file is set\n",
                  kF = "frequency output is set\n", kI = "input file is set\n", kK = "number of iterations is set\n",
                  kL = "Lookup table is set\n", kM = "matrix is set\n",
                  kN = "number of environmental variables is set\n", kO = "output file is set\n",
                  kP = "number of populations is set\n", kR = "seed is set\n", kS = "Sample size file is set\n",
                  kT = "TEST is set\n", kZ = "SNP_TEST is off.\n", kXtX = "Calculating XtX\n";

// The three lines setall prints when mltmod refuses the seed s of generator 1.
std::string refusal(const char *s) {
  return std::string(" a, m, s out of order in mltmod - ABORT!\n") + " a =   2082007225 s = " + s +
         " m =   2147483563\n mltmod requires: 0 < a < m; 0 < s < m\n";
}
const std::string kRefusedZero = refusal("           0");

// The run header of a matrix estimation on c.txt (-k and -r as read), and
// the end of the run at the missing file.
std::string header(const std::string &iterations, const std::string &seed) {
  return kBanner + kP + kK + kI + kR + kMatrixMode + "MCMC VER 0.71 (THREADED)\nITERATIONS = " + iterations +
         "\nINPUT FILE = c.txt\nSEED = " + seed + "\n\nError: cannot open count file \"c.txt\": No such file or directory\n";
}

// Drops the plain hints ("peltra2: ...", pinned by the e2e table) and the
// getopt diagnostics (named by the program's path) from standard error.
std::string fixed_messages(const std::string &err) {
  std::string kept;
  for (size_t at = 0, end; at < err.size(); at = end) {
    end = std::min(err.find('\n', at) + 1, err.size());
    std::string line = err.substr(at, end - at);
    if (line.rfind("peltra2: ", 0) != 0 && line.rfind(PELTRA2_BIN, 0) != 0) kept += line;
  }
  return kept;
}

struct Row {
  std::string args;
  int status;
  std::string out;  // standard output, exactly (or its start when prefix)
  std::string err;  // standard error without the hints, exactly
  bool prefix = false;
};

const std::string kHelp =
    "PELTRA 2.0 - Usage\n\t./peltra2 [OPTIONS]\n\n"
    "\t\t-i [filename] - input file (always required)\n"
    "\t\t-e [filename] - environmental file (required for test mode)\n"
    "\t\t-m [filename] - matrix file (required for test mode)\n"
    "\t\t-s [filename] - file of sample sizes (required for pool mode)\n"
    "\t\t-k [number] - number of iterations (always required)\n"
    "\t\t-r [number] - random seed\n"
    "\t\t-p [number] - number of populations (always required)\n"
    "\t\t-n [number] - number of environmental variables (required for test mode)\n"
    "\t\t-t - Test mode (not matrix estimation)\n"
    "\t\t-x - Pool mode\n"
    "\t\t-o [filename] - output file (optional)\n"
    "\t\t-f - frequency output (X)\n"
    "\t\t-c - correlation output\n"
    "\t\t-z - calculate Z in test mode for unpooled data (only one environmental variable)\n"
    "\t\t-X - calculate XtX\n"
    "\t\n\n";

const std::vector<Row> kRows = {
    {"", 1, kHelp, ""},
    // Every option once, in option-string order; pooled mode with -c then
    // fails the check.
    {"-x -c -e env.txt -f -i c.txt -k 10 -l -m mat.txt -n 1 -o res -p 3 -r 5 -s s.txt -t -z -X", 1,
     kBanner + kX + kC + kE + kF + kI + kK + kL + kM + kN + kO + kP + kR + kS + kT + kZ + kXtX + kMissing, ""},
    // Test-mode options have no effect in matrix estimation: the check
    // passes and the run ends at seeding (seed 0).
    {"-e env.txt -m mat.txt -n 2 -o res -z -c -f -X -l -p 4 -k 10 -i c.txt -r 0", 1,
     kBanner + kE + kM + kN + kO + kZ + kC + kF + kXtX + kL + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    // Repeats print again; a word that is no option is skipped.
    {"-p 4 -k 5 -i a stray -k 7 -i b -t -t", 1, kBanner + kP + kK + kI + kK + kI + kT + kT + kMissing, ""},
    // The check: zero or absent values, negative sizes.
    {"-p 4 -k 1000", 1, kBanner + kP + kK + kMissing, ""},
    {"-k 1000 -i c.txt", 1, kBanner + kK + kI + kMissing, ""},
    {"-p 4 -i c.txt", 1, kBanner + kP + kI + kMissing, ""},
    {"-p 4 -k 4294967296 -i c.txt", 1, kBanner + kP + kK + kI + kMissing, ""},  // wraps to 0, like "abc"
    {"-p 4 -k 1000 -i c.txt -n -1", 1, kBanner + kP + kK + kI + kN + kMissing, ""},
    // Test mode needs -n, -e and -m.
    {"-t -p 4 -k 6000 -i c.txt -e env.txt -m mat.txt", 1, kBanner + kT + kP + kK + kI + kE + kM + kMissing, ""},
    {"-t -p 4 -k 6000 -i c.txt -n 1 -m mat.txt", 1, kBanner + kT + kP + kK + kI + kN + kM + kMissing, ""},
    {"-t -p 4 -k 6000 -i c.txt -n 1 -e env.txt", 1, kBanner + kT + kP + kK + kI + kN + kE + kMissing, ""},
    {"-t -p 4 -k 6000 -i c.txt -n 0 -e env.txt -m mat.txt", 1,
     kBanner + kT + kP + kK + kI + kN + kE + kM + kMissing, ""},
    // Pooled mode needs -s and allows none of -c, -f, -X, even in matrix estimation.
    {"-x -p 4 -k 1000 -i c.txt", 1, kBanner + kX + kP + kK + kI + kMissing, ""},
    {"-x -s s.txt -c -p 4 -k 1000 -i c.txt", 1, kBanner + kX + kS + kC + kP + kK + kI + kMissing, ""},
    {"-x -s s.txt -f -p 4 -k 1000 -i c.txt", 1, kBanner + kX + kS + kF + kP + kK + kI + kMissing, ""},
    {"-x -s s.txt -X -p 4 -k 1000 -i c.txt", 1, kBanner + kX + kS + kXtX + kP + kK + kI + kMissing, ""},
    // A pooled test takes exactly one variable, checked before the burn-in rule.
    {"-x -t -n 2 -s s.txt -e env.txt -m mat.txt -p 4 -k 1000 -i c.txt", 1,
     kBanner + kX + kT + kN + kS + kE + kM + kP + kK + kI + kPooledOneVariable, ""},
    // Test mode samples only after the 5000 burn-in iterations.
    {"-t -n 1 -e env.txt -m mat.txt -p 4 -k 5000 -i c.txt", 1,
     kBanner + kT + kN + kE + kM + kP + kK + kI +
         "Test mode needs more than 5000 iterations (-k 5000): the first 5000 are burn-in.\n",
     ""},
    // Population counts a count-file line cannot hold.
    {"-p 10001 -k 1000 -i c.txt", 1,
     kBanner + kP + kK + kI + "Too many populations (-p 10001): at most 10000 are supported.\n", ""},
    // Configurations that pass the check end at seed 0; a negative -k is
    // legal in matrix estimation (no iteration).
    {"-p 10000 -k -5 -i c.txt -r 0", 1, kBanner + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    {"-l -p 4 -k 1 -i c.txt -r 0", 1, kBanner + kL + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    // Bayes-factor and Z tests; the test-mode staging may print after the mode line.
    {"-t -n 2 -e env.txt -m mat.txt -p 4 -k 5001 -i c.txt -r 0", 1,
     kBanner + kT + kN + kE + kM + kP + kK + kI + kR + kTestMode, kRefusedZero, true},
    {"-t -z -n 2 -e env.txt -m mat.txt -p 4 -k 5001 -i c.txt -r 0", 1,
     kBanner + kT + kZ + kN + kE + kM + kP + kK + kI + kR + kTestMode, kRefusedZero, true},
    // Seeds: the non-positive magnitude of the 32-bit value, which the
    // generator takes doubled up to its first modulus (2 * 1073741782 is
    // that modulus plus one).
    {"-p 4 -k 1 -i c.txt -r 77", 1, header("1", "-77"), ""},
    {"-p 4 -k 1 -i c.txt -r -77", 1, header("1", "-77"), ""},
    {"-p 4 -k 1 -i c.txt -r 1073741781", 1, header("1", "-1073741781"), ""},
    {"-p 4 -k 1 -i c.txt -r -1073741782", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  2147483564")},
    {"-p 4 -k 1 -i c.txt -r 2147483648", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  4294967296")},
    {"-p 4 -k 1 -i c.txt -r -2147483649", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  4294967294")},
    // -k as strtol reads it, cut to 32 bits.
    {"-p 4 -k 2147483648 -i c.txt -r 5", 1, header("-2147483648", "-5"), ""},
    {"-p 4 -k 99999999999999999999 -i c.txt -r 5", 1, header("-1", "-5"), ""},
    // An unknown option or a lost argument is reported and parsing goes on.
    {"-q -p 4 -k 1000 -i c.txt -r 0", 1, kBanner + "unknown arg ?\n" + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    {"-p 4 -i c.txt -k", 1, kBanner + kP + kI + "unknown arg ?\n" + kMissing, ""},
    // The whole start-up on real files: matrix estimation reads neither -e
    // nor -m and empties pop_spec.out; the pooled one prints the sizes; a
    // test run writes no frequency file without -f.
    {"-i counts.txt -p 4 -k -1 -r 5 -e env.txt -m matrix.txt", 0,
     kBanner + kI + kP + kK + kR + kE + kM + kMatrixMode + "MCMC VER 0.71 (THREADED)\nITERATIONS = -1\n" +
         "INPUT FILE = counts.txt\nSEED = -5\n\nnum_alleles = 4.000000\nnumber of loci = 2\n",
     ""},
    {"-x -s sizes.txt -i counts.txt -p 4 -k -1 -r 77 -l", 0,
     kBanner + kX + kS + kI + kP + kK + kR + kL + kMatrixMode + "10 30\nMCMC VER 0.71 (THREADED)\n" +
         "ITERATIONS = -1\nINPUT FILE = counts.txt\nSEED = -77\n\nnum_alleles = 4.000000\nnumber of loci = 2\n",
     ""},
    {"-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5 -o res", 0,
     kBanner + kT + kI + kE + kM + kN + kP + kK + kR + kO + kTestMode + "number of environmental variables 2\n\n" +
         "MCMC VER 0.71 (THREADED)\nITERATIONS = 5001\nINPUT FILE = snp.txt\nMATRIX FILE = matrix.txt\n" +
         "SEED = -5\n\nENVIRON FILE = env.txt\nreading environ\nnum_alleles = 2.000000\nnumber of loci = 1\n",
     ""},
};

TEST(CommandLine, EachRowPrintsItsMessages) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(row.args);
    TempDir dir;
    dir.write("counts.txt", "14\t31\t9\t25\n26\t12\t35\t17\n1\t2\t3\t4\n5\t6\t7\t8\n");
    dir.write("snp.txt", "12\t30\t7\t21\n28\t10\t33\t19\n");
    dir.write("env.txt", "-1.2\t0.3\t0.8\t0.1\n0.5\t-0.7\t1.1\t-0.9\n");
    dir.write("matrix.txt", "1\t0\t0\t0\n0\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n");
    dir.write("sizes.txt", "10\t30\t20\t20\n");
    dir.write("pop_spec.out", kLeftOver);
    RunResult r = run_peltra2(row.args, dir.path());
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(row.prefix ? r.out.substr(0, row.out.size()) : r.out, row.out);
    EXPECT_EQ(fixed_messages(r.err), row.err);
    // Nothing is written before the check and the seeding.
    EXPECT_EQ(dir.read("pop_spec.out"), row.status == 0 ? "" : kLeftOver);
    EXPECT_FALSE(dir.exists("snp.txt.freqs"));
  }
}

// Standard error is written at once: with both streams on one file, the
// getopt diagnostic precedes "unknown arg", and the refusal ends the file.
TEST(CommandLine, MessagesKeepTheirOrderWhenBothStreamsShareAFile) {
  TempDir dir;
  RunResult r = run_peltra2("-q -p 4 -k 1000 -i c.txt -r 0 2>&1", dir.path());
  std::string out = fixed_messages(r.out);
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(r.out.find("'q'"), r.out.find("unknown arg ?\n")) << r.out;
  EXPECT_EQ(out, kBanner + "unknown arg ?\n" + kP + kK + kI + kR + kMatrixMode + kRefusedZero);
}

}  // namespace
