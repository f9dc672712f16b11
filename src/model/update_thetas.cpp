// Joint Metropolis step on the offsets of every locus of one worker's share:
// a correlated random walk shaped by the Cholesky factor of Sigma and scaled
// by X_DEV.
#include <pthread.h>

#include <cmath>
#include <utility>
#include <vector>

#include "model/allele_SNP.h"
#include "model/inline_terms.h"
#include "model/theta_step.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace theta_step {

void Pending::clear(int k) {
  K = k;
  locus.clear();
  exp_ratio.clear();
  m_star.clear();
  theta.clear();
  mnprob.clear();
  accept.clear();
}

void Pending::push(int l, double e, double m, const double *theta_star, const double *mnprob_star) {
  locus.push_back(l);
  exp_ratio.push_back(e);
  m_star.push_back(m);
  theta.insert(theta.end(), theta_star + 1, theta_star + K + 1);
  mnprob.insert(mnprob.end(), mnprob_star + 1, mnprob_star + K + 1);
}

void take(pthread_mutex_t *m) {
  for (int i = 0; i < 256; i++) {
    if (pthread_mutex_trylock(m) == 0) return;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  pthread_mutex_lock(m);
}

}  // namespace theta_step

using namespace theta_step;

namespace {

// A worker's vectors, kept by its thread from one run to the next instead of
// being allocated per run: the step and, for each of the two loci in hand,
// the proposal's offsets and likelihoods. An accepted locus swaps its
// vectors with the latter, so they are always the worker's own.
struct Work {
  int size = 0;
  double *delta_x = nullptr;
  double *delta_theta = nullptr;
  double *theta_star[2] = {nullptr, nullptr};
  double *mnprob_star[2] = {nullptr, nullptr};
  std::vector<float> normals;  // the deviates of the current block, locus by locus
};

thread_local Work work;

// Serialises the two workers' acceptance draws from ran1. It is not norm:
// the shuffled generator shares no state with the normal one, and a worker
// that needs one uniform should not wait for the other's block of normals.
pthread_mutex_t uniform_lock = PTHREAD_MUTEX_INITIALIZER;

Work &work_vectors(int K) {
  Work &w = work;
  if (w.size != K) {
    if (w.size > 0) {
      free_dvector(w.delta_x, 1, w.size);
      free_dvector(w.delta_theta, 1, w.size);
      for (int p = 0; p < 2; p++) {
        free_dvector(w.theta_star[p], 1, w.size);
        free_dvector(w.mnprob_star[p], 1, w.size);
      }
    }
    w.delta_x = dvector(1, K);
    w.delta_theta = dvector(1, K);
    for (int p = 0; p < 2; p++) {
      w.theta_star[p] = dvector(1, K);
      w.mnprob_star[p] = dvector(1, K);
    }
    w.normals.assign((size_t)K * kBlockLoci, 0.0f);
    w.size = K;
  }
  return w;
}

// The likelihoods of the proposal into mnprob_star, with their difference
// from the cached ones in *diff. False when some population's proposed
// frequency contradicts its data: the locus is then abandoned before any
// further population is looked at.
bool propose(ALLELE *a, const double *theta_star, double *mnprob_star, double *diff) {
  double eps = a->epsilon;
  double d = 0;
  for (int k = 1; k <= NUMPOPS; k++) {
    double p = (theta_star[k] + eps) + pop_spec_mean[k];
    int c = a->count[k], n = a->total[k];
    if ((c != 0 && p <= 0) || (c != n && p >= 1)) return false;
    // Past that test a frequency at or beyond a bound has probability 1.
    if (p >= 1 || p <= 0)
      mnprob_star[k] = 0;
    else if (!POOL)
      mnprob_star[k] = binomial_log_likelihood(p, c, n);
    else
      mnprob_star[k] = multinom_prob(p, a, k);
    d = (mnprob_star[k] - a->multinom_prob[k]) + d;
  }
  *diff = d;
  return true;
}

// The proposal of locus a from its K normal deviates g, into theta_star.
void proposal(const ALLELE *a, const float *g, Work &w, double *theta_star) {
  int K = NUMPOPS;
  for (int k = 1; k <= K; k++) w.delta_x[k] = g[k - 1];
  dmat_vect_mult_tri(chol_dec_sigmas, w.delta_x, w.delta_theta, K);
  for (int k = 1; k <= K; k++) theta_star[k] = a->theta_offset[k] + w.delta_theta[k];
}

// The rest of locus l's step once its proposal (in set p of the work
// vectors) and the two quadratic forms are known. True when accepted here;
// a proposal that waits in pending is not accepted yet.
bool finish(ALLELE *a, int l, Work &w, int p, double q_old, double q_star, Pending *pending) {
  // Sigma^-1 may have changed since the prior term was cached; the
  // refreshed value stays whatever becomes of the proposal.
  a->multivar_prob = prior_exponent(q_old, a->epsilon);

  double diff;
  if (!propose(a, w.theta_star[p], w.mnprob_star[p], &diff)) return false;
  double m_star = prior_exponent(q_star, a->epsilon);
  double r = (m_star - a->multivar_prob) + diff;

  // A ratio that is not a number fails both tests and rejects.
  bool accept = r > 0;
  if (!accept && pending) {
    pending->push(l, exp(r), m_star, w.theta_star[p], w.mnprob_star[p]);
    return false;
  }
  if (!accept) {
    take(&uniform_lock);
    float u = ran1(&seed);
    pthread_mutex_unlock(&uniform_lock);
    accept = exp(r) >= u;
  }
  if (!accept) return false;

  // The locus takes over the proposal vectors; its old ones become work
  // vectors.
  std::swap(a->multinom_prob, w.mnprob_star[p]);
  std::swap(a->theta_offset, w.theta_star[p]);
  a->multivar_prob = m_star;
  return true;
}

// update_thetas' deviates: each block drawn by the worker itself, under norm.
class OwnDraws : public NormalSource {
 public:
  OwnDraws(Work &w, float sd) : w_(w), sd_(sd) {}
  const float *block(int, int n) override {
    take(&norm);
    gennor_fill(w_.normals.data(), n * NUMPOPS, 0, sd_);
    pthread_mutex_unlock(&norm);
    return w_.normals.data();
  }

