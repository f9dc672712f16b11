// Starting state of the chain: population means, a random diagonal
// covariance matrix, and each locus's ancestral frequency and offsets taken
// from its counts.
#include <cmath>

#include "model/allele_SNP.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "random/randlib.h"
#include "run/config.h"
#include "run/fatal.h"

void init_pop_spec_mean() {
  pop_spec_mean = dvector(1, NUMPOPS);
  for (int k = 1; k <= NUMPOPS; k++) pop_spec_mean[k] = 0;
}

void init_sigmas() {
  int K = NUMPOPS;
  sigmas = dmatrix(1, K, 1, K);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= i; j++) {
      if (j == i) {
        float g = gennor(0, 1);
        sigmas[i][i] = fabsf(g);
      } else {
        sigmas[i][j] = 0;
        sigmas[j][i] = 0;
      }
    }
  dsymmat_cpy2(sigmas, temp_matrix, K);
  sigmas_inverse = choldc_inverse_det(temp_matrix, K, &sigmas_det);

  // The covariance update replaces both before their first use; they are
  // zeroed only so that nothing ever reads undefined values.
  chol_dec_sigmas = dmatrix(1, K, 1, K);
  chol_dec_sigmas_inverse = dmatrix(1, K, 1, K);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) chol_dec_sigmas[i][j] = chol_dec_sigmas_inverse[i][j] = 0;
}

void init_epsilon(ALLELE **loc) {
  for (int l = 0; l < NUMLOCI; l++) {
    ALLELE *a = loc[l];
    double sum_count = 0, sum_total = 0;
    for (int k = 1; k <= NUMPOPS; k++) {
      sum_count += a->count[k];
      sum_total += a->total[k];
    }
    // 0/0 would give every later quantity of the locus, and the covariance
    // sum, the value NaN.
    if (sum_total == 0) fatal("initial epsilon undefined locus %d: no allele copies in any population\n", l);
    a->epsilon = sum_count / sum_total;
    if (a->epsilon == 0 || a->epsilon == 1) fatal("initial epsilon zero or 1 locus %d\n", l);
  }
}

void init_thetas(ALLELE **loc) {
  for (int l = 0; l < NUMLOCI; l++) {
    ALLELE *a = loc[l];
    double eps = a->epsilon;
    a->multinom_prob = dvector(1, NUMPOPS);
    a->theta_offset = dvector(1, NUMPOPS);
    for (int k = 1; k <= NUMPOPS; k++) {
      double mu = pop_spec_mean[k];
      int c = a->count[k], t = a->total[k];
      // Each population starts at its observed frequency c/t, or at the
      // ancestral one when it has no data.
      a->theta_offset[k] = t != 0 ? (((double)c / t) - eps) - mu : 0;
      a->multinom_prob[k] = multinom_prob((eps + mu) + a->theta_offset[k], a, k);
    }
    a->multivar_prob = multivar_prob(a->theta_offset, eps);
  }
}
