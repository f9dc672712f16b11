// The environment, covariance matrix and sample-size readers: what they fill
// from well-formed files and how each malformed file ends the run.
#include <gtest/gtest.h>

#include <string>

#include "input/readers.h"
#include "input/reader_test_support.h"
#include "model/allele_SNP.h"
#include "numerics/nrutil.h"
#include "run/config.h"

namespace {

class EnvironFileTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    NUMPOPS = 3;
    number_environ = 2;
    environ_values = dmatrix(1, 2, 1, 3);
  }
  void TearDown() override {
    free_dmatrix(environ_values, 1, 2, 1, 3);
    ReaderTest::TearDown();
  }
};

TEST_F(EnvironFileTest, FillsFirstFieldsOfFirstLines) {
  ENVIRON_FILE = fixture("env.txt",
                         "1.5e-3\t-2\t\t 0.25 \t7\r\n"
                         "\t-4.5E+2\t.5\t6.\t8\t\n"
                         "9\t9\t9\t9\n");
  ::testing::internal::CaptureStdout();
  read_environ();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "reading environ\n");
  const double expected[2][3] = {{1.5e-3, -2, 0.25}, {-450, 0.5, 6}};
  for (int i = 1; i <= 2; i++)
    for (int pop = 1; pop <= 3; pop++) EXPECT_EQ(environ_values[i][pop], expected[i - 1][pop - 1]);
}

TEST_F(EnvironFileTest, MalformedFilesEndTheRunWithOneLine) {
  const struct {
    std::string content, message;
  } cases[] = {
      {"", ": 0 lines; 2 needed"},
      {"1\t2\t3\n", ": 1 line; 2 needed"},
      {"1\t2\t3\n1\t2\n", ", line 2: 2 fields; 3 needed"},
      {"1\t2\t3\n\n", ", line 2: blank line; 3 fields needed"},
      {"1\tabc\t3\n1\t2\t3\n", ", line 1, field 2: \"abc\" is not a number"},
      {"1\t2\t3\n1\t2\t1,5\n", ", line 2, field 3: \"1,5\" is not a number"},
      {"1\t2 3\t3\n", ", line 1, field 2: \"2 3\" is not a number"},
      {"0x10\t2\t3\n", ", line 1, field 1: \"0x10\" is not a number"},
      {"1e\t2\t3\n", ", line 1, field 1: \"1e\" is not a number"},
      {"nan\t2\t3\n", ", line 1, field 1: \"nan\" is not a finite number"},
      {"1\t-inf\t3\n", ", line 1, field 2: \"-inf\" is not a finite number"},
      {"1\t2\t1e999\n", ", line 1, field 3: \"1e999\" is not a finite number"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.message);
    ENVIRON_FILE = fixture("env.txt", c.content);
    EXPECT_FATAL_OUTPUT(read_environ(), "reading environ\nError: environment file \"" +
                                            std::string(ENVIRON_FILE) + "\"" + c.message + "\n");
  }
  ENVIRON_FILE = missing("absent.env");
  EXPECT_FATAL_OUTPUT(read_environ(), "reading environ\nError: cannot open environment file \"" +
                                          std::string(ENVIRON_FILE) +
                                          "\": No such file or directory\n");
}

class MatrixFileTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    NUMPOPS = 2;
    sigmas = dmatrix(1, 2, 1, 2);
  }
  void TearDown() override {
    free_dmatrix(sigmas, 1, 2, 1, 2);
    ReaderTest::TearDown();
  }
};

