// Fuzz target of the covariance-matrix reader. Input: one byte for NUMPOPS
// (1 .. 48: a K x K matrix of an input of 4096 bytes is small), one for the number of matrices read one after the other (1 .. 3), then the
// file.
#include <cmath>

#include "fuzz_support.h"
#include "input/readers.h"
#include "ledger.h"
#include "numerics/nrutil.h"
#include "run/config.h"

static int matrices;

static void read_file() {
  sigmas = dmatrix(1, NUMPOPS, 1, NUMPOPS);
  for (int m = 0; m < matrices; m++) read_matrix();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  reset_configuration(-1);
  NUMPOPS = 1 + data[0] % 48;
  matrices = 1 + data[1] % 3;
  MATRIX_FILE = fuzz_file();
  write_fuzz_file(data + 2, size - 2);

  if (run_guarded(read_file) == RETURNED) {
    require(read_matrix_num == matrices && matrix_in != nullptr, "matrix stream state");
    for (int i = 1; i <= NUMPOPS; i++)
      for (int j = 1; j <= NUMPOPS; j++)
        require(std::isfinite(sigmas[i][j]), "an entry that is not finite");
  }
  // The stream that stays open between calls is closed by the ledger.
  sigmas = nullptr;
  matrix_in = nullptr;
  read_matrix_num = 0;
  ledger_release();
  return 0;
}
