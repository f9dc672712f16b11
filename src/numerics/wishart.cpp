// Wishart deviate by the Bartlett decomposition: with L the lower Cholesky
// factor of the scale and T upper triangular (chi-square roots on the
// diagonal, standard normals above it), L (T^T T) L^T is a Wishart matrix.
#include "numerics/wishart.h"

#include <cmath>

#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "random/randlib.h"

void wish(int p, int n, double **a, double **s, long * /*idum*/) {
  double *d = dvector(1, p);
  double *y = dvector(1, p);
  double **z = dmatrix(1, p, 1, p);
  double **b = dmatrix(1, p, 1, p);

  choldc(a, p, d);
  for (int i = 1; i <= p; i++) {
    a[i][i] = d[i];
    for (int j = i + 1; j <= p; j++) a[i][j] = 0.0;
  }
  double **a_trans = dmat_transpose(a, p, p);

  // All normals, column by column over the upper triangle, come before the
  // first gamma deviate; the diagonal normals are drawn but never used.
  for (int j = 1; j <= p; j++)
    for (int i = 1; i <= j; i++) z[i][j] = gennor(0.0f, 1.0f);
  // Rate 0.5 and shape (n - i)/2: a chi-square deviate with n - i degrees of
  // freedom.
  for (int i = 1; i <= p; i++) y[i] = gengam(0.5f, (float)((n - i) * 0.5));

  // b = T^T T, each entry accumulated in place in the order below.
  b[1][1] = y[1];
  for (int j = 2; j <= p; j++) {
    b[j][j] = y[j];
    for (int i = 1; i < j; i++) b[j][j] += z[i][j] * z[i][j];
    b[1][j] = sqrt(y[1]) * z[1][j];
    for (int i = 2; i < j; i++) {
      b[i][j] = sqrt(y[i]) * z[i][j];
      for (int k = 1; k < i; k++) b[i][j] += z[k][i] * z[k][j];
    }
    for (int k = 1; k < j; k++) b[j][k] = b[k][j];
  }

  double **intermed = dmat_mult(b, p, p, a_trans, p, p);
  double **product = dmat_mult(a, p, p, intermed, p, p);
  // Each off-diagonal pair is written from one value, so s is exactly
  // symmetric whatever rounding the products left.
  for (int i = 1; i <= p; i++) {
    s[i][i] = product[i][i];
    for (int k = 1; k < i; k++) s[i][k] = s[k][i] = (product[i][k] + product[k][i]) * 0.5;
  }

  free_dmatrix(intermed, 1, p, 1, p);
  free_dmatrix(product, 1, p, 1, p);
  free_dmatrix(a_trans, 1, p, 1, p);
  free_dmatrix(z, 1, p, 1, p);
  free_dmatrix(b, 1, p, 1, p);
  free_dvector(d, 1, p);
  free_dvector(y, 1, p);
}
