// The true population structure of a simulation: the covariance matrix
// Sigma (from a random tree, from groups, or from a file), its Cholesky
// factor, and the environmental variables.
#ifndef PELTRA_TOOLS_SIMULATE_STRUCTURE_H
#define PELTRA_TOOLS_SIMULATE_STRUCTURE_H

#include <string>
#include <vector>

#include "simulate/rng.h"

// A dense matrix, rows of columns, 0-based.
typedef std::vector<std::vector<double>> Matrix;

// Sigma of a random rooted binary tree over `pops` leaves: lineages are
// joined in uniformly chosen pairs, every branch gets a drift length uniform
// on [bmin, bmax], and Sigma[i][j] is the total length from the root to the
// common ancestor of i and j (to the leaf itself on the diagonal).
Matrix tree_sigma(int pops, double bmin, double bmax, Rng &r);

// Group index (0-based) of population k when `pops` populations form
// `groups` blocks of consecutive populations, the first pops % groups
// blocks one population larger.
int group_of(int k, int pops, int groups);

// Sigma of the group structure: `shared` between two populations of one
// group (and on the diagonal), plus `priv` on the diagonal.
Matrix groups_sigma(int pops, int groups, double shared, double priv);

// Reads a pops x pops matrix from the first `pops` lines of `file` (values
// separated by tabs or spaces); fails with the file, line and field for a
// missing or malformed value, and for an asymmetric matrix; warns about
// extra values and lines. Returns the lower triangle mirrored upward.
Matrix read_sigma_file(const std::string &file, int pops);

// Lower Cholesky factor of the symmetric matrix a; false when a is not
// positive definite.
bool cholesky_lower(const Matrix &a, Matrix &l);

// Rounds every entry to the text that `fmt` prints for it, so that the
// values simulated with are exactly those written to the files.
void round_to_printed(Matrix &a, const char *fmt);

// `n` environmental variables over `pops` populations: standard normal
// values, centred and scaled to variance 1 across the populations when
// there are two or more.
Matrix environ_variables(int n, int pops, Rng &r);

#endif
