// Joint Metropolis step on the offsets of every locus of one worker's share:
// a correlated random walk shaped by the Cholesky factor of Sigma and scaled
// by X_DEV.
#include <pthread.h>

#include <cmath>
#include <utility>

#include "model/allele_SNP.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace {

// The proposal for locus a from the step delta_theta into theta_star and
// mnprob_star, with the likelihood difference in *diff. False when some
// population's proposed frequency contradicts its data: the locus is then
// abandoned before any further population is looked at.
bool propose(ALLELE *a, const double *delta_theta, double *theta_star, double *mnprob_star,
             double *diff) {
  double eps = a->epsilon;
  double d = 0;
  for (int k = 1; k <= NUMPOPS; k++) {
    theta_star[k] = a->theta_offset[k] + delta_theta[k];
    double p = (theta_star[k] + eps) + pop_spec_mean[k];
    if ((a->count[k] != 0 && p <= 0) || (a->count[k] != a->total[k] && p >= 1)) return false;
    mnprob_star[k] = multinom_prob(p, a, k);
    d = (mnprob_star[k] - a->multinom_prob[k]) + d;
  }
  *diff = d;
  return true;
}

}  // namespace

void *update_thetas(void *t) {
  THREAD_DATA *td = static_cast<THREAD_DATA *>(t);
  int K = NUMPOPS;
  double *delta_x = dvector(1, K);
  double *delta_theta = dvector(1, K);
  double *theta_star = dvector(1, K);
  double *mnprob_star = dvector(1, K);
  float sd = (float)X_DEV;
  td->allelesupdated = 0;

  for (int l = td->low; l < td->hi; l++) {
    ALLELE *a = td->loc[l];
    // Sigma^-1 may have changed since the term was cached; the refreshed
    // value stays whatever becomes of the proposal.
    a->multivar_prob = multivar_prob(a->theta_offset, a->epsilon);

    // The normal generator is process-wide; the K draws of a locus are taken
    // under one hold of the lock.
    pthread_mutex_lock(&norm);
    for (int k = 1; k <= K; k++) delta_x[k] = gennor(0, sd);
    pthread_mutex_unlock(&norm);
    dmat_vect_mult_tri(chol_dec_sigmas, delta_x, delta_theta, K);

    double diff;
    if (!propose(a, delta_theta, theta_star, mnprob_star, &diff)) continue;
    double m_star = multivar_prob(theta_star, a->epsilon);
    double r = (m_star - a->multivar_prob) + diff;

    // A ratio that is not a number fails both tests and rejects.
    bool accept = r > 0;
    if (!accept) {
      pthread_mutex_lock(&norm);
      float u = ran1(&seed);
      pthread_mutex_unlock(&norm);
      accept = exp(r) >= u;
    }
    if (!accept) continue;

    // The locus takes over the proposal vectors; its old ones become the
    // work vectors for the next locus.
    std::swap(a->multinom_prob, mnprob_star);
    std::swap(a->theta_offset, theta_star);
    a->multivar_prob = m_star;
    td->allelesupdated += 1;
  }

  free_dvector(delta_x, 1, K);
  free_dvector(delta_theta, 1, K);
  free_dvector(theta_star, 1, K);
  free_dvector(mnprob_star, 1, K);
  return nullptr;
}
