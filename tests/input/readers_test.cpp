// The input readers: the count file's locus limit and ran1 draws, and every
// malformed file with the one line that ends the run (which pins the field
// scanner's conversions). Well-formed files in several layouts are read by
// whole runs against recorded results (tests/run/cli_test.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "input/readers.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "run/config.h"
#include "support/cli.h"

// The loci a reader builds live until the process ends, by design; these
// tests read many files and never release them.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }

using namespace std::string_literals;

namespace {

// Expects statement to print exactly `text` on standard output and end the
// process with status 1 (standard output is moved onto standard error, where
// a death test sees it).
#define EXPECT_FATAL_OUTPUT(statement, text) \
  EXPECT_EXIT((fflush(stdout), dup2(2, 1), statement), ::testing::ExitedWithCode(1), ::testing::Eq(text))

class Readers : public ::testing::Test {
 protected:
  void SetUp() override {
    NUMPOPS = 2;
    number_environ = 2;
    NUMLOCI = max_coverage = max_samplesize = read_matrix_num = 0;
    min_coverage = min_samplesize = 2000000;
    matrix_in = nullptr;
  }
  // The file `content` under a fresh name, kept as long as the test (the
  // readers keep the name).
  const char *fixture(const std::string &content) {
    names_.push_back(dir_.file("f" + std::to_string(names_.size())));
    dir_.write("f" + std::to_string(names_.size() - 1), content);
    return names_.back().c_str();
  }
  testsupport::TempDir dir_;
  std::deque<std::string> names_;  // a deque keeps earlier names in place
  std::vector<ALLELE *> loc = std::vector<ALLELE *>(100000, nullptr);
};

// One ran1 draw per locus, also for the line past the limit of 100000 loci;
// the rest of the file is not read.
TEST_F(Readers, CountFileLocusLimit) {
  NUMPOPS = 1;
  std::string content;
  for (int l = 0; l < 100000; l++) content += l == 99999 ? "4\n5\n" : "1\n1\n";
  seed = -7;
  INPUT_FILE = fixture(content + "1\n1\nnot read\n");
  ::testing::internal::CaptureStdout();
  read_snpcounts(loc.data());
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "num_alleles = 200000.000000\nNote: count file \"" + std::string(INPUT_FILE) +
                     "\" holds more than 100000 loci; the first 100000 were used and the rest of the file was ignored\n");
  EXPECT_EQ(NUMLOCI, 100000);
  EXPECT_EQ(loc[99999]->total[1], 9);
  EXPECT_EQ(max_coverage, 9);
  // The generator (state word and shuffle table) is where a replay of
  // 100001 draws leaves it.
  float next = ran1(&seed);
  long replay = -7;
  for (int i = 0; i < 100001; i++) ran1(&replay);
  EXPECT_EQ(next, ran1(&replay));
  EXPECT_EQ(seed, replay);
}

