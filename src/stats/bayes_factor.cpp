// Bayes factors of the environmental variables by importance sampling: each
// sample adds, per variable and grid point beta, the ratio of the prior
// density of the offsets under mean beta * e_i to that under mean 0.
#include <cmath>

#include "input/readers.h"
#include "numerics/nrutil.h"
#include "run/config.h"
#include "stats/stats.h"

// Scratch for the shifted offsets, kept between calls: a test run calls this
// function for every sample, and NUMPOPS only changes between runs (or tests).
static double *theta_star = nullptr;
static int theta_star_len = 0;

static double *bf_scratch() {
  if (theta_star_len != NUMPOPS) {
    if (theta_star) free_dvector(theta_star, 1, theta_star_len);
    theta_star = dvector(1, NUMPOPS);
    theta_star_len = NUMPOPS;
  }
  return theta_star;
}

void calc_bf_imp_weight(ALLELE *curr_allele) {
  double *theta = curr_allele->theta_offset;
  double epsilon = curr_allele->epsilon;
  double *shifted = bf_scratch();

  double null = multivar_prob(theta, epsilon);
  for (int i = 1; i <= number_environ; i++) {
    double *env = environ_values[i];
    double *weights = beta_imp_weight[i];
    for (int j = 1; j <= num_beta; j++) {
      double beta = beta_array[j];
      for (int pop = 1; pop <= NUMPOPS; pop++) shifted[pop] = theta[pop] - env[pop] * beta;
      double diff = multivar_prob(shifted, epsilon) - null;
      weights[j] = weights[j] + exp(diff);
    }
  }
}
