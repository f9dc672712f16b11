// What a run prints at start-up, when it samples and reports, and how result
// lines are appended. The values themselves are pinned by the recorded runs
// (results_unchanged_test.cpp); the malformed inputs by the catalogue.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "e2e/e2e_fixtures.h"
#include "run/run_control.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

const std::string kHeader = "===== PELTRA2.0 =====\n\n";

void write_inputs(const TempDir &d) {
  d.write("snp.txt", e2e::kOneLocus);
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
  d.write("counts.txt", e2e::many_loci(3, 4));
  d.write("reads.txt", std::string(e2e::kPooledLocus) + e2e::kPooledLocus);
  d.write("sizes.txt", "10\t30\t20\t20\n");
  d.write("pop_spec.out", "left over from an earlier run\n");
}

// The whole standard output of start-up, and the working files it leaves:
// matrix estimation reads neither -e nor -m and empties pop_spec.out; a test
// run creates no frequency file without -f.
TEST(RunOutput, StartupPrintsEveryStageInItsPlace) {
  const struct {
    const char *args, *out, *freqs;
  } rows[] = {
      {"-i counts.txt -p 4 -k -1 -r 5 -e env.txt -m matrix.txt",
       "input file is set\nnumber of populations is set\nnumber of iterations is set\nseed is set\n"
       "environment file is set\nmatrix is set\nTEST = 0 . So running matrix estimation\n"
       "MCMC VER 0.71 (THREADED)\nITERATIONS = -1\nINPUT FILE = counts.txt\nSEED = -5\n\n"
       "num_alleles = 6.000000\nnumber of loci = 3\n",
       nullptr},
      {"-x -s sizes.txt -i reads.txt -p 4 -k -1 -r 77 -l",
       "NGS is set\nSample size file is set\ninput file is set\nnumber of populations is set\n"
       "number of iterations is set\nseed is set\nLookup table is set\nTEST = 0 . So running matrix estimation\n"
       "10 30\nMCMC VER 0.71 (THREADED)\nITERATIONS = -1\nINPUT FILE = reads.txt\nSEED = -77\n\n"
       "num_alleles = 4.000000\nnumber of loci = 2\n",
       nullptr},
      {"-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5",
       "TEST is set\ninput file is set\nenvironment file is set\nmatrix is set\n"
       "number of environmental variables is set\nnumber of populations is set\nnumber of iterations is set\n"
       "seed is set\nTEST = 1 . So running test at a SNP\nnumber of environmental variables 2\n\n"
       "MCMC VER 0.71 (THREADED)\nITERATIONS = 5001\nINPUT FILE = snp.txt\nMATRIX FILE = matrix.txt\n"
       "SEED = -5\n\nENVIRON FILE = env.txt\nreading environ\nnum_alleles = 2.000000\nnumber of loci = 1\n",
       nullptr},
  };
  for (const auto &row : rows) {
    TempDir d;
    write_inputs(d);
    auto r = run_peltra2(row.args, d.path());
    EXPECT_EQ(r.status, 0) << row.args << r.err;
    EXPECT_EQ(r.out, kHeader + row.out) << row.args;
    EXPECT_EQ(d.read("pop_spec.out"), "") << row.args;
    EXPECT_EQ(d.exists("snp.txt.freqs"), row.freqs != nullptr) << row.args;
    if (row.freqs) {
      EXPECT_EQ(d.read("snp.txt.freqs"), row.freqs);
    }
  }
}

// Test runs sample the iterations 5001, 5501, ...; matrix estimation reports
// at every 500th iteration and writes one zero line of mu to pop_spec.out.
TEST(RunOutput, SamplingAndReportSchedules) {
  const std::string zeros = "0.0000e+00\t0.0000e+00\t0.0000e+00\t0.0000e+00\t\n";
  const struct {
    const char *args, *file;
    size_t lines;
  } rows[] = {
      {"-t -f -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -r 5 -k 5500", "snp.txt.freqs", 1},
      {"-t -f -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -r 5 -k 5501", "snp.txt.freqs", 2},
      {"-i counts.txt -p 4 -r 3 -k 499", "pop_spec.out", 0},
      {"-i counts.txt -p 4 -r 3 -k 1000", "pop_spec.out", 2},
  };
  for (const auto &row : rows) {
    TempDir d;
    write_inputs(d);
    auto r = run_peltra2(row.args, d.path());
    ASSERT_EQ(r.status, 0) << row.args << r.err;
    auto lines = e2e::lines(d.read(row.file));
    EXPECT_EQ(lines.size(), row.lines) << row.args;
    if (row.file[0] == 'p') {
      for (const auto &l : lines) EXPECT_EQ(l + "\n", zeros);
      EXPECT_EQ(r.out.find("VAR-COVAR"), row.lines ? r.out.find("VAR-COVAR MATRIX: ITER = 500\n") : std::string::npos);
    }
  }
}

// Processes appending to one file at once: every line arrives whole.
TEST(RunOutput, ConcurrentAppendsNeverInterleave) {
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

}  // namespace