// c: count file, e: environment file (two variables), m: matrix file, s:
// sample-size file; all with NUMPOPS populations.
struct Bad {
  char kind;
  int numpops;
  std::string content, message;  // message: after the file's name
};
const std::string kLongLine = "1\t" + std::string(19997, 'x') + "\n";
const Bad kBad[] = {
    {'c', 1, "", ": holds no loci"},
    {'c', 2, "1\t2\n3\n", ", line 2: 1 field; 2 needed"},
    {'c', 2, "1\t2\n3\t4\n\n", ", line 3: blank line; 2 fields needed"},
    {'c', 2, "1\t2\n3\t4\n\t\t\n", ", line 3: blank line; 2 fields needed"},
    {'c', 2, "3 5\n1\t2\n", ", line 1, field 1: \"3 5\" is not an integer"},
    {'c', 2, "1\t2\n12abc\t2\n", ", line 2, field 1: \"12abc\" is not an integer"},
    {'c', 2, "1\t2\ninf\t2\n", ", line 2, field 1: \"inf\" is not an integer"},
    {'c', 1, " \n1\n", ", line 1, field 1: \" \" is not an integer"},
    {'c', 1, "-2147483648\n1\n", ", line 1, field 1: \"-2147483648\" is a negative count"},
    {'c', 1, "-2147483649\n1\n", ", line 1, field 1: \"-2147483649\" is beyond the integer range"},
    {'c', 1, "4294967296\n1\n", ", line 1, field 1: \"4294967296\" is beyond the integer range"},
    {'c', 1, "99999999999999999999999\n1\n", ", line 1, field 1: \"99999999999999999999999\" is beyond the integer range"},
    {'c', 2, "1\t2\n3\t-3\n", ", line 2, field 2: \"-3\" is a negative count"},
    {'c', 1, "2147483647\n1\n", ", line 2, field 1: total of the locus's two lines exceeds 2147483647"},
    {'c', 1, "1\n1\n" + kLongLine, ", line 3: longer than 19998 characters"},
    {'c', 1, "1\t" + std::string(19996, 'x') + "\r\n1\n", ", line 1: longer than 19998 characters"},
    {'c', 2, "1\t2\n3\t4\n5\t6\n", ": odd number of lines (3): the last locus lacks its second line"},
    {'c', 2, "1\t2\n0\t0\n0\t0\n0\t0\n", ", line 4: locus 2 has no copies in any population"},
    {'c', 2, "1\t2\n3\0\t4\n"s, ", line 2: holds a NUL byte (not a text file)"},
    {'c', 2, "\xEF\xBB\xBF" "1\t\xff\xfe\n1\t1\n", ", line 1, field 1: \"\\xEF\\xBB\\xBF1\" is not an integer"},
    {'c', 1, "\x7f" "ELF\x02\x01\n", ", line 1, field 1: \"\\x7FELF\\x02\\x01\" is not an integer"},
    {'c', 1, std::string(100, 'A') + "\n1\n", ", line 1, field 1: \"" + std::string(58, 'A') + "\"... is not an integer"},
    {'e', 3, "", ": 0 lines; 2 needed"},
    {'e', 3, "1\t2\t3\n", ": 1 line; 2 needed"},
    {'e', 3, "1\t2\t3\n1\t2\n", ", line 2: 2 fields; 3 needed"},
    {'e', 3, "1\tabc\t3\n1\t2\t3\n", ", line 1, field 2: \"abc\" is not a number"},
    {'e', 3, "0x10\t2\t3\n", ", line 1, field 1: \"0x10\" is not a number"},
    {'e', 3, "1e\t2\t3\n", ", line 1, field 1: \"1e\" is not a number"},
    {'e', 3, "nan\t2\t3\n", ", line 1, field 1: \"nan\" is not a finite number"},
    {'e', 3, "1\t2\t1e999\n", ", line 1, field 3: \"1e999\" is not a finite number"},
    {'m', 2, "", ": 0 lines; 2 needed"},
    {'m', 2, "MATRIX\n1\t0\n0\t1\n", ", line 1, field 1: \"MATRIX\" is not a number"},
    {'m', 2, "1\tNaN\n0\t1\n", ", line 1, field 2: \"NaN\" is not a finite number"},
    {'s', 2, "", ": 0 lines; 1 needed"},
    {'s', 2, "\n10\t10\n", ", line 1: blank line; 2 fields needed"},
    {'s', 2, "10\n", ", line 1: 1 field; 2 needed"},
    {'s', 2, "10\t2.5\n", ", line 1, field 2: \"2.5\" is not an integer"},
    {'s', 2, "10\t3000000000\n", ", line 1, field 2: \"3000000000\" is beyond the integer range"},
    {'s', 2, "10\t1\n", ", line 1, field 2: a pool of 1 allele copy; at least 2 needed"},
    {'s', 2, "0\t10\n", ", line 1, field 1: a pool of 0 allele copies; at least 2 needed"},
    {'s', 2, "10\t-4\n", ", line 1, field 2: a pool of -4 allele copies; at least 2 needed"},
    {'s', 2, "10\t2000001\n", ", line 1, field 2: a pool of 2000001 allele copies; at most 2000000 supported"},
};

// Points the reader of `kind` at `path` and runs it.
void read_as(char kind, const char *path, std::vector<ALLELE *> &loc) {
  environ_values = dmatrix(1, 2, 1, NUMPOPS);
  sigmas = dmatrix(1, NUMPOPS, 1, NUMPOPS);
  INPUT_FILE = ENVIRON_FILE = MATRIX_FILE = SAMPLESIZE_FILE = path;
  if (kind == 'c') read_snpcounts(loc.data());
  if (kind == 'e') read_environ();
  if (kind == 'm') read_matrix();
  if (kind == 's') read_samplesize();
}

TEST_F(Readers, MalformedFilesEndTheRunWithOneLine) {
  const std::map<char, std::string> what = {
      {'c', "count file"}, {'e', "environment file"}, {'m', "matrix file"}, {'s', "sample-size file"}};
  for (const Bad &b : kBad) {
    SCOPED_TRACE(b.message);
    NUMPOPS = b.numpops;
    const char *path = fixture(b.content);
    std::string pre = b.kind == 'e' ? "reading environ\n" : "";
    EXPECT_FATAL_OUTPUT(read_as(b.kind, path, loc),
                        pre + "Error: " + what.at(b.kind) + " \"" + path + "\"" + b.message + "\n");
  }
  for (const auto &[kind, name] : what) {
    std::string pre = kind == 'e' ? "reading environ\n" : "";
    std::string missing = dir_.file("absent");
    EXPECT_FATAL_OUTPUT(read_as(kind, missing.c_str(), loc),
                        pre + "Error: cannot open " + name + " \"" + missing + "\": No such file or directory\n");
    EXPECT_FATAL_OUTPUT(read_as(kind, dir_.path().c_str(), loc),
                        pre + "Error: cannot open " + name + " \"" + dir_.path() + "\": Is a directory\n");
  }
}

}  // namespace
