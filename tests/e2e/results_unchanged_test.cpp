// Runs whose output the seed fixes give exactly the lines recorded here.
// The lines were recorded before the chain's inner loops were tuned for
// speed; any change to the order of the random draws, to the rounding of a
// likelihood or prior term, or to an acceptance decision changes them. Test
// runs (Bayes factors, Z, pooled with and without the table) over several
// seeds, the frequency lines, and matrix estimation on one locus, where one
// worker's share is empty and the seed fixes the run too.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

// Ten populations, one locus, two variables and the true matrix, made by
// peltra2-simulate --pops 10 --loci 1 --env 2 --seed 2024.
const char *kCounts10 =
    "39\t25\t34\t32\t35\t36\t35\t33\t31\t31\n"
    "1\t15\t6\t8\t5\t4\t5\t7\t9\t9\n";
const char *kEnviron10 =
    "-0.499731\t1.268846\t1.659406\t-1.533208\t0.624290\t0.535860\t-1.267470\t-0.839887\t0.177308\t-0.125415\n"
    "1.020269\t-2.029145\t-0.630034\t0.436687\t-0.816416\t0.192131\t1.565833\t-0.674262\t0.145741\t0.789196\n";
const char *kMatrix10 =
    "0.1538337561\t0.1300655755\t0.07945228902\t0.02572826555\t0.03143183666\t0.03143183666\t0\t0\t0.1066438683\t0.03143183666\n"
    "0.1300655755\t0.1678319166\t0.07945228902\t0.02572826555\t0.03143183666\t0.03143183666\t0\t0\t0.1066438683\t0.03143183666\n"
    "0.07945228902\t0.07945228902\t0.09067524247\t0.02572826555\t0.03143183666\t0.03143183666\t0\t0\t0.07945228902\t0.03143183666\n"
    "0.02572826555\t0.02572826555\t0.02572826555\t0.03758765538\t0.02572826555\t0.02572826555\t0\t0\t0.02572826555\t0.02572826555\n"
    "0.03143183666\t0.03143183666\t0.03143183666\t0.02572826555\t0.07415361286\t0.04388732697\t0\t0\t0.03143183666\t0.04388732697\n"
    "0.03143183666\t0.03143183666\t0.03143183666\t0.02572826555\t0.04388732697\t0.0624024818\t0\t0\t0.03143183666\t0.05005566447\n"
    "0\t0\t0\t0\t0\t0\t0.07259107871\t0.04373617825\t0\t0\n"
    "0\t0\t0\t0\t0\t0\t0.04373617825\t0.0587204741\t0\t0\n"
    "0.1066438683\t0.1066438683\t0.07945228902\t0.02572826555\t0.03143183666\t0.03143183666\t0\t0\t0.1449716693\t0.03143183666\n"
    "0.03143183666\t0.03143183666\t0.03143183666\t0.02572826555\t0.04388732697\t0.05005566447\t0\t0\t0.03143183666\t0.09434674509\n";

void write_inputs(const TempDir &d) {
  d.write("snp.txt", e2e::kOneLocus);
  d.write("matrix.txt", e2e::kMatrix);
  d.write("env.txt", e2e::kEnviron);
  d.write("env1.txt", "-1.2\t0.3\t0.8\t0.1\n");
  d.write("sizes.txt", e2e::kSampleSizes);
  d.write("pool.txt", e2e::kPooledLocus);
  d.write("k10.counts", kCounts10);
  d.write("k10.env", kEnviron10);
  d.write("k10.matrix", kMatrix10);
}

// The options of each kind of run, before "-r seed".
std::string options(const std::string &kind) {
  const std::string k20000 = " -k 20000 -o out";
  if (kind == "bf4") return "-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -X -c" + k20000;
  if (kind == "z4") return "-t -z -i snp.txt -e env1.txt -m matrix.txt -n 1 -p 4 -X -c" + k20000;
  if (kind == "pz4") return "-x -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4" + k20000;
  if (kind == "pz4l") return "-x -l -t -i pool.txt -s sizes.txt -e env1.txt -m matrix.txt -n 1 -p 4" + k20000;
  if (kind == "bf10") return "-t -i k10.counts -e k10.env -m k10.matrix -n 2 -p 10 -X -c" + k20000;
  ADD_FAILURE() << "unknown kind " << kind;
  return "";
}

struct Recorded {
  const char *kind;
  int seed;
  const char *result;  // the .bf or .cor line
  const char *xtx;     // the .xtx line, or null without -X
};

