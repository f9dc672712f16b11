// Shared set-up of the reader tests: a scratch directory for inline
// fixtures, the process-wide reader state reset before each test, and a
// regular expression that matches one exact text, for death tests whose
// standard output is moved onto standard error.
#ifndef PELTRA_TESTS_INPUT_READER_TEST_SUPPORT_H
#define PELTRA_TESTS_INPUT_READER_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>

#include "input/readers.h"
#include "run/config.h"
#include "support/cli.h"

// Runs statement with standard output moved onto standard error, where a
// death test can see it.
#define ON_STDERR(statement) \
  do {                       \
    fflush(stdout);          \
    dup2(2, 1);              \
    statement;               \
  } while (0)

// Expects statement to print exactly `text` and end the process with status 1.
#define EXPECT_FATAL_OUTPUT(statement, text) \
  EXPECT_EXIT(ON_STDERR(statement), ::testing::ExitedWithCode(1), exactly(text))

// A POSIX extended regular expression that matches exactly `text`.
inline std::string exactly(const std::string &text) {
  std::string re = "^";
  for (char c : text) {
    if (std::string(".[]{}()\\*+?^$|").find(c) != std::string::npos) re += '\\';
    re += c;
  }
  return re + "$";
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NUMPOPS = 1;
    number_environ = 1;
    NUMLOCI = 0;
    num_alleles = 0;
    max_coverage = 0;
    min_coverage = 2000000;
    max_samplesize = 0;
    min_samplesize = 2000000;
    read_matrix_num = 0;
    matrix_in = nullptr;
    seed = -1;
  }
  void TearDown() override {
    if (matrix_in != nullptr) fclose(matrix_in);
    matrix_in = nullptr;
  }

  // Writes content to a fixture file and returns its path. The path lives as
  // long as the test, as the readers keep the name.
  const char *fixture(const std::string &name, const std::string &content) {
    dir_.write(name, content);
    names_.push_back(dir_.file(name));
    return names_.back().c_str();
  }
  const char *missing(const std::string &name) {
    names_.push_back(dir_.file(name));
    return names_.back().c_str();
  }
  const std::string &dir() const { return dir_.path(); }

 private:
  testsupport::TempDir dir_;
  std::deque<std::string> names_;  // a deque keeps earlier names in place
};

#endif
