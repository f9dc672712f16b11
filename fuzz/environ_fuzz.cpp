// Fuzz target of the environment-file reader. Input: one byte for NUMPOPS,
// one for number_environ (1 .. 8), then the file.
#include <cmath>

#include "fuzz_support.h"
#include "input/readers.h"
#include "ledger.h"
#include "numerics/nrutil.h"
#include "run/config.h"

static void read_file() {
  environ_values = dmatrix(1, number_environ, 1, NUMPOPS);
  read_environ();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  reset_configuration(-1);
  NUMPOPS = numpops_from(data[0]);
  number_environ = 1 + data[1] % 8;
  ENVIRON_FILE = fuzz_file();
  write_fuzz_file(data + 2, size - 2);

  if (run_guarded(read_file) == RETURNED) {
    for (int i = 1; i <= number_environ; i++)
      for (int pop = 1; pop <= NUMPOPS; pop++)
        require(std::isfinite(environ_values[i][pop]), "a value that is not finite");
  }
  environ_values = nullptr;
  ledger_release();
  return 0;
}
