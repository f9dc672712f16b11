// Drawing one SNP under the model: ancestral frequency, correlated
// offsets, clipped population frequencies, and binomial allele counts (or
// pooled read counts); loci monomorphic over all populations are redrawn.
#ifndef PELTRA_TOOLS_SIMULATE_LOCI_H
#define PELTRA_TOOLS_SIMULATE_LOCI_H

#include <vector>

#include "simulate/options.h"
#include "simulate/rng.h"
#include "simulate/structure.h"

// Draws of a locus before the simulation gives up as hopeless.
const long MAX_LOCUS_DRAWS = 100000;

// One simulated SNP.
struct Locus {
  double epsilon = 0;        // ancestral frequency
  std::vector<double> freq;  // population frequencies after the effect and clipping
  std::vector<int> count;    // copies (pooled: reads) of the first allele
  std::vector<int> total;    // copies (pooled: coverage) of both alleles
};

// Draws an ancestral frequency in the --anc-range, uniform or from the
// --anc-beta law.
double draw_epsilon(Rng &r, const SimOptions &o);

// Draws a polymorphic locus into `locus`: `chol` is the lower Cholesky
// factor of Sigma and `shift` the per-population environmental effect
// (all zero for a neutral locus). Returns the number of monomorphic draws
// that were thrown away.
long draw_locus(Rng &r, const SimOptions &o, const Matrix &chol, const std::vector<double> &shift,
                Locus &locus);

#endif
