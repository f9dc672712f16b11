// One run of the peltra2 binary per row. First the command line, exactly:
// help text, option messages, configuration check, number and seed rules,
// start-up output (c.txt does not exist: those runs end early). Then whole
// runs on small files: how each ends, a fragment of its output, its message
// or hint, the files it writes or leaves alone; result files hold an earlier
// line, which a failed run must leave as it was and a run may only append to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_fixtures.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

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

// The run header of a matrix estimation on the missing c.txt, and its end.
std::string header(const std::string &iterations, const std::string &seed) {
  return kBanner + kP + kK + kI + kR + kMatrixMode + "MCMC VER 0.71 (THREADED)\nITERATIONS = " + iterations +
         "\nINPUT FILE = c.txt\nSEED = " + seed +
         "\n\nError: cannot open count file \"c.txt\": No such file or directory\n";
}

// Drops the plain hints ("peltra2: ...") and getopt's diagnostics from a text.
std::string fixed_messages(const std::string &err) {
  std::string kept;
  for (size_t at = 0, end; at < err.size(); at = end) {
    end = std::min(err.find('\n', at) + 1, err.size());
    std::string line = err.substr(at, end - at);
    if (line.rfind("peltra2: ", 0) != 0 && line.rfind(PELTRA2_BIN, 0) != 0) kept += line;
  }
  return kept;
}

const std::string kTest = "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5";
const std::string kMatrixRun = "-i counts.txt -p 4 -k 10 -r 5";
const std::string kEnv = e2e::kEnviron;
const char *kBf = "snp\\.txt(\\t\\d\\.\\d{4}e[+-]\\d\\d){2}\\t";
const char *kEarlier = "earlier\\.txt\\t1\\.0000e\\+00\\t";

// Name and content; a name "dir X" makes a directory, "link X" a symbolic
// link to the content, "chmod X" gives X the octal mode in the content.
typedef std::vector<std::pair<std::string, std::string>> Files;
// Name and a pattern its last line must match whole; null: no such file.
typedef std::vector<std::pair<std::string, const char *>> After;

struct Row {
  std::string args;
  int status;
  std::string out, err;
  Files files = {};  // over the defaults
  After after = {};
};

const std::string kHelp =
    "PELTRA 2.0 - Usage\n\t./peltra2 [OPTIONS]\n\n\t\t-i [filename] - input file (always required)\n"
    "\t\t-e [filename] - environmental file (required for test mode)\n"
    "\t\t-m [filename] - matrix file (required for test mode)\n"
    "\t\t-s [filename] - file of sample sizes (required for pool mode)\n"
    "\t\t-k [number] - number of iterations (always required)\n\t\t-r [number] - random seed\n"
    "\t\t-p [number] - number of populations (always required)\n"
    "\t\t-n [number] - number of environmental variables (required for test mode)\n"
    "\t\t-t - Test mode (not matrix estimation)\n\t\t-x - Pool mode\n\t\t-o [filename] - output file (optional)\n"
    "\t\t-f - frequency output (X)\n\t\t-c - correlation output\n"
    "\t\t-z - calculate Z in test mode for unpooled data (only one environmental variable)\n\t\t-X - calculate XtX\n"
    "\t\n\n";

// Recorded runs' files (results_unchanged_test.cpp) laid out otherwise: tab
// runs, spaces, CRLF, no last line feed, a fifth field up to 19998 characters.
const std::string kSnpLaid = "12\t30\t 7 \t\t21\t" + std::string(19983, 'x') + "\r\n\t28\t10\t33\t19";
const std::string kEnvLaid = "\t-1.2e0\t\t 0.3 \t8e-1\t+.1\r\n500e-3\t-0.70\t1.1\t-0.9";
const std::string kMatrixLaid = "5e-2\t.01\t0\t1E-2\r\n0.01\t0.06\t0.02\t0\n0\t0.02\t0.04\t0.01\n0.01\t0\t0.01\t0.05";

