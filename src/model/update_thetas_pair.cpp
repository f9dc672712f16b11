// The offsets step of an iteration on both workers, with its draws in one
// fixed order, so that the seed fixes the run however the two threads are
// scheduled. Each locus still takes K normal deviates and then at most one
// uniform, as in update_thetas; only the interleaving of the two shares'
// draws is fixed:
//
// - Normal deviates: the blocks of kBlockLoci loci are drawn in the order
//   block 0 of the first share, block 0 of the second, block 1 of the first,
//   and so on (the longer share's last block at the end). A worker that needs
//   a block not yet drawn draws every block before it in that order, the
//   other worker's included, so neither ever waits for the other to be
//   scheduled; the deviates of all loci sit in one buffer, locus by locus.
// - Uniforms: a worker decides at once only the loci whose ratio is
//   positive. The others wait, with their proposals, until both workers are
//   done; then the calling thread draws their uniforms in locus order and the
//   workers apply the accepted proposals. The epsilon step decides the same
//   way.
#include <atomic>
#include <cmath>
#include <vector>

#include "model/allele_SNP.h"
#include "model/theta_step.h"
#include "model/workers.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

using namespace theta_step;

namespace {

// Below this many accepted waiting proposals the calling thread applies them
// itself: waking the workers would cost more.
const int kMinParallelApply = 128;

// The normal deviates of one step and the order of their blocks.
class Stream {
 public:
  void start(const THREAD_DATA *first, const THREAD_DATA *second, float sd) {
    K_ = NUMPOPS;
    sd_ = sd;
    const THREAD_DATA *t[2] = {first, second};
    for (int w = 0; w < 2; w++) {
      low_[w] = t[w]->low;
      blocks_[w] = (t[w]->hi - t[w]->low + kBlockLoci - 1) / kBlockLoci;
      hi_[w] = t[w]->hi;
    }
    size_t need = (size_t)(hi_[0] > hi_[1] ? hi_[0] : hi_[1]) * K_;
    if (normals_.size() < need) normals_.resize(need);
    drawn_.store(0, std::memory_order_relaxed);
  }

  // The deviates of block j of share w, drawn if need be.
  const float *block(int w, int j) {
    int g = order(w, j);
    if (drawn_.load(std::memory_order_acquire) <= g) {
      take(&norm);
      for (int d = drawn_.load(std::memory_order_relaxed); d <= g; d++) {
        draw(d);
        drawn_.store(d + 1, std::memory_order_release);
      }
      pthread_mutex_unlock(&norm);
    }
    return &normals_[(size_t)(low_[w] + j * kBlockLoci) * K_];
  }

 private:
  // Position of block j of share w in the drawing order.
  int order(int w, int j) const {
    int both = blocks_[0] < blocks_[1] ? blocks_[0] : blocks_[1];
    return j < both ? 2 * j + w : 2 * both + (j - both);
  }

  // Draws the block at position g of the order (under norm).
  void draw(int g) {
    int both = blocks_[0] < blocks_[1] ? blocks_[0] : blocks_[1];
    int w, j;
    if (g < 2 * both) {
      w = g % 2;
      j = g / 2;
    } else {
      w = blocks_[0] > blocks_[1] ? 0 : 1;
      j = both + (g - 2 * both);
    }
    int start = low_[w] + j * kBlockLoci;
    int n = hi_[w] - start < kBlockLoci ? hi_[w] - start : kBlockLoci;
    gennor_fill(&normals_[(size_t)start * K_], n * K_, 0, sd_);
  }

  int K_ = 0;
  float sd_ = 0;
  int low_[2] = {0, 0}, hi_[2] = {0, 0}, blocks_[2] = {0, 0};
  std::vector<float> normals_;
  std::atomic<int> drawn_{0};  // blocks drawn so far, in the order
};

Stream stream;
Pending pending[2];
const THREAD_DATA *first_share = nullptr;

// One worker's view of the stream: its blocks in turn.
class ShareBlocks : public NormalSource {
 public:
  explicit ShareBlocks(int w) : w_(w) {}
  const float *block(int, int) override { return stream.block(w_, j_++); }

 private:
  int w_, j_ = 0;
};

int share_of(const THREAD_DATA *t) { return t == first_share ? 0 : 1; }

void *propose_share(void *p) {
  THREAD_DATA *t = static_cast<THREAD_DATA *>(p);
  int w = share_of(t);
  pending[w].clear(NUMPOPS);
  ShareBlocks src(w);
  walk(t, src, &pending[w]);
  return nullptr;
}

// The accepted waiting proposals of share t take their loci's place.
void apply(THREAD_DATA *t, const Pending &p) {
  int K = p.K, n = p.size();
  for (int s = 0; s < n; s++) {
    if (s + 16 < n) __builtin_prefetch(t->loc[p.locus[s + 16]]);
    if (s + 8 < n && p.accept[s + 8]) {
      const ALLELE *b = t->loc[p.locus[s + 8]];
      __builtin_prefetch(b->theta_offset + 1, 1);
      __builtin_prefetch(b->multinom_prob + 1, 1);
    }
    if (!p.accept[s]) continue;
    ALLELE *a = t->loc[p.locus[s]];
    const double *theta = &p.theta[(size_t)s * K], *mn = &p.mnprob[(size_t)s * K];
    for (int k = 1; k <= K; k++) {
      a->theta_offset[k] = theta[k - 1];
      a->multinom_prob[k] = mn[k - 1];
    }
    a->multivar_prob = p.m_star[s];
    t->allelesupdated += 1;
  }
}

void *apply_share(void *p) {
  THREAD_DATA *t = static_cast<THREAD_DATA *>(p);
  apply(t, pending[share_of(t)]);
  return nullptr;
}

}  // namespace

void update_thetas_pair(THREAD_DATA *first, THREAD_DATA *second) {
  // One share empty (a single locus): one thread draws everything, in
  // locus order, as update_thetas always has.
  if (first->low >= first->hi || second->low >= second->hi) {
    run_worker_pair(update_thetas, first, second);
    return;
  }
  first_share = first;
  stream.start(first, second, (float)X_DEV);
  run_worker_pair(propose_share, first, second);

  // The first share's loci come before the second's: slot order is locus order.
  int accepted = 0;
  for (Pending &p : pending) {
    int n = p.size();
    p.accept.resize(n);
    for (int s = 0; s < n; s++) {
      p.accept[s] = p.exp_ratio[s] >= ran1(&seed);
      accepted += p.accept[s];
    }
  }
  if (accepted == 0) return;
  if (accepted < kMinParallelApply) {
    apply(first, pending[0]);
    apply(second, pending[1]);
  } else {
    run_worker_pair(apply_share, first, second);
  }
}
