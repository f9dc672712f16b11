// Process-wide state for the statistics tests: populations, loci, the
// covariance quantities, the environment and the accumulators, set afresh
// by each test (the old ones stay to the end of the process).
#ifndef PELTRA_TESTS_STATS_STATS_STATE_H
#define PELTRA_TESTS_STATS_STATS_STATE_H

#include <vector>

#include "input/readers.h"
#include "model/allele_SNP.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

namespace statstest {

// A locus record over the populations of theta, with the given counts of
// `total` copies each, or one copy of two in each population.
inline ALLELE *make_locus(double epsilon, const std::vector<double> &theta, std::vector<int> count = {},
                          int total = 2) {
  int k = (int)theta.size();
  ALLELE *a = new ALLELE();  // null and zero fields
  a->count = ivector(1, k);
  a->total = ivector(1, k);
  a->theta_offset = dvector(1, k);
  a->multinom_prob = dvector(1, k);
  for (int i = 1; i <= k; i++) {
    a->count[i] = count.empty() ? 1 : count[i - 1];
    a->total[i] = total;
    a->theta_offset[i] = theta[i - 1];
    a->multinom_prob[i] = 0;
  }
  a->epsilon = epsilon;
  return a;
}

inline double **make_matrix(int rows, int cols, const std::vector<double> &rowwise) {
  double **m = dmatrix(1, rows, 1, cols);
  for (int i = 1; i <= rows; i++)
    for (int j = 1; j <= cols; j++) m[i][j] = rowwise[(i - 1) * cols + (j - 1)];
  return m;
}

// Sets K populations with Sigma^-1 = L^-1 = I and mu = 0.
inline void set_covariance(int k) {
  NUMPOPS = k;
  POOL = 0;
  std::vector<double> identity(k * k, 0.0);
  for (int i = 0; i < k; i++) identity[i * k + i] = 1;
  chol_dec_sigmas_inverse = make_matrix(k, k, identity);
  sigmas_inverse = make_matrix(k, k, identity);
  pop_spec_mean = dvector(1, k);
  for (int i = 1; i <= k; i++) pop_spec_mean[i] = 0;
}

// The environment (n rows of NUMPOPS values), the grid of num_beta = 101
// effect sizes and zeroed weights.
inline void set_environment(int n, const std::vector<double> &rowwise) {
  number_environ = n;
  num_beta = 101;
  environ_values = make_matrix(n, NUMPOPS, rowwise);
  beta_array = dvector(1, num_beta);
  for (int j = 1; j <= num_beta; j++) beta_array[j] = ((j - 1) * 0.2) / (num_beta - 1) - 0.1;
  beta_imp_weight = make_matrix(n, num_beta, std::vector<double>(n * num_beta, 0.0));
  environ_corr = 0;
}

}  // namespace statstest

#endif
