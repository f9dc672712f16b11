// The allele count file reader: well-formed layouts, the locus limit and the
// ran1 draws it takes, and every malformed file with its message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/readers.h"
#include "input/reader_test_support.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "run/config.h"

namespace {

using namespace std::string_literals;

const long long MODULUS = 2147483647;

// State word of ran1 after seeding from -s and then `calls` calls: seeding
// takes 40 steps of x -> 16807 x mod (2^31 - 1), every call one more.
long long ran1_state_after(long long s, long long calls) {
  unsigned __int128 result = (unsigned __int128)s, base = 16807;
  for (long long e = 40 + calls; e > 0; e >>= 1) {
    if (e & 1) result = result * base % MODULUS;
    base = base * base % MODULUS;
  }
  return (long long)result;
}

class CountFileTest : public ReaderTest {
 protected:
  CountFileTest() : loc(100000, nullptr) {}
  // The run keeps its records to the end; a test releases them.
  ~CountFileTest() override {
    for (ALLELE *a : loc) {
      if (a == nullptr) continue;
      free_ivector(a->count, 1, NUMPOPS);
      free_ivector(a->total, 1, NUMPOPS);
      delete a;
    }
  }
  // Reads content as the count file; returns what the reader printed.
  std::string read(const std::string &content) {
    INPUT_FILE = fixture("counts.txt", content);
    ::testing::internal::CaptureStdout();
    read_snpcounts(loc.data());
    return ::testing::internal::GetCapturedStdout();
  }
  std::vector<ALLELE *> loc;
};

TEST_F(CountFileTest, FieldsSplitOnRunsOfTabsAndExtraFieldsAreIgnored) {
  NUMPOPS = 2;
  std::string out = read(
      "3\t\t5\n"           // a run of tabs is one separator
      "\t\t1\t2\t99\t\n"   // leading tabs skipped, extra field ignored
      "  7 \t0\r\n"        // spaces around a field, CRLF
      "1\t 4\r\n"
      "2\t2\n"
      "2\t2");             // last line without a line feed
  EXPECT_EQ(out, "num_alleles = 6.000000\n");
  ASSERT_EQ(NUMLOCI, 3);
  EXPECT_EQ(num_alleles, 6.0);
  const int count[3][2] = {{3, 5}, {7, 0}, {2, 2}};
  const int total[3][2] = {{4, 7}, {8, 4}, {4, 4}};
  for (int l = 0; l < 3; l++) {
    ASSERT_NE(loc[l], nullptr);
    EXPECT_EQ(loc[l]->next, nullptr);
    for (int pop = 1; pop <= 2; pop++) {
      EXPECT_EQ(loc[l]->count[pop], count[l][pop - 1]) << "locus " << l << " pop " << pop;
      EXPECT_EQ(loc[l]->total[pop], total[l][pop - 1]) << "locus " << l << " pop " << pop;
    }
  }
  EXPECT_EQ(loc[3], nullptr);
  // Running totals: the first line of locus 1 gives 0 for population 2.
  EXPECT_EQ(min_coverage, 0);
  EXPECT_EQ(max_coverage, 8);
}

TEST_F(CountFileTest, CoverageExtremesAreRunningTotals) {
  NUMPOPS = 2;
  read("0\t6\n9\t6\n");
  EXPECT_EQ(loc[0]->total[1], 9);
  EXPECT_EQ(loc[0]->total[2], 12);
  // Every total is at least 9, yet the first line's 0 sets the minimum.
  EXPECT_EQ(min_coverage, 0);
  EXPECT_EQ(max_coverage, 12);
}

TEST_F(CountFileTest, OnePopulationAndOneDrawPerLocus) {
  seed = -7;
  read("1\n2\n3\n4\n5\n6\n");
  EXPECT_EQ(NUMLOCI, 3);
  EXPECT_EQ(loc[2]->count[1], 5);
  EXPECT_EQ(loc[2]->total[1], 11);
  EXPECT_EQ(seed, ran1_state_after(7, 3));
}

TEST_F(CountFileTest, LongestLineIsReadWhole) {
  // 19998 characters before the line feed, the carriage return included.
  std::string pad(19998 - 2, 'x');
  read("1\t" + pad + "\n" + "1\t" + pad.substr(1) + "\r\n");
  EXPECT_EQ(NUMLOCI, 1);
  EXPECT_EQ(loc[0]->total[1], 2);
}

TEST_F(CountFileTest, LocusLimitKeepsFirst100000AndDrawsForTheDroppedLine) {
  std::string content;
  content.reserve(100001 * 6 + 16);
  for (int l = 0; l < 100001; l++) content += l == 99999 ? "4\n5\n" : "1\n1\n";
  content += "not read\n";  // beyond the limit nothing is parsed
  seed = -7;
  std::string out = read(content);
  EXPECT_EQ(out, "num_alleles = 200000.000000\nNote: count file \"" + std::string(INPUT_FILE) +
                     "\" holds more than 100000 loci; the first 100000 were used and the rest of "
                     "the file was ignored\n");
  EXPECT_EQ(NUMLOCI, 100000);
  EXPECT_EQ(num_alleles, 200000.0);
  EXPECT_EQ(loc[99999]->total[1], 9);
  EXPECT_EQ(max_coverage, 9);
  // 100,001 draws: the stream position, and the shuffle table, match a replay.
  EXPECT_EQ(seed, ran1_state_after(7, 100001));
  float next = ran1(&seed);
  long replay = -7;
  for (int i = 0; i < 100001; i++) ran1(&replay);
  EXPECT_EQ(next, ran1(&replay));
}

TEST_F(CountFileTest, ExactlyTheLimitPrintsNoNote) {
  std::string content;
  for (int l = 0; l < 100000; l++) content += "1\n1\n";
  seed = -3;
  EXPECT_EQ(read(content), "num_alleles = 200000.000000\n");
  EXPECT_EQ(seed, ran1_state_after(3, 100000));
}

struct BadCountFile {
  int numpops;
  std::string content;
  std::string message;  // after `Error: count file "<name>"`
};

TEST_F(CountFileTest, MalformedFilesEndTheRunWithOneLine) {
  const std::string big_line = "1\t" + std::string(19997, 'x') + "\n";
  const BadCountFile cases[] = {
      {2, "1\t2\n3\n", ", line 2: 1 field; 2 needed"},
      {2, "1\t2\n3\t4\n\n", ", line 3: blank line; 2 fields needed"},
      {2, "1\t2\n3\t4\n\t\t\n", ", line 3: blank line; 2 fields needed"},
      {2, "pop1\tpop2\n1\t2\n", ", line 1, field 1: \"pop1\" is not an integer"},
      {2, "1\tNA\n1\t2\n", ", line 1, field 2: \"NA\" is not an integer"},
      {2, "3 5\n1\t2\n", ", line 1, field 1: \"3 5\" is not an integer"},
      {2, "1\t2\n12abc\t2\n", ", line 2, field 1: \"12abc\" is not an integer"},
      {1, "1.5\n1\n", ", line 1, field 1: \"1.5\" is not an integer"},
      {1, " \n1\n", ", line 1, field 1: \" \" is not an integer"},
      {1, "4294967296\n1\n", ", line 1, field 1: \"4294967296\" is beyond the integer range"},
      {1, "99999999999999999999999\n1\n",
       ", line 1, field 1: \"99999999999999999999999\" is beyond the integer range"},
      {2, "1\t2\n3\t-3\n", ", line 2, field 2: \"-3\" is a negative count"},
      {1, "2147483647\n1\n", ", line 2, field 1: total of the locus's two lines exceeds 2147483647"},
      {1, "1\n1\n" + big_line, ", line 3: longer than 19998 characters"},
      {1, "1\t" + std::string(19996, 'x') + "\r\n1\n", ", line 1: longer than 19998 characters"},
      {2, "1\t2\n3\t4\n5\t6\n", ": odd number of lines (3): the last locus lacks its second line"},
      {2, "1\t2\n0\t0\n0\t0\n0\t0\n", ", line 4: locus 2 has no copies in any population"},
      {1, "", ": holds no loci"},
      {2, "1\t2\n3\0\t4\n"s, ", line 2: holds a NUL byte (not a text file)"},
      {2, "1\t\xff\xfe\n1\t1\n", ", line 1, field 2: \"\\xFF\\xFE\" is not an integer"},
      {1, "\x7f" "ELF\x02\x01\n", ", line 1, field 1: \"\\x7FELF\\x02\\x01\" is not an integer"},
      {1, std::string(100, 'A') + "\n1\n",
       ", line 1, field 1: \"" + std::string(58, 'A') + "\"... is not an integer"},
  };
  for (const BadCountFile &c : cases) {
    SCOPED_TRACE(c.message);
    NUMPOPS = c.numpops;
    INPUT_FILE = fixture("bad.txt", c.content);
    EXPECT_FATAL_OUTPUT(read_snpcounts(loc.data()),
                        "Error: count file \"" + std::string(INPUT_FILE) + "\"" + c.message + "\n");
  }
}

TEST_F(CountFileTest, UnreadableFileEndsTheRun) {
  INPUT_FILE = missing("absent.txt");
  EXPECT_FATAL_OUTPUT(read_snpcounts(loc.data()), "Error: cannot open count file \"" +
                                                      std::string(INPUT_FILE) +
                                                      "\": No such file or directory\n");
  INPUT_FILE = dir().c_str();
  EXPECT_FATAL_OUTPUT(read_snpcounts(loc.data()),
                      "Error: cannot open count file \"" + dir() + "\": Is a directory\n");
}

}  // namespace
