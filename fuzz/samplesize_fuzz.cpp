// Fuzz target of the pooled sample-size reader. Input: one byte for
// NUMPOPS, then the file.
#include "fuzz_support.h"
#include "input/readers.h"
#include "ledger.h"
#include "run/config.h"

static void read_file() { read_samplesize(); }

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  reset_configuration(-1);
  NUMPOPS = numpops_from(data[0]);
  SAMPLESIZE_FILE = fuzz_file();
  write_fuzz_file(data + 1, size - 1);

  if (run_guarded(read_file) == RETURNED) {
    int lo = samplesizes[1], hi = samplesizes[1];
    for (int pop = 1; pop <= NUMPOPS; pop++) {
      require(samplesizes[pop] >= 2, "a pool of fewer than 2 copies");
      if (samplesizes[pop] < lo) lo = samplesizes[pop];
      if (samplesizes[pop] > hi) hi = samplesizes[pop];
    }
    require(hi <= 2000000, "a pool beyond the largest supported");
    require(lo == min_samplesize && hi == max_samplesize, "sample-size extremes");
  }
  samplesizes = nullptr;
  ledger_release();
  return 0;
}
