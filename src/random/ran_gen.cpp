#include "random/ran_gen.h"

// Park-Miller minimal standard: x <- 16807 x mod (2^31 - 1), formed with
// Schrage's split so that no intermediate value leaves 32 bits.
#define IA 16807
#define IM 2147483647
#define AM (1.0 / IM)
#define IQ 127773
#define IR 2836
#define NTAB 32
#define NDIV (1 + (IM - 1) / NTAB)
// Largest value returned: the float nearest 1 - 1.2e-7 (1 - 2^-23).
#define EPS 1.2e-7
#define RNMX (1.0 - EPS)

// Shuffle table and the previous output; iy == 0 marks an unseeded table.
static long iy = 0;
static long iv[NTAB];

static inline long park_miller_step(long x) {
  long k = x / IQ;
  x = IA * (x - k * IQ) - IR * k;
  if (x < 0) x += IM;
  return x;
}

float ran1(long *idum) {
  if (*idum <= 0 || !iy) {
    // A non-positive state word reseeds from its magnitude (0 counts as 1);
    // the first call also seeds when handed a positive word.
    if (-(*idum) < 1)
      *idum = 1;
    else
      *idum = -(*idum);
    // Eight warm-up steps, then the table is filled from its top slot down.
    for (long j = NTAB + 7; j >= 0; j--) {
      *idum = park_miller_step(*idum);
      if (j < NTAB) iv[j] = *idum;
    }
    iy = iv[0];
  }
  *idum = park_miller_step(*idum);
  long j = iy / NDIV;
  iy = iv[j];
  iv[j] = *idum;
  float temp = (float)(AM * iy);
  if (temp > RNMX) return (float)RNMX;
  return temp;
}
