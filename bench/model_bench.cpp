// The model's inner pieces: the per-population likelihoods, the prior's
// quadratic form, and one locus's theta and epsilon updates. A matrix
// estimation iteration costs L of each update; a test run 100000 of each.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_state.h"
#include "model/allele_SNP.h"
#include "model/pool_weights.h"
#include "numerics/matrix.h"
#include "numerics/nrutil.h"
#include "run/config.h"

namespace {

// Frequencies spread over (0, 1) so that the logarithms see varied input.
double frequency(int i) { return 0.05 + 0.9 * ((i * 37) % 101) / 101.0; }

void BM_multinom_prob_binomial(benchmark::State &state) {
  bench::setup_model(10);
  ALLELE *a = bench::new_locus(40);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(multinom_prob(frequency(i), a, 1 + i % 10));
    i++;
  }
}
BENCHMARK(BM_multinom_prob_binomial);

// Pools of 40 copies, coverage up to 100: the weight table, or the weights
// computed at start-up for the triples of the data, remove the coefficient
// and two of the four powers of every term.
void pooled(benchmark::State &state, int n, bool table, bool precomputed = false) {
  bench::setup_model(10);
  bench::setup_pooled(n, 100, table);
  ALLELE *a = bench::new_locus(100);
  init_pool_weights(&a, precomputed ? 1 : 0);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(multinom_prob(frequency(i), a, 1 + i % 10));
    i++;
  }
  bench::leave_pooled();
}

void BM_multinom_prob_pooled_n40(benchmark::State &state) { pooled(state, 40, false); }
BENCHMARK(BM_multinom_prob_pooled_n40);

void BM_multinom_prob_pooled_n40_table(benchmark::State &state) { pooled(state, 40, true); }
BENCHMARK(BM_multinom_prob_pooled_n40_table);

// As the program runs without -l: the weights of the data's triples computed
// once at start-up.
void BM_multinom_prob_pooled_n40_precomputed(benchmark::State &state) { pooled(state, 40, false, true); }
BENCHMARK(BM_multinom_prob_pooled_n40_precomputed);

// Without the table, over pool sizes: the cost per call must grow linearly
// in n (n - 1 terms of constant cost). Above 170 copies the terms are summed
// in logarithms.
void BM_multinom_prob_pooled_by_n(benchmark::State &state) {
  pooled(state, (int)state.range(0), false);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_multinom_prob_pooled_by_n)
    ->Arg(20)->Arg(40)->Arg(80)->Arg(160)->Arg(320)->Arg(640)
    ->Complexity(benchmark::oN);

// The prior's quadratic form v^T Sigma^-1 v over the lower triangle.
void BM_dvect_symmat_mult(benchmark::State &state) {
  int k = (int)state.range(0);
  bench::setup_model(k);
  double *v = dvector(1, k);
  for (int i = 1; i <= k; i++) v[i] = 0.01 * i - 0.1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(v);
    benchmark::DoNotOptimize(dvect_symmat_mult(v, sigmas_inverse, k));
  }
  free_dvector(v, 1, k);
}
BENCHMARK(BM_dvect_symmat_mult)->Arg(10)->Arg(40);

// One locus's joint theta step: the refreshed prior term, K normal
// deviates, the Cholesky product, K likelihoods, the proposal's prior term
// and at most one uniform.
void BM_update_thetas_one_locus(benchmark::State &state) {
  int k = (int)state.range(0);
  bench::setup_model(k);
  std::vector<ALLELE *> loci{bench::new_locus(40)};
  THREAD_DATA td{0, 1, 0, nullptr, loci.data()};
  for (auto _ : state) update_thetas(&td);
}
BENCHMARK(BM_update_thetas_one_locus)->Arg(10)->Arg(40);

// The step over a share of 1000 loci on one worker, per locus: the loci of
// a share are taken in blocks and pairs, as in matrix estimation (without
// the other worker).
void BM_update_thetas_share_per_locus(benchmark::State &state) {
  int k = (int)state.range(0);
  bench::setup_model(k);
  std::vector<ALLELE *> loci;
  for (int i = 0; i < 1000; i++) loci.push_back(bench::new_locus(40));
  THREAD_DATA td{0, 1000, 0, nullptr, loci.data()};
  for (auto _ : state) update_thetas(&td);
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_update_thetas_share_per_locus)->Arg(10)->Arg(40);

// The same step in pooled mode (40 copies, coverage up to 100), without the
// table (weights computed at start-up, as the program does) and with it.
void BM_update_thetas_one_locus_pooled(benchmark::State &state) {
  bench::setup_model(10);
  bench::setup_pooled(40, 100, state.range(0) != 0);
  std::vector<ALLELE *> loci{bench::new_locus(100)};
  init_pool_weights(loci.data(), state.range(0) ? 0 : 1);
  THREAD_DATA td{0, 1, 0, nullptr, loci.data()};
  for (auto _ : state) update_thetas(&td);
  state.SetLabel(state.range(0) ? "table" : "no table");
  bench::leave_pooled();
}
BENCHMARK(BM_update_thetas_one_locus_pooled)->Arg(0)->Arg(1);

// One epsilon step: one normal deviate, the shifted offsets' prior term and
// at most one uniform.
void BM_update_epsilon(benchmark::State &state) {
  int k = (int)state.range(0);
  bench::setup_model(k);
  ALLELE *a = bench::new_locus(40);
  for (auto _ : state) update_epsilon(a);
}
BENCHMARK(BM_update_epsilon)->Arg(10)->Arg(40);

// The covariance statistic over a share of 1000 loci (per locus: K(K+1)/2
// multiply-adds).
void BM_calc_sample_matrix_1000_loci(benchmark::State &state) {
  int k = (int)state.range(0);
  bench::setup_model(k);
  std::vector<ALLELE *> loci;
  for (int i = 0; i < 1000; i++) loci.push_back(bench::new_locus(40));
  THREAD_DATA td{0, 1000, 0, dmatrix(1, k, 1, k), loci.data()};
  for (auto _ : state) calc_sample_matrix(&td);
  free_dmatrix(td.sum, 1, k, 1, k);
}
BENCHMARK(BM_calc_sample_matrix_1000_loci)->Arg(10)->Arg(40);

}  // namespace
