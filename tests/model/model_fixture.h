// Process-wide model state for the model tests: K populations, identity
// covariance matrices, zero means, hand-built loci; stream replay helpers;
// and a death-test macro for messages that go to standard output.
#ifndef PELTRA_TESTS_MODEL_FIXTURE_H
#define PELTRA_TESTS_MODEL_FIXTURE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "model/allele_SNP.h"
#include "model/workers.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "random/randlib.h"
#include "run/config.h"

namespace modeltest {

// Fatal model messages go to standard output; death tests match standard
// error, so the child sends the one to the other first.
#define EXPECT_STDOUT_DEATH(statement, regex)                                            \
  EXPECT_EXIT(                                                                           \
      {                                                                                  \
        fflush(stdout);                                                                  \
        dup2(STDERR_FILENO, STDOUT_FILENO);                                              \
        statement;                                                                       \
      },                                                                                 \
      ::testing::ExitedWithCode(1), regex)

inline double **identity(int K) {
  double **m = dmatrix(1, K, 1, K);
  for (int i = 1; i <= K; i++)
    for (int j = 1; j <= K; j++) m[i][j] = i == j;
  return m;
}

// Fresh model-wide state for K populations in the ordinary (not pooled) mode.
// The state and its loci live until the process ends, by design.
inline void setup_model(int K) {
  NUMPOPS = K;
  POOL = 0;
  LOOKUP = 0;
  X_DEV = 0.05;
  lambda_D = lambda_A = 0.001;
  pop_spec_mean = dvector(1, K);
  for (int k = 1; k <= K; k++) pop_spec_mean[k] = 0;
  sigmas = identity(K);
  sigmas_inverse = identity(K);
  chol_dec_sigmas = identity(K);
  chol_dec_sigmas_inverse = identity(K);
  temp_matrix = identity(K);
  EPSILON_UPDATED = 0;
}

// A locus with the given counts and totals (populations 1..K in order),
// offsets zero and cached terms zero.
inline ALLELE *make_locus(const std::vector<int> &count, const std::vector<int> &total,
                          double epsilon = 0.5) {
  int K = (int)count.size();
  ALLELE *a = new ALLELE();  // null and zero fields
  a->count = ivector(1, K);
  a->total = ivector(1, K);
  a->theta_offset = dvector(1, K);
  a->multinom_prob = dvector(1, K);
  for (int k = 1; k <= K; k++) {
    a->count[k] = count[k - 1];
    a->total[k] = total[k - 1];
    a->theta_offset[k] = 0;
    a->multinom_prob[k] = 0;
  }
  a->epsilon = epsilon;
  return a;
}

// The two worker descriptions over loc[0 .. L-1], split as at start-up.
inline void setup_workers(ALLELE **loc, int L) {
  NUMLOCI = L;
  THREAD_DATA *tds[2] = {new THREAD_DATA(), new THREAD_DATA()};
  for (THREAD_DATA *t : tds) {
    t->sum = dmatrix(1, NUMPOPS, 1, NUMPOPS);
    t->loc = loc;
    t->allelesupdated = -1;
  }
  tds[0]->low = 0;
  tds[0]->hi = L / 2;
  tds[1]->low = L / 2;
  tds[1]->hi = L;
  thread_data1 = tds[0];
  thread_data2 = tds[1];
}

// The first value of ran1 seeded from s; leaves seed = s so that the code
// under test reseeds and draws it again.
inline float first_ran1(long s) {
  seed = s;
  float u = ran1(&seed);
  seed = s;
  return u;
}

// The first n gennor(0, sd) deviates after setall(s1, s2); reseeds again
// afterwards.
inline std::vector<float> normal_stream(long s1, long s2, int n, float sd = 1) {
  std::vector<float> v;
  setall(s1, s2);
  for (int i = 0; i < n; i++) v.push_back(gennor(0, sd));
  setall(s1, s2);
  return v;
}

}  // namespace modeltest

#endif
