// Offset-indexed vectors and matrices. A handle indexes its own range
// (v[nl]..v[nh], m[nrl..nrh][ncl..nch]); the system always uses 1 as the
// lower bound. Elements are not initialised. The caller owns what an
// allocation returns and releases it with the matching free_* call, passing
// the same lower bounds.
#ifndef PELTRA_NUMERICS_NRUTIL_H
#define PELTRA_NUMERICS_NRUTIL_H

// Prints the three-part numerics error message on standard error and exits
// with status 1. Callable from any thread.
[[noreturn]] void nrerror(const char *error_text);

// Double vector over nl..nh: one block with a spare element in front.
double *dvector(long nl, long nh);
// Int vector over nl..nh.
int *ivector(long nl, long nh);
// Double matrix over rows nrl..nrh, columns ncl..nch: a row-pointer block and
// one contiguous row-by-row data block; a row m[i] is a vector over ncl..nch.
double **dmatrix(long nrl, long nrh, long ncl, long nch);

void free_dvector(double *v, long nl, long nh);
void free_ivector(int *v, long nl, long nh);
void free_dmatrix(double **m, long nrl, long nrh, long ncl, long nch);

#endif
