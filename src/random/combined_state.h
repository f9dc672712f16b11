// The combined generator's process-wide state (defined in com.cpp) and its
// step, inline: the deviates draw their uniforms through ranf_inline(),
// which is ranf() without the call, because the normal deviate behind every
// proposal spends most of its time there.
#ifndef PELTRA_RANDOM_COMBINED_STATE_H
#define PELTRA_RANDOM_COMBINED_STATE_H

#include "random/randlib.h"

#define NUMG 32

extern long Xm1, Xm2, Xa1, Xa2, Xa1w, Xa2w, Xa1vw, Xa2vw;
extern long Xig1[NUMG], Xig2[NUMG];  // initial seeds of each generator
extern long Xlg1[NUMG], Xlg2[NUMG];  // seeds at the start of the current segment
extern long Xcg1[NUMG], Xcg2[NUMG];  // current seeds
extern long Xqanti[NUMG];            // antithetic flags
extern long curntg;                  // current generator, 1 .. 32
extern long qinit;                   // constants set
extern long qstate;                  // seeds set

// 40014 s mod Xm1 and 40692 s mod Xm2 for 0 < s < m, exactly. Both moduli
// lie just below 2^31 (2^31 - 85 and 2^31 - 249): the product's bits from
// 31 up fold back in multiplied by 85 (249), and one subtraction finishes.
// The values are those of Schrage's split, with a shorter chain of
// dependent operations.
inline long combined_next_s1(long s) {
  long p = 40014L * s;
  long r = (p & 2147483647L) + (p >> 31) * 85;
  return r >= 2147483563L ? r - 2147483563L : r;
}

inline long combined_next_s2(long s) {
  long p = 40692L * s;
  long r = (p & 2147483647L) + (p >> 31) * 249;
  return r >= 2147483399L ? r - 2147483399L : r;
}

// One output of the current generator: the body of ignlgi.
inline long combined_next() {
  if (!qinit) inrgcm();
  if (!qstate) setall(1234567890L, 123456789L);
  long g = curntg - 1;
  long s1 = combined_next_s1(Xcg1[g]);
  long s2 = combined_next_s2(Xcg2[g]);
  Xcg1[g] = s1;
  Xcg2[g] = s2;
  long z = s1 - s2;
  if (z < 1) z += Xm1 - 1;
  if (Xqanti[g]) z = Xm1 - z;
  return z;
}

// ranf(): the constant is slightly above 2^-31, so the largest outputs give 1.0.
inline float combined_uniform(long z) { return (float)(z * 4.656613057E-10); }
inline float ranf_inline() { return combined_uniform(combined_next()); }

// A run of ranf() draws with the current generator's seeds held in locals:
// the same outputs, without a store and a load of the state between two
// draws. Nothing else may draw until store() has written the seeds back.
struct CombinedRun {
  long g, s1, s2;
  bool anti;
  CombinedRun() {
    if (!qinit) inrgcm();
    if (!qstate) setall(1234567890L, 123456789L);
    g = curntg - 1;
    s1 = Xcg1[g];
    s2 = Xcg2[g];
    anti = Xqanti[g] != 0;
  }
  float operator()() {
    s1 = combined_next_s1(s1);
    s2 = combined_next_s2(s2);
    long z = s1 - s2;
    if (z < 1) z += Xm1 - 1;
    if (anti) z = Xm1 - z;
    return combined_uniform(z);
  }
  void store() {
    Xcg1[g] = s1;
    Xcg2[g] = s2;
  }
};

#endif
