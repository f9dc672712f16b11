// Small helpers for the numerics tests: offset-indexed matrices built from
// row lists, and the exact text nrerror prints.
#ifndef PELTRA_TESTS_NUMERICS_MAT_UTIL_H
#define PELTRA_TESTS_NUMERICS_MAT_UTIL_H

#include <initializer_list>
#include <string>

#include "numerics/nrutil.h"

namespace numtest {

// A new r x c dmatrix filled row by row from `rows`.
inline double **make_mat(std::initializer_list<std::initializer_list<double>> rows) {
  int r = (int)rows.size(), c = (int)rows.begin()->size();
  double **m = dmatrix(1, r, 1, c);
  int i = 1;
  for (auto &row : rows) {
    int j = 1;
    for (double x : row) m[i][j++] = x;
    i++;
  }
  return m;
}

// The whole standard error of a process ended by nrerror(text), as an
// anchored extended regular expression.
inline std::string nrerror_regex(const std::string &text) {
  std::string quoted;
  for (char ch : text) {
    if (std::string("\\.^$|()[]{}*+?").find(ch) != std::string::npos) quoted += '\\';
    quoted += ch;
  }
  return "^Numerical Recipes run-time error\\.\\.\\.\n" + quoted + "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
}

}  // namespace numtest

#endif
