#include "run/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>

void terminate_process(int status) {
#ifdef PELTRA_FUZZ_BUILD
  fflush(nullptr);
  throw process_exit{status};
#endif
  // _exit, not exit: a worker thread may still run, and static destructors
  // must not pull state away from under it.
  fflush(nullptr);
  _exit(status);
}

void fatal(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stdout, fmt, ap);
  va_end(ap);
  terminate_process(1);
}

void fatal_stderr(const char *fmt, ...) {
  // Lines already printed on stdout come before the message when both
  // streams end up in the same place.
  fflush(stdout);
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  terminate_process(1);
}

void hint(const char *fmt, ...) {
  fflush(stdout);
  fputs("peltra2: ", stderr);
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fputc('\n', stderr);
}
