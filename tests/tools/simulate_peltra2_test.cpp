// The simulator's files are read by peltra2 itself: short matrix-estimation
// and test runs on simulated counts and pooled reads complete and read
// every locus.
#include <gtest/gtest.h>

#include <string>

#include "tools/sim_support.h"

using simtest::simulate;
using testsupport::run_peltra2;
using testsupport::TempDir;

TEST(SimulatePeltra2, SimulatedFilesRunInEveryMode) {
  TempDir dir;
  ASSERT_EQ(simulate("--pops 3 --loci 40 --env 2 --beta 0.05 --effect-loci 1 --seed 5 --out s",
                     dir.path())
                .status,
            0);
  ASSERT_EQ(
      simulate("--pops 3 --loci 40 --pooled --pool-size 20 --max-coverage 30 --seed 5 --out p",
               dir.path())
          .status,
      0);
  struct Case {
    const char *args, *loci_line;
  };
  for (Case c :
       {Case{"-i s.counts -p 3 -k 500 -r 3", "number of loci = 40\n"},
        Case{"-t -i s.effect.counts -p 3 -m s.matrix -e s.env -n 2 -k 5001 -r 3",
             "number of loci = 1\n"},
        Case{"-x -s p.samplesize -i p.counts -p 3 -k 500 -r 3", "number of loci = 40\n"}}) {
    auto r = run_peltra2(c.args, dir.path());
    EXPECT_EQ(r.status, 0) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.loci_line), std::string::npos) << c.args << "\n" << r.out;
  }
  EXPECT_EQ(dir.read("bf_environ.s.env").rfind("s.effect.counts\t", 0), 0u);
}
