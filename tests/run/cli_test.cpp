// The command line as the user sees it: the help text, the option messages,
// the configuration check and the seed rules, run through the peltra2 binary.
// No input file exists in these runs: every row ends at the check, at
// seeding, or (for the seed rows that pass seeding) after the run header.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/cli.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::run_peltra2;

const std::string kBanner = "===== PELTRA2.0 =====\n\n";
const std::string kMissing = "\n!!!Missing or wrong options for chosen configuration.\n";
const std::string kPooledOneVariable =
    "Only a single environmental variable is supported in pooled mode. \n\n";
const std::string kMatrixMode = "TEST = 0 . So running matrix estimation\n";
const std::string kTestMode = "TEST = 1 . So running test at a SNP\n";

// One line per option, as parse_cl prints them.
const std::string kX = "NGS is set\n", kC = "correlation output is set\n",
                  kE = "environment file is set\n", kF = "frequency output is set\n",
                  kI = "input file is set\n", kK = "number of iterations is set\n",
                  kL = "Lookup table is set\n", kM = "matrix is set\n",
                  kN = "number of environmental variables is set\n", kO = "output file is set\n",
                  kP = "number of populations is set\n", kR = "seed is set\n",
                  kS = "Sample size file is set\n", kT = "TEST is set\n",
                  kZ = "SNP_TEST is off.\n", kXtX = "Calculating XtX\n";

// The three lines setall prints when mltmod refuses the seed s of generator 1.
std::string mltmod_refusal(const char *s) {
  return std::string(" a, m, s out of order in mltmod - ABORT!\n") + " a =   2082007225 s = " + s +
         " m =   2147483563\n mltmod requires: 0 < a < m; 0 < s < m\n";
}

// Drops the plain hints ("peltra2: ..." lines, checked by the hints table)
// from standard error, leaving the fixed messages these rows check.
std::string without_hints(const std::string &err) {
  std::string kept;
  for (size_t at = 0, end; at < err.size(); at = end) {
    end = std::min(err.find('\n', at) + 1, err.size());
    if (err.compare(at, 9, "peltra2: ") != 0) kept += err.substr(at, end - at);
  }
  return kept;
}

struct Row {
  const char *args;
  std::string out;   // standard output, exactly (or its start when out_is_prefix)
  std::string err;   // standard error, exactly
  bool out_is_prefix;
};

void check_rows(const std::vector<Row> &rows) {
  for (const Row &row : rows) {
    SCOPED_TRACE(row.args);
    TempDir dir;
    RunResult r = run_peltra2(row.args, dir.path());
    EXPECT_EQ(r.status, 1);
    if (row.out_is_prefix)
      EXPECT_EQ(r.out.substr(0, row.out.size()), row.out) << r.out;
    else
      EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(without_hints(r.err), row.err);
    // Nothing is read or written before the check and the seeding.
    EXPECT_FALSE(dir.exists("pop_spec.out"));
  }
}

TEST(CommandLine, HelpTextWithoutArguments) {
  TempDir dir;
  RunResult r = run_peltra2("", dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
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
            "\t\n\n");
  EXPECT_EQ(r.err, "");
}

TEST(CommandLine, EveryOptionMessageInOrder) {
  // Every option once, in option-string order; pooled mode with -c then
  // fails the check.
  check_rows({
      {"-x -c -e env.txt -f -i c.txt -k 10 -l -m mat.txt -n 1 -o res -p 3 -r 5 -s s.txt -t -z -X",
       kBanner + kX + kC + kE + kF + kI + kK + kL + kM + kN + kO + kP + kR + kS + kT + kZ + kXtX +
           kMissing,
       "", false},
      // Test-mode options have no effect in matrix estimation: the check
      // passes and the run ends at seeding (seed 0).
      {"-e env.txt -m mat.txt -n 2 -o res -z -c -f -X -l -p 4 -k 10 -i c.txt -r 0",
       kBanner + kE + kM + kN + kO + kZ + kC + kF + kXtX + kL + kP + kK + kI + kR + kMatrixMode,
       mltmod_refusal("           0"), false},
  });
}

