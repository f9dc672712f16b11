// Normal, exponential and gamma deviates driven by ranf() (taken inline,
// through ranf_inline(), or from a run of the generator held in registers).
//
// Precision follows a plain single-precision transcription: arguments,
// results, tables and cached values are float; an expression that involves a
// double literal or calls sqrt, exp or log is evaluated in double and then
// narrowed; products and sums of floats alone stay in float. The math
// functions are always called with double arguments so that the float
// overloads of <cmath> are never picked. The deviate streams depend on these
// roundings and on the order of the draws.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "random/combined_state.h"
#include "random/deviate_tables.h"
#include "random/randlib.h"
#include "run/fatal.h"

// Algorithm FL with its uniforms from next(): snorm() draws them from ranf,
// gennor_fill() from a run of the generator held in registers. One body, so
// the two give the same deviates from the same uniforms.
template <class Uniform>
static inline float snorm_from(Uniform &next) {
  const float *a = snorm_a, *d = snorm_d, *t = snorm_t, *h = snorm_h;
  float u, s, ustar, aa, w, tt;
  long i;

  u = next();
  // The half and the sign are random: selected without branches, which
  // would be mispredicted every other call.
  bool upper = u > 0.5;
  s = (float)upper;
  u += (u - s);
  u = 32.0 * u;
  i = (long)u;
  // ranf() can return exactly 1 (or 0.5, which maps to the same point).
  if (i == 32) i = 31;
  if (i == 0) goto tail;

  // Centre: interval i - 1 of the table.
  ustar = u - (float)i;
  aa = a[i - 1];
centre:
  if (ustar > t[i - 1]) {
    w = (ustar - t[i - 1]) * h[i - 1];
    goto done;
  }
  u = next();
  w = u * (a[i] - aa);
  tt = (0.5 * w + aa) * w;
  for (;;) {
    if (ustar > tt) goto done;
    u = next();
    if (ustar < u) break;
    tt = u;
    ustar = next();
  }
  ustar = next();
  goto centre;

tail:
  i = 6;
  aa = a[31];
  for (;;) {
    u += u;
    if (u >= 1.0) break;
    aa += d[i - 1];
    i += 1;
  }
  u -= 1.0;
  for (;;) {
    w = u * d[i - 1];
    tt = (0.5 * w + aa) * w;
    for (;;) {
      ustar = next();
      if (ustar > tt) goto done;
      u = next();
      if (ustar < u) break;
      tt = u;
    }
    u = next();
  }

done:
  // -y when s = 1: negation flips the sign bit.
  float y = aa + w;
  uint32_t bits;
  memcpy(&bits, &y, sizeof bits);
  bits ^= (uint32_t)upper << 31;
  memcpy(&y, &bits, sizeof y);
  return y;
}

namespace {

// The uniforms of ranf, through ranf_inline.
struct RanfUniform {
  float operator()() { return ranf_inline(); }
};

}  // namespace

float snorm() {
  RanfUniform next;
  return snorm_from(next);
}

float sexpo() {
  const float *q = sexpo_q;
  float a = 0.0, u, ustar, umin;
  long i;

  u = ranf_inline();
  for (;;) {
    u += u;
    if (u >= 1.0) break;
    a += q[0];
  }
  u -= 1.0;
  if (u <= q[0]) return a + u;
  i = 1;
  ustar = ranf_inline();
  umin = ustar;
  // u equals 1 only when ranf() returned exactly 1; q[7] is below 1, so the
  // search stops at the table's last entry instead of running past it.
  do {
    ustar = ranf_inline();
    if (ustar < umin) umin = ustar;
    i += 1;
  } while (i < 8 && u > q[i - 1]);
  return a + umin * q[0];
}

// Quotient q of step 6 and 10 of algorithm GD for v = t / (s + s).
static inline float gd_quotient(float t, float v, float s, float s2, float q0) {
  static const float a1 = 0.3333333, a2 = -0.250003, a3 = 0.2000062, a4 = -0.1662921,
                     a5 = 0.1423657, a6 = -0.1367177, a7 = 0.1233795;
  if (std::fabs((double)v) <= 0.25)
    return q0 + 0.5 * t * t * ((((((a7 * v + a6) * v + a5) * v + a4) * v + a3) * v + a2) * v + a1) * v;
  return q0 - s * t + 0.25 * t * t + (s2 + s2) * std::log(1.0 + v);
}

