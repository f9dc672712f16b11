// Start-up from the scratch matrix to the opening of "pop_spec.out": the
// inputs are read, the generators seeded and the chain given its starting
// state, each line printed in its place.
#include <cstdio>

#include "input/readers.h"
#include "model/allele_SNP.h"
#include "model/pool_weights.h"
#include "model/workers.h"
#include "numerics/nrutil.h"
#include "random/randlib.h"
#include "run/config.h"
#include "run/fatal.h"
#include "run/run_control.h"

ALLELE **locus = nullptr;
FILE *pop_spec_out = nullptr;

static const double VERSION = 0.71;

static THREAD_DATA *new_thread_data(int low, int hi) {
  THREAD_DATA *t = new THREAD_DATA;
  t->low = low;
  t->hi = hi;
  t->allelesupdated = 0;
  t->sum = dmatrix(1, NUMPOPS, 1, NUMPOPS);
  t->loc = locus;
  return t;
}

static void print_header() {
  printf("MCMC VER %.2f (THREADED)\n", VERSION);
  printf("ITERATIONS = %d\n", ITER);
  printf("INPUT FILE = %s\n", INPUT_FILE);
  if (TEST) printf("MATRIX FILE = %s\n", MATRIX_FILE);
  printf("SEED = %ld\n\n", seed);
}

// Largest seed magnitude the combined generator takes (twice it must stay
// within its first seed's range).
static const long MAX_SEED = 1073741781;

// setall refuses the seed with a message of its own that names no option:
// say first where the seed came from and what it may be.
static void hint_seed_out_of_range(long s) {
  if (s >= 1 && s <= MAX_SEED) return;
  if (seed_arg != nullptr)
    hint("-r \"%s\" gives the seed %ld, which the generator refuses: give a whole number from 1 "
         "to %ld (its sign is ignored)", seed_arg, s, MAX_SEED);
  else
    hint("the seed taken from the clock is %ld, which the generator refuses: run again, or give "
         "a seed with -r (1 to %ld)", s, MAX_SEED);
}

// init_epsilon stops at the first locus whose first allele is absent
// everywhere or present in every copy, with a message giving its 0-based
// index only: name the file and the SNP as a user counts them.
static void hint_monomorphic() {
  for (int l = 0; l < NUMLOCI; l++) {
    double sum_count = 0, sum_total = 0;
    for (int k = 1; k <= NUMPOPS; k++) {
      sum_count += locus[l]->count[k];
      sum_total += locus[l]->total[k];
    }
    if (sum_total == 0) return;
    double e = sum_count / sum_total;
    if (e == 0 || e == 1) {
      hint("count file \"%s\", SNP %d (lines %d-%d): the SNP is monomorphic (its first allele "
           "has %s); remove it from the count file", INPUT_FILE, l + 1, 2 * l + 1, 2 * l + 2,
           e == 0 ? "no copy in any population" : "every copy in every population");
      return;
    }
  }
}

void startup() {
  locus = new ALLELE *[MAX_LOCI]();
  temp_matrix = dmatrix(1, NUMPOPS, 1, NUMPOPS);

  // The pooled sample sizes come first: the pooled likelihood and its table
  // are bounded by them.
  if (POOL) read_samplesize();
  if (TEST) test_stage_a();

  num_alleles = 0;
  // setall rejects S = 0 and S above 1073741781 with its own message.
  long s = -seed;
  hint_seed_out_of_range(s);
  setall(2 * s, s);

  print_header();

  if (TEST) test_stage_b();

  read_snpcounts(locus);
  // The count file comes before the starting covariance matrix, whose
  // inverse takes K^3 steps: a -p wider than the file then fails at once.
  // Nothing is printed in between, and the two draw on separate generators.
  if (!TEST) {
    init_pop_spec_mean();
    init_sigmas();
  }
  if (POOL && LOOKUP) init_lookup(max_samplesize, max_coverage);
  if (POOL && !LOOKUP) init_pool_weights(locus, NUMLOCI);
  NU = NUMPOPS + num_alleles;
  if (TEST) test_stage_c();
  printf("number of loci = %d\n", NUMLOCI);

  hint_monomorphic();
  init_epsilon(locus);
  if (TEST) test_stage_d();
  init_thetas(locus);

  int h = NUMLOCI / 2;
  thread_data1 = new_thread_data(0, h);
  thread_data2 = new_thread_data(h, NUMLOCI);

  pop_spec_out = open_working_file("pop_spec.out", "covariance report file");
}
