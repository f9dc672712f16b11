// Bayes factors of the environmental variables by importance sampling: each
// sample adds, per variable and grid point beta, the ratio of the prior
// density of the offsets under mean beta * e_i to that under mean 0.
#include <cmath>

#include "input/readers.h"
#include "model/inline_terms.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

// Scratch for two shifted offset vectors, kept between calls: a test run
// calls this function for every sample, and NUMPOPS only changes between
// runs (or tests).
static double *theta_star = nullptr;
static int theta_star_len = 0;

static double *bf_scratch() {
  if (theta_star_len != NUMPOPS) {
    if (theta_star) free_dvector(theta_star, 1, 2 * theta_star_len);
    theta_star = dvector(1, 2 * NUMPOPS);
    theta_star_len = NUMPOPS;
  }
  return theta_star;
}

void calc_bf_imp_weight(ALLELE *curr_allele) {
  double *theta = curr_allele->theta_offset;
  double epsilon = curr_allele->epsilon;
  // Two grid points at a time: their prior terms are independent chains of
  // additions, formed together (each exactly as multivar_prob forms it).
  double *shifted[2] = {bf_scratch(), bf_scratch() + NUMPOPS};

  double null = multivar_prob(theta, epsilon);
  for (int i = 1; i <= number_environ; i++) {
    double *env = environ_values[i];
    double *weights = beta_imp_weight[i];
    for (int j = 1; j <= num_beta; j += 2) {
      int pair = j + 1 <= num_beta ? 2 : 1;
      for (int p = 0; p < pair; p++)
        for (int pop = 1; pop <= NUMPOPS; pop++) shifted[p][pop] = theta[pop] - env[pop] * beta_array[j + p];
      double q[2];
      two_quadratic_forms(shifted[0], shifted[pair - 1], sigmas_inverse, NUMPOPS, &q[0], &q[1]);
      for (int p = 0; p < pair; p++) {
        double diff = prior_exponent(q[p], epsilon) - null;
        weights[j + p] = weights[j + p] + exp(diff);
      }
    }
  }
}
