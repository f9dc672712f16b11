// parse_cl called directly: what each option stores in the run
// configuration, the number conversion and the seed rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "run/config.h"
#include "stats/stats.h"

namespace {

class ParseCl : public ::testing::Test {
 protected:
  void SetUp() override {
    ITER = NUMPOPS = number_environ = OUTPUT_SET = TEST = POOL = LOOKUP = PRINT_COR = FREQS_OUTPUT = CALC_XTX = 0;
    INPUT_FILE = environ_num = MATRIX_FILE = SAMPLESIZE_FILE = nullptr;
    ENVIRON_FILE = OUTPUT_NAME = "";
    seed = -4321;  // stands for the clock's default
    SNP_TEST = 1;
    X_DEV = 0.05;
    XtX = 0;
  }
  // Runs parse_cl on the program name and `args` (shell words), getopt fully
  // reset, after SetUp; returns standard output. The argument texts live in
  // the fixture, since file-name options keep pointers into them.
  std::string parse(const std::string &args) {
    SetUp();
    storage_ = {"peltra2"};
    for (size_t i = 0, j; i < args.size(); i = j + 1) {
      j = std::min(args.find(' ', i), args.size());
      storage_.push_back(args.substr(i, j - i));
    }
    argv_.clear();
    for (auto &s : storage_) argv_.push_back(&s[0]);
    argv_.push_back(nullptr);
    optind = 0;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    parse_cl((int)storage_.size(), argv_.data());
    ::testing::internal::GetCapturedStderr();
    return ::testing::internal::GetCapturedStdout();
  }
  std::vector<std::string> storage_;
  std::vector<char *> argv_;
};

TEST_F(ParseCl, NumbersAreConvertedLikeStrtolAndCutTo32Bits) {
  const std::pair<const char *, int> iters[] = {
      {"1000", 1000}, {"abc", 0},        {"12abc", 12}, {"+7", 7}, {"-3", -3},
      {"4294967296", 0},             // 2^32 wraps to 0
      {"2147483648", INT_MIN},       // 2^31 wraps negative
      {"99999999999999999999", -1},  // strtol saturates at LONG_MAX
  };
  for (const auto &[arg, want] : iters) {
    parse(std::string("-k ") + arg);
    EXPECT_EQ(ITER, want) << arg;
  }
  parse("-p 5x -n -2");
  EXPECT_EQ(NUMPOPS * 10 + number_environ, 48);
  // The seed is the non-positive magnitude of the 32-bit value.
  const std::pair<const char *, long> seeds[] = {
      {"77", -77}, {"-77", -77}, {"4294967297", -1}, {"0", 0}, {"abc", 0}, {"2147483647", -2147483647},
      {"2147483648", INT_MIN},        // wraps to INT_MIN, already negative
      {"-2147483649", -2147483647},   // wraps to INT_MAX, then negated
  };
  for (const auto &[arg, want] : seeds) {
    parse(std::string("-r ") + arg);
    EXPECT_EQ(seed, want) << arg;
  }
  parse("-k 5");
  EXPECT_EQ(seed, -4321) << "without -r the default seed stays";
}

TEST_F(ParseCl, FlagsAndFileNames) {
  parse("-x");
  EXPECT_EQ(POOL, 1);
  EXPECT_EQ(SNP_TEST, 0);
  EXPECT_EQ(X_DEV, 0.02);
  EXPECT_EQ(parse("-l"), "===== PELTRA2.0 =====\n\nLookup table is set\n");
  EXPECT_EQ(LOOKUP * 10 + POOL + SNP_TEST, 11);
  EXPECT_EQ(X_DEV, 0.05);
  XtX = 3.5;
  parse("-z -X -c -f -t");
  EXPECT_EQ(SNP_TEST, 0);
  EXPECT_EQ(POOL, 0);
  EXPECT_EQ(CALC_XTX, 1);
  EXPECT_EQ(XtX, 0.0);
  EXPECT_EQ(PRINT_COR, 1);
  EXPECT_EQ(FREQS_OUTPUT, 1);
  EXPECT_EQ(TEST, 1);
  // File names are the argument texts themselves, not copies.
  parse("-i counts.txt -e env.txt -m mat.txt -s sizes.txt -o res");
  EXPECT_EQ(INPUT_FILE, argv_[2]);
  EXPECT_EQ(environ_num, argv_[4]);
  EXPECT_EQ(MATRIX_FILE, argv_[6]);
  EXPECT_EQ(SAMPLESIZE_FILE, argv_[8]);
  EXPECT_EQ(OUTPUT_NAME, argv_[10]);
  EXPECT_EQ(OUTPUT_SET, 1);
  EXPECT_STREQ(ENVIRON_FILE, "") << "the environment file name is set later, in test mode only";
}

TEST_F(ParseCl, RepeatsOverwriteAndNonOptionsAreSkipped) {
  EXPECT_EQ(parse("-k 5 -i a stray -k 7 -i b -t -t"),
            "===== PELTRA2.0 =====\n\nnumber of iterations is set\ninput file is set\n"
            "number of iterations is set\ninput file is set\nTEST is set\nTEST is set\n");
  EXPECT_EQ(ITER, 7);
  EXPECT_STREQ(INPUT_FILE, "b");
}

}  // namespace
