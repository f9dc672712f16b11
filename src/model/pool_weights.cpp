// Pooled mode without the table: the read weights w(n, i, t, c) of every
// (pool size, coverage, read count) triple that the loci hold, computed once
// at start-up instead of in every likelihood call. A call then costs the two
// powers of theta per term instead of four powers and a coefficient.
// The weights are formed by the very expressions the likelihood would use,
// so every value, and every sum built from them, is unchanged.
#include "model/pool_weights.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "model/allele_SNP.h"
#include "run/config.h"

namespace {

// Beyond this the remaining triples are computed per call as before, so
// that high coverages cannot make the weights outgrow the rest of the run.
const size_t kMaxCachedWeights = (size_t)8 << 20;  // 64 MB of doubles

// Largest n, t and c that fit the key's 21-bit fields.
const int kMaxKeyField = (1 << 21) - 1;

std::unordered_map<uint64_t, size_t> where;  // triple -> index of its first weight
std::vector<double> store;

uint64_t key(int n, int t, int c) { return ((uint64_t)n << 42) | ((uint64_t)t << 21) | (uint64_t)c; }

}  // namespace

void init_pool_weights(ALLELE **loc, int n_loci) {
  where.clear();
  store.clear();
  for (int l = 0; l < n_loci; l++) {
    const ALLELE *a = loc[l];
    for (int k = 1; k <= NUMPOPS; k++) {
      int n = samplesizes[k], t = a->total[k], c = a->count[k];
      if (n < 2 || n > kMaxKeyField || t < 0 || t > kMaxKeyField || c < 0 || c > t) continue;
      uint64_t id = key(n, t, c);
      if (where.count(id)) continue;
      if (store.size() + (size_t)(n - 1) > kMaxCachedWeights) return;
      where.emplace(id, store.size());
      for (int i = 1; i <= n - 1; i++) store.push_back(pool_read_weight(n, i, t, c));
    }
  }
}

const double *cached_pool_weights(int n, int t, int c) {
  if (where.empty() || n > kMaxKeyField || t < 0 || t > kMaxKeyField || c < 0) return nullptr;
  auto it = where.find(key(n, t, c));
  return it == where.end() ? nullptr : store.data() + it->second;
}

size_t pool_weights_cached() { return store.size(); }
