// The offsets step's walk over one share of the loci, shared by
// update_thetas (one worker that takes its draws and decides at once) and
// update_thetas_pair (two workers whose draws follow a fixed order).
#ifndef PELTRA_MODEL_THETA_STEP_H
#define PELTRA_MODEL_THETA_STEP_H

#include <vector>

#include "model/allele_SNP.h"

namespace theta_step {

// Loci whose normal deviates are drawn together, in one hold of the lock.
// Even: the walk takes the loci of a block two at a time.
const int kBlockLoci = 32;

// Where a walk gets the normal deviates of its next block: the K deviates of
// each of the n loci from start on, locus after locus.
class NormalSource {
 public:
  virtual const float *block(int start, int n) = 0;

 protected:
  ~NormalSource() = default;
};

// Proposals whose ratio asks for a uniform, kept in locus order until the
// uniforms decide them: per slot the locus, exp(ratio), the proposal's prior
// term, its offsets and likelihoods (K each, from index 0), the decision.
struct Pending {
  int K = 0;
  std::vector<int> locus;
  std::vector<double> exp_ratio, m_star, theta, mnprob;
  std::vector<char> accept;

  void clear(int k);
  // Adds a slot; theta_star and mnprob_star are offset-indexed (1..K).
  void push(int l, double e, double m, const double *theta_star, const double *mnprob_star);
  int size() const { return (int)locus.size(); }
};

// The step of loci td->low .. td->hi-1 in locus order, its normals from src.
// Without pending, a ratio that asks for a uniform draws it at once (under a
// lock of its own); with pending, the proposal waits there, its uniform to
// be drawn later. Sets td->allelesupdated to the loci accepted here.
void walk(THREAD_DATA *td, NormalSource &src, Pending *pending);

// Takes a lock that its holder releases within microseconds: a short spin
// before sleeping.
void take(pthread_mutex_t *m);

}  // namespace theta_step

#endif
