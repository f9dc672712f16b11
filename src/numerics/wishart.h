// Wishart deviate by the Bartlett decomposition.
#ifndef PELTRA_NUMERICS_WISHART_H
#define PELTRA_NUMERICS_WISHART_H

// Draws a p x p Wishart matrix with n - 1 degrees of freedom and scale a into
// s (allocated by the caller, every entry written). a's upper triangle with
// the diagonal is read; on return a holds the lower Cholesky factor L of the
// scale (zeros above the diagonal). Draws p(p+1)/2 normal deviates column by
// column, then p gamma deviates. idum is accepted and not used.
void wish(int p, int n, double **a, double **s, long *idum);

#endif
