// The epsilon step of every locus, with the same draws, decisions and values
// as update_epsilon called for each locus in turn, spread over both cores.
//
// A step's draws are one normal deviate, always, and then a uniform only
// when the ratio asks for one; the two come from separate generators, and a
// locus's ratio depends on nothing but its own record and its deviate. So
// the normal deviates of all loci can be drawn first, in locus order; the
// ratios (the prior term of the shifted offsets, two logarithms and the
// exponential) computed by the two workers over their halves; the decisions
// taken in locus order, with the uniforms they need; and the accepted moves
// applied by the workers again.
#include <cmath>
#include <vector>

#include "model/allele_SNP.h"
#include "model/inline_terms.h"
#include "model/workers.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace {

// Below this many loci the workers are not worth waking.
const int kMinParallelLoci = 256;

// Per locus: the step, whether the proposal lies in (0, 1) (then whether it
// is accepted), its prior term, the ratio and exp(ratio). Written by the
// workers at their own indices.
std::vector<double> delta, m_star, ratio, exp_ratio;
std::vector<char> inside, accepted;
std::vector<float> steps;  // the normal deviates behind delta

// The shifted offsets of one locus.
void shifted(const ALLELE *a, double d, double *ts) {
  for (int k = 1; k <= NUMPOPS; k++) ts[k] = a->theta_offset[k] - d;
}

void set_ratio(int i, const ALLELE *a, double eps_star, double q) {
  m_star[i] = prior_exponent(q, eps_star);
  double r = epsilon_prior_ratio(eps_star, a->epsilon) + (m_star[i] - a->multivar_prob);
  ratio[i] = r;
  exp_ratio[i] = exp(r);
}

// Worker routine: the ratios of the loci low .. hi-1, two loci at a time so
// that their prior terms interleave.
void *epsilon_ratios(void *p) {
  THREAD_DATA *t = static_cast<THREAD_DATA *>(p);
  int K = NUMPOPS;
  std::vector<double> buf(2 * (size_t)(K + 1));
  double *ts[2] = {buf.data(), buf.data() + K + 1};
  int pending = -1;  // a locus whose shifted offsets wait in ts[0]
  for (int i = t->low; i < t->hi; i++) {
    ALLELE *a = t->loc[i];
    prefetch_loci(t->loc, i, t->hi, false);
    double eps_star = a->epsilon + delta[i];
    inside[i] = !(eps_star >= 1 || eps_star <= 0);
    if (!inside[i]) continue;
    if (pending < 0) {
      shifted(a, delta[i], ts[0]);
      pending = i;
      continue;
    }
    shifted(a, delta[i], ts[1]);
    double q0, q1;
    two_quadratic_forms(ts[0], ts[1], sigmas_inverse, K, &q0, &q1);
    ALLELE *b = t->loc[pending];
    set_ratio(pending, b, b->epsilon + delta[pending], q0);
    set_ratio(i, a, eps_star, q1);
    pending = -1;
  }
  if (pending >= 0) {
    ALLELE *b = t->loc[pending];
    double q0, q1;
    two_quadratic_forms(ts[0], ts[0], sigmas_inverse, K, &q0, &q1);
    set_ratio(pending, b, b->epsilon + delta[pending], q0);
  }
  return nullptr;
}

// Worker routine: the accepted moves of the loci low .. hi-1, with the
// values update_epsilon's proposal vector would hold.
void *apply_epsilon_moves(void *p) {
  THREAD_DATA *t = static_cast<THREAD_DATA *>(p);
  for (int i = t->low; i < t->hi; i++) {
    prefetch_loci(t->loc, i, t->hi, false);
    if (!accepted[i]) continue;
    ALLELE *a = t->loc[i];
    double d = delta[i];
    for (int k = 1; k <= NUMPOPS; k++) a->theta_offset[k] = a->theta_offset[k] - d;
    a->multivar_prob = m_star[i];
    a->epsilon = a->epsilon + d;
  }
  return nullptr;
}

}  // namespace

void update_epsilon_all(ALLELE **loc, int n) {
  if (n < kMinParallelLoci) {
    for (int i = 0; i < n; i++) update_epsilon(loc[i]);
    return;
  }
  delta.resize(n);
  m_star.resize(n);
  ratio.resize(n);
  exp_ratio.resize(n);
  inside.resize(n);
  accepted.resize(n);

  // epsilon_deviate() for each locus in order: gennor(0, 0.05) widened.
  steps.resize(n);
  gennor_fill(steps.data(), n, 0, 0.05f);
  for (int i = 0; i < n; i++) delta[i] = steps[i];

  THREAD_DATA first{0, n / 2, 0, nullptr, loc};
  THREAD_DATA second{n / 2, n, 0, nullptr, loc};
  run_worker_pair(epsilon_ratios, &first, &second);

  // The decisions read only these arrays, not the loci.
  for (int i = 0; i < n; i++) {
    bool accept = false;
    if (inside[i]) {
      accept = ratio[i] > 0;
      if (!accept) accept = exp_ratio[i] >= ran1(&seed);
    }
    accepted[i] = accept;
    EPSILON_UPDATED += accept;
  }
  run_worker_pair(apply_epsilon_moves, &first, &second);
}
