#include "bench_state.h"

#include <cmath>

#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace bench {

void setup_model(int k) {
  static bool seeded = false;
  if (!seeded) {
    setall(2 * 12345, 12345);
    seed = -12345;
    ran1(&seed);
    seeded = true;
  }
  if (sigmas) {
    // Drop the previous benchmark's matrices (their size is the old NUMPOPS).
    int o = NUMPOPS;
    free_dmatrix(sigmas, 1, o, 1, o);
    free_dmatrix(temp_matrix, 1, o, 1, o);
    free_dmatrix(sigmas_inverse, 1, o, 1, o);
    free_dmatrix(chol_dec_sigmas, 1, o, 1, o);
    free_dvector(pop_spec_mean, 1, o);
  }
  NUMPOPS = k;
  X_DEV = 0.05;
  sigmas = dmatrix(1, k, 1, k);
  temp_matrix = dmatrix(1, k, 1, k);
  for (int i = 1; i <= k; i++)
    for (int j = 1; j <= k; j++) sigmas[i][j] = 0.05 * std::pow(0.6, std::abs(i - j)) + (i == j ? 0.02 : 0);
  dsymmat_cpy2(sigmas, temp_matrix, k);
  sigmas_inverse = choldc_inverse_det(temp_matrix, k, &sigmas_det);
  // The lower Cholesky factor of Sigma, as the covariance update leaves it.
  chol_dec_sigmas = dmatrix(1, k, 1, k);
  dsymmat_cpy2(sigmas, chol_dec_sigmas, k);
  double *d = dvector(1, k);
  choldc(chol_dec_sigmas, k, d);
  for (int i = 1; i <= k; i++) {
    chol_dec_sigmas[i][i] = d[i];
    for (int j = i + 1; j <= k; j++) chol_dec_sigmas[i][j] = 0;
  }
  free_dvector(d, 1, k);
  pop_spec_mean = dvector(1, k);
  for (int i = 1; i <= k; i++) pop_spec_mean[i] = 0;
}

void setup_pooled(int n, int max_cov, bool with_table) {
  POOL = 1;
  X_DEV = 0.02;
  samplesizes = ivector(1, NUMPOPS);
  for (int k = 1; k <= NUMPOPS; k++) samplesizes[k] = n;
  min_samplesize = max_samplesize = n;
  LOOKUP = with_table ? 1 : 0;
  if (with_table) {
    min_coverage = 1;
    max_coverage = max_cov;
    init_lookup(n, max_cov);
  }
}

void leave_pooled() {
  POOL = 0;
  LOOKUP = 0;
  X_DEV = 0.05;
}

ALLELE *new_locus(int total_max) {
  ALLELE *a = new ALLELE;
  a->count = ivector(1, NUMPOPS);
  a->total = ivector(1, NUMPOPS);
  a->next = nullptr;
  double sc = 0, st = 0;
  for (int k = 1; k <= NUMPOPS; k++) {
    // Totals between half the maximum and the maximum, counts in the middle
    // range so that no population is fixed.
    int t = total_max / 2 + (int)(ranf() * (total_max - total_max / 2));
    if (t < 2) t = 2;
    int c = 1 + (int)(ranf() * (t - 1));
    if (c >= t) c = t - 1;
    a->count[k] = c;
    a->total[k] = t;
    sc += c;
    st += t;
  }
  a->epsilon = sc / st;
  a->theta_offset = dvector(1, NUMPOPS);
  a->multinom_prob = dvector(1, NUMPOPS);
  for (int k = 1; k <= NUMPOPS; k++) {
    a->theta_offset[k] = (double)a->count[k] / a->total[k] - a->epsilon;
    a->multinom_prob[k] = multinom_prob(a->epsilon + a->theta_offset[k], a, k);
  }
  a->multivar_prob = multivar_prob(a->theta_offset, a->epsilon);
  return a;
}

}  // namespace bench
