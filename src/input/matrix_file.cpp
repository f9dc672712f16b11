// The covariance matrix file, the pooled sample-size file and the test-mode
// population means.
#include <cstdio>

#include "input/fields.h"
#include "input/readers.h"
#include "numerics/nrutil.h"
#include "run/config.h"

static char line_buffer[LINE_BUFFER];

// Largest pool accepted. The pooled likelihood sums over every allele count
// of the pool in every evaluation, so larger pools would keep a run busy for
// weeks; it is also the ceiling of the smallest sample size.
static const int MAX_POOL = 2000000;

// The matrix file stays open between calls, so its line count does too.
static TEXT_FILE matrix_file;

void read_matrix() {
  if (read_matrix_num == 0) {
    open_input(&matrix_file, "matrix file", MATRIX_FILE);
    matrix_in = matrix_file.in;
  }
  for (int i = 1; i <= NUMPOPS; i++) {
    if (!read_line(&matrix_file, line_buffer))
      missing_lines(&matrix_file, matrix_file.line, read_matrix_num * NUMPOPS + NUMPOPS);
    char *pos = line_buffer;
    for (int j = 1; j <= NUMPOPS; j++) {
      char *field = next_field(&pos);
      if (field == nullptr) missing_fields(&matrix_file, j - 1, NUMPOPS);
      sigmas[i][j] = field_real(&matrix_file, field, j);
    }
    note_extra_fields(&matrix_file, pos, NUMPOPS);
  }
  read_matrix_num++;
}

void read_samplesize() {
  TEXT_FILE f;
  open_input(&f, "sample-size file", SAMPLESIZE_FILE);
  samplesizes = ivector(1, NUMPOPS);
  if (!read_line(&f, line_buffer)) missing_lines(&f, 0, 1);
  char *pos = line_buffer;
  for (int pop = 1; pop <= NUMPOPS; pop++) {
    char *field = next_field(&pos);
    if (field == nullptr) missing_fields(&f, pop - 1, NUMPOPS);
    int v = field_int(&f, field, pop);
    // A pool of fewer than 2 copies gives a likelihood of log 0 everywhere.
    if (v < 2)
      input_error(&f, f.line, pop, "a pool of %d allele cop%s; at least 2 needed", v, v == 1 ? "y" : "ies");
    if (v > MAX_POOL)
      input_error(&f, f.line, pop, "a pool of %d allele copies; at most %d supported", v, MAX_POOL);
    samplesizes[pop] = v;
    if (v > max_samplesize) max_samplesize = v;
    if (v < min_samplesize) min_samplesize = v;
  }
  note_extra_fields(&f, pos, NUMPOPS);
  fclose(f.in);
  printf("%d %d\n", min_samplesize, max_samplesize);
}

void read_pop_spec_mean(ALLELE **loc) {
  (void)loc;
  pop_spec_mean = dvector(1, NUMPOPS);
  for (int pop = 1; pop <= NUMPOPS; pop++) pop_spec_mean[pop] = 0;
}
