#include "simulate/rng.h"

#include <cmath>
#include <limits>

// Logarithm and exponential from the four basic operations and exact
// scaling only, so that every IEEE-754 machine computes the same bits: the
// simulated data must not depend on the mathematics library linked.
namespace {

// ln 2 split so that k * LN2_HI is exact for every exponent k of a double.
const double LN2_HI = 6.93147180369123816490e-01;
const double LN2_LO = 1.90821492927058770002e-10;
const double INV_LN2 = 1.44269504088896338700e+00;
const double SQRT_HALF = 0.70710678118654752440;

double det_log(double x) {
  if (!(x > 0)) return -std::numeric_limits<double>::infinity();
  if (x == std::numeric_limits<double>::infinity()) return x;
  int e;
  double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1)
  if (m < SQRT_HALF) {
    m *= 2.0;
    e -= 1;
  }
  // m in [0.707, 1.414): log m = 2 atanh(s) with |s| <= 0.1716, whose odd
  // series converges to double precision within 13 terms.
  double s = (m - 1.0) / (m + 1.0);
  double s2 = s * s;
  double series = 0.0;
  for (int n = 25; n >= 3; n -= 2) series = (series + 1.0 / n) * s2;
  double log_m = 2.0 * s * (1.0 + series);
  return e * LN2_HI + (log_m + e * LN2_LO);
}

double det_exp(double x) {
  if (x != x) return x;
  if (x > 709.0) return std::numeric_limits<double>::infinity();
  if (x < -745.0) return 0.0;
  // x = k ln 2 + r with |r| <= ln2 / 2; the Taylor series of exp(r) then
  // needs 18 terms for double precision.
  double k = std::floor(x * INV_LN2 + 0.5);
  double r = (x - k * LN2_HI) - k * LN2_LO;
  double sum = 1.0;
  for (int n = 18; n >= 1; --n) sum = 1.0 + sum * r / n;
  return std::ldexp(sum, static_cast<int>(k));
}

double det_pow(double x, double y) { return det_exp(y * det_log(x)); }

uint64_t splitmix64(uint64_t &x) {
  x += 0x9E3779B97F4A7C15ULL;
  uint64_t z = x;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

void rng_seed(Rng &r, uint64_t seed, uint64_t stream) {
  // Hash the seed and the stream number into one splitmix64 start value;
  // the four words it then yields are never all zero in practice, and the
  // guard below covers the impossible case.
  uint64_t x = seed;
  uint64_t h = splitmix64(x);
  uint64_t y = stream ^ 0x5851F42D4C957F2DULL;
  h ^= splitmix64(y);
  for (int i = 0; i < 4; ++i) r.s[i] = splitmix64(h);
  if ((r.s[0] | r.s[1] | r.s[2] | r.s[3]) == 0) r.s[0] = 1;
}

uint64_t rng_next(Rng &r) {
  uint64_t *s = r.s;
  const uint64_t result = rotl(s[1] * 5, 7) * 9;
  const uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = rotl(s[3], 45);
  return result;
}

double rng_uniform(Rng &r) { return static_cast<double>(rng_next(r) >> 11) * 0x1.0p-53; }

uint64_t rng_below(Rng &r, uint64_t n) {
  // Reject the top partial block of the 64-bit range so every residue is
  // equally likely.
  uint64_t limit = UINT64_MAX - UINT64_MAX % n;
  uint64_t x;
  do {
    x = rng_next(r);
  } while (x >= limit);
  return x % n;
}

double rng_normal(Rng &r) {
  for (;;) {
    double u = 2.0 * rng_uniform(r) - 1.0;
    double v = 2.0 * rng_uniform(r) - 1.0;
    double s = u * u + v * v;
    if (s >= 1.0 || s == 0.0) continue;
    return u * std::sqrt(-2.0 * det_log(s) / s);
  }
}

double rng_gamma(Rng &r, double shape) {
  if (shape < 1.0) {
    // Gamma(a) = Gamma(a + 1) * U^(1/a); U is kept away from 0.
    double g = rng_gamma(r, shape + 1.0);
    double u;
    do {
      u = rng_uniform(r);
    } while (u == 0.0);
    return g * det_pow(u, 1.0 / shape);
  }
  const double d = shape - 1.0 / 3.0;
  const double c = 1.0 / std::sqrt(9.0 * d);
  for (;;) {
    double x = rng_normal(r);
    double v = 1.0 + c * x;
    if (v <= 0.0) continue;
    v = v * v * v;
    double u = rng_uniform(r);
    if (u < 1.0 - 0.0331 * (x * x) * (x * x)) return d * v;
    if (u > 0.0 && det_log(u) < 0.5 * x * x + d * (1.0 - v + det_log(v))) return d * v;
  }
}

double rng_beta(Rng &r, double a, double b) {
  for (;;) {
    double x = rng_gamma(r, a);
    double y = rng_gamma(r, b);
    if (x + y > 0.0) return x / (x + y);
  }
}

int rng_binomial(Rng &r, int n, double p) {
  if (p <= 0.0) return 0;
  if (p >= 1.0) return n;
  int k = 0;
  for (int i = 0; i < n; ++i)
    if (rng_uniform(r) < p) ++k;
  return k;
}