// The command line: standard output is `out`, standard error `err` (no hints).
const std::vector<Row> kExact = {
    {"", 1, kHelp, ""},
    // Every option once, in option-string order (pooled mode with -c fails).
    {"-x -c -e env.txt -f -i c.txt -k 10 -l -m mat.txt -n 1 -o res -p 3 -r 5 -s s.txt -t -z -X", 1,
     kBanner + kX + kC + kE + kF + kI + kK + kL + kM + kN + kO + kP + kR + kS + kT + kZ + kXtX + kMissing, ""},
    // Test-mode options do nothing in matrix estimation: it ends at seed 0.
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
    // A negative -k passes the check in matrix estimation (no iteration).
    {"-p 10000 -k -5 -i c.txt -r 0", 1, kBanner + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    // Seeds: minus the magnitude of the 32-bit value; the generator takes it
    // doubled, below its first modulus (2 * 1073741782 is that plus one).
    {"-p 4 -k 1 -i c.txt -r 77", 1, header("1", "-77"), ""},
    {"-p 4 -k 1 -i c.txt -r -1073741781", 1, header("1", "-1073741781"), ""},
    {"-p 4 -k 1 -i c.txt -r -1073741782", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  2147483564")},
    {"-p 4 -k 1 -i c.txt -r 2147483648", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  4294967296")},
    {"-p 4 -k 1 -i c.txt -r -2147483649", 1, kBanner + kP + kK + kI + kR + kMatrixMode, refusal("  4294967294")},
    // -k as strtol reads it, cut to 32 bits.
    {"-p 4 -k 2147483648 -i c.txt -r 5", 1, header("-2147483648", "-5"), ""},
    {"-p 4 -k 99999999999999999999 -i c.txt -r 5", 1, header("-1", "-5"), ""},
    // An unknown option or a lost argument is reported and parsing goes on.
    {"-q -p 4 -k 1000 -i c.txt -r 0", 1, kBanner + "unknown arg ?\n" + kP + kK + kI + kR + kMatrixMode, kRefusedZero},
    {"-p 4 -i c.txt -k", 1, kBanner + kP + kI + "unknown arg ?\n" + kMissing, ""},
    // Standard output is written out before standard error is.
    {"-q -p 4 -k 1000 -i c.txt -r 0 2>&1", 1,
     kBanner + "unknown arg ?\n" + kP + kK + kI + kR + kMatrixMode + kRefusedZero, ""},
    // The whole start-up on real files: matrix estimation ignores -e and -m
    // and empties pop_spec.out; a pooled one prints the sizes.
    {"-i counts.txt -p 4 -k -1 -r 5 -e env.txt -m matrix.txt", 0,
     kBanner + kI + kP + kK + kR + kE + kM + kMatrixMode + "MCMC VER 0.71 (THREADED)\nITERATIONS = -1\n" +
         "INPUT FILE = counts.txt\nSEED = -5\n\nnum_alleles = 6.000000\nnumber of loci = 3\n",
     ""},
    {"-x -s sizes.txt -i counts.txt -p 4 -k -1 -r 77 -l", 0,
     kBanner + kX + kS + kI + kP + kK + kR + kL + kMatrixMode + "10 30\nMCMC VER 0.71 (THREADED)\n" +
         "ITERATIONS = -1\nINPUT FILE = counts.txt\nSEED = -77\n\nnum_alleles = 6.000000\nnumber of loci = 3\n",
     "", {{"sizes.txt", "10\t30\t20\t20\n"}}},
    {"-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5 -o res", 0,
     kBanner + kT + kI + kE + kM + kN + kP + kK + kR + kO + kTestMode + "number of environmental variables 2\n\n" +
         "MCMC VER 0.71 (THREADED)\nITERATIONS = 5001\nINPUT FILE = snp.txt\nMATRIX FILE = matrix.txt\n" +
         "SEED = -5\n\nENVIRON FILE = env.txt\nreading environ\nnum_alleles = 2.000000\nnumber of loci = 1\n",
     ""},
};

// Whole runs: `out` and `err` occur in the two streams ("" for err: empty).
const std::vector<Row> kRuns = {
    {"-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -X -c -k 20000 -o res -r 1", 0, "",
     "peltra2: warning: count file \"snp.txt\", line 1: 5 fields where -p is 4",
     {{"snp.txt", kSnpLaid}, {"env.txt", kEnvLaid}, {"matrix.txt", kMatrixLaid}},
     {{"res.bf", "snp\\.txt\\t8\\.3236e-01\\t-2\\.6667e-01\\t-5\\.8788e-03\\t1\\.2189e\\+01\\t"
                 "-8\\.2000e-01\\t-9\\.0142e-01\\t"}}},
    {"-x -l -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 20000 -o res -r 77", 0, "", "",
     {{"sizes.txt", " 20\t20 \t\t20\t20\r\n"}, {"pool.txt", "\t14\t31\t9\t25\r\n26\t 12\t35\t17"}},
     {{"res.cor", "pool\\.txt\\t4\\.9933333333e-02\\t"}}},
    {kTest, 1, "cannot more than one locus in TEST mode\n",
     "peltra2: count file \"snp.txt\" holds 2 SNPs: test mode takes one SNP (two lines)",
     {{"snp.txt", "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n"}}},
    // No polymorphism: the ancestral frequency would start at 0 or 1.
    {kTest, 1, "initial epsilon zero or 1 locus 0\n", "SNP 1 (lines 1-2): the SNP is monomorphic",
     {{"snp.txt", "0\t0\t0\t0\n40\t40\t40\t40\n"}}},
    {kMatrixRun, 1, "number of loci = 2\ninitial epsilon zero or 1 locus 1\n",
     "peltra2: count file \"counts.txt\", SNP 2 (lines 3-4): the SNP is monomorphic (its first allele has",
     {{"counts.txt", std::string(e2e::kOneLocus) + "3\t3\t3\t3\n0\t0\t0\t0\n"}}},
    // A population without data (total 0) is allowed: its term is empty.
    {kTest, 0, "", "", {{"snp.txt", "12\t0\t7\t21\n28\t0\t33\t19\n"}}, {{"bf_environ.env.txt", kBf}}},
    // Extra fields and lines are used up to -p and -n, and said so.
    {kMatrixRun, 0, "num_alleles = 2.000000\n",
     "peltra2: warning: count file \"counts.txt\", line 1: 5 fields where -p is 4; only the first 4 are used",
     {{"counts.txt", "1\t2\t3\t4\t5\n5\t4\t3\t2\t1\n"}}},
    {kTest, 0, "reading environ\n",
     "peltra2: warning: environment file \"env.txt\": 2 more lines than the 2 that -n asks for",
     {{"env.txt", kEnv + "1\t2\t3\t4\n\n5\n"}}},
    {kTest, 0, "reading environ\n",
     "peltra2: warning: matrix file \"matrix.txt\": 1 more line than the 4 rows that -p asks for; only the first 4 "
     "are used",
     {{"matrix.txt", std::string(e2e::kMatrix) + "\n1\t2\t3\t4\n"}}},
    // Past the 100000 loci that a count file may hold (one population).
    {"-i big.txt -p 1 -k -1 -r 5", 0, "holds more than 100000 loci; the first 100000 were used",
     "peltra2: warning: count file \"big.txt\" holds more than 100000 SNPs; only the first 100000 (lines 1-200000) "
     "are used",
     {{"big.txt", [] {
        std::string s;
        for (int l = 0; l <= 100000; l++) s += "1\n1\n";
        return s;
      }()}}},
    // A constant variable: Bayes factor 1, correlations 0/0 written as nan.
    {"-t -c -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 0, "", "",
     {{"env1.txt", "0\t0\t0\t0\n"}}, {{"bf_environ.env1.txt", "snp\\.txt\\t1\\.0000e\\+00\\t-?nan\\t-?nan\\t"}}},
    {"-t -z -c -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 0, "", "",
     {{"env1.txt", "0\t0\t0\t0\n"}}, {{"environ_corr.env1.txt", "snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t-?nan\\t"}}},
    {kTest, 1, "reading environ\n",
     "is not positive definite (the factorisation fails at row 2); give a covariance matrix such as a "
     "matrix-estimation run prints\nNumerical Recipes run-time error...\ncholdc failed\n",
     {{"matrix.txt", "1\t2\t0\t0\n2\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}}},
    {kTest, 1, "reading environ\n", "peltra2: matrix file \"matrix.txt\": the matrix of its first 4 lines is singular",
     {{"matrix.txt", "1\t1\t0\t0\n1\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n"}}},
    // Only the diagonal and the lower triangle are used.
    {kTest, 0, "", "",
     {{"matrix.txt", "0.05\t9\t9\t9\n0.01\t0.06\t9\t9\n0.00\t0.02\t0.04\t9\n0.01\t0.00\t0.01\t0.05\n"}},
     {{"bf_environ.env.txt", kBf}}},
    {"-x -l -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5", 1,
     "GB, more than a quarter of this machine's", "", {{"sizes.txt", "20\t20\t20\t100000\n"}}},
    // Sigma = diag(4, 1, 1, 0.25): L^-1 e divides the variables by 2, 1, 1, 0.5.
    {"-t -c -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 0, "", "",
     {{"matrix.txt", "4\t9\t9\t9\n0\t1\t9\t9\n0\t0\t1\t9\n0\t0\t0\t0.25\n"}},
     {{"standardized.env", "2\\.5000e-01\\t-7\\.0000e-01\\t1\\.1000e\\+00\\t-1\\.8000e\\+00\\t"}}},
    {"-i counts.txt -p 4294967292 -k 10 -r 5", 1, kMissing, "-p: give the number of populations"},
    // The file is read before the K x K starting matrix is made.
    {"-i counts.txt -p 10000 -k 10 -r 5", 1, "Error: count file \"counts.txt\", line 1: 4 fields; 10000 needed\n", ""},
    {"-i counts.txt -p 4 -k 12abc -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: warning: -k \"12abc\" is not a plain whole number; it was read as 12\n"},
    {"-i counts.txt -p 4 -k 10 -r 4294967301", 0, "SEED = -5\n",
     "peltra2: warning: -r \"4294967301\" is beyond the 32-bit range; it was read as 5\n"},
    {"-i counts.txt -p 4 -k 10 -k 12 -r 5", 0, "ITERATIONS = 12\n",
     "peltra2: warning: -k given more than once; the last value (\"12\") is used\n"},
    // Long options and stray words: what getopt made of them.
    {"-i counts.txt -p 4 --output res -k 10 -r 5", 0, "output file is set\n",
     "peltra2: warning: \"--output\" is not an option (options are single letters): it was read as -o \"utput\"\n"
     "peltra2: warning: \"res\" is neither an option nor an option's value: it was ignored\n"},
    {"-i counts.txt -p 4 -k 10 --seed 5", 0, "Sample size file is set\n",
     "it was read as -s \"eed\"\npeltra2: warning: \"5\" is neither an option nor an option's value"},
    {"-i counts.txt -p 4 -k 10 -r 5 --lXo", 0, "Lookup table is set\n", "it was read as -l -X -o (without its value)\n"},
    {"-i counts.txt -p 4 -k 10 -r 5 stray", 0, "SEED = -5\n",
     "peltra2: warning: \"stray\" is neither an option nor an option's value: it was ignored\n"},
    {"-t -z -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5 -o ''", 0, "output file is set\n",
     "peltra2: warning: -o is empty: the result files are named by their suffix alone", {},
     {{".cor", "snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t"}}},
    // A negative -k in matrix estimation: no iteration, no report.
    {"-i counts.txt -p 4 -k -5 -r 5", 0, "number of loci = 3\n",
     "peltra2: warning: -k -5: no iteration ran, so no covariance report was made"},
    {"-t -i snp.txt -n 2 -p 4 -k 5001", 1, kMissing,
     "peltra2: -t needs -m (matrix file), -e (environment file) and -n (a number above 0); missing: -m -e"},
    {"-x -c -X -s sizes.txt -i counts.txt -p 4 -k 10", 1, kMissing,
     "peltra2: -x excludes -c, -f and -X; remove: -c -X\n"},
    {"-i counts.txt -p 4 -k 10 -r 1073741782", 1, "So running matrix estimation\n",
     "which the generator refuses: give a whole number from 1 to 1073741781 (its sign is ignored)\n a, m, s"},
    {"--help", 0, "\t\t-l - Pool mode", ""},
    {"--version", 0, "peltra2 0.4.0", ""},
    // Result names from -e, or -o with a suffix; frequencies only with -f.
    {"-t -X -f -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 0, "", "", {},
     {{"bf_environ.env.txt", kBf}, {"XtX_out.env.txt", "snp\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d"},
      {"snp.txt.freqs", "(-?\\d\\.\\d{4}e[+-]\\d\\d \\t){4}"}, {"environ_corr.env.txt", kEarlier}}},
    {"-t -z -X -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5 -o res", 0, "", "", {},
     {{"res.cor", "snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t"}, {"res.xtx", "snp\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d"},
      {"res.bf", kEarlier}, {"bf_environ.env.txt", kEarlier}, {"snp.txt.freqs", nullptr}}},
    {kTest, 0, "number of loci = 1\n", "", {{"snp.txt.freqs", "earlier\n"}}, {{"snp.txt.freqs", "earlier"}}},
    {"-t -X -i snp.txt -e data/env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 1,
     "\ncannot open the result file \"bf_environ.data/env.txt\" for appending: ", "",
     {{"dir data", ""}, {"data/env.txt", kEnv}}, {{"XtX_out.data", nullptr}}},
    // A file that cannot be written ends the run with one line naming it (an
    // XtX file that cannot be opened leaves the Bayes-factor file as it was).
    {kMatrixRun, 1, "cannot open the covariance report file \"pop_spec.out\" for writing: Is a directory\n", "",
     {{"dir pop_spec.out", ""}}},
    {kTest + " -c", 1,
     "cannot open the standardized environment file \"standardized.env\" for writing: Is a directory\n", "",
     {{"dir standardized.env", ""}}},
    {kTest + " -o res", 1, "cannot open the result file \"res.bf\" for appending: Is a directory\n", "",
     {{"dir res.bf", ""}}},
    {kTest + " -X -o res", 1, "cannot open the result file \"res.xtx\" for appending: Is a directory\n", "",
     {{"dir res.xtx", ""}}},
    {"-t -z -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -k 5001 -r 5 -o res", 1,
     "cannot write the result line to \"res.cor\": No space left on device\n", "",
     {{"link res.cor", "/dev/full"}}},
    {kTest + " -o out/res", 1, "cannot open the result file \"out/res.bf\" for appending: Permission denied\n", "",
     {{"dir out", ""}, {"chmod out", "555"}}},
    {kTest + " -o res", 1, "cannot open the frequency file \"snp.txt.freqs\" for writing: Permission denied\n", "",
     {{"chmod .", "555"}}},
    {kTest + " -f -o res", 1, "error while writing the frequency file \"snp.txt.freqs\"\n", "",
     {{"link snp.txt.freqs", "/dev/full"}}},
    {"-i counts.txt -p 4 -k 1000 -r 5", 1, "error while writing the covariance report file \"pop_spec.out\"\n", "",
     {{"link pop_spec.out", "/dev/full"}}},
    {kTest + " -c -o res", 1, "error while writing the standardized environment file \"standardized.env\"\n", "",
     {{"link standardized.env", "/dev/full"}}},
    // A name the file system takes, but not with the result prefix.
    {"-t -i snp.txt -e " + std::string(250, 'e') + " -m matrix.txt -n 2 -p 4 -k 5001 -r 5", 1,
     "\ncannot open the result file \"bf_environ." + std::string(250, 'e') + "\" for appending: File name too long", "",
     {{std::string(250, 'e'), kEnv}}},
};

std::string last_line(const std::string &text) {
  auto lines = e2e::lines(text);
  return lines.empty() ? "" : lines.back();
}

// Runs one row in a scratch directory holding the default files.
void check(const Row &row, bool exact) {
  TempDir d;
  d.write("snp.txt", e2e::kOneLocus);
  d.write("counts.txt", "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n1\t29\t20\t3\n29\t1\t10\t27\n");
  d.write("env.txt", kEnv);
  d.write("env1.txt", "-1.2\t0.3\t0.8\t0.1\n");
  d.write("matrix.txt", e2e::kMatrix);
  d.write("sizes.txt", e2e::kSampleSizes);
  d.write("pool.txt", e2e::kPooledLocus);
  d.write("pop_spec.out", kLeftOver);
  std::string trace = row.args;
  bool chmods = false;
  for (const auto &[name, content] : row.files) {
    std::string path = d.file(name.substr(name.find(' ') + 1));
    trace += "\n  with " + name;
    if (name.rfind("dir ", 0) == 0 || name.rfind("link ", 0) == 0) unlink(path.c_str());
    if (name.rfind("dir ", 0) == 0) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << name;
    } else if (name.rfind("link ", 0) == 0) {
      ASSERT_EQ(symlink(content.c_str(), path.c_str()), 0) << name;
    } else if (name.rfind("chmod ", 0) == 0) {
      ASSERT_EQ(chmod(path.c_str(), std::stoul(content, nullptr, 8)), 0) << name;
      chmods = true;
    } else {
      d.write(name, content);
    }
  }
  if (chmods && geteuid() == 0) return;  // permissions do not bind root
  // The rows' result files get an earlier line (unless a row made them).
  std::map<std::string, std::string> before;
  for (std::string name : {"bf_environ.env.txt", "environ_corr.env.txt", "XtX_out.env.txt", "bf_environ.env1.txt",
                           "environ_corr.env1.txt", "res.bf", "res.cor", "res.xtx"}) {
    struct stat st;
    if (lstat(d.file(name).c_str(), &st) != 0) d.write(name, "earlier.txt\t1.0000e+00\t\n");
    if (lstat(d.file(name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) before[name] = d.read(name);
  }
  RunResult r = testsupport::run_shell("timeout 120 '" PELTRA2_BIN "' " + row.args, d.path());
  for (const auto &f : row.files)  // so that the scratch directory can be removed
    if (f.first.rfind("chmod ", 0) == 0) chmod(d.file(f.first.substr(6)).c_str(), 0755);

  SCOPED_TRACE(trace + "\n--- stdout (end) ---\n" + r.out.substr(r.out.size() - std::min<size_t>(r.out.size(), 500)) +
               "\n--- stderr ---\n" + r.err.substr(0, 2000));
  EXPECT_EQ(r.status, row.status);
  if (!exact) {
    EXPECT_NE(r.out.find(row.out), std::string::npos) << row.out;
    EXPECT_TRUE(row.err.empty() ? r.err.empty() : r.err.find(row.err) != std::string::npos) << row.err;
  } else {
    EXPECT_EQ(fixed_messages(r.out), row.out);
    EXPECT_EQ(fixed_messages(r.err), row.err);
    // Nothing is written before the check and the seeding.
    EXPECT_EQ(d.read("pop_spec.out"), row.status == 0 ? "" : kLeftOver);
    EXPECT_FALSE(d.exists("snp.txt.freqs"));
  }
  for (const auto &[name, pattern] : row.after)
    EXPECT_TRUE(pattern ? std::regex_match(last_line(d.read(name)), std::regex(pattern)) : !d.exists(name))
        << name << ": " << d.read(name);
  for (const auto &[name, content] : before) {
    std::string now = d.exists(name) ? d.read(name) : "(removed)";
    std::string kept = row.status != 0 ? now : now.substr(0, content.size());
    EXPECT_EQ(kept, content) << (row.status != 0 ? "a failed run changed " : "earlier lines lost from ") << name;
  }
}

TEST(CommandLine, EachRowEndsAsListed) {
  for (const Row &row : kExact) check(row, true);
  for (const Row &row : kRuns) check(row, false);
}

}  // namespace
