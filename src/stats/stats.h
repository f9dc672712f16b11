// Test statistics and per-sample output of test mode.
#ifndef PELTRA_STATS_STATS_H
#define PELTRA_STATS_STATS_H

#include <cstdio>

#include "model/allele_SNP.h"

extern double *beta_array;          // Bayes-factor grid, 1..num_beta
extern double **beta_imp_weight;    // number_environ x num_beta accumulated weights
extern double *corr_vector;         // 1..number_environ: sums of Spearman correlations
extern double *corr_vector2;        // 1..number_environ: sums of Pearson correlations
extern double **env_transformed;    // number_environ x NUMPOPS: L^-1 e_i (with -c)
extern double **env_ranks;          // ranks of env_transformed rows (with -c)
extern double environ_corr;         // state of the correlation chain
extern double XtX;                  // sum of X^T X over samples
extern FILE *freqs_out;             // the frequency file

// Adds one sample's importance weights for every variable and grid point.
void calc_bf_imp_weight(ALLELE *curr_allele);
// One Metropolis step on environ_corr (strict acceptance rule).
void update_corr(ALLELE *curr_allele);
// Fractional ranks of values[1..NUMPOPS] into ranks[1..NUMPOPS].
void calc_ranking(double *values, double *ranks);
// Pearson correlation of x[1..NUMPOPS] and y[1..NUMPOPS].
double calc_pearson_cor(double *x, double *y);
// Standardised frequencies of every locus: frequency line, correlation sums, XtX.
void print_X(ALLELE **locus);

#endif
