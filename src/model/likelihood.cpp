// The two density terms of every acceptance ratio: the per-population
// log-likelihood (binomial, or the pooled binomial mixture) and the exponent
// of the offsets' normal prior; and the pooled weight table.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <new>

#include "model/allele_SNP.h"
#include "model/inline_terms.h"
#include "model/pool_weights.h"
#include "numerics/matrix.h"
#include "run/config.h"
#include "run/fatal.h"

double *lookup = nullptr;

namespace {

// Largest n whose factorial is finite in double precision.
const int kMaxExactFactorial = 170;

// Extents of the table: l = 0..lookup_n, s = lookup_smin..lookup_n,
// t = lookup_tmin..lookup_m, c = 0..lookup_m.
long lookup_n = 0, lookup_m = 0, lookup_smin = 0, lookup_tmin = 0;

// m! as the sequential product 1 * 2 * ... * m (1 for m <= 0), tabulated once
// so that a coefficient costs O(1) instead of O(n) while keeping the values of
// the product formula bit for bit.
struct FactorialTable {
  double f[kMaxExactFactorial + 1];
  FactorialTable() {
    double prod = 1;
    f[0] = 1;
    for (int m = 1; m <= kMaxExactFactorial; m++) {
      prod *= m;
      f[m] = prod;
    }
  }
};
const FactorialTable factorials;

double factorial(int m) { return m <= 0 ? 1.0 : factorials.f[m]; }

// ln m! (0 for m <= 0). lgamma_r, not lgamma: the workers call this at the
// same time and lgamma writes the process-wide signgam.
double log_factorial(int m) {
  if (m <= 0) return 0;
  int sign;
  return lgamma_r(m + 1.0, &sign);
}

double log_binomial_coeff(int n, int k) {
  return (log_factorial(n) - log_factorial(n - k)) - log_factorial(k);
}

// Log of the read weight w(n, i, t, c) for pools too large for the product
// formula.
double log_pool_weight(int n, int i, int t, int c) {
  double f = (double)i / n;
  return log_binomial_coeff(n, i) + c * log(f) + (t - c) * log(1.0 - f);
}

size_t lookup_offset(int l, int s, int t, int c) {
  return (((size_t)l * (lookup_n - lookup_smin + 1) + (size_t)(s - lookup_smin)) *
              (lookup_m - lookup_tmin + 1) +
          (size_t)(t - lookup_tmin)) *
             (lookup_m + 1) +
         (size_t)c;
}

// The weight of term i: from the table, from the weights computed at
// start-up, or formed on the spot; the same value every way.
inline double weight(const double *cached, int n, int i, int t, int c) {
  if (LOOKUP) return lookup[lookup_offset(i, n, t, c)];
  if (cached) return cached[i - 1];
  return pool_read_weight(n, i, t, c);
}

// Pooled log-likelihood for n <= 170: the sum in increasing i of
// w * theta^i * (1-theta)^(n-i).
double pooled_exact(double theta, int n, int t, int c) {
  const double *cached = LOOKUP ? nullptr : cached_pool_weights(n, t, c);
  double sum = 0;
  for (int i = 1; i <= n - 1; i++) {
    double w = weight(cached, n, i, t, c);
    sum += (w * pow(theta, i)) * pow(1.0 - theta, n - i);
  }
  return log(sum);
}

// Pooled log-likelihood for n > 170, where the weights and the powers leave
// the double range: every term in logs, summed by a running log-sum-exp.
double pooled_large(double theta, int n, int t, int c) {
  const double *cached = LOOKUP ? nullptr : cached_pool_weights(n, t, c);
  double lt = log(theta), l1t = log(1.0 - theta);
  double top = -INFINITY, scaled = 0;
  for (int i = 1; i <= n - 1; i++) {
    double lw = weight(cached, n, i, t, c);
    double x = lw + i * lt + (n - i) * l1t;
    if (x <= top) {
      scaled += exp(x - top);
    } else {
      scaled = scaled * exp(top - x) + 1;
      top = x;
    }
  }
  if (top == -INFINITY) return -INFINITY;
  return top + log(scaled);
}

}  // namespace

double pool_read_weight(int n, int i, int t, int c) {
  if (n > kMaxExactFactorial) return log_pool_weight(n, i, t, c);
  double f = (double)i / n;
  return (pow(f, c) * pow(1.0 - f, t - c)) * binomial_coeff(n, i);
}

double binomial_coeff(int n, int k) {
  if (n <= kMaxExactFactorial) return factorial(n) / (factorial(n - k) * factorial(k));
  return exp(log_binomial_coeff(n, k));
}

double multinom_prob(double theta, ALLELE *loc, int pop) {
  int c = loc->count[pop];
  int t = loc->total[pop];
  if (theta >= 1) {
    if (c == t) return 0;
    fatal("theta greater than 1 for a segregating allele pop %d %.4e\n", pop, theta);
  }
  if (theta <= 0) {
    if (c == 0) return 0;
    fatal("theta greater than 0 for a segregating allele pop %d %.4e\n", pop, theta);
  }
  if (!POOL) return binomial_log_likelihood(theta, c, t);
  int n = samplesizes[pop];
  if (n <= kMaxExactFactorial) return pooled_exact(theta, n, t, c);
  return pooled_large(theta, n, t, c);
}

double multivar_prob(double *vec, double epsilon) {
  double q = dvect_symmat_mult(vec, sigmas_inverse, NUMPOPS);
  return (q * -0.5) / (epsilon * (1 - epsilon));
}

void init_lookup(int n, int m) {
  long smin = min_samplesize < 0 ? 0 : (min_samplesize > n ? n : min_samplesize);
  long tmin = min_coverage < 0 ? 0 : (min_coverage > m ? m : min_coverage);
  if (n < 0 || m < 0) fatal("lookup table: invalid extents %d and %d\n", n, m);

  // Only the filled pool sizes and coverages are allocated. The size is
  // formed in double so that it cannot overflow before it is checked.
  double entries = (double)(n + 1) * (double)(n - smin + 1) * (double)(m - tmin + 1) * (double)(m + 1);
  double bytes = entries * sizeof(double);
  double physical = (double)sysconf(_SC_PHYS_PAGES) * (double)sysconf(_SC_PAGE_SIZE);
  if (physical > 0 && bytes > physical / 4)
    fatal("lookup table needs %.3g GB, more than a quarter of this machine's %.3g GB of memory: run without -l\n",
          bytes / 1e9, physical / 1e9);
  delete[] lookup;
  lookup = new (std::nothrow) double[(size_t)entries];
  if (!lookup) fatal("lookup table: cannot allocate %.3g GB: run without -l\n", bytes / 1e9);

  lookup_n = n;
  lookup_m = m;
  lookup_smin = smin;
  lookup_tmin = tmin;
  for (int l = 0; l <= n; l++)
    for (int s = (int)smin; s <= n; s++) {
      if (l > s) continue;
      for (int t = (int)tmin; t <= m; t++)
        for (int c = 0; c <= t; c++) {
          double f = (double)l / s;
          // Pools above 170 copies keep the log of the weight (see pooled_large).
          lookup[lookup_offset(l, s, t, c)] =
              s <= kMaxExactFactorial ? binomial_coeff(s, l) * pow(f, c) * pow(1.0 - f, t - c)
                                      : log_pool_weight(s, l, t, c);
        }
    }
}
