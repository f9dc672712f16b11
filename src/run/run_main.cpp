// The run from the command line to the exit: the early start-up steps here,
// then the stages of run_control.h in order.
#include "run/run.h"

#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "model/allele_SNP.h"
#include "run/config.h"
#include "run/run_control.h"

int run_main(int argc, char **argv) {
  // A closed pipe on standard output then fails the write (EPIPE), which
  // the run reports, instead of killing the process without a word.
  signal(SIGPIPE, SIG_IGN);
  // Not a terminal: a buffer that holds a whole covariance report (up to
  // some 250 populations), so that the flush after each report writes it in
  // one piece.
  if (!isatty(1)) setvbuf(stdout, nullptr, _IOFBF, 1 << 20);
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
  flush_standard_output();
  run_loop();
  if (TEST) write_test_results();
  close_working_file(pop_spec_out, "pop_spec.out", "covariance report file");
  flush_standard_output();
  return 0;
}
