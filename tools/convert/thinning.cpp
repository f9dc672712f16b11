// Thinning the SNPs that pass the filters: every n-th one, or a random
// subset of a fixed size (reservoir sampling, so that one pass over a VCF
// of unknown length suffices), written in file order either way.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "convert/convert.h"

struct Output;

namespace {

// splitmix64: a small generator whose stream is fixed by the seed on every
// machine, unlike the distributions of the standard library.
struct Rng {
  uint64_t state;
};

uint64_t rng_next(Rng &r) {
  uint64_t z = (r.state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// Uniform on 0 .. n-1 without modulo bias: draws at or above the largest
// multiple of n are drawn again.
uint64_t rng_below(Rng &r, uint64_t n) {
  const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
  uint64_t x;
  do x = rng_next(r);
  while (x >= limit);
  return x % n;
}

}  // namespace

struct Thinning {
  long every = 0;
  long random = 0;
  Rng rng{0};
  long offered = 0;
  long written = 0;
  std::vector<Snp> held;
};

Thinning *make_thinning(const ConvertOptions &o) {
  Thinning *t = new Thinning;
  t->every = o.thin_every;
  t->random = o.thin_random;
  t->rng.state = o.seed;
  return t;
}

void thin_offer(Thinning *t, const Snp &snp, Output *out) {
  long i = t->offered++;
  if (t->random) {
    // After i SNPs, each of them is held with probability random / i.
    if (i < t->random) {
      t->held.push_back(snp);
    } else {
      uint64_t j = rng_below(t->rng, static_cast<uint64_t>(i) + 1);
      if (j < static_cast<uint64_t>(t->random)) t->held[j] = snp;
    }
    return;
  }
  if (t->every && i % t->every != 0) return;
  write_snp(out, snp);
  ++t->written;
}

long thin_finish(Thinning *t, Output *out) {
  std::sort(t->held.begin(), t->held.end(),
            [](const Snp &a, const Snp &b) { return a.record < b.record; });
  for (const Snp &snp : t->held) {
    write_snp(out, snp);
    ++t->written;
  }
  t->held.clear();
  long written = t->written;
  delete t;
  return written;
}
