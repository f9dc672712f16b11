// Small input files and text helpers shared by the end-to-end tests.
#ifndef PELTRA_TESTS_E2E_FIXTURES_H
#define PELTRA_TESTS_E2E_FIXTURES_H

#include <cstdlib>
#include <string>
#include <vector>

#include "support/cli.h"

namespace e2e {

// One locus in four populations (totals 40 each).
inline const char *kOneLocus = "12\t30\t7\t21\n28\t10\t33\t19\n";
// Two loci: test mode refuses them.
inline const char *kTwoLoci = "12\t30\t7\t21\n28\t10\t33\t19\n5\t9\t14\t2\n15\t11\t6\t18\n";
// A positive-definite 4 x 4 covariance matrix.
inline const char *kMatrix =
    "0.05\t0.01\t0.00\t0.01\n0.01\t0.06\t0.02\t0.00\n0.00\t0.02\t0.04\t0.01\n0.01\t0.00\t0.01\t0.05\n";
inline const char *kIdentity = "1\t0\t0\t0\n0\t1\t0\t0\n0\t0\t1\t0\n0\t0\t0\t1\n";
// Two environmental variables.
inline const char *kEnviron = "-1.2\t0.3\t0.8\t0.1\n0.5\t-0.7\t1.1\t-0.9\n";
// Pooled mode: 20 allele copies per pool; reads of one locus.
inline const char *kSampleSizes = "20\t20\t20\t20\n";
inline const char *kPooledLocus = "14\t31\t9\t25\n26\t12\t35\t17\n";

// A count file of n loci in k populations, each population with 30 copies,
// made polymorphic in every population by construction.
inline std::string many_loci(int n, int k) {
  std::string first, s;
  for (int l = 0; l < n; l++) {
    std::string a, b;
    for (int p = 0; p < k; p++) {
      int c = 1 + (l * 7 + p * 11) % 28;
      a += std::to_string(c) + (p + 1 < k ? "\t" : "\n");
      b += std::to_string(30 - c) + (p + 1 < k ? "\t" : "\n");
    }
    s += a + b;
  }
  return s;
}

// The lines of text, each without its line feed; a last line without a
// line feed is kept too.
inline std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    out.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

// The tab-separated fields of a line, a trailing tab giving no empty field.
inline std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < line.size()) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) tab = line.size();
    out.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  return out;
}

inline std::vector<double> numbers(const std::string &line) {
  std::vector<double> out;
  for (const auto &f : fields(line)) out.push_back(strtod(f.c_str(), nullptr));
  return out;
}

}  // namespace e2e

#endif
