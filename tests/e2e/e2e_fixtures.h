// Small input files and text helpers shared by the end-to-end tests.
#ifndef PELTRA_TESTS_E2E_FIXTURES_H
#define PELTRA_TESTS_E2E_FIXTURES_H

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli.h"

namespace e2e {

// In four populations: one locus (totals 40 each), a positive-definite
// covariance matrix, two environmental variables; pooled mode: 20 allele
// copies per pool, and the reads of one locus.
inline const char *kOneLocus = "12\t30\t7\t21\n28\t10\t33\t19\n";
inline const char *kMatrix =
    "0.05\t0.01\t0.00\t0.01\n0.01\t0.06\t0.02\t0.00\n0.00\t0.02\t0.04\t0.01\n0.01\t0.00\t0.01\t0.05\n";
inline const char *kEnviron = "-1.2\t0.3\t0.8\t0.1\n0.5\t-0.7\t1.1\t-0.9\n";
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

// The lines of a text, without their line feeds.
inline std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The numbers of a line (a leading name is read as 0).
inline std::vector<double> numbers(const std::string &line) {
  std::vector<double> out;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) out.push_back(strtod(field.c_str(), nullptr));
  return out;
}

}  // namespace e2e

#endif
