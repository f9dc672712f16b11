// Test mode's sampling step, its counters and the result lines written at the
// end of a test run.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "run/config.h"
#include "run/run_control.h"
#include "stats/stats.h"

// Iterations 1 .. BURN_IN are burn-in; afterwards every SAMPLE_PERIOD-th
// iteration (5001, 5501, ...) is a sample.
static const int BURN_IN = 5000;
static const int SAMPLE_PERIOD = 500;

static int bf_counter = 0;         // samples taken
static int corr_above_zero = 0;    // Z test: iterations after burn-in with environ_corr > 0
static int corr_exactly_zero = 0;  // Z test: iterations after burn-in with environ_corr == 0

void reset_test_counters() {
  bf_counter = 0;
  corr_above_zero = 0;
  corr_exactly_zero = 0;
}

static bool per_sample_output() { return FREQS_OUTPUT || PRINT_COR || CALC_XTX; }

void test_sample(int k) {
  bool sampled = k > BURN_IN && (k - 1) % SAMPLE_PERIOD == 0;
  if (SNP_TEST) {
    if (sampled) {
      calc_bf_imp_weight(locus[0]);
      bf_counter++;
      if (per_sample_output()) print_X(locus);
    }
    return;
  }
  update_corr(locus[0]);
  if (k <= BURN_IN) return;
  if (sampled) {
    bf_counter++;
    if (per_sample_output()) print_X(locus);
  }
  if (environ_corr > 0)
    corr_above_zero++;
  else if (environ_corr == 0)
    corr_exactly_zero++;
}

static void appendf(std::string &s, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
static void appendf(std::string &s, const char *fmt, ...) {
  char buf[64];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  s += buf;
}

// The configuration check lets no test run end without a sample; should one
// do so all the same, a mean over no sample is written as "nan" rather than
// with the platform's sign of 0/0.
static void append_mean(std::string &s, double sum, double divisor, const char *fmt) {
  if (divisor == 0)
    appendf(s, fmt, NAN);
  else
    appendf(s, fmt, sum / divisor);
}

// The result file name: the -o stem with its suffix, or the default prefix
// followed by the environment file's name as given.
static std::string result_name(const char *suffix, const char *prefix) {
  if (OUTPUT_SET) return std::string(OUTPUT_NAME) + suffix;
  return std::string(prefix) + ENVIRON_FILE;
}

static std::string default_name_hint(const char *prefix) {
  if (OUTPUT_SET) return "";
  return std::string(" (the default name is \"") + prefix +
         "\" followed by the -e argument, directory part included; choose another name with -o)";
}

static int open_result(const char *suffix, const char *prefix) {
  return open_result_file(result_name(suffix, prefix), default_name_hint(prefix).c_str());
}

static std::string bayes_factor_line() {
  std::string line = std::string(INPUT_FILE) + "\t";
  double divisor = (double)num_beta * bf_counter;
  for (int i = 1; i <= number_environ; i++) {
    double sum = 0;
    for (int j = 1; j <= num_beta; j++) sum += beta_imp_weight[i][j];
    append_mean(line, sum, divisor, "%.4e\t");
    if (PRINT_COR) {
      append_mean(line, corr_vector[i], bf_counter, "%.4e\t");
      append_mean(line, corr_vector2[i], bf_counter, "%.4e\t");
    }
  }
  return line + "\n";
}

static std::string z_line() {
  std::string line = std::string(INPUT_FILE) + "\t";
  double after_burn_in = (double)ITER - BURN_IN;
  if (after_burn_in == 0) {
    appendf(line, "%.10e\t", NAN);
  } else {
    double z = fabs(0.5 - corr_above_zero / after_burn_in - corr_exactly_zero / after_burn_in);
    appendf(line, "%.10e\t", z);
  }
  // The sum over the samples, not their mean.
  if (PRINT_COR) appendf(line, "%.5e\t", corr_vector[1]);
  return line + "\n";
}

void write_test_results() {
  // The frequency file is complete before any result line claims success.
  if (freqs_out != nullptr) close_working_file(freqs_out, freqs_name.c_str(), "frequency file");
  freqs_out = nullptr;

  const char *suffix = SNP_TEST ? ".bf" : ".cor";
  const char *prefix = SNP_TEST ? "bf_environ." : "environ_corr.";
  std::string line = SNP_TEST ? bayes_factor_line() : z_line();
  std::string xtx_line = std::string(INPUT_FILE) + "\t";
  append_mean(xtx_line, XtX, bf_counter, "%.4e\n");

  // Every result file is opened before a line is written to any, so that a
  // run failing on one of them leaves all of them as they were.
  int fd = open_result(suffix, prefix);
  int xtx_fd = CALC_XTX ? open_result(".xtx", "XtX_out.") : -1;
  write_result_line(fd, result_name(suffix, prefix), line);
  if (CALC_XTX) write_result_line(xtx_fd, result_name(".xtx", "XtX_out."), xtx_line);
}
