// Start-up (early steps only so far; the rest of the run follows).
#include "run/run.h"

#include <sys/time.h>

#include <cstdio>

#include "model/allele_SNP.h"
#include "random/randlib.h"
#include "run/config.h"

int run_main(int argc, char **argv) {
  ENVIRON_FILE = "";
  OUTPUT_NAME = "";
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  seed = -(long)tv.tv_usec;

  if (argc == 1) usage();
  parse_cl(argc, argv);
  pthread_mutex_init(&norm, nullptr);
  check_configuration();

  printf("TEST = %d . ", TEST);
  puts(TEST == 0 ? "So running matrix estimation" : "So running test at a SNP");

  long s = -seed;
  setall(2 * s, s);
  return 0;
}
