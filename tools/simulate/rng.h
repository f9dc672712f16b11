// The simulator's own random generator: xoshiro256** seeded through
// splitmix64, with uniform, normal, gamma, beta and binomial deviates built
// on it. Everything is integer arithmetic or IEEE basic operations (with a
// logarithm and an exponential of its own), so a seed fixes the output on
// every machine. Each part of a simulation draws from its own stream, so
// that asking for one more output file leaves the others unchanged.
#ifndef PELTRA_TOOLS_SIMULATE_RNG_H
#define PELTRA_TOOLS_SIMULATE_RNG_H

#include <cstdint>

// The independent streams of one simulation.
enum RngStream {
  STREAM_STRUCTURE = 1,    // the random population tree
  STREAM_ENVIRON = 2,      // the environmental variables
  STREAM_EFFECT_PICK = 3,  // which loci of the main file carry the effect
  STREAM_LOCI = 4,         // the loci of the main count file
  STREAM_EFFECT_LOCI = 5,  // the loci of the separate effect file
};

// Generator state.
struct Rng {
  uint64_t s[4];
};

// Starts stream `stream` of the simulation seeded with `seed`.
void rng_seed(Rng &r, uint64_t seed, uint64_t stream);

// Next raw 64-bit output.
uint64_t rng_next(Rng &r);

// Uniform on [0, 1), a multiple of 2^-53.
double rng_uniform(Rng &r);

// Uniform integer in 0 .. n - 1, without bias; n >= 1.
uint64_t rng_below(Rng &r, uint64_t n);

// Standard normal deviate (Marsaglia's polar method, one value per pair).
double rng_normal(Rng &r);

// Gamma deviate with the given shape > 0 and scale 1 (Marsaglia and Tsang).
double rng_gamma(Rng &r, double shape);

// Beta(a, b) deviate, a, b > 0, from two gamma deviates.
double rng_beta(Rng &r, double a, double b);

// Binomial(n, p) deviate as a sum of n Bernoulli trials; p is clipped to
// [0, 1], so p = 0 gives 0 and p = 1 gives n exactly.
int rng_binomial(Rng &r, int n, double p);

#endif
