// The two uniform generators and the deviates built on them: every proposal
// and acceptance test of the chain costs one or more of these calls, drawn
// in series.
#include <benchmark/benchmark.h>

#include "random/ran_gen.h"
#include "random/randlib.h"

namespace {

void seed_both() {
  static bool done = false;
  if (done) return;
  setall(2 * 4711, 4711);
  done = true;
}

void BM_ran1(benchmark::State &state) {
  long s = -4711;
  ran1(&s);
  for (auto _ : state) benchmark::DoNotOptimize(ran1(&s));
}
BENCHMARK(BM_ran1);

void BM_ranf(benchmark::State &state) {
  seed_both();
  for (auto _ : state) benchmark::DoNotOptimize(ranf());
}
BENCHMARK(BM_ranf);

void BM_snorm(benchmark::State &state) {
  seed_both();
  for (auto _ : state) benchmark::DoNotOptimize(snorm());
}
BENCHMARK(BM_snorm);

// gennor is what the chain calls: snorm plus the argument check.
void BM_gennor(benchmark::State &state) {
  seed_both();
  for (auto _ : state) benchmark::DoNotOptimize(gennor(0, 0.05f));
}
BENCHMARK(BM_gennor);

// The deviates of a block of the theta step (32 loci of 10 populations),
// drawn in one run: time per deviate.
void BM_gennor_fill_per_deviate(benchmark::State &state) {
  seed_both();
  float out[320];
  for (auto _ : state) {
    gennor_fill(out, 320, 0, 0.05f);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * 320);
}
BENCHMARK(BM_gennor_fill_per_deviate);

// Shapes: 0.5 (algorithm GS), and the GD branches; the Wishart draw of a
// matrix estimation run calls it with shapes around NU / 2, in the tens of
// thousands.
void BM_sgamma(benchmark::State &state) {
  seed_both();
  float shape = state.range(0) / 10.0f;
  for (auto _ : state) benchmark::DoNotOptimize(sgamma(shape));
  state.SetLabel("shape " + std::to_string(shape));
}
BENCHMARK(BM_sgamma)->Arg(5)->Arg(10)->Arg(30)->Arg(100)->Arg(500)->Arg(1000000);

}  // namespace
