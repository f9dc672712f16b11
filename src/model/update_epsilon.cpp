// Metropolis step on a locus's ancestral frequency. The move shifts epsilon
// by delta and every offset by -delta, so the population frequencies, and
// with them the likelihood, stay put: only the offsets' prior and the prior
// of epsilon enter the ratio.
#include <cmath>
#include <utility>

#include "model/allele_SNP.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace {

// The proposal's offsets. Runs on the main thread only, so one vector is
// kept between calls; an accepted move swaps it with the locus's vector.
double *theta_star = nullptr;
int theta_star_size = 0;

double *work_vector() {
  if (theta_star_size != NUMPOPS) {
    if (theta_star) free_dvector(theta_star, 1, theta_star_size);
    theta_star = dvector(1, NUMPOPS);
    theta_star_size = NUMPOPS;
  }
  return theta_star;
}

}  // namespace

double epsilon_prior_ratio(double epsilon_star, double epsilon) {
  double first = (lambda_D - 1) * log(epsilon_star / epsilon);
  return first + (lambda_A - 1) * log((1 - epsilon_star) / (1 - epsilon));
}

double epsilon_deviate() { return gennor(0, 0.05f); }

void update_epsilon(ALLELE *loc) {
  double *ts = work_vector();
  double eps = loc->epsilon;
  double delta = epsilon_deviate();
  double eps_star = eps + delta;
  // Proposals outside (0, 1) are rejections, decided without a draw.
  if (eps_star >= 1 || eps_star <= 0) return;

  for (int k = 1; k <= NUMPOPS; k++) ts[k] = loc->theta_offset[k] - delta;
  double m_star = multivar_prob(ts, eps_star);
  double r = epsilon_prior_ratio(eps_star, eps) + (m_star - loc->multivar_prob);

  bool accept = r > 0;
  if (!accept) accept = exp(r) >= ran1(&seed);
  if (!accept) return;

  std::swap(loc->theta_offset, theta_star);
  loc->multivar_prob = m_star;
  loc->epsilon = eps_star;
  EPSILON_UPDATED += 1;
}
