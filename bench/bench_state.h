// Process-wide model state for the micro-benchmarks: a covariance matrix
// with its inverse and Cholesky factor, and loci with counts and a started
// chain, set up the way start-up would, from fixed seeds.
#ifndef PELTRA_BENCH_STATE_H
#define PELTRA_BENCH_STATE_H

#include "model/allele_SNP.h"

namespace bench {

// Seeds both generators, sets NUMPOPS = k and builds a fixed covariance
// matrix (an AR(1)-like band plus a diagonal) with sigmas_inverse,
// chol_dec_sigmas and pop_spec_mean. Ordinary (binomial) mode.
void setup_model(int k);

// Pooled mode with every pool holding n copies; the lookup table is built
// for coverages up to max_cov when with_table is set.
void setup_pooled(int n, int max_cov, bool with_table);

// Leaves pooled mode (POOL and LOOKUP off).
void leave_pooled();

// A new locus with counts drawn around 40 copies per population (or reads of
// coverage up to 100 in pooled mode), initialised like start-up does.
ALLELE *new_locus(int total_max);

}  // namespace bench

#endif
