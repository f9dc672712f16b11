// Fuzz target of the count-file reader. Input: one byte that gives NUMPOPS,
// then the file. Every input must either be read into loci that satisfy the
// reader's promises or end with a fatal message and status 1.
#include <cmath>

#include "fuzz_support.h"
#include "input/readers.h"
#include "ledger.h"
#include "run/config.h"

static const int LOCUS_ARRAY = 100000;
static ALLELE **loci;

static void read_file() { read_snpcounts(loci); }

// What a completed read promises: whole loci, non-negative counts within
// their totals, at least one copy per locus and coverage extremes that
// bound every total.
static void check_loci() {
  require(NUMLOCI >= 1 && NUMLOCI <= LOCUS_ARRAY, "locus count out of range");
  require(num_alleles == 2.0 * NUMLOCI, "num_alleles is not twice the loci");
  require(NUMLOCI == LOCUS_ARRAY || loci[NUMLOCI] == nullptr, "a record beyond NUMLOCI");
  for (int i = 0; i < NUMLOCI; i++) {
    const ALLELE *a = loci[i];
    require(a != nullptr && a->next == nullptr, "missing record");
    bool any_copy = false;
    for (int pop = 1; pop <= NUMPOPS; pop++) {
      require(a->count[pop] >= 0 && a->count[pop] <= a->total[pop], "count outside 0 .. total");
      require(a->total[pop] >= min_coverage && a->total[pop] <= max_coverage,
              "total outside the coverage extremes");
      if (a->total[pop] > 0) any_copy = true;
    }
    require(any_copy, "a locus without copies");
  }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_stdout();
  loci = new ALLELE *[LOCUS_ARRAY]();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  reset_configuration(-1);
  NUMPOPS = numpops_from(data[0]);
  INPUT_FILE = fuzz_file();
  write_fuzz_file(data + 1, size - 1);

  if (run_guarded(read_file) == RETURNED) check_loci();

  // The vectors of the records are in the ledger; the records are not.
  for (int i = 0; i < LOCUS_ARRAY && loci[i] != nullptr; i++) {
    delete loci[i];
    loci[i] = nullptr;
  }
  ledger_release();
  return 0;
}
