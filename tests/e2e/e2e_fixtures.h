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
// A positive-definite 4 x 4 covariance matrix.
inline const char *kMatrix =
    "0.05\t0.01\t0.00\t0.01\n0.01\t0.06\t0.02\t0.00\n0.00\t0.02\t0.04\t0.01\n0.01\t0.00\t0.01\t0.05\n";
// Two environmental variables.
inline const char *kEnviron = "-1.2\t0.3\t0.8\t0.1\n0.5\t-0.7\t1.1\t-0.9\n";
// Pooled mode: 20 allele copies per pool; reads of one locus.
inline const char *kSampleSizes = "20\t20\t20\t20\n";
inline const char *kPooledLocus = "14\t31\t9\t25\n26\t12\t35\t17\n";

// A count file of n loci in k populations, each population with 30 copies,
// polymorphic in every population by construction.
inline std::string many_loci(int n, int k) {
  std::string s;
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

// The pieces of text between separators; a last piece without its separator
// counts, an empty last piece does not.
inline std::vector<std::string> split(const std::string &text, char sep) {
  std::vector<std::string> out;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(sep, start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}
inline std::vector<std::string> lines(const std::string &text) { return split(text, '\n'); }
inline std::vector<std::string> fields(const std::string &line) { return split(line, '\t'); }

inline std::vector<double> numbers(const std::string &line) {
  std::vector<double> out;
  for (const auto &f : fields(line)) out.push_back(strtod(f.c_str(), nullptr));
  return out;
}

}  // namespace e2e

#endif
