#include "simulate/loci.h"

#include <cmath>

double draw_epsilon(Rng &r, const SimOptions &o) {
  if (!o.anc_beta) return o.anc_min + (o.anc_max - o.anc_min) * rng_uniform(r);
  for (long tries = 0; tries < 1000000; ++tries) {
    double e = rng_beta(r, o.beta_a, o.beta_b);
    if (e >= o.anc_min && e <= o.anc_max) return e;
  }
  tool_fail("--anc-beta: fewer than one draw in a million falls in the --anc-range");
}

namespace {

// One draw of the whole locus, monomorphic or not.
void draw_once(Rng &r, const SimOptions &o, const Matrix &chol, const std::vector<double> &shift,
               std::vector<double> &z, Locus &locus) {
  const int K = o.pops;
  locus.epsilon = draw_epsilon(r, o);
  const double sd = std::sqrt(locus.epsilon * (1.0 - locus.epsilon));
  for (int k = 0; k < K; ++k) z[k] = rng_normal(r);
  for (int k = 0; k < K; ++k) {
    double theta = 0;
    for (int j = 0; j <= k; ++j) theta += chol[k][j] * z[j];
    double p = locus.epsilon + sd * theta + shift[k];
    locus.freq[k] = p < 0 ? 0 : (p > 1 ? 1 : p);
  }
  for (int k = 0; k < K; ++k) {
    if (!o.pooled) {
      locus.total[k] = o.copies[k];
      locus.count[k] = rng_binomial(r, o.copies[k], locus.freq[k]);
    } else {
      int n = o.pool_size[k];
      int in_pool = rng_binomial(r, n, locus.freq[k]);
      int span = o.max_coverage - o.min_coverage + 1;
      locus.total[k] = o.min_coverage + static_cast<int>(rng_below(r, span));
      locus.count[k] = rng_binomial(r, locus.total[k], static_cast<double>(in_pool) / n);
    }
  }
}

}  // namespace

long draw_locus(Rng &r, const SimOptions &o, const Matrix &chol, const std::vector<double> &shift,
                Locus &locus) {
  locus.freq.assign(o.pops, 0.0);
  locus.count.assign(o.pops, 0);
  locus.total.assign(o.pops, 0);
  std::vector<double> z(o.pops);
  for (long draws = 0; draws < MAX_LOCUS_DRAWS; ++draws) {
    draw_once(r, o, chol, shift, z, locus);
    long sum_count = 0, sum_total = 0;
    for (int k = 0; k < o.pops; ++k) {
      sum_count += locus.count[k];
      sum_total += locus.total[k];
    }
    // peltra2 cannot start a chain on a locus whose counted allele is
    // absent everywhere or present in every copy.
    if (sum_count > 0 && sum_count < sum_total) return draws;
  }
  tool_fail("no polymorphic locus in %ld draws; raise --copies or the --anc-range",
            MAX_LOCUS_DRAWS);
}
