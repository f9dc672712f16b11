// The environment file: one line of per-population values per environmental
// variable.
#include <cstdio>

#include "input/fields.h"
#include "input/readers.h"
#include "run/config.h"
#include "run/fatal.h"

static char line_buffer[LINE_BUFFER];

void read_environ() {
  printf("reading environ\n");
  TEXT_FILE f;
  open_input(&f, "environment file", ENVIRON_FILE);
  for (int i = 1; i <= number_environ; i++) {
    if (!read_line(&f, line_buffer)) missing_lines(&f, i - 1, number_environ);
    char *pos = line_buffer;
    for (int pop = 1; pop <= NUMPOPS; pop++) {
      char *field = next_field(&pos);
      if (field == nullptr) missing_fields(&f, pop - 1, NUMPOPS);
      environ_values[i][pop] = field_real(&f, field, pop);
    }
    note_extra_fields(&f, pos, NUMPOPS);
  }
  int more = count_further_lines(f.in);
  if (more > 0)
    hint("warning: environment file \"%s\": %d more line%s than the %d that -n asks for; %s ignored",
         ENVIRON_FILE, more, more == 1 ? "" : "s", number_environ, more == 1 ? "it is" : "they are");
  fclose(f.in);
}
