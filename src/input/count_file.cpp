// The allele count file: two lines of per-population counts per locus.
#include <cstdio>

#include "input/fields.h"
#include "input/readers.h"
#include "numerics/nrutil.h"
#include "random/ran_gen.h"
#include "run/config.h"
#include "run/fatal.h"

// Capacity of the caller's locus array.
static const int LOCUS_LIMIT = 100000;

static char line_buffer[LINE_BUFFER];

// Fields 1 .. NUMPOPS of the current line as counts, into v.
static void read_counts(TEXT_FILE *f, char *line, int *v) {
  char *pos = line;
  for (int pop = 1; pop <= NUMPOPS; pop++) {
    char *field = next_field(&pos);
    if (field == nullptr) missing_fields(f, pop - 1, NUMPOPS);
    v[pop] = field_int(f, field, pop);
    if (v[pop] < 0) {
      char quoted[64];
      input_error(f, f->line, pop, "%s is a negative count", quote_field(field, quoted, sizeof quoted));
    }
  }
  note_extra_fields(f, pos, NUMPOPS);
}

// Keeps the coverage extremes over running totals, as the lookup table's
// bounds must contain every total the likelihood will ask for.
static void note_coverage(int t) {
  if (t > max_coverage) max_coverage = t;
  if (t < min_coverage) min_coverage = t;
}

void read_snpcounts(ALLELE **loc) {
  TEXT_FILE f;
  open_input(&f, "count file", INPUT_FILE);
  int *v = ivector(1, NUMPOPS);
  int locus_count = 0;
  bool truncated = false;

  while (read_line(&f, line_buffer)) {
    if (((long long)num_alleles) % 2 == 0) {
      // Every line that opens a locus takes one deviate, also the line
      // dropped at the limit, so later draws keep their place in the stream.
      // The deviate never exceeds 1, so every locus is accepted.
      (void)ran1(&seed);
      if (locus_count + 1 > LOCUS_LIMIT) {
        truncated = true;
        break;
      }
      read_counts(&f, line_buffer, v);
      ALLELE *a = new ALLELE();
      num_alleles += 1;
      loc[locus_count] = a;
      a->total = ivector(1, NUMPOPS);
      a->next = nullptr;
      a->count = ivector(1, NUMPOPS);
      for (int pop = 1; pop <= NUMPOPS; pop++) {
        a->count[pop] = v[pop];
        a->total[pop] = v[pop];
        note_coverage(a->total[pop]);
      }
      locus_count++;
    } else {
      read_counts(&f, line_buffer, v);
      ALLELE *a = loc[locus_count - 1];
      bool any_copy = false;
      for (int pop = 1; pop <= NUMPOPS; pop++) {
        long long t = (long long)a->total[pop] + v[pop];
        if (t > 2147483647LL)
          input_error(&f, f.line, pop, "total of the locus's two lines exceeds 2147483647");
        a->total[pop] = (int)t;
        note_coverage(a->total[pop]);
        if (t > 0) any_copy = true;
      }
      // Its ancestral frequency would start at 0/0.
      if (!any_copy)
        input_error(&f, f.line, 0, "locus %d has no copies in any population", locus_count);
      num_alleles += 1;
    }
  }
  fclose(f.in);
  free_ivector(v, 1, NUMPOPS);

  // A lone last line would leave a locus whose totals are its counts.
  if (((long long)num_alleles) % 2 != 0)
    input_error(&f, 0, 0, "odd number of lines (%d): the last locus lacks its second line", f.line);
  if (locus_count == 0) input_error(&f, 0, 0, "holds no loci");

  printf("num_alleles = %f\n", num_alleles);
  if (truncated) {
    printf("Note: count file \"%s\" holds more than %d loci; the first %d were used and the rest of the file was ignored\n",
           INPUT_FILE, LOCUS_LIMIT, LOCUS_LIMIT);
    // Standard output may be a report file no one reads as it runs.
    hint("warning: count file \"%s\" holds more than %d SNPs; only the first %d (lines 1-%d) are used",
         INPUT_FILE, LOCUS_LIMIT, LOCUS_LIMIT, 2 * LOCUS_LIMIT);
  }
  NUMLOCI = locus_count;
}
