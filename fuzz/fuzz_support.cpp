// Shared helpers of the fuzz targets; see fuzz_support.h.
#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "input/readers.h"
#include "ledger.h"
#include "model/allele_SNP.h"
#include "run/config.h"
#include "run/fatal.h"
#include "stats/stats.h"

static std::string scratch_name;

static void remove_scratch() { unlink(scratch_name.c_str()); }

const char *fuzz_file() {
  if (scratch_name.empty()) {
    const char *tmp = getenv("TMPDIR");
    std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : P_tmpdir;
    // Memory-backed where there is /dev/shm: the file is rewritten for
    // every input.
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) dir = "/dev/shm";
    scratch_name = dir + "/peltra2-fuzz-" + std::to_string(getpid());
    atexit(remove_scratch);
  }
  return scratch_name.c_str();
}

void write_fuzz_file(const uint8_t *data, size_t size) {
  int fd = open(fuzz_file(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  require(fd >= 0, "cannot create the scratch file");
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    require(n > 0, "cannot write the scratch file");
    done += (size_t)n;
  }
  close(fd);
}

void reset_configuration(long seed_value) {
  ITER = 0;
  NUMPOPS = 0;
  INPUT_FILE = nullptr;
  environ_num = nullptr;
  ENVIRON_FILE = "";
  MATRIX_FILE = nullptr;
  SAMPLESIZE_FILE = nullptr;
  OUTPUT_NAME = "";
  OUTPUT_SET = 0;
  number_environ = 0;
  seed = seed_value;
  TEST = 0;
  POOL = 0;
  LOOKUP = 0;
  SNP_TEST = 1;
  PRINT_COR = 0;
  FREQS_OUTPUT = 0;
  CALC_XTX = 0;
  X_DEV = 0.05;
  num_beta = 101;
  max_coverage = 0;
  min_coverage = 2000000;
  max_samplesize = 0;
  min_samplesize = 2000000;
  NUMLOCI = 0;
  num_alleles = 0;
  XtX = 0;
  environ_values = nullptr;
  matrix_in = nullptr;
  read_matrix_num = 0;
  sigmas = nullptr;
  samplesizes = nullptr;
  pop_spec_mean = nullptr;
}

int run_guarded(void (*fn)()) {
  int status = RETURNED;
  ledger_open();
  try {
    fn();
  } catch (const process_exit &e) {
    status = e.status;
  }
  ledger_close();
  if (status != RETURNED && status != 1) {
    fprintf(stderr, "fatal condition with exit status %d\n", status);
    abort();
  }
  return status;
}

int numpops_from(uint8_t b) {
  if (b < 224) return 1 + b % 16;
  return 16 + (b - 224) * 64;
}

void require(bool ok, const char *what) {
  if (ok) return;
  fprintf(stderr, "invariant broken: %s\n", what);
  abort();
}

void quiet_stdout() {
  if (freopen("/dev/null", "w", stdout) == nullptr) require(false, "cannot silence standard output");
}
