// State of the combined multiplicative generator: two congruential
// components (moduli Xm1, Xm2) combined by subtraction, organised as 32
// virtual generators whose streams start 2^50 steps apart.
#include <cstdio>

#include "random/randlib.h"
#include "run/fatal.h"

#define NUMG 32

static long Xm1, Xm2, Xa1, Xa2, Xa1w, Xa2w, Xa1vw, Xa2vw;
static long Xig1[NUMG], Xig2[NUMG];  // initial seeds of each generator
static long Xlg1[NUMG], Xlg2[NUMG];  // seeds at the start of the current segment
static long Xcg1[NUMG], Xcg2[NUMG];  // current seeds
static long Xqanti[NUMG];            // antithetic flags
static long curntg = 1;              // current generator, 1 .. 32
static long qinit = 0;               // constants set
static long qstate = 0;              // seeds set

void gscgn(long getset, long *g) {
  if (getset == 0) {
    *g = curntg;
    return;
  }
  if (*g < 1 || *g > NUMG) {
    // A failure, so status 1 like every other failure of the library.
    fputs(" Generator number out of range in GSCGN\n", stderr);
    terminate_process(1);
  }
  curntg = *g;
}

void gsrgs(long getset, long *qvalue) {
  if (getset == 0)
    *qvalue = qinit;
  else
    qinit = *qvalue;
}

void gssst(long getset, long *qset) {
  if (getset != 0)
    qstate = 1;
  else
    *qset = qstate;
}

void inrgcm() {
  Xm1 = 2147483563L;
  Xm2 = 2147483399L;
  Xa1 = 40014L;
  Xa2 = 40692L;
  Xa1w = 1033780774L;
  Xa2w = 1494757890L;
  Xa1vw = 2082007225L;
  Xa2vw = 784306273L;
  for (long i = 0; i < NUMG; i++) Xqanti[i] = 0;
  long T1 = 1;
  gsrgs(1L, &T1);
}

long mltmod(long a, long s, long m) {
  if (!(a > 0 && a < m && s > 0 && s < m))
    fatal_stderr(
        " a, m, s out of order in mltmod - ABORT!\n"
        " a = %12ld s = %12ld m = %12ld\n"
        " mltmod requires: 0 < a < m; 0 < s < m\n",
        a, s, m);
  // a, s < m < 2^63 and the product fits in 126 bits.
  return (long)((unsigned __int128)a * (unsigned __int128)s % (unsigned __int128)m);
}

void initgn(long isdtyp) {
  if (!qinit) fatal_stderr(" INITGN called before random number generator  initialized -- abort!\n");
  long g = curntg - 1;
  if (isdtyp == -1) {
    Xlg1[g] = Xig1[g];
    Xlg2[g] = Xig2[g];
  } else if (isdtyp == 0) {
    // the segment seeds stay
  } else if (isdtyp == 1) {
    Xlg1[g] = mltmod(Xa1w, Xlg1[g], Xm1);
    Xlg2[g] = mltmod(Xa2w, Xlg2[g], Xm2);
  } else {
    fatal_stderr("isdtyp not in range in INITGN\n");
  }
  Xcg1[g] = Xlg1[g];
  Xcg2[g] = Xlg2[g];
}

void setall(long iseed1, long iseed2) {
  long T1 = 1, ocgn;
  gssst(1, &T1);
  gscgn(0L, &ocgn);
  if (!qinit) inrgcm();
  // Generator 1 takes the seeds; the current generator restarts from its
  // own initial seeds (in this system they are the same generator).
  Xig1[0] = iseed1;
  Xig2[0] = iseed2;
  initgn(-1L);
  for (long g = 2; g <= NUMG; g++) {
    Xig1[g - 1] = mltmod(Xa1vw, Xig1[g - 2], Xm1);
    Xig2[g - 1] = mltmod(Xa2vw, Xig2[g - 2], Xm2);
    gscgn(1L, &g);
    initgn(-1L);
  }
  gscgn(1L, &ocgn);
}

// The body of ignlgi, inlined into ranf: ranf sits in the innermost loop.
static inline long next_output() {
  if (!qinit) inrgcm();
  if (!qstate) setall(1234567890L, 123456789L);
  long g = curntg - 1;
  long s1 = Xcg1[g], s2 = Xcg2[g];
  // Schrage's split of 40014 s1 mod Xm1 and 40692 s2 mod Xm2.
  long k = s1 / 53668L;
  s1 = Xa1 * (s1 - k * 53668L) - k * 12211L;
  if (s1 < 0) s1 += Xm1;
  k = s2 / 52774L;
  s2 = Xa2 * (s2 - k * 52774L) - k * 3791L;
  if (s2 < 0) s2 += Xm2;
  Xcg1[g] = s1;
  Xcg2[g] = s2;
  long z = s1 - s2;
  if (z < 1) z += Xm1 - 1;
  if (Xqanti[g]) z = Xm1 - z;
  return z;
}

long ignlgi() { return next_output(); }

float ranf() {
  // The constant is slightly above 2^-31, so the largest outputs give 1.0.
  return (float)(next_output() * 4.656613057E-10);
}
