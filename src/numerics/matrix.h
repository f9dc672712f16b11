// Dense linear algebra on offset-indexed matrices and vectors (lower bound 1).
// Matrices returned by these functions are new n x n (or r x c) dmatrix
// blocks owned by the caller. Fatal conditions go through nrerror.
#ifndef PELTRA_NUMERICS_MATRIX_H
#define PELTRA_NUMERICS_MATRIX_H

// Cholesky factor of the symmetric positive-definite matrix given by a's upper
// triangle: L's strictly lower part into a's strictly lower triangle, L's
// diagonal into p[1..n]; a's diagonal and upper triangle are left as they
// were. "choldc failed" when a diagonal sum is <= 0.
void choldc(double **a, int n, double *p);

// Returns a new matrix holding mat^-1 (through the Cholesky factor); stores
// det(mat) at *det and leaves L^-1 in mat (zeros above the diagonal).
double **choldc_inverse_det(double **mat, int n, double *det);

// Returns a new matrix holding mat^-1 by LU decomposition; mat is overwritten
// with its decomposition. Work storage is its own.
double **dmat_inverse(double **mat, int n);

// Crout LU decomposition with implicit pivoting, in place; row interchanges
// into indx[1..n], +-1 into *d.
void dludcmp(double **a, int n, int *indx, double *d);

// Solves A x = b in place for a decomposed by dludcmp.
void dlubksb(double **a, int n, int *indx, double *b);

// Returns a new r1 x c2 matrix m1 * m2; "invalid matrix multiplication" when
// c1 != r2.
double **dmat_mult(double **m1, int r1, int c1, double **m2, int r2, int c2);

// Returns a new n x m matrix, the transpose of the m x n matrix mat.
double **dmat_transpose(double **mat, int m, int n);

// Copies mat1's lower triangle (diagonal included) into both triangles of mat2.
void dsymmat_cpy2(double **mat1, double **mat2, int n);

// out = m v (full n x n); out must differ from v. Returns null.
double *dmat_vect_mult(double **m, double *v, double *out, int n);

// out = (lower triangle of m, diagonal included) v; out must differ from v.
// Returns null.
double *dmat_vect_mult_tri(double **m, double *v, double *out, int n);

// Quadratic form v^T M v with M given by its lower triangle.
double dvect_symmat_mult(double *v, double **m, int n);

// Prints the m x n matrix on standard output: a newline, each row as "%e\t"
// entries and a newline, then one more newline.
void dprint_mat(double **mat, int m, int n);

#endif
