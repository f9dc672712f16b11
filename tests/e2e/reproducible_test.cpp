// Matrix estimation on many loci, where both workers draw: the seed fixes
// every byte of the output however the two threads are scheduled, and the
// report recorded here catches any change to the order of the draws. A
// report that cannot be written ends the run with status 1.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <unistd.h>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

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

std::string report_part(const std::string &out) {
  size_t at = out.find("VAR-COVAR");
  return at == std::string::npos ? out : out.substr(at);
}

// Twenty runs: plain, with this process spinning on another thread, and
// with both workers pinned to one core (where taskset exists).
TEST(Reproducible, SameSeedSameBytes) {
  TempDir d;
  d.write("loci.txt", e2e::many_loci(321, 4));
  bool pin = run_shell("command -v taskset", d.path()).status == 0;
  std::string first_out, first_pop;
  for (int i = 0; i < 20; i++) {
    std::atomic<bool> stop{false};
    std::thread spinner;
    if (i % 3 == 1)
      spinner = std::thread([&stop] {
        while (!stop.load(std::memory_order_relaxed)) {
        }
      });
    bool pinned = pin && i % 3 == 2;
    auto r = pinned ? run_shell(std::string("taskset -c 0 '") + PELTRA2_BIN + "' " + kRun, d.path())
                    : run_peltra2(kRun, d.path());
    stop = true;
    if (spinner.joinable()) spinner.join();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    if (i == 0) {
      first_out = r.out;
      first_pop = d.read("pop_spec.out");
      EXPECT_EQ(report_part(r.out), kReport);
      EXPECT_EQ(first_pop, "0.0000e+00\t0.0000e+00\t0.0000e+00\t0.0000e+00\t\n");
    } else {
      ASSERT_EQ(r.out, first_out) << "run " << i << (pinned ? " on one core" : "");
      ASSERT_EQ(d.read("pop_spec.out"), first_pop) << "run " << i;
    }
  }
}

// A write that fails, on a full device or into a pipe whose reader has gone,
// ends the run with status 1 and a message on standard error.
TEST(Reproducible, FailedWriteOnStandardOutputEndsWithStatusOne) {
  TempDir d;
  d.write("loci.txt", e2e::many_loci(321, 4));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  // The shell redirects from single-digit descriptors only.
  ASSERT_LE(fds[1], 9);
  std::string to_closed_pipe = " >&" + std::to_string(fds[1]);
  for (std::string to : {std::string(" >/dev/full"), to_closed_pipe}) {
    auto r = run_peltra2(kRun + to, d.path());
    EXPECT_EQ(r.status, 1) << to;
    EXPECT_NE(r.err.find("cannot write to standard output"), std::string::npos) << to << ": " << r.err;
  }
  close(fds[1]);
}

}  // namespace
