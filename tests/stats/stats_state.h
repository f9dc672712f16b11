// Process-wide state for the statistics tests: populations, loci, the
// covariance quantities, the environment and the accumulators, set up and
// released by each test.
#ifndef PELTRA_TESTS_STATS_STATS_STATE_H
#define PELTRA_TESTS_STATS_STATS_STATE_H

#include <vector>

#include "input/readers.h"
#include "model/allele_SNP.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

namespace statstest {

// A locus record over NUMPOPS populations, owned by the test.
inline ALLELE *make_locus(const std::vector<int> &count, const std::vector<int> &total,
                          double epsilon, const std::vector<double> &theta) {
  int k = (int)count.size();
  ALLELE *a = new ALLELE();
  a->count = ivector(1, k);
  a->total = ivector(1, k);
  a->theta_offset = dvector(1, k);
  a->multinom_prob = dvector(1, k);
  for (int i = 1; i <= k; i++) {
    a->count[i] = count[i - 1];
    a->total[i] = total[i - 1];
    a->theta_offset[i] = theta[i - 1];
    a->multinom_prob[i] = 0;
  }
  a->next = nullptr;
  a->epsilon = epsilon;
  a->multivar_prob = 0;
  return a;
}

inline void free_locus(ALLELE *a, int k) {
  free_ivector(a->count, 1, k);
  free_ivector(a->total, 1, k);
  free_dvector(a->theta_offset, 1, k);
  free_dvector(a->multinom_prob, 1, k);
  delete a;
}

inline double **make_matrix(int rows, int cols, const std::vector<double> &rowwise) {
  double **m = dmatrix(1, rows, 1, cols);
  for (int i = 1; i <= rows; i++)
    for (int j = 1; j <= cols; j++) m[i][j] = rowwise[(i - 1) * cols + (j - 1)];
  return m;
}

// Sets K populations with L^-1 given by its lower triangle (row-wise, entries
// above the diagonal ignored) and Sigma^-1 = L^-T L^-1, formed here
// independently of the numerics library. Also clears mu and the flags.
inline void set_covariance(int k, const std::vector<double> &l_inverse_rowwise) {
  NUMPOPS = k;
  POOL = 0;
  FREQS_OUTPUT = PRINT_COR = CALC_XTX = 0;
  chol_dec_sigmas_inverse = make_matrix(k, k, l_inverse_rowwise);
  for (int i = 1; i <= k; i++)
    for (int j = i + 1; j <= k; j++) chol_dec_sigmas_inverse[i][j] = 0;
  sigmas_inverse = dmatrix(1, k, 1, k);
  for (int i = 1; i <= k; i++)
    for (int j = 1; j <= k; j++) {
      double sum = 0;
      for (int r = 1; r <= k; r++) sum += chol_dec_sigmas_inverse[r][i] * chol_dec_sigmas_inverse[r][j];
      sigmas_inverse[i][j] = sum;
    }
  pop_spec_mean = dvector(1, k);
  for (int i = 1; i <= k; i++) pop_spec_mean[i] = 0;
}

// The environment (number_environ rows of NUMPOPS values), the grid of
// num_beta = 101 effect sizes and zeroed accumulators.
inline void set_environment(int n, const std::vector<double> &rowwise) {
  number_environ = n;
  num_beta = 101;
  environ_values = make_matrix(n, NUMPOPS, rowwise);
  beta_array = dvector(1, num_beta);
  for (int j = 1; j <= num_beta; j++) beta_array[j] = ((j - 1) * 0.2) / (num_beta - 1) - 0.1;
  beta_imp_weight = dmatrix(1, n, 1, num_beta);
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= num_beta; j++) beta_imp_weight[i][j] = 0;
  corr_vector = dvector(1, n);
  corr_vector2 = dvector(1, n);
  for (int i = 1; i <= n; i++) corr_vector[i] = corr_vector2[i] = 0;
  XtX = 0;
  environ_corr = 0;
}

inline void release_state() {
  int k = NUMPOPS, n = number_environ;
  free_dmatrix(chol_dec_sigmas_inverse, 1, k, 1, k);
  free_dmatrix(sigmas_inverse, 1, k, 1, k);
  free_dvector(pop_spec_mean, 1, k);
  free_dmatrix(environ_values, 1, n, 1, k);
  free_dvector(beta_array, 1, num_beta);
  free_dmatrix(beta_imp_weight, 1, n, 1, num_beta);
  free_dvector(corr_vector, 1, n);
  free_dvector(corr_vector2, 1, n);
  chol_dec_sigmas_inverse = sigmas_inverse = environ_values = beta_imp_weight = nullptr;
  pop_spec_mean = beta_array = corr_vector = corr_vector2 = nullptr;
}

// The Bayes factor of variable i after `samples` samples.
inline double bayes_factor(int i, int samples) {
  double sum = 0;
  for (int j = 1; j <= num_beta; j++) sum += beta_imp_weight[i][j];
  return sum / ((double)num_beta * samples);
}

}  // namespace statstest

#endif
