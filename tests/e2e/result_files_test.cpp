// Result files: their names, appending, whole-line writes, the pooled Z
// line, files that cannot be opened, and the Bayes-factor grid.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>

#include "e2e/e2e_fixtures.h"
#include "run/run_control.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

void write_inputs(const TempDir &d, const std::string &env_name = "env.txt") {
  d.write("snp.txt", e2e::kOneLocus);
  d.write(env_name, e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
}

std::string test_run(const std::string &extra, const std::string &env_name = "env.txt") {
  return "-t -i snp.txt -e " + env_name + " -m matrix.txt -n 2 -p 4 -k 5001 -r 5 " + extra;
}

TEST(ResultFiles, NamesWithAndWithoutOutputOption) {
  struct Case {
    const char *extra;
    std::vector<std::string> files;
  } cases[] = {
      {"-X", {"bf_environ.env.txt", "XtX_out.env.txt"}},
      {"-X -z", {"environ_corr.env.txt", "XtX_out.env.txt"}},
      {"-X -o res", {"res.bf", "res.xtx"}},
      {"-X -z -o res", {"res.cor", "res.xtx"}},
      {"", {"bf_environ.env.txt"}},
  };
  const char *all[] = {"bf_environ.env.txt", "environ_corr.env.txt", "XtX_out.env.txt",
                       "res.bf", "res.cor", "res.xtx"};
  for (const auto &c : cases) {
    TempDir d;
    write_inputs(d);
    auto r = run_peltra2(test_run(c.extra), d.path());
    ASSERT_EQ(r.status, 0) << c.extra << r.out << r.err;
    for (const char *name : all) {
      bool expected = std::find(c.files.begin(), c.files.end(), name) != c.files.end();
      EXPECT_EQ(d.exists(name), expected) << c.extra << ": " << name;
    }
    // No frequency file without -f.
    EXPECT_FALSE(d.exists("snp.txt.freqs"));
  }
}

TEST(ResultFiles, DefaultNamesKeepTheEnvironmentDirectory) {
  TempDir d;
  ASSERT_EQ(mkdir(d.file("data").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(d.file("bf_environ.data").c_str(), 0755), 0);
  write_inputs(d, "data/env.txt");
  auto r = run_peltra2(test_run("", "data/env.txt"), d.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(e2e::lines(d.read("bf_environ.data/env.txt")).size(), 1u);
}

TEST(ResultFiles, TwoRunsAppendTwoLines) {
  TempDir d;
  write_inputs(d);
  for (int run = 0; run < 2; run++) ASSERT_EQ(run_peltra2(test_run("-X -r 8"), d.path()).status, 0);
  auto bf = e2e::lines(d.read("bf_environ.env.txt"));
  auto xtx = e2e::lines(d.read("XtX_out.env.txt"));
  ASSERT_EQ(bf.size(), 2u);
  ASSERT_EQ(xtx.size(), 2u);
  EXPECT_EQ(bf[0], bf[1]);
  EXPECT_EQ(xtx[0], xtx[1]);
  // Two fields after the name, each tab-terminated; XtX ends without a tab.
  EXPECT_TRUE(std::regex_match(bf[0], std::regex("snp\\.txt(\\t\\d\\.\\d{4}e[+-]\\d\\d){2}\\t")))
      << bf[0];
  EXPECT_EQ(d.read("XtX_out.env.txt").back(), '\n');
  EXPECT_NE(xtx[0].back(), '\t');
}

TEST(ResultFiles, PooledRunWritesZLine) {
  TempDir d;
  d.write("snp.txt", e2e::kPooledLocus);
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
  d.write("sizes.txt", e2e::kSampleSizes);
  auto r = run_peltra2("-x -t -s sizes.txt -i snp.txt -e env.txt -m matrix.txt -n 1 -p 4 -k 5501 -r 4",
                       d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_FALSE(d.exists("bf_environ.env.txt"));
  auto z = e2e::lines(d.read("environ_corr.env.txt"));
  ASSERT_EQ(z.size(), 1u);
  EXPECT_TRUE(std::regex_match(z[0], std::regex("snp\\.txt\\t\\d\\.\\d{10}e[+-]\\d\\d\\t"))) << z[0];
}

TEST(ResultFiles, UnopenableResultFileIsFatal) {
  TempDir d;
  ASSERT_EQ(mkdir(d.file("data").c_str(), 0755), 0);
  write_inputs(d, "data/env.txt");
  auto r = run_peltra2(test_run("-X", "data/env.txt"), d.path());
  EXPECT_EQ(r.status, 1);
  auto out = e2e::lines(r.out);
  ASSERT_FALSE(out.empty());
  EXPECT_NE(out.back().find("cannot open the result file \"bf_environ.data/env.txt\" for appending"),
            std::string::npos)
      << out.back();
  EXPECT_NE(out.back().find("directory part included"), std::string::npos) << out.back();
  EXPECT_FALSE(d.exists("XtX_out.data"));

  write_inputs(d);
  r = run_peltra2(test_run("-z -o missing/res"), d.path());
  EXPECT_EQ(r.status, 1);
  out = e2e::lines(r.out);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back().find("cannot open the result file \"missing/res.cor\" for appending: "), 0u)
      << out.back();
  EXPECT_EQ(out.back().find("directory part"), std::string::npos);
}

// Processes appending to one file at once: every line arrives whole.
TEST(ResultFiles, ConcurrentAppendsNeverInterleave) {
  TempDir d;
  const std::string name = d.file("shared.bf");
  const int writers = 6, per_writer = 150;
  std::vector<pid_t> pids;
  for (int w = 0; w < writers; w++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Long lines, so that a line split into several writes would show.
      std::string line = "snp" + std::to_string(w) + "\t" + std::string(5000, 'a' + w) + "\t\n";
      for (int i = 0; i < per_writer; i++) append_result_line(name, line, "");
      _exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  std::map<std::string, int> seen;
  for (const auto &line : e2e::lines(testsupport::read_file(name))) seen[line]++;
  ASSERT_EQ(seen.size(), (size_t)writers);
  for (const auto &kv : seen) EXPECT_EQ(kv.second, per_writer);
}

TEST(ResultFiles, BayesFactorGrid) {
  EXPECT_EQ(beta_grid_point(1, 101), -0.1);
  EXPECT_EQ(beta_grid_point(51, 101), 0.0);
  EXPECT_EQ(beta_grid_point(101, 101), 0.1);
  EXPECT_NEAR(beta_grid_point(52, 101) - beta_grid_point(51, 101), 0.002, 1e-15);
}

}  // namespace
