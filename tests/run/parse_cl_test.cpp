// parse_cl called directly: what each option stores in the run
// configuration, the number conversion and the seed rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "run/config.h"
#include "stats/stats.h"

namespace {

class ParseCl : public ::testing::Test {
 protected:
  void SetUp() override {
    ITER = 0;
    NUMPOPS = 0;
    INPUT_FILE = nullptr;
    environ_num = nullptr;
    ENVIRON_FILE = "";
    MATRIX_FILE = nullptr;
    SAMPLESIZE_FILE = nullptr;
    OUTPUT_NAME = "";
    OUTPUT_SET = 0;
    number_environ = 0;
    seed = -4321;  // stands for the clock's default
    TEST = 0;
    POOL = 0;
    LOOKUP = 0;
    SNP_TEST = 1;
    PRINT_COR = 0;
    FREQS_OUTPUT = 0;
    CALC_XTX = 0;
    X_DEV = 0.05;
    XtX = 0;
  }

  // Runs parse_cl on the program name followed by `args`, with getopt
  // fully reset; standard output is captured into out_, standard error
  // into err_. The argument texts live in the fixture, since file-name
  // options keep pointers into them.
  void parse(const std::vector<std::string> &args) {
    storage_.clear();
    storage_.push_back("peltra2");
    for (const auto &a : args) storage_.push_back(a);
    argv_.clear();
    for (auto &s : storage_) argv_.push_back(&s[0]);
    argv_.push_back(nullptr);
    optind = 0;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    parse_cl((int)storage_.size(), argv_.data());
    err_ = ::testing::internal::GetCapturedStderr();
    out_ = ::testing::internal::GetCapturedStdout();
  }

  long seed_for(const std::string &arg) {
    parse({"-r", arg});
    return seed;
  }
  int iter_for(const std::string &arg) {
    parse({"-k", arg});
    return ITER;
  }

  std::vector<std::string> storage_;
  std::vector<char *> argv_;
  std::string out_, err_;
};

TEST_F(ParseCl, NumbersAreConvertedLikeStrtolAndCutTo32Bits) {
  EXPECT_EQ(iter_for("1000"), 1000);
  EXPECT_EQ(iter_for("abc"), 0);
  EXPECT_EQ(iter_for("12abc"), 12);
  EXPECT_EQ(iter_for("  +7"), 7);
  EXPECT_EQ(iter_for("-3"), -3);
  EXPECT_EQ(iter_for("4294967296"), 0);            // 2^32 wraps to 0
  EXPECT_EQ(iter_for("2147483648"), INT_MIN);      // 2^31 wraps negative
  EXPECT_EQ(iter_for("99999999999999999999"), -1); // strtol saturates at LONG_MAX
  parse({"-p", "5x", "-n", "-2"});
  EXPECT_EQ(NUMPOPS, 5);
  EXPECT_EQ(number_environ, -2);
}

TEST_F(ParseCl, SeedIsTheNonPositiveMagnitudeOfThe32BitValue) {
  EXPECT_EQ(seed_for("77"), -77);
  EXPECT_EQ(seed_for("-77"), -77);
  EXPECT_EQ(seed_for("4294967297"), -1);
  EXPECT_EQ(seed_for("0"), 0);
  EXPECT_EQ(seed_for("abc"), 0);
  EXPECT_EQ(seed_for("1073741782"), -1073741782);
  EXPECT_EQ(seed_for("2147483647"), -2147483647);
  EXPECT_EQ(seed_for("2147483648"), (long)INT_MIN);  // wraps to INT_MIN, already negative
  EXPECT_EQ(seed_for("-2147483649"), -2147483647);   // wraps to INT_MAX, then negated
  SetUp();
  parse({"-k", "5"});
  EXPECT_EQ(seed, -4321) << "without -r the default seed stays";
}

TEST_F(ParseCl, FlagsAndFileNames) {
  parse({"-x"});
  EXPECT_EQ(POOL, 1);
  EXPECT_EQ(SNP_TEST, 0);
  EXPECT_EQ(X_DEV, 0.02);
  EXPECT_EQ(TEST, 0);

  SetUp();
  XtX = 3.5;
  parse({"-z", "-X", "-c", "-f", "-t"});
  EXPECT_EQ(SNP_TEST, 0);
  EXPECT_EQ(POOL, 0);
  EXPECT_EQ(X_DEV, 0.05);
  EXPECT_EQ(CALC_XTX, 1);
  EXPECT_EQ(XtX, 0.0);
  EXPECT_EQ(PRINT_COR, 1);
  EXPECT_EQ(FREQS_OUTPUT, 1);
  EXPECT_EQ(TEST, 1);

  // File names are the argument texts themselves, not copies.
  SetUp();
  parse({"-i", "counts.txt", "-e", "env.txt", "-m", "mat.txt", "-s", "sizes.txt", "-o", "res"});
  EXPECT_EQ(INPUT_FILE, argv_[2]);
  EXPECT_EQ(environ_num, argv_[4]);
  EXPECT_EQ(MATRIX_FILE, argv_[6]);
  EXPECT_EQ(SAMPLESIZE_FILE, argv_[8]);
  EXPECT_EQ(OUTPUT_NAME, argv_[10]);
  EXPECT_STREQ(OUTPUT_NAME, "res");
  EXPECT_EQ(OUTPUT_SET, 1);
  EXPECT_STREQ(ENVIRON_FILE, "") << "the environment file name is set later, in test mode only";
}

TEST_F(ParseCl, LookupAloneChangesNothingElse) {
  parse({"-l"});
  EXPECT_EQ(LOOKUP, 1);
  EXPECT_EQ(POOL, 0);
  EXPECT_EQ(SNP_TEST, 1);
  EXPECT_EQ(X_DEV, 0.05);
  EXPECT_EQ(out_, "===== PELTRA2.0 =====\n\nLookup table is set\n");
}

TEST_F(ParseCl, RepeatsOverwriteAndNonOptionsAreSkipped) {
  parse({"-k", "5", "-i", "a", "stray", "-k", "7", "-i", "b", "-t", "-t"});
  EXPECT_EQ(ITER, 7);
  EXPECT_STREQ(INPUT_FILE, "b");
  EXPECT_EQ(TEST, 1);
  EXPECT_EQ(out_,
            "===== PELTRA2.0 =====\n\n"
            "number of iterations is set\ninput file is set\n"
            "number of iterations is set\ninput file is set\n"
            "TEST is set\nTEST is set\n");
}

}  // namespace
