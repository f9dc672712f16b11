// State of the combined multiplicative generator: two congruential
// components (moduli Xm1, Xm2) combined by subtraction, organised as 32
// virtual generators whose streams start 2^50 steps apart.
#include <cstdio>

#include "random/combined_state.h"
#include "random/randlib.h"
#include "run/fatal.h"

// The state, declared in combined_state.h so that the deviates can step the
// generator inline.
long Xm1, Xm2, Xa1, Xa2, Xa1w, Xa2w, Xa1vw, Xa2vw;
long Xig1[NUMG], Xig2[NUMG];  // initial seeds of each generator
long Xlg1[NUMG], Xlg2[NUMG];  // seeds at the start of the current segment
long Xcg1[NUMG], Xcg2[NUMG];  // current seeds
long Xqanti[NUMG];            // antithetic flags
long curntg = 1;              // current generator, 1 .. 32
long qinit = 0;               // constants set
long qstate = 0;              // seeds set

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

long ignlgi() { return combined_next(); }

float ranf() { return ranf_inline(); }