TEST_F(MatrixFileTest, EachCallTakesTheNextMatrix) {
  // Rows in the layout of the covariance report: every value tab-terminated.
  MATRIX_FILE = fixture("m.txt",
                        "1.0000e-01\t2.0000e-02\t\n"
                        "3.0000e-02\t4.0000e-01\t\n"
                        "5\t6\t\n"
                        "7\t8\t\n");
  read_matrix();
  EXPECT_EQ(read_matrix_num, 1);
  EXPECT_NE(matrix_in, nullptr);
  const double first[2][2] = {{0.1, 0.02}, {0.03, 0.4}};
  for (int i = 1; i <= 2; i++)
    for (int j = 1; j <= 2; j++) EXPECT_EQ(sigmas[i][j], first[i - 1][j - 1]);
  read_matrix();
  EXPECT_EQ(read_matrix_num, 2);
  EXPECT_EQ(sigmas[1][1], 5);
  EXPECT_EQ(sigmas[2][2], 8);
  // Line numbers run on across calls.
  EXPECT_FATAL_OUTPUT(read_matrix(), "Error: matrix file \"" + std::string(MATRIX_FILE) +
                                         "\": 4 lines; 6 needed\n");
}

TEST_F(MatrixFileTest, MalformedFilesEndTheRunWithOneLine) {
  const struct {
    std::string content, message;
  } cases[] = {
      {"", ": 0 lines; 2 needed"},
      {"1\t0\n", ": 1 line; 2 needed"},
      {"1\t0\n0\n", ", line 2: 1 field; 2 needed"},
      {"MATRIX\n1\t0\n0\t1\n", ", line 1, field 1: \"MATRIX\" is not a number"},
      {"1\t0\n0\tx\n", ", line 2, field 2: \"x\" is not a number"},
      {"1\tNaN\n0\t1\n", ", line 1, field 2: \"NaN\" is not a finite number"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.message);
    MATRIX_FILE = fixture("m.txt", c.content);
    EXPECT_FATAL_OUTPUT(read_matrix(),
                        "Error: matrix file \"" + std::string(MATRIX_FILE) + "\"" + c.message + "\n");
  }
  MATRIX_FILE = dir().c_str();
  EXPECT_FATAL_OUTPUT(read_matrix(), "Error: cannot open matrix file \"" + dir() + "\": Is a directory\n");
}

TEST_F(ReaderTest, SampleSizesFromTheFirstLine) {
  NUMPOPS = 3;
  SAMPLESIZE_FILE = fixture("sizes.txt", "10\t30 \t20\t1\n1\t1\t1\n");
  ::testing::internal::CaptureStdout();
  read_samplesize();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "10 30\n");
  EXPECT_EQ(samplesizes[1], 10);
  EXPECT_EQ(samplesizes[2], 30);
  EXPECT_EQ(samplesizes[3], 20);
  EXPECT_EQ(min_samplesize, 10);
  EXPECT_EQ(max_samplesize, 30);
  free_ivector(samplesizes, 1, 3);
}

TEST_F(ReaderTest, MalformedSampleSizeFilesEndTheRunWithOneLine) {
  NUMPOPS = 2;
  const struct {
    std::string content, message;
  } cases[] = {
      {"", ": 0 lines; 1 needed"},
      {"\n10\t10\n", ", line 1: blank line; 2 fields needed"},
      {"10\n", ", line 1: 1 field; 2 needed"},
      {"10\t2.5\n", ", line 1, field 2: \"2.5\" is not an integer"},
      {"n=10\t10\n", ", line 1, field 1: \"n=10\" is not an integer"},
      {"10\t1\n", ", line 1, field 2: a pool of 1 allele copy; at least 2 needed"},
      {"0\t10\n", ", line 1, field 1: a pool of 0 allele copies; at least 2 needed"},
      {"10\t-4\n", ", line 1, field 2: a pool of -4 allele copies; at least 2 needed"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.message);
    SAMPLESIZE_FILE = fixture("sizes.txt", c.content);
    EXPECT_FATAL_OUTPUT(read_samplesize(), "Error: sample-size file \"" +
                                               std::string(SAMPLESIZE_FILE) + "\"" + c.message + "\n");
  }
  SAMPLESIZE_FILE = missing("absent.txt");
  EXPECT_FATAL_OUTPUT(read_samplesize(), "Error: cannot open sample-size file \"" +
                                             std::string(SAMPLESIZE_FILE) +
                                             "\": No such file or directory\n");
}

}  // namespace
