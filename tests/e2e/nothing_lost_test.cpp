// Nothing lost: many test runs started at once append to the same result
// files; every run that succeeds leaves exactly one whole line in each, a run
// that fails leaves none, and the lines already there stay first.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e/e2e_fixtures.h"

using testsupport::TempDir;

namespace {

const int kRuns = 40;

// Every fourth run gets a locus without polymorphism, which ends the run at
// the chain's initialisation, after the inputs were read.
bool fails(int i) { return i % 4 == 3; }

// Long count-file names make long lines, so that a line written in pieces
// would show.
std::string count_name(int i) { return "snp" + std::to_string(i) + "-" + std::string(200, 'x') + ".txt"; }

pid_t start_run(const TempDir &d, int i) {
  std::string seed = std::to_string(i + 1);
  std::string input = count_name(i);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(d.path().c_str()) != 0) _exit(127);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(PELTRA2_BIN, "peltra2", "-t", "-X", "-i", input.c_str(), "-e", "env.txt", "-m", "matrix.txt",
          "-n", "2", "-p", "4", "-k", "5001", "-r", seed.c_str(), "-o", "res", (char *)nullptr);
    _exit(127);
  }
  return pid;
}

TEST(NothingLost, ConcurrentRunsAppendWholeLinesAndFailuresAppendNone) {
  TempDir d;
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
  const std::string earlier = "earlier.txt\t1.0000e+00\t1.0000e+00\t\n";
  d.write("res.bf", earlier);
  d.write("res.xtx", "earlier.txt\t4.0000e+00\n");
  for (int i = 0; i < kRuns; i++)
    d.write(count_name(i), fails(i) ? "0\t0\t0\t0\n9\t9\t9\t9\n" : e2e::kOneLocus);

  std::vector<pid_t> pids;
  for (int i = 0; i < kRuns; i++) {
    pid_t pid = start_run(d, i);
    ASSERT_GT(pid, 0);
    pids.push_back(pid);
  }
  for (int i = 0; i < kRuns; i++) {
    int st = 0;
    ASSERT_EQ(waitpid(pids[i], &st, 0), pids[i]);
    ASSERT_TRUE(WIFEXITED(st)) << "run " << i << " ended by a signal";
    EXPECT_EQ(WEXITSTATUS(st), fails(i) ? 1 : 0) << "run " << i;
  }

  const std::regex bf_line("snp\\d+-x{200}\\.txt(\\t-?\\d\\.\\d{4}e[+-]\\d\\d){2}\\t");
  const std::regex xtx_line("snp\\d+-x{200}\\.txt\\t\\d\\.\\d{4}e[+-]\\d\\d");
  struct {
    const char *file;
    const std::regex &line;
  } results[] = {{"res.bf", bf_line}, {"res.xtx", xtx_line}};
  for (const auto &res : results) {
    auto lines = e2e::lines(d.read(res.file));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(0, 12), "earlier.txt\t") << res.file;
    std::map<std::string, int> seen;
    for (size_t k = 1; k < lines.size(); k++) {
      EXPECT_TRUE(std::regex_match(lines[k], res.line)) << res.file << ": " << lines[k].substr(0, 80);
      seen[lines[k].substr(0, lines[k].find('\t'))]++;
    }
    for (int i = 0; i < kRuns; i++)
      EXPECT_EQ(seen[count_name(i)], fails(i) ? 0 : 1) << res.file << ", run " << i;
    EXPECT_EQ(lines.size(), 1u + kRuns - kRuns / 4) << res.file;
  }
}

}  // namespace
