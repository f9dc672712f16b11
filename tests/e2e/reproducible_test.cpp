// Runs and threads at once. Matrix estimation on many loci, where both
// workers draw: the seed fixes every byte of the output however the two
// threads are scheduled, and the report recorded here catches any change to
// the order of the draws. Test runs started at once append to one result
// file: each that succeeds one whole line, each that fails none. And the
// progress line on a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e/e2e_fixtures.h"

using testsupport::run_peltra2;
using testsupport::run_shell;
using testsupport::TempDir;

namespace {

// 321 loci: shares of 160 and 161 loci, so 5 and 6 blocks of normal
// deviates, and enough loci for the epsilon step's parallel path.
const char *kRun = "-p 4 -k 500 -i loci.txt -r 7";

// Recorded with the fixed order of draws (blocks of 32 loci, the shares'
// blocks alternating; uniforms in locus order).
const char *kReport =
    "VAR-COVAR MATRIX: ITER = 500\n"
    "9.105238e-02\t-5.524990e-02\t-2.916213e-02\t6.384993e-02\t\n"
    "-5.524990e-02\t1.250177e-01\t-7.172267e-02\t-4.066619e-02\t\n"
    "-2.916213e-02\t-7.172267e-02\t1.518863e-01\t-3.914538e-02\t\n"
    "6.384993e-02\t-4.066619e-02\t-3.914538e-02\t7.986402e-02\t\n"
    "\n";

// Six runs, every other one with both workers pinned to one core (where
// taskset exists). Then a write that fails, on a full device or into a pipe
// whose reader has gone, ends the run with status 1 and a message.
TEST(Reproducible, SameSeedSameBytesAndFailedWritesEndWithStatusOne) {
  TempDir d;
  d.write("loci.txt", e2e::many_loci(321, 4));
  bool pin = run_shell("command -v taskset", d.path()).status == 0;
  std::string first_out;
  for (int i = 0; i < 6; i++) {
    bool pinned = pin && i % 2 == 1;
    auto r = pinned ? run_shell(std::string("taskset -c 0 '") + PELTRA2_BIN + "' " + kRun, d.path())
                    : run_peltra2(kRun, d.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(d.read("pop_spec.out"), "0.0000e+00\t0.0000e+00\t0.0000e+00\t0.0000e+00\t\n") << "run " << i;
    if (i == 0) {
      first_out = r.out;
      EXPECT_EQ(r.out.substr(r.out.find("VAR-COVAR")), kReport);
    } else {
      ASSERT_EQ(r.out, first_out) << "run " << i << (pinned ? " on one core" : "");
    }
  }
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  ASSERT_LE(fds[1], 9);  // the shell redirects from single-digit descriptors only
  for (std::string to : {std::string(" >/dev/full"), " >&" + std::to_string(fds[1])}) {
    auto r = run_peltra2(kRun + to, d.path());
    EXPECT_EQ(r.status, 1) << to;
    EXPECT_NE(r.err.find("cannot write to standard output"), std::string::npos) << to << ": " << r.err;
  }
  close(fds[1]);
}

// Runs peltra2 in d with standard error, and with `both` standard output too,
// on a new pseudo-terminal; returns what the terminal received.
std::string run_on_terminal(const TempDir &d, const std::string &args, bool both, testsupport::RunResult *r) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no terminal";
  const std::string terminal = ptsname(master);
  int held = open(terminal.c_str(), O_RDWR | O_NOCTTY);  // keeps what was written readable
  *r = run_peltra2(args + " 2>'" + terminal + (both ? "' >&2" : "'"), d.path());
  std::string seen;
  char buf[4096];
  pollfd p = {master, POLLIN, 0};
  for (ssize_t n = 1; n > 0 && poll(&p, 1, 200) == 1;) {
    n = read(master, buf, sizeof buf);
    if (n > 0) seen.append(buf, (size_t)n);
  }
  close(held);
  close(master);
  return seen;
}

TEST(Reproducible, ProgressLineOnATerminal) {
  TempDir d;
  d.write("loci.txt", e2e::many_loci(321, 4));
  testsupport::RunResult r;
  // Reports in a file: the line is drawn and erased once, at the end (a
  // redraw after an erasure would show as "\r\r"). The run lasts long enough
  // after its first report for redraws (four a second).
  std::string seen = run_on_terminal(d, "-p 4 -k 6000 -i loci.txt -r 7", false, &r);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("VAR-COVAR MATRIX: ITER = 6000\n"), std::string::npos);
  EXPECT_EQ(seen.rfind("\riteration 1 of 6000", 0), 0u) << seen;
  EXPECT_EQ(seen.find("\r\r"), std::string::npos);
  EXPECT_TRUE(std::regex_search(seen, std::regex("\r +\r$")));
  // Reports on the same terminal: the line is erased before each of them.
  seen = run_on_terminal(d, "-p 4 -k 1000 -i loci.txt -r 7", true, &r);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(seen.find("\riteration 1 of 1000"), std::string::npos) << seen;
  EXPECT_NE(seen.find("VAR-COVAR MATRIX: ITER = 1000"), std::string::npos) << seen;
  EXPECT_FALSE(std::regex_search(seen, std::regex("[^\r\n]VAR-COVAR"))) << seen;
}

// Forty test runs at once, one count file each; every fourth file holds a
// locus without polymorphism, which ends its run at the chain's start, after
// the inputs were read. Long file names make long lines, so that a line
// written in pieces would show.
TEST(NothingLost, ConcurrentRunsAppendWholeLinesAndFailuresAppendNone) {
  TempDir d;
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
  d.write("res.bf", "earlier.txt\t1.0000e+00\t1.0000e+00\t\n");
  const std::string x200(200, 'x');
  for (int i = 0; i < 40; i++)
    d.write("snp" + std::to_string(i) + x200, i % 4 == 3 ? "0\t0\t0\t0\n9\t9\t9\t9\n" : e2e::kOneLocus);
  auto r = run_shell("for i in $(seq 0 39); do '" PELTRA2_BIN "' -t -i snp${i}" + x200 +
                         " -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r $((i + 1)) -o res >/dev/null 2>&1"
                         " || echo \"$i failed\" >>statuses & done; wait",
                     d.path());
  std::vector<std::string> failed = e2e::lines(d.read("statuses")), expected;
  for (int i = 3; i < 40; i += 4) expected.push_back(std::to_string(i) + " failed");
  std::sort(failed.begin(), failed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(failed, expected);
  auto lines = e2e::lines(d.read("res.bf"));
  ASSERT_EQ(lines.size(), 31u);
  EXPECT_EQ(lines[0].substr(0, 12), "earlier.txt\t");
  std::map<std::string, int> seen;
  for (size_t k = 1; k < lines.size(); k++) {
    EXPECT_TRUE(std::regex_match(lines[k], std::regex("snp\\d+x{200}(\\t-?\\d\\.\\d{4}e[+-]\\d\\d){2}\\t")))
        << lines[k].substr(0, 80);
    seen[lines[k].substr(0, lines[k].find('\t'))]++;
  }
  for (int i = 0; i < 40; i++) EXPECT_EQ(seen["snp" + std::to_string(i) + x200], i % 4 == 3 ? 0 : 1) << "run " << i;
}

}  // namespace