const Recorded kRecorded[] = {
    {"bf4", 1, "snp.txt\t8.3236e-01\t-2.6667e-01\t-5.8788e-03\t1.2189e+01\t-8.2000e-01\t-9.0142e-01\t\n",
     "snp.txt\t1.0148e+01\n"},
    {"bf4", 77, "snp.txt\t7.8949e-01\t-2.6667e-01\t-5.2147e-02\t1.6200e+01\t-8.2667e-01\t-9.0321e-01\t\n",
     "snp.txt\t1.0345e+01\n"},
    {"bf4", 40961, "snp.txt\t8.1427e-01\t-2.4000e-01\t6.9687e-02\t1.7443e+01\t-8.3333e-01\t-8.7764e-01\t\n",
     "snp.txt\t9.8934e+00\n"},
    {"z4", 1, "snp.txt\t9.5333333333e-03\t-6.20000e+00\t\n", "snp.txt\t9.6417e+00\n"},
    {"z4", 77, "snp.txt\t4.7333333333e-02\t-7.20000e+00\t\n", "snp.txt\t1.0887e+01\n"},
    {"z4", 40961, "snp.txt\t4.4066666667e-02\t-6.40000e+00\t\n", "snp.txt\t1.0215e+01\n"},
    {"pz4", 1, "pool.txt\t5.5333333333e-03\t\n", nullptr},
    {"pz4", 77, "pool.txt\t4.9933333333e-02\t\n", nullptr},
    {"pz4", 40961, "pool.txt\t2.8200000000e-02\t\n", nullptr},
    // The weight table gives the same weights, so the same chain.
    {"pz4l", 1, "pool.txt\t5.5333333333e-03\t\n", nullptr},
    {"pz4l", 77, "pool.txt\t4.9933333333e-02\t\n", nullptr},
    {"pz4l", 40961, "pool.txt\t2.8200000000e-02\t\n", nullptr},
    {"bf10", 1, "k10.counts\t5.4019e-01\t-1.6364e-01\t-2.5090e-01\t1.2664e+00\t3.0869e-01\t4.7372e-01\t\n",
     "k10.counts\t1.0107e+01\n"},
    {"bf10", 77, "k10.counts\t6.0674e-01\t-1.9434e-01\t-2.8513e-01\t1.8378e+00\t3.8545e-01\t5.5105e-01\t\n",
     "k10.counts\t9.8442e+00\n"},
    {"bf10", 40961, "k10.counts\t4.7762e-01\t-5.8182e-02\t-1.7895e-01\t1.6105e+00\t2.2990e-01\t3.9047e-01\t\n",
     "k10.counts\t9.1282e+00\n"},
};

TEST(ResultsUnchanged, TestRunsGiveTheRecordedLines) {
  TempDir d;
  write_inputs(d);
  for (const Recorded &rec : kRecorded) {
    std::string what = std::string(rec.kind) + " seed " + std::to_string(rec.seed);
    d.write("out.bf", "");
    d.write("out.cor", "");
    d.write("out.xtx", "");
    auto r = run_peltra2(options(rec.kind) + " -r " + std::to_string(rec.seed), d.path());
    ASSERT_EQ(r.status, 0) << what << "\n" << r.out << r.err;
    bool z = rec.kind[0] == 'z' || rec.kind[0] == 'p';
    EXPECT_EQ(d.read(z ? "out.cor" : "out.bf"), rec.result) << what;
    EXPECT_EQ(d.read("out.xtx"), rec.xtx ? rec.xtx : "") << what;
  }
}

// The standardised frequencies of the two samples of a 6000-iteration run.
TEST(ResultsUnchanged, FrequencyLines) {
  TempDir d;
  write_inputs(d);
  auto r = run_peltra2("-t -f -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 6000 -r 3 -o out", d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(d.read("out.bf"), "snp.txt\t9.2278e-01\t8.5230e+00\t\n");
  EXPECT_EQ(d.read("snp.txt.freqs"),
            "-1.0810e+00 \t1.2080e+00 \t-8.1170e-01 \t1.6056e+00 \t\n"
            "-1.0497e+00 \t2.6657e+00 \t-2.0673e+00 \t1.0400e+00 \t\n");
}

// Matrix estimation on one locus: the covariance reports of 1000 iterations
// (the epsilon, covariance and theta updates and the Wishart draws).
TEST(ResultsUnchanged, OneLocusMatrixEstimation) {
  const struct {
    int seed;
    const char *reports;
  } runs[] = {
      {2,
       "VAR-COVAR MATRIX: ITER = 500\n"
       "3.530288e+00\t-2.446318e+00\t-1.179676e+00\t7.757844e-01\t\n"
       "-2.446318e+00\t6.007576e+00\t2.971483e+00\t-5.704490e-01\t\n"
       "-1.179676e+00\t2.971483e+00\t2.841058e+00\t-3.054876e-02\t\n"
       "7.757844e-01\t-5.704490e-01\t-3.054876e-02\t1.227267e+00\t\n"
       "\n"
       "VAR-COVAR MATRIX: ITER = 1000\n"
       "7.859006e+00\t6.120009e+00\t3.271251e+00\t6.731755e+00\t\n"
       "6.120009e+00\t5.834474e+00\t2.500013e+00\t6.024094e+00\t\n"
       "3.271251e+00\t2.500013e+00\t2.262193e+00\t2.066128e+00\t\n"
       "6.731755e+00\t6.024094e+00\t2.066128e+00\t8.765081e+00\t\n"
       "\n"},
      {31,
       "VAR-COVAR MATRIX: ITER = 500\n"
       "6.407962e+00\t7.568273e+00\t1.026509e+01\t-6.099149e+00\t\n"
       "7.568273e+00\t1.494494e+01\t1.232920e+01\t-8.067704e+00\t\n"
       "1.026509e+01\t1.232920e+01\t1.907480e+01\t-1.106685e+01\t\n"
       "-6.099149e+00\t-8.067704e+00\t-1.106685e+01\t7.135663e+00\t\n"
       "\n"
       "VAR-COVAR MATRIX: ITER = 1000\n"
       "7.379081e-01\t-1.822725e-01\t1.248291e-01\t-5.806167e-01\t\n"
       "-1.822725e-01\t4.462229e+00\t2.147940e+00\t-4.144020e-01\t\n"
       "1.248291e-01\t2.147940e+00\t2.204317e+00\t-1.054972e+00\t\n"
       "-5.806167e-01\t-4.144020e-01\t-1.054972e+00\t1.739224e+00\t\n"
       "\n"},
  };
  TempDir d;
  write_inputs(d);
  for (const auto &run : runs) {
    auto r = run_peltra2("-p 4 -k 1000 -i snp.txt -r " + std::to_string(run.seed), d.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    size_t at = r.out.find("VAR-COVAR");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at), run.reports) << "seed " << run.seed;
  }
}

}  // namespace
