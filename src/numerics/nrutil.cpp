#include "numerics/nrutil.h"

#include <cstdio>
#include <cstdlib>

#include "run/fatal.h"

void nrerror(const char *error_text) {
  fprintf(stderr, "Numerical Recipes run-time error...\n");
  fprintf(stderr, "%s\n", error_text);
  fprintf(stderr, "...now exiting to system...\n");
  terminate_process(1);
}

// Element counts are checked before multiplying so that an absurd size ends
// in the allocation message instead of a wrapped-around request.
static void *checked_alloc(long count, size_t elem, const char *what) {
  if (count < 0 || (size_t)count > ((size_t)-1 / 2) / elem) nrerror(what);
  void *p = malloc((size_t)count * elem);
  if (!p) nrerror(what);
  return p;
}

double *dvector(long nl, long nh) {
  double *v = (double *)checked_alloc(nh - nl + 2, sizeof(double), "allocation failure in dvector()");
  return v + 1 - nl;
}

int *ivector(long nl, long nh) {
  int *v = (int *)checked_alloc(nh - nl + 2, sizeof(int), "allocation failure in ivector()");
  return v + 1 - nl;
}

double **dmatrix(long nrl, long nrh, long ncl, long nch) {
  long nrow = nrh - nrl + 1, ncol = nch - ncl + 1;
  double **m = (double **)checked_alloc(nrow + 1, sizeof(double *), "allocation failure 1 in dmatrix()");
  m += 1 - nrl;
  long cells = -1;
  if (nrow >= 0 && ncol >= 0 && (ncol == 0 || nrow <= (((long)1 << 61) / ncol))) cells = nrow * ncol + 1;
  double *data = (double *)checked_alloc(cells, sizeof(double), "allocation failure 2 in dmatrix()");
  m[nrl] = data + 1 - ncl;
  for (long i = nrl + 1; i <= nrh; i++) m[i] = m[i - 1] + ncol;
  return m;
}

void free_dvector(double *v, long nl, long) { free(v + nl - 1); }

void free_ivector(int *v, long nl, long) { free(v + nl - 1); }

void free_dmatrix(double **m, long nrl, long, long ncl, long) {
  free(m[nrl] + ncl - 1);
  free(m + nrl - 1);
}
