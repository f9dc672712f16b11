// The read weights of the pooled likelihood, computed once per (pool size,
// coverage, read count) triple of the data when the weight table is off.
#ifndef PELTRA_MODEL_POOL_WEIGHTS_H
#define PELTRA_MODEL_POOL_WEIGHTS_H

#include <cstddef>

#include "model/allele_SNP.h"

// The weight of term i of the pooled likelihood of c reads out of t from a
// pool of n copies, as multinom_prob forms it without the table: w(n, i, t,
// c) for n <= 170, ln w above.
double pool_read_weight(int n, int i, int t, int c);

// Computes the weights of every triple that loc[0 .. n_loci-1] hold in the
// pools of samplesizes, up to 64 MB; triples beyond that are left to be
// computed per call. Start-up calls it in pooled mode without the table,
// after the count file is read and before any worker runs.
void init_pool_weights(ALLELE **loc, int n_loci);

// The weights of the triple, term i at index i - 1, or null when they were
// not computed. Only read after init_pool_weights, so callable from both workers.
const double *cached_pool_weights(int n, int t, int c);

// Number of weights held (for the benchmarks and tests).
size_t pool_weights_cached();

#endif
