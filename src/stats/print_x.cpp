// Per-sample output of test mode: the standardised, decorrelated frequencies
// X = L^-1 theta / sqrt(epsilon (1 - epsilon)) of every locus, written to the
// frequency file, correlated with the decorrelated environment, and summed
// as X^T X.
#include <cmath>
#include <cstdio>

#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

// Scratch vectors kept between calls (scaled offsets, X, ranks of X).
static double *scaled = nullptr;
static double *x_std = nullptr;
static double *x_ranks = nullptr;
static int scratch_len = 0;

static void ensure_scratch() {
  if (scratch_len == NUMPOPS) return;
  if (scratch_len > 0) {
    free_dvector(scaled, 1, scratch_len);
    free_dvector(x_std, 1, scratch_len);
    free_dvector(x_ranks, 1, scratch_len);
  }
  scaled = dvector(1, NUMPOPS);
  x_std = dvector(1, NUMPOPS);
  x_ranks = dvector(1, NUMPOPS);
  scratch_len = NUMPOPS;
}

void print_X(ALLELE **locus) {
  ensure_scratch();
  for (int l = 0; l < NUMLOCI; l++) {
    ALLELE *a = locus[l];
    double s = sqrt((1 - a->epsilon) * a->epsilon);
    for (int pop = 1; pop <= NUMPOPS; pop++) scaled[pop] = a->theta_offset[pop] / s;
    dmat_vect_mult_tri(chol_dec_sigmas_inverse, scaled, x_std, NUMPOPS);

    if (FREQS_OUTPUT) {
      for (int pop = 1; pop <= NUMPOPS; pop++) fprintf(freqs_out, "%.4e \t", x_std[pop]);
      fputc('\n', freqs_out);
    }
    if (PRINT_COR) {
      calc_ranking(x_std, x_ranks);
      for (int i = 1; i <= number_environ; i++) {
        corr_vector[i] += calc_pearson_cor(x_ranks, env_ranks[i]);
        corr_vector2[i] += calc_pearson_cor(x_std, env_transformed[i]);
      }
    }
    if (CALC_XTX) {
      double sum = 0;
      for (int pop = 1; pop <= NUMPOPS; pop++) sum += x_std[pop] * x_std[pop];
      XtX += sum;
    }
  }
}
