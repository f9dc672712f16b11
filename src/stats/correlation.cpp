// The correlation chain on environ_corr, fractional ranks and Pearson's
// correlation over the populations.
#include <cmath>

#include "input/readers.h"
#include "numerics/nrutil.h"
#include "random/randlib.h"
#include "random/ran_gen.h"
#include "run/config.h"
#include "stats/stats.h"

// Largest magnitude an entry may have; marks entries already ranked.
static const double RANK_SENTINEL = 1.7e308;

// The proposal's likelihoods, kept between calls: an accepted proposal
// swaps it with the locus's vector, so it never needs allocating again.
static double *corr_mnprob_star = nullptr;
static int corr_mnprob_len = 0;

void update_corr(ALLELE *curr_allele) {
  double prob_corr_old = 0;
  for (int pop = 1; pop <= NUMPOPS; pop++) prob_corr_old += curr_allele->multinom_prob[pop];

  // The normal deviate is drawn whatever follows, so the stream advances by
  // one per call.
  double corr_star = environ_corr + 0.01 * (double)gennor(0.0f, 1.0f);
  if (corr_star > 0.1 || corr_star < -0.1) return;

  double *theta = curr_allele->theta_offset;
  double epsilon = curr_allele->epsilon;
  double *env = environ_values[1];
  if (corr_mnprob_len != NUMPOPS) {
    if (corr_mnprob_star) free_dvector(corr_mnprob_star, 1, corr_mnprob_len);
    corr_mnprob_star = dvector(1, NUMPOPS);
    corr_mnprob_len = NUMPOPS;
  }
  double *mnprob_star = corr_mnprob_star;
  double prob_corr_new = 0;
  for (int pop = 1; pop <= NUMPOPS; pop++) {
    double theta_star = ((theta[pop] + epsilon) + env[pop] * corr_star) + pop_spec_mean[pop];
    // A frequency at or past a bound is possible only where the counts sit at
    // that bound; anything else is rejected before the likelihood (which
    // would treat it as fatal) and before any uniform draw.
    if ((curr_allele->count[pop] != 0 && theta_star <= 0) ||
        (curr_allele->count[pop] != curr_allele->total[pop] && theta_star >= 1))
      return;
    mnprob_star[pop] = multinom_prob(theta_star, curr_allele, pop);
    prob_corr_new += mnprob_star[pop];
  }

  double u = ran1(&seed);
  if (exp(prob_corr_new - prob_corr_old) > u) {
    environ_corr = corr_star;
    corr_mnprob_star = curr_allele->multinom_prob;
    curr_allele->multinom_prob = mnprob_star;
  }
}

// Copy of the values being ranked, kept between calls.
static double *rank_scratch = nullptr;
static int rank_scratch_len = 0;

void calc_ranking(double *values, double *ranks) {
  if (rank_scratch_len != NUMPOPS) {
    if (rank_scratch) free_dvector(rank_scratch, 1, rank_scratch_len);
    rank_scratch = dvector(1, NUMPOPS);
    rank_scratch_len = NUMPOPS;
  }
  double *q = rank_scratch;
  for (int pop = 1; pop <= NUMPOPS; pop++) q[pop] = values[pop];

  int r = 1, g = 1;
  double previous = -RANK_SENTINEL;
  for (int round = 1; round <= NUMPOPS; round++) {
    double m = RANK_SENTINEL;
    int found = 0;
    // "<=" takes the last of equal entries.
    for (int pop = 1; pop <= NUMPOPS; pop++) {
      if (q[pop] <= m) {
        m = q[pop];
        found = pop;
      }
    }
    if (m == RANK_SENTINEL) {
      // Only entries that compare with nothing (not a number, or beyond the
      // sentinel) are left: they get no rank, and the ranks already given
      // are not overwritten by a taken entry.
      for (int pop = 1; pop <= NUMPOPS; pop++)
        if (q[pop] != RANK_SENTINEL) ranks[pop] = NAN;
      return;
    }
    q[found] = RANK_SENTINEL;
    if (m == previous) {
      g++;
      double shared = (2.0 * r - g + 1) / 2;
      for (int k = 1; k <= NUMPOPS; k++)
        if (values[k] == m) ranks[k] = shared;
    } else {
      ranks[found] = r;
      g = 1;
    }
    previous = m;
    r++;
  }
}

double calc_pearson_cor(double *x, double *y) {
  double n = NUMPOPS;
  double sum_x = 0, sum_y = 0;
  for (int pop = 1; pop <= NUMPOPS; pop++) {
    sum_x += x[pop];
    sum_y += y[pop];
  }
  double mean_x = sum_x / n, mean_y = sum_y / n;
  double s_xy = 0, s_xx = 0, s_yy = 0;
  for (int pop = 1; pop <= NUMPOPS; pop++) {
    double dx = x[pop] - mean_x, dy = y[pop] - mean_y;
    s_xy += dx * dy;
    s_xx += dx * dx;
    s_yy += dy * dy;
  }
  return (s_xy / n) / (sqrt(s_xx / n) * sqrt(s_yy / n));
}
