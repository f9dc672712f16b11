// Test-mode staging: the statistics' accumulators and the Bayes-factor grid,
// the fixed covariance quantities derived from the matrix file, the
// decorrelated environment, the one-locus rule and the population means.
#include <cmath>
#include <cstdio>
#include <string>

#include "input/fields.h"
#include "input/readers.h"
#include "model/allele_SNP.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "run/fatal.h"
#include "run/run_control.h"
#include "stats/stats.h"

// The frequency file's name; kept for the message should closing it fail.
std::string freqs_name;

double beta_grid_point(int j, int n) { return ((j - 1) * 0.2) / (n - 1) - 0.1; }

void test_stage_a() {
  printf("number of environmental variables %d\n", number_environ);

  environ_values = dmatrix(1, number_environ, 1, NUMPOPS);
  beta_array = dvector(1, num_beta);
  beta_imp_weight = dmatrix(1, number_environ, 1, num_beta);
  corr_vector = dvector(1, number_environ);
  corr_vector2 = dvector(1, number_environ);
  for (int i = 1; i <= number_environ; i++) {
    for (int j = 1; j <= num_beta; j++) beta_imp_weight[i][j] = 0;
    corr_vector[i] = 0;
    corr_vector2[i] = 0;
  }
  for (int j = 1; j <= num_beta; j++) beta_array[j] = beta_grid_point(j, num_beta);

  printf("\n");

  // Only -f asks for the frequency file: without it an earlier run's file
  // stays as it is, and a count file in a read-only folder does not matter.
  if (FREQS_OUTPUT) {
    freqs_name = std::string(INPUT_FILE) + ".freqs";
    freqs_out = open_working_file(freqs_name.c_str(), "frequency file");
  }
}

// Writes L^-1 e_i for every environmental variable to "standardized.env" and
// keeps the rows and their ranks for the correlation output.
static void standardize_environment() {
  env_transformed = dmatrix(1, number_environ, 1, NUMPOPS);
  env_ranks = dmatrix(1, number_environ, 1, NUMPOPS);
  const char *name = "standardized.env";
  FILE *out = open_working_file(name, "standardized environment file");
  for (int i = 1; i <= number_environ; i++) {
    dmat_vect_mult_tri(chol_dec_sigmas_inverse, environ_values[i], env_transformed[i], NUMPOPS);
    calc_ranking(env_transformed[i], env_ranks[i]);
    for (int pop = 1; pop <= NUMPOPS; pop++) fprintf(out, "%.4e\t", env_transformed[i][pop]);
    fprintf(out, "\n");
  }
  close_working_file(out, name, "standardized environment file");
}

// choldc stops on a matrix it cannot factor with a message that names no
// file. The same factorisation, tried on a copy, says which file and why.
static void hint_if_not_positive_definite() {
  const int K = NUMPOPS;
  double **a = dmatrix(1, K, 1, K);
  double *p = dvector(1, K);
  dsymmat_cpy2(sigmas, a, K);
  int failed_row = 0;
  double failed_sum = 0;
  for (int i = 1; i <= K && failed_row == 0; i++) {
    for (int j = i; j <= K; j++) {
      double sum = a[i][j];
      for (int k = i - 1; k >= 1; k--) sum -= a[i][k] * a[j][k];
      if (j == i) {
        if (sum <= 0.0) {
          failed_row = i;
          failed_sum = sum;
          break;
        }
        p[i] = sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
  free_dvector(p, 1, K);
  free_dmatrix(a, 1, K, 1, K);
  if (failed_row == 0) return;
  hint("matrix file \"%s\": the matrix of its first %d lines is %s (the factorisation fails at "
       "row %d); give a covariance matrix such as a matrix-estimation run prints",
       MATRIX_FILE, K, failed_sum == 0.0 ? "singular" : "not positive definite", failed_row);
}

void test_stage_b() {
  const int K = NUMPOPS;
  ENVIRON_FILE = environ_num;
  printf("ENVIRON FILE = %s\n", ENVIRON_FILE);
  read_environ();
  environ_corr = 0;

  sigmas = dmatrix(1, K, 1, K);
  read_matrix();
  int more = count_further_lines(matrix_in);
  if (more > 0)
    hint("warning: matrix file \"%s\": %d more line%s than the %d rows that -p asks for; only the "
         "first %d are used", MATRIX_FILE, more, more == 1 ? "" : "s", K, K);

  // Only the diagonal and the lower triangle of the file count: every
  // derived matrix starts from the symmetric copy.
  hint_if_not_positive_definite();
  dsymmat_cpy2(sigmas, temp_matrix, K);
  sigmas_inverse = choldc_inverse_det(temp_matrix, K, &sigmas_det);

  double *p = dvector(1, K);
  chol_dec_sigmas = dmatrix(1, K, 1, K);
  dsymmat_cpy2(sigmas, chol_dec_sigmas, K);
  choldc(chol_dec_sigmas, K, p);
  for (int i = 1; i <= K; i++) {
    chol_dec_sigmas[i][i] = p[i];
    for (int j = i + 1; j <= K; j++) chol_dec_sigmas[i][j] = 0;
  }
  free_dvector(p, 1, K);

  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) temp_matrix[i][j] = chol_dec_sigmas[i][j];
  chol_dec_sigmas_inverse = dmat_inverse(temp_matrix, K);

  if (PRINT_COR) standardize_environment();
}

void test_stage_c() {
  if (NUMLOCI != 1) {
    // At the cap, the file may hold more than were read.
    hint("count file \"%s\" holds %d%s SNPs: test mode takes one SNP (two lines); test each SNP "
         "from a file of its own, as peltra2-scan does", INPUT_FILE, NUMLOCI,
         NUMLOCI == MAX_LOCI ? " or more" : "");
    fatal("cannot more than one locus in TEST mode\n");
  }
}

void test_stage_d() { read_pop_spec_mean(locus); }
