// The standard output of start-up, line by line, and the working files it
// creates or refuses to create.
#include <gtest/gtest.h>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

TEST(StartupOutput, MatrixEstimationWithoutIterations) {
  TempDir d;
  d.write("counts.txt", e2e::many_loci(3, 4));
  d.write("pop_spec.out", "left over from an earlier run\n");
  auto r = run_peltra2("-i counts.txt -p 4 -k -1 -r 5 -e env.txt -m matrix.txt", d.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "===== PELTRA2.0 =====\n"
            "\n"
            "input file is set\n"
            "number of populations is set\n"
            "number of iterations is set\n"
            "seed is set\n"
            "environment file is set\n"
            "matrix is set\n"
            "TEST = 0 . So running matrix estimation\n"
            "MCMC VER 0.71 (THREADED)\n"
            "ITERATIONS = -1\n"
            "INPUT FILE = counts.txt\n"
            "SEED = -5\n"
            "\n"
            "num_alleles = 6.000000\n"
            "number of loci = 3\n");
  // Neither the environment nor the matrix file is read, and the run
  // empties an existing pop_spec.out.
  ASSERT_TRUE(d.exists("pop_spec.out"));
  EXPECT_EQ(d.read("pop_spec.out"), "");
  EXPECT_FALSE(d.exists("counts.txt.freqs"));
}

TEST(StartupOutput, PooledRunReadsSampleSizesFirst) {
  TempDir d;
  d.write("reads.txt", std::string(e2e::kPooledLocus) + e2e::kPooledLocus);
  d.write("sizes.txt", "10\t30\t20\t20\n");
  for (const char *lookup : {"", " -l"}) {
    auto r = run_peltra2(std::string("-x -s sizes.txt -i reads.txt -p 4 -k -1 -r 77") + lookup,
                         d.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::string expected = std::string("===== PELTRA2.0 =====\n\n") +
                           "NGS is set\n"
                           "Sample size file is set\n"
                           "input file is set\n"
                           "number of populations is set\n"
                           "number of iterations is set\n"
                           "seed is set\n" +
                           (*lookup ? "Lookup table is set\n" : "") +
                           "TEST = 0 . So running matrix estimation\n"
                           "10 30\n"
                           "MCMC VER 0.71 (THREADED)\n"
                           "ITERATIONS = -1\n"
                           "INPUT FILE = reads.txt\n"
                           "SEED = -77\n"
                           "\n"
                           "num_alleles = 4.000000\n"
                           "number of loci = 2\n";
    EXPECT_EQ(r.out, expected);
  }
}

TEST(StartupOutput, TestRunPrintsStagesInTheirPlaces) {
  TempDir d;
  d.write("snp.txt", e2e::kOneLocus);
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
  auto r = run_peltra2("-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 5", d.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "===== PELTRA2.0 =====\n"
            "\n"
            "TEST is set\n"
            "input file is set\n"
            "environment file is set\n"
            "matrix is set\n"
            "number of environmental variables is set\n"
            "number of populations is set\n"
            "number of iterations is set\n"
            "seed is set\n"
            "TEST = 1 . So running test at a SNP\n"
            "number of environmental variables 2\n"
            "\n"
            "MCMC VER 0.71 (THREADED)\n"
            "ITERATIONS = 5001\n"
            "INPUT FILE = snp.txt\n"
            "MATRIX FILE = matrix.txt\n"
            "SEED = -5\n"
            "\n"
            "ENVIRON FILE = env.txt\n"
            "reading environ\n"
            "num_alleles = 2.000000\n"
            "number of loci = 1\n");
  // A test run creates no frequency file without -f, and an empty
  // pop_spec.out.
  EXPECT_FALSE(d.exists("snp.txt.freqs"));
  EXPECT_EQ(d.read("pop_spec.out"), "");
}

const char *kTestArgs = "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 6000 -r 5";

void write_test_inputs(const TempDir &d, const char *counts = e2e::kOneLocus) {
  d.write("snp.txt", counts);
  d.write("env.txt", e2e::kEnviron);
  d.write("matrix.txt", e2e::kMatrix);
}

TEST(StartupOutput, TestModeRefusesMoreThanOneLocus) {
  TempDir d;
  write_test_inputs(d, e2e::kTwoLoci);
  d.write("pop_spec.out", "untouched\n");
  auto r = run_peltra2(kTestArgs, d.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("num_alleles = 4.000000\ncannot more than one locus in TEST mode\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("number of loci"), std::string::npos);
  EXPECT_FALSE(d.exists("snp.txt.freqs"));
  EXPECT_EQ(d.read("pop_spec.out"), "untouched\n");
  EXPECT_FALSE(d.exists("bf_environ.env.txt"));
}

// Seeding comes after stage A and before the header: a seed of 0 ends the
// run there, with the frequency file (-f) already created.
TEST(StartupOutput, SeedZeroEndsAfterStageA) {
  TempDir d;
  write_test_inputs(d);
  auto r = run_peltra2("-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 6000 -r 0 -f", d.path());
  EXPECT_EQ(r.status, 1);
  const std::string tail = "So running test at a SNP\nnumber of environmental variables 2\n\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_FALSE(r.err.empty());
  EXPECT_TRUE(d.exists("snp.txt.freqs"));
  EXPECT_FALSE(d.exists("pop_spec.out"));
}

// A working file that cannot be created ends the run with one line naming
// it; a directory of that name stands for any reason.
TEST(StartupOutput, UnopenableWorkingFilesAreFatal) {
  struct Case {
    const char *blocked;
    const char *extra;
  } cases[] = {{"pop_spec.out", ""}, {"snp.txt.freqs", " -f"}, {"standardized.env", " -c"}};
  for (const auto &c : cases) {
    TempDir d;
    write_test_inputs(d);
    ASSERT_EQ(mkdir(d.file(c.blocked).c_str(), 0755), 0);
    auto r = run_peltra2(std::string(kTestArgs) + c.extra, d.path());
    EXPECT_EQ(r.status, 1) << c.blocked;
    auto out = e2e::lines(r.out);
    ASSERT_FALSE(out.empty());
    EXPECT_NE(out.back().find(std::string("\"") + c.blocked + "\" for writing"), std::string::npos)
        << out.back();
    EXPECT_FALSE(d.exists("bf_environ.env.txt"));
  }
  TempDir d;
  d.write("counts.txt", e2e::many_loci(3, 4));
  ASSERT_EQ(mkdir(d.file("pop_spec.out").c_str(), 0755), 0);
  auto r = run_peltra2("-i counts.txt -p 4 -k 10 -r 5", d.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot open the covariance report file \"pop_spec.out\" for writing"),
            std::string::npos)
      << r.out;
}

}  // namespace
