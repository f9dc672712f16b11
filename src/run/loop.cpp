// The iteration loop and the covariance report of matrix estimation.
#include <cstdio>

#include "model/allele_SNP.h"
#include "model/workers.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "run/fatal.h"
#include "run/progress.h"
#include "run/run_control.h"

// Reports are made before every iteration whose number is a multiple of this.
static const int REPORT_PERIOD = 500;

void covariance_report(int m) {
  const int K = NUMPOPS;
  printf("VAR-COVAR MATRIX: ITER = %d", m);
  // Sigma is recomputed from the current draw of its inverse; the chain
  // itself never reads sigmas between two covariance updates.
  dsymmat_cpy2(sigmas_inverse, temp_matrix, K);
  free_dmatrix(sigmas, 1, K, 1, K);
  sigmas = choldc_inverse_det(temp_matrix, K, &sigmas_det);
  dprint_mat(sigmas, K, K);
  for (int i = 1; i <= K; i++) fprintf(pop_spec_out, "%.4e\t", pop_spec_mean[i]);
  fprintf(pop_spec_out, "\n");
  // Each report reaches its destination whole as soon as it is made, so a
  // run stopped part-way keeps every report it finished.
  flush_standard_output();
  flush_working_file(pop_spec_out, "pop_spec.out", "covariance report file");
}

void run_loop() {
  if (ITER < 1) {
    // Only matrix estimation gets here: test mode needs the burn-in.
    hint("warning: -k %d: no iteration ran, so no covariance report was made; give a number of "
         "iterations above 0", ITER);
    return;
  }
  EPSILON_UPDATED = 0;
  if (TEST) reset_test_counters();
  for (long k = 1;; k++) {
    update_epsilon_all(locus, NUMLOCI);
    if (!TEST) update_sigmas(locus);
    update_thetas_pair(thread_data1, thread_data2);
    ALLELESUPDATED = thread_data1->allelesupdated + thread_data2->allelesupdated;
    if (TEST) test_sample((int)k);
    show_progress(k);
    long next = k + 1;
    if (next > ITER) break;
    EPSILON_UPDATED = 0;
    if (!TEST && next % REPORT_PERIOD == 0) covariance_report((int)next);
  }
}