 private:
  Work &w_;
  float sd_;
};

}  // namespace

void theta_step::walk(THREAD_DATA *td, NormalSource &src, Pending *pending) {
  int K = NUMPOPS;
  Work &w = work_vectors(K);
  td->allelesupdated = 0;

  int block_start = td->low, block_end = td->low;
  const float *normals = nullptr;
  for (int l = td->low; l < td->hi;) {
    if (l == block_end) {
      int n = td->hi - l < kBlockLoci ? td->hi - l : kBlockLoci;
      normals = src.block(l, n);
      block_start = l;
      block_end = l + n;
    }

    // Two loci of the block at a time (blocks have an even length, so a
    // pair never spans two): their four quadratic forms run interleaved.
    // Each locus then finishes in turn, so the uniforms keep locus order.
    int m = l + 1 < block_end ? 2 : 1;
    ALLELE *a[2] = {td->loc[l], m == 2 ? td->loc[l + 1] : nullptr};
    prefetch_loci(td->loc, l, td->hi, true);
    if (m == 2) prefetch_loci(td->loc, l + 1, td->hi, true);
    for (int p = 0; p < m; p++)
      proposal(a[p], &normals[(size_t)(l + p - block_start) * K], w, w.theta_star[p]);

    double q[4];
    if (m == 2) {
      const double *v[4] = {a[0]->theta_offset, w.theta_star[0], a[1]->theta_offset, w.theta_star[1]};
      quadratic_forms<4>(v, sigmas_inverse, K, q);
    } else {
      const double *v[2] = {a[0]->theta_offset, w.theta_star[0]};
      quadratic_forms<2>(v, sigmas_inverse, K, q);
    }
    for (int p = 0; p < m; p++)
      if (finish(a[p], l + p, w, p, q[2 * p], q[2 * p + 1], pending)) td->allelesupdated += 1;
    l += m;
  }
}

void *update_thetas(void *t) {
  // The K draws of each locus of the next block are taken under one hold of
  // the lock, in locus order: the normal generator is process-wide.
  OwnDraws src(work_vectors(NUMPOPS), (float)X_DEV);
  walk(static_cast<THREAD_DATA *>(t), src, nullptr);
  return nullptr;
}
