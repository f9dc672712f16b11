// General inversion through an LU decomposition (Crout's method with implicit
// partial pivoting) and the forward and back substitution that goes with it.
#include <cmath>

#include "numerics/matrix.h"
#include "numerics/nrutil.h"

// Stands in for an exact zero pivot, so that a singular matrix whose rows are
// not zero yields huge entries instead of a division by zero.
static const double TINY = 1.0e-20;

void dludcmp(double **a, int n, int *indx, double *d) {
  double *vv = dvector(1, n);
  *d = 1.0;
  for (int i = 1; i <= n; i++) {
    double big = 0.0;
    for (int j = 1; j <= n; j++) {
      double temp = fabs(a[i][j]);
      if (temp > big) big = temp;
    }
    if (big == 0.0) nrerror("Singular matrix in routine ludcmp");
    vv[i] = 1.0 / big;
  }
  for (int j = 1; j <= n; j++) {
    for (int i = 1; i < j; i++) {
      double sum = a[i][j];
      for (int k = 1; k < i; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    // The comparison is >=, so a later row wins a tie and an all-zero
    // sub-column picks row n. imax starts at j only so that a column of NaNs
    // leaves the rows in place rather than reading an unset index.
    double big = 0.0;
    int imax = j;
    for (int i = j; i <= n; i++) {
      double sum = a[i][j];
      for (int k = 1; k < j; k++) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      double dum = vv[i] * fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (int k = 1; k <= n; k++) {
        double dum = a[imax][k];
        a[imax][k] = a[j][k];
        a[j][k] = dum;
      }
      *d = -(*d);
      vv[imax] = vv[j];
    }
    indx[j] = imax;
    if (a[j][j] == 0.0) a[j][j] = TINY;
    if (j != n) {
      double dum = 1.0 / a[j][j];
      for (int i = j + 1; i <= n; i++) a[i][j] *= dum;
    }
  }
  free_dvector(vv, 1, n);
}

void dlubksb(double **a, int n, int *indx, double *b) {
  int ii = 0;
  for (int i = 1; i <= n; i++) {
    int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (ii) {
      for (int j = ii; j < i; j++) sum -= a[i][j] * b[j];
    } else if (sum != 0.0) {
      // Leading zeros of b contribute nothing; start the sums at the first
      // nonzero element.
      ii = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; i--) {
    double sum = b[i];
    for (int j = i + 1; j <= n; j++) sum -= a[i][j] * b[j];
    b[i] = sum / a[i][i];
  }
}

double **dmat_inverse(double **mat, int n) {
  double **y = dmatrix(1, n, 1, n);
  double *col = dvector(1, n);
  int *indx = ivector(1, n);
  double d;
  dludcmp(mat, n, indx, &d);
  for (int j = 1; j <= n; j++) {
    for (int i = 1; i <= n; i++) col[i] = 0.0;
    col[j] = 1.0;
    dlubksb(mat, n, indx, col);
    for (int i = 1; i <= n; i++) y[i][j] = col[i];
  }
  free_dvector(col, 1, n);
  free_ivector(indx, 1, n);
  return y;
}
