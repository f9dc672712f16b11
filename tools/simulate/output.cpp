#include "simulate/output.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/tool_files.h"
#include "simulate/options.h"

FILE *open_output(const std::string &name) { return whole_output_open(name); }

void close_output(FILE *f, const std::string &name) { whole_output_close(f, name); }

void commit_outputs() { whole_output_commit_all(); }

void write_int_line(FILE *f, const std::vector<int> &values) {
  for (size_t k = 0; k < values.size(); ++k) std::fprintf(f, k ? "\t%d" : "%d", values[k]);
  std::fputc('\n', f);
}

void write_matrix(const std::string &name, const Matrix &a, const char *fmt) {
  FILE *f = open_output(name);
  for (const std::vector<double> &row : a) {
    for (size_t j = 0; j < row.size(); ++j) {
      if (j) std::fputc('\t', f);
      std::fprintf(f, fmt, row[j]);
    }
    std::fputc('\n', f);
  }
  close_output(f, name);
}

void write_locus(FILE *f, const Locus &locus) {
  write_int_line(f, locus.count);
  std::vector<int> other(locus.count.size());
  for (size_t k = 0; k < other.size(); ++k) other[k] = locus.total[k] - locus.count[k];
  write_int_line(f, other);
}

void write_truth(FILE *f, const Locus &locus, double beta) {
  std::fprintf(f, "%.6f\t%g", locus.epsilon, beta);
  for (double p : locus.freq) std::fprintf(f, "\t%.6f", p);
  std::fputc('\n', f);
}

void make_directory(const std::string &dir) {
  if (mkdir(dir.c_str(), 0777) == 0) return;
  struct stat st;
  if (errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  tool_fail("cannot create directory %s: %s", dir.c_str(), std::strerror(errno));
}

void write_one_locus(const std::string &dir, const char *stem, long number, int width,
                     const Locus &locus) {
  char name[64];
  std::snprintf(name, sizeof name, "/%s_%0*ld.counts", stem, width, number);
  std::string path = dir + name;
  // Put in place at once: a run may write millions of them.
  FILE *f = whole_output_open(path);
  write_locus(f, locus);
  whole_output_close(f, path, true);
}

int decimal_digits(long n) {
  int d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}
