// peltra2-simulate's command line: refused options with their messages,
// the help text, and the bundled example data, which the command quoted in
// examples/README.md must reproduce byte for byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tools/convert_support.h"

using convtest::simulate;
using testsupport::TempDir;

TEST(SimulateCli, BadOptionsAndMatrixFilesFailWithOneLineAndStatus1) {
  struct Case {
    const char *args, *message, *matrix = "";
  };
  const Case cases[] = {
      {"", "--pops is required (the number of populations)"},
      {"--pops 0 --loci 5", "--pops: expected an integer from 1 to 1000, got '0'"},
      {"--pops 3 --loci 5 --frobnicate", "unknown option '--frobnicate' (see --help)"},
      {"--pops 3 --loci 5 --seed", "option '--seed' needs a value"},
      {"--pops 3 --loci 5 stray", "unexpected argument 'stray' (see --help)"},
      {"--pops 3 --loci 5 --copies 4,5",
       "--copies: expected 1 or 3 values (one per population), got 2"},
      {"--pops 3 --loci 5 --tree --groups 2", "give only one of --tree, --matrix and --groups"},
      {"--pops 3 --loci 5 --groups 4", "--groups: 4 groups cannot be made of 3 populations"},
      {"--pops 3 --loci 5 --branch-lengths 0.2,0.1", "--branch-lengths: expected 0 < MIN <= MAX"},
      {"--pops 3 --loci 5 --anc-range 0,0.5", "--anc-range: expected 0 < MIN <= MAX < 1"},
      {"--pops 3 --loci 5 --beta 0.1", "--beta needs --effect-fraction or --effect-loci"},
      {"--pops 3 --loci 5 --beta 0.1 --effect-fraction 1.5",
       "--effect-fraction: expected a value from 0 to 1"},
      {"--pops 3 --loci 5 --beta 0.1 --effect-loci 1 --env 2 --effect-var 3",
       "--effect-var: there are only 2 environmental variables"},
      {"--pops 3 --loci 5 --pooled", "--pooled needs --max-coverage"},
      {"--pops 3 --loci 5 --pooled --max-coverage 9 --pool-size 171",
       "--pool-size: expected an integer from 2 to 170, got '171'"},
      {"--pops 3 --loci 5 --pooled --copies 1 --max-coverage 9",
       "--pooled: pool sizes must be from 2 to 170; give --pool-size"},
      {"--pops 3 --loci 5 --pooled --max-coverage 9 --min-coverage 10",
       "--min-coverage: 10 is above --max-coverage 9"},
      {"--pops 3 --loci 5 --matrix missing.txt", "cannot open matrix file missing.txt"},
      {"--pops 3 --loci 5 --out no/such/dir/x",
       "cannot create no/such/dir/x.counts: No such file or directory"},
      // A matrix file with one fault each (m.txt is written with the row's
      // content).
      {"--pops 3 --loci 5 --matrix m.txt", "matrix file m.txt ends after line 2, expected 3 rows",
       "1\t0\t0\n0\t1\t0\n"},
      {"--pops 3 --loci 5 --matrix m.txt", "matrix file m.txt line 2: 4 values, expected 3",
       "1\t0\t0\n0\t1\t0\t0\n0\t0\t1\n"},
      {"--pops 3 --loci 5 --matrix m.txt", "matrix file m.txt line 2 field 2: 'abc' is not a number",
       "1\t0\t0\n0\tabc\t0\n0\t0\t1\n"},
      {"--pops 3 --loci 5 --matrix m.txt",
       "matrix file m.txt is not symmetric: row 2 column 1 is 0.49, row 1 column 2 is 0.5",
       "1\t0.5\t0\n0.49\t1\t0\n0\t0\t1\n"},
      {"--pops 3 --loci 5 --matrix m.txt", "matrix file m.txt is not positive definite",
       "1\t2\t0\n2\t1\t0\n0\t0\t1\n"},
  };
  TempDir dir;
  for (const Case &c : cases) {
    dir.write("m.txt", c.matrix);
    auto r = simulate(c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out, std::string("peltra2-simulate: ") + c.message + "\n") << c.args;
    EXPECT_EQ(r.err, "") << c.args;
  }
  EXPECT_FALSE(dir.exists("simulated.counts"));
  // Spaces, carriage returns, a trailing tab and further lines are accepted;
  // the matrix written back is tab-separated.
  dir.write("m.txt", "0.5 0.1\t\r\n0.1   0.25\r\nignored line\n");
  auto r = simulate("--pops 2 --loci 5 --matrix m.txt", dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(dir.read("simulated.matrix"), "0.5\t0.1\n0.1\t0.25\n");
  r = simulate("--pops 3 -h", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: peltra2-simulate --pops K --loci L [options]\n", 0), 0u);
}

// The command in examples/README.md regenerates every bundled file, which
// pins the layouts and number formats of the files and the random streams.
TEST(SimulateCli, ExamplesAreReproducedByTheDocumentedCommand) {
  const std::string source = PELTRA_SOURCE_DIR;
  std::smatch m;
  std::string readme = testsupport::read_file(source + "/examples/README.md");
  ASSERT_TRUE(std::regex_search(readme, m, std::regex("peltra2-simulate( --[^\\n`]*)")));
  const std::string args = m[1];
  ASSERT_TRUE(std::regex_search(args, m, std::regex("--out (examples/[A-Za-z0-9_.-]+)")));
  const std::string prefix = m[1];
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("examples").c_str(), 0777), 0);
  auto r = simulate(args, dir.path());
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char *suffix : {".counts", ".matrix", ".env", ".effect.counts"}) {
    std::string bundled = testsupport::read_file(source + "/" + prefix + suffix);
    EXPECT_TRUE(!bundled.empty() && bundled.size() < 500000u) << prefix << suffix;
    EXPECT_EQ(dir.read(prefix + suffix), bundled) << prefix << suffix << " is not reproduced";
  }
}
