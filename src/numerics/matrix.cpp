// Cholesky factor and inverse, products, transposition, symmetric copies,
// matrix-vector products, the quadratic form and printing. The loop orders
// fix the rounding of every result, and the chain's exact values depend on
// them, so they are kept as they are.
#include "numerics/matrix.h"

#include <cmath>
#include <cstdio>

#include "numerics/nrutil.h"

void choldc(double **a, int n, double *p) {
  for (int i = 1; i <= n; i++) {
    for (int j = i; j <= n; j++) {
      double sum = a[i][j];
      for (int k = i - 1; k >= 1; k--) sum -= a[i][k] * a[j][k];
      if (i == j) {
        // A NaN sum passes this test and propagates.
        if (sum <= 0.0) nrerror("choldc failed");
        p[i] = sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
}

double **choldc_inverse_det(double **mat, int n, double *det) {
  double *p = dvector(1, n);
  *det = 1.0;
  choldc(mat, n, p);
  // L^-1 column by column over the lower triangle; entries of L still to the
  // right of column i are read before they are overwritten.
  for (int i = 1; i <= n; i++) {
    *det *= p[i];
    mat[i][i] = 1.0 / p[i];
    for (int j = i + 1; j <= n; j++) {
      double sum = 0.0;
      for (int k = i; k < j; k++) sum -= mat[j][k] * mat[k][i];
      mat[j][i] = sum / p[j];
    }
  }
  *det = *det * *det;
  for (int i = 1; i <= n; i++)
    for (int j = i + 1; j <= n; j++) mat[i][j] = 0.0;
  double **mat_T = dmat_transpose(mat, n, n);
  double **mat_inv = dmat_mult(mat_T, n, n, mat, n, n);
  free_dmatrix(mat_T, 1, n, 1, n);
  free_dvector(p, 1, n);
  return mat_inv;
}

double **dmat_mult(double **m1, int r1, int c1, double **m2, int r2, int c2) {
  if (c1 != r2) nrerror("invalid matrix multiplication");
  double **y = dmatrix(1, r1, 1, c2);
  for (int i = 1; i <= r1; i++)
    for (int j = 1; j <= c2; j++) {
      y[i][j] = 0.0;
      for (int k = 1; k <= c1; k++) y[i][j] += m1[i][k] * m2[k][j];
    }
  return y;
}

double **dmat_transpose(double **mat, int m, int n) {
  double **y = dmatrix(1, n, 1, m);
  for (int i = 1; i <= m; i++)
    for (int j = 1; j <= n; j++) y[j][i] = mat[i][j];
  return y;
}

void dsymmat_cpy2(double **mat1, double **mat2, int n) {
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= i; j++) {
      mat2[i][j] = mat1[i][j];
      mat2[j][i] = mat1[i][j];
    }
}

double *dmat_vect_mult(double **m, double *v, double *out, int n) {
  for (int i = 1; i <= n; i++) {
    double sum = 0.0;
    for (int j = 1; j <= n; j++) sum += m[i][j] * v[j];
    out[i] = sum;
  }
  return nullptr;
}

double *dmat_vect_mult_tri(double **m, double *v, double *out, int n) {
  for (int i = 1; i <= n; i++) {
    double sum = 0.0;
    for (int j = 1; j <= i; j++) sum += m[i][j] * v[j];
    out[i] = sum;
  }
  return nullptr;
}

double dvect_symmat_mult(double *v, double **m, int n) {
  if (n <= 0) return 0.0;
  double off = 0.0, diag = 0.0;
  for (int i = 1; i <= n; i++) {
    for (int j = 1; j < i; j++) off += (m[i][j] * v[i]) * v[j];
    diag += (m[i][i] * v[i]) * v[i];
  }
  return (off + off) + diag;
}

void dprint_mat(double **mat, int m, int n) {
  printf("\n");
  for (int i = 1; i <= m; i++) {
    for (int j = 1; j <= n; j++) printf("%e\t", mat[i][j]);
    printf("\n");
  }
  printf("\n");
}
