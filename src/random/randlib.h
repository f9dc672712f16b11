// Combined multiplicative generator (two congruential components, 32 virtual
// generators, of which generator 1 is used) and the normal, gamma and
// exponential deviates drawn from it. All state is process-wide and
// unguarded: calls must not overlap. Failures print on standard error and
// exit with status 1.
#ifndef PELTRA_RANDOM_RANDLIB_H
#define PELTRA_RANDOM_RANDLIB_H

// Seeds all 32 virtual generators from the pair (iseed1, iseed2); requires
// 0 < iseed1 < 2147483563 and 0 < iseed2 < 2147483399.
void setall(long iseed1, long iseed2);
// Uniform in (0, 1], single precision; exactly 1 for the largest outputs.
float ranf();
// Next raw output of the current generator, 1 .. 2147483562. Seeds with
// 1234567890 and 123456789 if setall was never called.
long ignlgi();
// (a * s) mod m exactly; requires 0 < a < m and 0 < s < m.
long mltmod(long a, long s, long m);
// Restarts the current generator: -1 initial seeds, 0 segment start, 1 next segment.
void initgn(long isdtyp);
// Sets the generator constants.
void inrgcm();
// getset 0: *g = current generator number; otherwise sets it from *g (1..32).
void gscgn(long getset, long *g);
// getset 0: *qvalue = constants-set flag; otherwise sets the flag from *qvalue.
void gsrgs(long getset, long *qvalue);
// getset 0: *qset = seeds-set flag; otherwise marks the seeds as set.
void gssst(long getset, long *qset);

// Standard normal deviate (algorithm FL, m = 5).
float snorm();
// Standard exponential deviate (algorithm SA).
float sexpo();
// Gamma deviate with shape a > 0 and scale 1 (GD for a >= 1, GS for a < 1).
float sgamma(float a);
// Normal deviate sd * snorm() + av; sd < 0 is fatal.
float gennor(float av, float sd);
// out[0 .. n-1] = n calls of gennor(av, sd) in order, drawn faster.
void gennor_fill(float *out, int n, float av, float sd);
// Gamma deviate with rate a and shape r: sgamma(r) / a; a or r <= 0 is fatal.
float gengam(float a, float r);
// num with the sign of sign (unchanged when sign is 0).
float fsign(float num, float sign);

#endif
