// Gibbs draw of the inverse covariance matrix: the scaled outer products of
// all loci's offsets, summed over the two workers' shares, plus the prior
// (K+1) I, give the Wishart scale; the draw and the factors derived from it
// feed the other updates.
#include <vector>

#include "model/allele_SNP.h"
#include "model/inline_terms.h"
#include "model/workers.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "numerics/wishart.h"
#include "run/config.h"
#include "run/fatal.h"

void *calc_sample_matrix(void *t) {
  THREAD_DATA *td = static_cast<THREAD_DATA *>(t);
  int K = NUMPOPS;
  double **sum = td->sum;
  for (int j = 1; j <= K; j++)
    for (int k = 1; k <= K; k++) sum[j][k] = 0;

  // The lower triangle row by row in one flat block: each entry still adds
  // its loci's terms in locus order, but a row's terms are independent
  // divisions over contiguous memory, which the compiler can pack.
  std::vector<double> acc((size_t)K * (K + 1) / 2, 0.0);
  for (int l = td->low; l < td->hi; l++) {
    ALLELE *a = td->loc[l];
    prefetch_loci(td->loc, l, td->hi, false);
    double eps = a->epsilon;
    double w = (1 - eps) * eps;
    // Impossible while 0 < epsilon < 1; dividing by it would poison Sigma.
    if (!(w > 0))
      fatal("epsilon zero or 1 locus %d (epsilon = %.4e): the covariance update cannot use it\n", l, eps);
    const double *theta = a->theta_offset;
    double *row = acc.data();
    for (int j = 1; j <= K; j++) {
      double tj = theta[j];
      for (int k = 1; k <= j; k++) row[k - 1] += tj * theta[k] / w;
      row += j;
    }
  }
  const double *row = acc.data();
  for (int j = 1; j <= K; j++) {
    for (int k = 1; k <= j; k++) sum[j][k] = row[k - 1];
    row += j;
  }
  return nullptr;
}

void update_sigmas(ALLELE **loc) {
  (void)loc;  // the shares come from the two worker descriptions
  int K = NUMPOPS;
  run_worker_pair(calc_sample_matrix, thread_data1, thread_data2);

  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= i; j++) {
      double v = thread_data1->sum[i][j] + thread_data2->sum[i][j];
      if (i == j) {
        sigmas[i][i] = v + (K + 1);
      } else {
        sigmas[i][j] = v;
        sigmas[j][i] = v;
      }
    }

  // V = (S + (K+1) I)^-1, then W ~ Wishart(NU, V) over it.
  free_dmatrix(sigmas_inverse, 1, K, 1, K);
  dsymmat_cpy2(sigmas, temp_matrix, K);
  sigmas_inverse = choldc_inverse_det(temp_matrix, K, &sigmas_det);
  dsymmat_cpy2(sigmas_inverse, temp_matrix, K);
  wish(K, (int)(NU + 1), temp_matrix, sigmas_inverse, &seed);

  // Sigma = W^-1 and its lower Cholesky factor F, in place.
  dsymmat_cpy2(sigmas_inverse, temp_matrix, K);
  free_dmatrix(chol_dec_sigmas, 1, K, 1, K);
  chol_dec_sigmas = choldc_inverse_det(temp_matrix, K, &sigmas_det);
  double *d = dvector(1, K);
  choldc(chol_dec_sigmas, K, d);
  for (int i = 1; i <= K; i++) {
    chol_dec_sigmas[i][i] = d[i];
    for (int j = i + 1; j <= K; j++) chol_dec_sigmas[i][j] = 0;
  }

  // F^-1 (read by nothing in matrix estimation, kept consistent anyway).
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) temp_matrix[i][j] = chol_dec_sigmas[i][j];
  free_dmatrix(chol_dec_sigmas_inverse, 1, K, 1, K);
  chol_dec_sigmas_inverse = dmat_inverse(temp_matrix, K);
  free_dvector(d, 1, K);
}