TEST(CommandLine, ConfigurationMessages) {
  check_rows({
      // Zero or absent values, negative sizes, no count file.
      {"-p 4 -k 1000", kBanner + kP + kK + kMissing, "", false},
      {"-k 1000 -i c.txt", kBanner + kK + kI + kMissing, "", false},
      {"-p 4 -i c.txt", kBanner + kP + kI + kMissing, "", false},
      {"-p 4 -k abc -i c.txt", kBanner + kP + kK + kI + kMissing, "", false},
      {"-p -4 -k 1000 -i c.txt", kBanner + kP + kK + kI + kMissing, "", false},
      {"-p 4 -k 1000 -i c.txt -n -1", kBanner + kP + kK + kI + kN + kMissing, "", false},
      // Test mode needs -n, -e and -m.
      {"-t -p 4 -k 6000 -i c.txt -e env.txt -m mat.txt", kBanner + kT + kP + kK + kI + kE + kM + kMissing,
       "", false},
      {"-t -p 4 -k 6000 -i c.txt -n 1 -m mat.txt", kBanner + kT + kP + kK + kI + kN + kM + kMissing, "",
       false},
      {"-t -p 4 -k 6000 -i c.txt -n 1 -e env.txt", kBanner + kT + kP + kK + kI + kN + kE + kMissing, "",
       false},
      {"-t -p 4 -k 6000 -i c.txt -n 0 -e env.txt -m mat.txt",
       kBanner + kT + kP + kK + kI + kN + kE + kM + kMissing, "", false},
      // Pooled mode needs -s and allows none of -c, -f, -X, even in matrix estimation.
      {"-x -p 4 -k 1000 -i c.txt", kBanner + kX + kP + kK + kI + kMissing, "", false},
      {"-x -s s.txt -c -p 4 -k 1000 -i c.txt", kBanner + kX + kS + kC + kP + kK + kI + kMissing, "", false},
      {"-x -s s.txt -f -p 4 -k 1000 -i c.txt", kBanner + kX + kS + kF + kP + kK + kI + kMissing, "", false},
      {"-x -s s.txt -X -p 4 -k 1000 -i c.txt", kBanner + kX + kS + kXtX + kP + kK + kI + kMissing, "",
       false},
      {"-x -t -n 1 -s s.txt -e env.txt -m mat.txt -c -p 4 -k 6000 -i c.txt",
       kBanner + kX + kT + kN + kS + kE + kM + kC + kP + kK + kI + kMissing, "", false},
      // A pooled test takes exactly one variable; this is checked before the burn-in rule.
      {"-x -t -n 2 -s s.txt -e env.txt -m mat.txt -p 4 -k 6000 -i c.txt",
       kBanner + kX + kT + kN + kS + kE + kM + kP + kK + kI + kPooledOneVariable, "", false},
      {"-x -t -n 2 -s s.txt -e env.txt -m mat.txt -p 4 -k 1000 -i c.txt",
       kBanner + kX + kT + kN + kS + kE + kM + kP + kK + kI + kPooledOneVariable, "", false},
      // Test mode samples only after the 5000 burn-in iterations.
      {"-t -n 1 -e env.txt -m mat.txt -p 4 -k 5000 -i c.txt",
       kBanner + kT + kN + kE + kM + kP + kK + kI +
           "Test mode needs more than 5000 iterations (-k 5000): the first 5000 are burn-in.\n",
       "", false},
      {"-t -n 1 -e env.txt -m mat.txt -p 4 -k -1 -i c.txt",
       kBanner + kT + kN + kE + kM + kP + kK + kI +
           "Test mode needs more than 5000 iterations (-k -1): the first 5000 are burn-in.\n",
       "", false},
      // Population counts a count-file line cannot hold.
      {"-p 10001 -k 1000 -i c.txt",
       kBanner + kP + kK + kI + "Too many populations (-p 10001): at most 10000 are supported.\n", "",
       false},
      {"-p 1000000000 -k 1000 -i c.txt",
       kBanner + kP + kK + kI + "Too many populations (-p 1000000000): at most 10000 are supported.\n",
       "", false},
  });
}

