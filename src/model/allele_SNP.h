// The state of the Markov chain: the locus record, the worker description,
// the model-wide matrices, and the likelihood, prior, initialisation and
// update operations built on them.
#ifndef PELTRA_MODEL_ALLELE_SNP_H
#define PELTRA_MODEL_ALLELE_SNP_H

#include <pthread.h>

// One biallelic locus. Vectors are offset-indexed over 1..NUMPOPS and are
// owned by the record; records live until the process ends.
struct ALLELE {
  int *count;              // copies (pooled: reads) of the counted allele per population
  int *total;              // copies (pooled: coverage) of both alleles per population
  ALLELE *next;            // always null: one record per locus
  double epsilon;          // ancestral frequency, 0 < epsilon < 1
  double *theta_offset;    // population offsets theta_k
  double *multinom_prob;   // cached log-likelihood per population
  double multivar_prob;    // cached prior exponent of theta_offset
};

// Work description of one worker: loci low .. hi-1 of loc.
struct THREAD_DATA {
  int low;
  int hi;
  int allelesupdated;      // accepted theta moves in the worker's last run
  double **sum;            // K x K partial sum of the covariance update
  ALLELE **loc;            // the shared locus array
};

// Model-wide matrices (K x K, offset-indexed) and values.
extern double **sigmas;                   // matrix mode: scale sum / reported Sigma; test mode: Sigma as read
extern double **sigmas_inverse;           // Sigma^-1, used by multivar_prob
extern double **chol_dec_sigmas;          // lower Cholesky factor L of Sigma
extern double **chol_dec_sigmas_inverse;  // L^-1
extern double **temp_matrix;              // scratch
extern double sigmas_det;                 // determinant reported by choldc_inverse_det; read by nothing
extern double *pop_spec_mean;             // mu, all zero
extern double NU;                         // Wishart degrees of freedom: NUMPOPS + num_alleles
extern int *samplesizes;                  // pooled mode: allele copies per pool (1..NUMPOPS)
extern int EPSILON_UPDATED;               // progress count of accepted epsilon moves
extern int ALLELESUPDATED;                // progress count of accepted theta moves
extern pthread_mutex_t norm;              // held by workers around each draw

// Log-likelihood of loc->count[pop] given the allele frequency theta
// (binomial, or the pooled binomial mixture with POOL; pools above 170
// copies are summed in logs, where the terms leave the double range). Fatal
// when theta contradicts the data.
double multinom_prob(double theta, ALLELE *loc, int pop);
// -0.5 vec^T Sigma^-1 vec / (epsilon (1 - epsilon)), from sigmas_inverse's lower triangle.
double multivar_prob(double *vec, double epsilon);
// n! / ((n-k)! k!) by the factorial product for n <= 170; above that through
// log-gamma, so that it overflows only where the coefficient itself exceeds
// the double range.
double binomial_coeff(int n, int k);
// Builds the pooled weight table for sample sizes up to n and coverages up to
// m (from min_samplesize and min_coverage up). Fatal, with a hint to run
// without -l, when the table would take more than a quarter of the memory.
void init_lookup(int n, int m);
// The pooled weight table: one block holding w(s, l, t, c) for pools up to
// 170 copies and ln w above, indexed by l, s, t, c; null until init_lookup.
extern double *lookup;

// Chain initialisation.
void init_pop_spec_mean();
void init_sigmas();
void init_epsilon(ALLELE **loc);
void init_thetas(ALLELE **loc);

// One Metropolis step on a locus's ancestral frequency (main thread).
void update_epsilon(ALLELE *loc);
// The epsilon step of loc[0] .. loc[n-1]: the draws, decisions and values of
// update_epsilon called for each in locus order, with the ratios of large
// batches computed by the worker pair.
void update_epsilon_all(ALLELE **loc, int n);
double epsilon_prior_ratio(double epsilon_star, double epsilon);
double epsilon_deviate();

// Worker routine: one joint Metropolis step on the offsets of every locus of
// the share t (a THREAD_DATA *). Returns null.
void *update_thetas(void *t);
// The offsets step of both shares on the worker pair, its draws in one fixed
// order: normal deviates block by block, the shares' blocks alternating;
// uniforms in locus order once both workers are done. The seed thus fixes
// the result. With an empty share, update_thetas on both shares in turn.
void update_thetas_pair(THREAD_DATA *first, THREAD_DATA *second);
// Worker routine: fills t's sum with its share of the covariance statistic.
void *calc_sample_matrix(void *t);
// Gibbs draw of Sigma^-1 from the Wishart distribution given all loci.
void update_sigmas(ALLELE **loc);

#endif
