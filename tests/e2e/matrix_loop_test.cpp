// Matrix estimation end to end: the report schedule, the report layout,
// "pop_spec.out", and the runs that the seed fixes.
#include <gtest/gtest.h>

#include <regex>

#include "e2e/e2e_fixtures.h"
#include "support/cli.h"

using testsupport::run_peltra2;
using testsupport::TempDir;

namespace {

const int K = 4;

// The report blocks of a run's output: label and the rows that follow.
struct Report {
  int label;
  std::vector<std::string> rows;
};

std::vector<Report> reports(const std::string &out) {
  std::vector<Report> found;
  auto ls = e2e::lines(out);
  const std::string head = "VAR-COVAR MATRIX: ITER = ";
  for (size_t i = 0; i < ls.size(); i++) {
    if (ls[i].compare(0, head.size(), head) != 0) continue;
    Report r;
    r.label = atoi(ls[i].c_str() + head.size());
    for (size_t j = i + 1; j < ls.size() && !ls[j].empty(); j++) r.rows.push_back(ls[j]);
    // The block ends with an empty line.
    EXPECT_LT(i + 1 + r.rows.size(), ls.size());
    found.push_back(r);
  }
  return found;
}

TEST(MatrixLoop, ReportsBeforeEveryFiveHundredthIteration) {
  TempDir d;
  d.write("counts.txt", e2e::many_loci(20, K));
  auto r = run_peltra2("-i counts.txt -p 4 -k 1000 -r 3", d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto rs = reports(r.out);
  ASSERT_EQ(rs.size(), 2u) << r.out;
  EXPECT_EQ(rs[0].label, 500);
  EXPECT_EQ(rs[1].label, 1000);
  // Each report: the header on its own line, K rows of K "%e\t" fields,
  // an empty line; nothing follows the last report.
  const std::regex row("(-?\\d\\.\\d{6}e[+-]\\d\\d\\t){4}");
  for (const auto &rep : rs) {
    ASSERT_EQ(rep.rows.size(), (size_t)K);
    for (const auto &line : rep.rows) EXPECT_TRUE(std::regex_match(line, row)) << line;
  }
  const std::string tail = "\n\n";
  EXPECT_EQ(r.out.compare(r.out.size() - tail.size(), tail.size(), tail), 0);
  EXPECT_EQ(r.out.find("VAR-COVAR MATRIX: ITER = 500\n"), r.out.find("VAR-COVAR"));

  std::string zeros = "0.0000e+00\t0.0000e+00\t0.0000e+00\t0.0000e+00\t\n";
  EXPECT_EQ(d.read("pop_spec.out"), zeros + zeros);
}

TEST(MatrixLoop, NoReportBeforeIterationFiveHundred) {
  TempDir d;
  d.write("counts.txt", e2e::many_loci(20, K));
  auto r = run_peltra2("-i counts.txt -p 4 -k 499 -r 3", d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("VAR-COVAR"), std::string::npos);
  EXPECT_EQ(d.read("pop_spec.out"), "");
  EXPECT_NE(r.out.find("number of loci = 20\n"), std::string::npos);
}

// A report is a matrix file as it stands: a test run accepts it.
TEST(MatrixLoop, ReportFeedsBackAsMatrixFile) {
  TempDir d;
  d.write("counts.txt", e2e::many_loci(30, K));
  auto r = run_peltra2("-i counts.txt -p 4 -k 500 -r 11", d.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto rs = reports(r.out);
  ASSERT_EQ(rs.size(), 1u);
  std::string matrix;
  for (const auto &row : rs[0].rows) matrix += row + "\n";
  // The reported Sigma is symmetric and has a positive diagonal.
  std::vector<std::vector<double>> m;
  for (const auto &row : rs[0].rows) m.push_back(e2e::numbers(row));
  for (int i = 0; i < K; i++) {
    EXPECT_GT(m[i][i], 0);
    for (int j = 0; j < i; j++) EXPECT_NEAR(m[i][j], m[j][i], 1e-6 * (m[i][i] + m[j][j]));
  }
  d.write("matrix.txt", matrix);
  d.write("snp.txt", e2e::kOneLocus);
  d.write("env.txt", e2e::kEnviron);
  auto t = run_peltra2("-t -i snp.txt -e env.txt -m matrix.txt -n 2 -p 4 -k 5001 -r 2", d.path());
  EXPECT_EQ(t.status, 0) << t.out << t.err;
  EXPECT_EQ(e2e::lines(d.read("bf_environ.env.txt")).size(), 1u);
}

// With one locus the first worker's share is empty and every draw comes
// from one thread: the seed fixes the whole output.
TEST(MatrixLoop, OneLocusRunIsFixedBySeed) {
  TempDir d;
  d.write("snp.txt", e2e::kOneLocus);
  auto a = run_peltra2("-i snp.txt -p 4 -k 1500 -r 9", d.path());
  std::string pa = d.read("pop_spec.out");
  auto b = run_peltra2("-i snp.txt -p 4 -k 1500 -r 9", d.path());
  auto c = run_peltra2("-i snp.txt -p 4 -k 1500 -r 10", d.path());
  ASSERT_EQ(a.status, 0) << a.out << a.err;
  EXPECT_EQ(reports(a.out).size(), 3u);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(pa, d.read("pop_spec.out"));
  // Another seed changes the reports, not only the header.
  auto strip = [](const std::string &s) { return s.substr(s.find("VAR-COVAR")); };
  EXPECT_NE(strip(a.out), strip(c.out));
}

}  // namespace
