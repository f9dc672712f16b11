// The density terms in the form the inner loops use: inline, and the prior
// exponent of two offset vectors at once. The values are those of
// multinom_prob and multivar_prob bit for bit: the same operations in the
// same order.
#ifndef PELTRA_MODEL_INLINE_TERMS_H
#define PELTRA_MODEL_INLINE_TERMS_H

#include <cmath>

#include "model/allele_SNP.h"
#include "run/config.h"

// The binomial log-likelihood of c copies out of t at frequency theta, for
// 0 < theta < 1 (multinom_prob without pooling): c ln(theta) + (t - c)
// ln(1 - theta). A population without one of the alleles skips the
// logarithm that its zero factor multiplies: that term is a signed zero,
// and adding it to the other term changes no bit of the sum.
inline double binomial_log_likelihood(double theta, int c, int t) {
  if (c == 0) return (t - c) * log(1.0 - theta);
  if (c == t) return c * log(theta);
  return c * log(theta) + (t - c) * log(1.0 - theta);
}

// multivar_prob's quadratic form is one long chain of dependent additions;
// N forms over the same matrix, interleaved, run in about the time of one.
// Each is accumulated in exactly the order dvect_symmat_mult uses.

// q[f] = v[f]^T M v[f] over the lower triangle of the n x n matrix m, for
// f = 0 .. N-1.
template <int N>
inline void quadratic_forms(const double *const *v, double *const *m, int n, double *q) {
  double off[N], diag[N];
  for (int f = 0; f < N; f++) off[f] = diag[f] = 0.0;
  for (int i = 1; i <= n; i++) {
    const double *row = m[i];
    for (int j = 1; j < i; j++)
      for (int f = 0; f < N; f++) off[f] += (row[j] * v[f][i]) * v[f][j];
    for (int f = 0; f < N; f++) diag[f] += (row[i] * v[f][i]) * v[f][i];
  }
  for (int f = 0; f < N; f++) q[f] = (off[f] + off[f]) + diag[f];
}

// The two-form case: v^T M v into *qv and w^T M w into *qw.
inline void two_quadratic_forms(const double *v, const double *w, double *const *m, int n,
                                double *qv, double *qw) {
  const double *vs[2] = {v, w};
  double q[2];
  quadratic_forms<2>(vs, m, n, q);
  *qv = q[0];
  *qw = q[1];
}

// multivar_prob's scaling of a quadratic form q at ancestral frequency epsilon.
inline double prior_exponent(double q, double epsilon) {
  return (q * -0.5) / (epsilon * (1 - epsilon));
}

// Asks for the records of a walk over the loci ahead of their use: the
// record of locus i + 16, and the vectors of locus i + 8 (its offsets, and
// with counts also its counts, totals and cached likelihoods). A walk over
// 100000 loci is otherwise bound by the latency of these loads. Forced
// inline: the compiler counts a prefetch as no effect at all, and would drop
// a call to a function made of nothing else.
__attribute__((always_inline)) inline void prefetch_loci(ALLELE *const *loc, int i, int end, bool counts) {
  if (i + 16 < end) __builtin_prefetch(loc[i + 16]);
  if (i + 8 < end) {
    const ALLELE *a = loc[i + 8];
    int K = NUMPOPS;
    __builtin_prefetch(a->theta_offset + 1);
    __builtin_prefetch(a->theta_offset + K);
    if (counts) {
      __builtin_prefetch(a->multinom_prob + 1);
      __builtin_prefetch(a->multinom_prob + K);
      __builtin_prefetch(a->count + 1);
      __builtin_prefetch(a->total + 1);
    }
  }
}

#endif
