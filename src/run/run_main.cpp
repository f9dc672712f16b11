// The run from the command line to the exit: the early start-up steps here,
// then the stages of run_control.h in order.
#include "run/run.h"

#include <pthread.h>
#include <sys/time.h>

#include <cstdio>

#include "model/allele_SNP.h"
#include "run/config.h"
#include "run/run_control.h"

int run_main(int argc, char **argv) {
  ENVIRON_FILE = "";
  OUTPUT_NAME = "";
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  seed = -(long)tv.tv_usec;

  if (help_or_version(argc, argv)) return 0;
  if (argc == 1) usage();
  parse_cl(argc, argv);
  pthread_mutex_init(&norm, nullptr);
  check_configuration();

  printf("TEST = %d . ", TEST);
  puts(TEST == 0 ? "So running matrix estimation" : "So running test at a SNP");

  startup();
  run_loop();
  if (TEST) write_test_results();
  close_working_file(pop_spec_out, "pop_spec.out", "covariance report file");
  return 0;
}
