// Opening and closing the files a run writes. Working files are replaced by
// each run; result files only ever receive whole lines appended.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "run/fatal.h"
#include "run/run_control.h"

FILE *open_working_file(const char *name, const char *what) {
  FILE *f = fopen(name, "w");
  if (f == nullptr)
    fatal("cannot open the %s \"%s\" for writing: %s\n", what, name, strerror(errno));
  return f;
}

void close_working_file(FILE *f, const char *name, const char *what) {
  // A full disk shows up only here; the run must not end as a success then.
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) fatal("error while writing the %s \"%s\"\n", what, name);
}

void flush_working_file(FILE *f, const char *name, const char *what) {
  if (fflush(f) != 0 || ferror(f)) fatal("error while writing the %s \"%s\"\n", what, name);
}

void flush_standard_output() {
  // Standard output is a run's record of its reports: a full disk or a
  // reader that has gone away must not let the run end as a success. The
  // message goes to standard error, since standard output no longer works.
  if (fflush(stdout) != 0 || ferror(stdout)) {
    int e = errno;
    fatal_stderr("peltra2: cannot write to standard output: %s\n", e != 0 ? strerror(e) : "write error");
  }
}

int open_result_file(const std::string &name, const char *hint) {
  int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (fd < 0)
    fatal("cannot open the result file \"%s\" for appending: %s%s\n", name.c_str(),
          strerror(errno), hint);
  return fd;
}

void write_result_line(int fd, const std::string &name, const std::string &line) {
  // One write per line: with O_APPEND the kernel places each write whole at
  // the end of the file, so runs appending at the same time never mix lines.
  ssize_t n;
  do {
    n = write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n != (ssize_t)line.size())
    fatal("cannot write the result line to \"%s\": %s\n", name.c_str(),
          n < 0 ? strerror(errno) : "short write");
  if (close(fd) != 0)
    fatal("cannot write the result line to \"%s\": %s\n", name.c_str(), strerror(errno));
}

void append_result_line(const std::string &name, const std::string &line, const char *hint) {
  write_result_line(open_result_file(name, hint), name, line);
}