TEST(CommandLine, ConfigurationsThatPassTheCheckEndAtSeedZero) {
  const std::string refused = mltmod_refusal("           0");
  check_rows({
      {"-p 4 -k 1000 -i c.txt -r 0", kBanner + kP + kK + kI + kR + kMatrixMode, refused, false},
      {"-p 4 -k 12abc -i c.txt -r 0", kBanner + kP + kK + kI + kR + kMatrixMode, refused, false},
      // A negative -k is legal in matrix estimation: no iteration.
      {"-p 4 -k -5 -i c.txt -r 0", kBanner + kP + kK + kI + kR + kMatrixMode, refused, false},
      {"-p 10000 -k 1 -i c.txt -r 0", kBanner + kP + kK + kI + kR + kMatrixMode, refused, false},
      {"-l -p 4 -k 1 -i c.txt -r 0", kBanner + kL + kP + kK + kI + kR + kMatrixMode, refused, false},
      // Bayes-factor and Z tests; the test-mode staging may print after the mode line.
      {"-t -n 2 -e env.txt -m mat.txt -p 4 -k 5001 -i c.txt -r 0",
       kBanner + kT + kN + kE + kM + kP + kK + kI + kR + kTestMode, refused, true},
      {"-t -z -n 2 -e env.txt -m mat.txt -p 4 -k 5001 -i c.txt -r 0",
       kBanner + kT + kZ + kN + kE + kM + kP + kK + kI + kR + kTestMode, refused, true},
  });
}

TEST(CommandLine, SeedsOutsideTheGeneratorsRangeEndAtSeeding) {
  const std::string head = kBanner + kP + kK + kI + kR + kMatrixMode;
  check_rows({
      // 2 * 1073741782 is the first modulus plus one.
      {"-p 4 -k 1 -i c.txt -r 1073741782", head, mltmod_refusal("  2147483564"), false},
      {"-p 4 -k 1 -i c.txt -r -1073741782", head, mltmod_refusal("  2147483564"), false},
      {"-p 4 -k 1 -i c.txt -r 2147483648", head, mltmod_refusal("  4294967296"), false},
      {"-p 4 -k 1 -i c.txt -r abc", head, mltmod_refusal("           0"), false},
  });
}

TEST(CommandLine, SeedLineOfTheRunHeader) {
  struct SeedCase {
    const char *arg;
    const char *line;
  };
  for (const SeedCase &c : std::vector<SeedCase>{{"77", "SEED = -77\n\n"},
                                                 {"-77", "SEED = -77\n\n"},
                                                 {"4294967297", "SEED = -1\n\n"},
                                                 {"1073741781", "SEED = -1073741781\n\n"}}) {
    SCOPED_TRACE(c.arg);
    TempDir dir;
    // The count file does not exist, so the run stops after the header.
    RunResult r = run_peltra2(std::string("-p 4 -k 1 -i c.txt -r ") + c.arg, dir.path());
    std::string header = kBanner + kP + kK + kI + kR + kMatrixMode +
                         "MCMC VER 0.71 (THREADED)\nITERATIONS = 1\nINPUT FILE = c.txt\n" + c.line;
    EXPECT_EQ(r.out.substr(0, header.size()), header) << r.out;
    EXPECT_EQ(r.err.find("mltmod"), std::string::npos) << r.err;
  }
}

TEST(CommandLine, GetoptDiagnosticThenUnknownArg) {
  TempDir dir;
  // An unknown option is reported and parsing goes on.
  RunResult r = run_peltra2("-q -p 4 -k 1000 -i c.txt -r 0", dir.path());
  r.err = without_hints(r.err);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kBanner + "unknown arg ?\n" + kP + kK + kI + kR + kMatrixMode);
  std::string refused = mltmod_refusal("           0");
  ASSERT_GT(r.err.size(), refused.size());
  std::string diagnostic = r.err.substr(0, r.err.size() - refused.size());
  EXPECT_NE(diagnostic.find("'q'"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(diagnostic.begin(), diagnostic.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.substr(diagnostic.size()), refused);

  // A missing argument likewise; here -k is lost, so the check fails.
  r = run_peltra2("-p 4 -i c.txt -k", dir.path());
  r.err = without_hints(r.err);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kBanner + kP + kI + "unknown arg ?\n" + kMissing);
  EXPECT_NE(r.err.find("'k'"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(CommandLine, MessagesKeepTheirOrderWhenBothStreamsShareAFile) {
  TempDir dir;
  RunResult r = run_peltra2("-q -p 4 -k 1000 -i c.txt -r 0 2>&1", dir.path());
  r.out = without_hints(r.out);
  EXPECT_EQ(r.status, 1);
  std::string refused = mltmod_refusal("           0");
  ASSERT_GT(r.out.size(), refused.size());
  EXPECT_EQ(r.out.substr(0, kBanner.size()), kBanner);
  size_t unknown = r.out.find("unknown arg ?\n");
  size_t diagnostic = r.out.find("'q'");
  ASSERT_NE(unknown, std::string::npos);
  EXPECT_LT(diagnostic, unknown) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - refused.size() - kMatrixMode.size()), kMatrixMode + refused);
}

}  // namespace