float sgamma(float a) {
  // Caches of algorithm GD: aa with s2, s, d; aaa with r, q0, b, si, c. They
  // save work only; algorithm GS leaves them alone.
  static float aa = 0.0, s2, s, d;
  static float aaa = 0.0, r, q0, b, si, c;
  static const float q1 = 0.04166669, q2 = 0.02083148, q3 = 0.00801191, q4 = 0.00144121,
                     q5 = -0.00007388, q6 = 0.00024511, q7 = 0.0002424;
  static const float e1 = 1.0, e2 = 0.4999897, e3 = 0.166829, e4 = 0.0407753, e5 = 0.010293;
  static const float sqrt32 = 5.656854;
  float e, q, t, u, v, w, x, ret;

  if (a < 1.0) {
    // Algorithm GS for shape below 1.
    float b0 = 1.0 + 0.3678794 * a;
    for (;;) {
      float p = b0 * ranf_inline();
      if (p >= 1.0) {
        ret = -std::log((double)((b0 - p) / a));
        if (sexpo() < (1.0 - a) * std::log((double)ret)) continue;
        return ret;
      }
      ret = std::exp(std::log((double)p) / a);
      if (sexpo() < ret) continue;
      return ret;
    }
  }

  // Algorithm GD for shape 1 or more.
  if (a != aa) {
    aa = a;
    s2 = a - 0.5;
    s = std::sqrt((double)s2);
    d = sqrt32 - 12.0 * s;
  }
  t = snorm();
  x = s + 0.5 * t;
  ret = x * x;
  if (t >= 0.0) return ret;
  u = ranf_inline();
  if (d * u <= t * t * t) return ret;
  if (a != aaa) {
    aaa = a;
    r = 1.0 / a;
    q0 = ((((((q7 * r + q6) * r + q5) * r + q4) * r + q3) * r + q2) * r + q1) * r;
    if (a <= 3.686) {
      b = 0.463 + s + 0.178 * s2;
      si = 1.235;
      c = 0.195 / s - 0.079 + 0.16 * s;
    } else if (a <= 13.022) {
      b = 1.654 + 0.0076 * s2;
      si = 1.68 / s + 0.275;
      c = 0.062 / s + 0.024;
    } else {
      b = 1.77;
      si = 0.75;
      c = 0.1515 / s;
    }
  }
  if (x > 0.0) {
    v = t / (s + s);
    q = gd_quotient(t, v, s, s2, q0);
    if (std::log(1.0 - u) <= q) return ret;
  }
  // Double-exponential rejection.
  for (;;) {
    e = sexpo();
    u = ranf_inline();
    u = 2.0 * u - 1.0;
    t = b + fsign(si * e, u);
    if (t < -0.7187449) continue;
    v = t / (s + s);
    q = gd_quotient(t, v, s, s2, q0);
    if (q <= 0.0) continue;
    if (q <= 0.5) {
      w = ((((e5 * q + e4) * q + e3) * q + e2) * q + e1) * q;
    } else if (q < 15.0) {
      w = std::exp((double)q) - 1.0;
    } else {
      // exp(q) would overflow single precision; w is not formed.
      if (q + e - 0.5 * t * t > 87.49823) break;
      if (c * std::fabs((double)u) > std::exp(q + e - 0.5 * t * t)) continue;
      break;
    }
    if (c * std::fabs((double)u) > w * std::exp(e - 0.5 * t * t)) continue;
    break;
  }
  x = s + 0.5 * t;
  return x * x;
}

float gennor(float av, float sd) {
  if (sd < 0.0 || std::isnan(sd)) fatal_stderr(" SD < 0 in GENNOR - ABORT\n Value of SD: %16.6E\n", sd);
  return sd * snorm() + av;
}

void gennor_fill(float *out, int n, float av, float sd) {
  if (n <= 0) return;
  if (sd < 0.0 || std::isnan(sd)) fatal_stderr(" SD < 0 in GENNOR - ABORT\n Value of SD: %16.6E\n", sd);
  CombinedRun run;
  for (int i = 0; i < n; i++) out[i] = sd * snorm_from(run) + av;
  run.store();
}

float gengam(float a, float r) {
  if (!(a > 0.0) || !(r > 0.0))
    fatal_stderr(" A or R nonpositive in GENGAM - abort!\n A value: %16.6E R value: %16.6E\n", a, r);
  return sgamma(r) / a;
}

float fsign(float num, float sign) {
  if ((sign > 0.0f && num < 0.0f) || (sign < 0.0f && num > 0.0f)) return -num;
  return num;
}
