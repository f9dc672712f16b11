// The command line: help text, option parsing and the configuration check.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "run/config.h"
#include "run/fatal.h"
#include "stats/stats.h"

// Largest population count accepted: a count-file line is read through a
// 20000-byte buffer, so it cannot hold more fields than this, and the check
// keeps an absurd -p from sizing vectors and matrices beyond any memory.
static const int MAX_NUMPOPS = 10000;

// Iterations of the burn-in of test mode; no sample is taken before it ends.
static const int TEST_BURNIN = 5000;

static const char *const HELP_TEXT =
    "PELTRA 2.0 - Usage\n"
    "\t./peltra2 [OPTIONS]\n"
    "\n"
    "\t\t-i [filename] - input file (always required)\n"
    "\t\t-e [filename] - environmental file (required for test mode)\n"
    "\t\t-m [filename] - matrix file (required for test mode)\n"
    "\t\t-s [filename] - file of sample sizes (required for pool mode)\n"
    "\t\t-k [number] - number of iterations (always required)\n"
    "\t\t-r [number] - random seed\n"
    "\t\t-p [number] - number of populations (always required)\n"
    "\t\t-n [number] - number of environmental variables (required for test mode)\n"
    "\t\t-t - Test mode (not matrix estimation)\n"
    "\t\t-x - Pool mode\n"
    "\t\t-o [filename] - output file (optional)\n"
    "\t\t-f - frequency output (X)\n"
    "\t\t-c - correlation output\n"
    "\t\t-z - calculate Z in test mode for unpooled data (only one environmental variable)\n"
    "\t\t-X - calculate XtX\n"
    "\t\n";

static const char *const MISSING_OPTIONS =
    "\n!!!Missing or wrong options for chosen configuration.";

void usage() {
  puts(HELP_TEXT);
  terminate_process(1);
}

// Base-10 conversion without an end pointer: leading blanks and a sign are
// accepted, conversion stops at the first non-digit, no digits give 0; the
// value is then cut to 32 bits (an out-of-range long wraps, it is not
// clamped). Anything but a plain whole number within 32 bits keeps that
// value, with a hint saying what it was read as.
static int cl_number(char opt, const char *arg) {
  errno = 0;
  long v = strtol(arg, nullptr, 10);
  int value = (int)v;
  const char *digits = arg + (*arg == '+' || *arg == '-');
  bool plain = *digits != '\0' && strspn(digits, "0123456789") == strlen(digits);
  if (!plain)
    hint("warning: -%c \"%s\" is not a plain whole number; it was read as %d", opt, arg, value);
  else if (errno == ERANGE || v != (long)value)
    hint("warning: -%c \"%s\" is beyond the 32-bit range; it was read as %d", opt, arg, value);
  return value;
}

// What getopt makes of the letters after the "--" of argv[at]: each letter
// an option, until one that takes a value takes the rest (or the next
// argument).
static std::string read_as(char **argv, int argc, int at) {
  static const char *const OPTIONS = "xce:fi:k:lm:n:o:p:r:s:tzX";
  std::string words;
  for (const char *p = argv[at] + 2; *p != '\0'; p++) {
    const char *known = *p != ':' ? strchr(OPTIONS, *p) : nullptr;
    if (!words.empty()) words += " ";
    words += std::string("-") + *p;
    if (known == nullptr) {
      words += " (unknown)";
    } else if (known[1] == ':') {
      if (p[1] != '\0') words += std::string(" \"") + (p + 1) + "\"";
      else if (at + 1 < argc) words += std::string(" \"") + argv[at + 1] + "\"";
      else words += " (without its value)";
      break;
    }
  }
  return words;
}

void parse_cl(int argc, char **argv) {
  puts("===== PELTRA2.0 =====\n");
  int given[128] = {};
  for (;;) {
    // getopt writes its diagnostics to stderr; flushing first keeps them
    // after the messages already printed when both streams share a file.
    fflush(stdout);
    int c = getopt(argc, argv, "xce:fi:k:lm:n:o:p:r:s:tzX");
    if (c == -1) break;
    // A repeated option keeps its last value; say so for the valued ones.
    if (c > 0 && c < 128 && optarg != nullptr && given[c]++ == 1)
      hint("warning: -%c given more than once; the last value (\"%s\") is used", c, optarg);
    switch (c) {
      case 'x':
        POOL = 1;
        SNP_TEST = 0;
        X_DEV = 0.02;
        puts("NGS is set");
        break;
      case 'c':
        PRINT_COR = 1;
        puts("correlation output is set");
        break;
      case 'e':
        environ_num = optarg;
        puts("environment file is set");
        break;
      case 'f':
        FREQS_OUTPUT = 1;
        puts("frequency output is set");
        break;
      case 'i':
        INPUT_FILE = optarg;
        puts("input file is set");
        break;
      case 'k':
        ITER = cl_number((char)c, optarg);
        puts("number of iterations is set");
        break;
      case 'l':
        LOOKUP = 1;
        puts("Lookup table is set");
        break;
      case 'm':
        MATRIX_FILE = optarg;
        puts("matrix is set");
        break;
      case 'n':
        number_environ = cl_number((char)c, optarg);
        puts("number of environmental variables is set");
        break;
      case 'o':
        OUTPUT_NAME = optarg;
        OUTPUT_SET = 1;
        if (*optarg == '\0')
          hint("warning: -o is empty: the result files are named by their suffix alone (.bf, .cor, .xtx), "
               "as hidden files; give -o a name");
        puts("output file is set");
        break;
      case 'p':
        NUMPOPS = cl_number((char)c, optarg);
        puts("number of populations is set");
        break;
      case 'r': {
        // A number and its negation give the same seed; the stored seed is
        // never positive, which is what makes ran1 seed its table.
        seed_arg = optarg;
        long v = cl_number((char)c, optarg);
        seed = v < 0 ? v : -v;
        puts("seed is set");
        break;
      }
      case 's':
        SAMPLESIZE_FILE = optarg;
        puts("Sample size file is set");
        break;
      case 't':
        TEST = 1;
        puts("TEST is set");
        break;
      case 'z':
        SNP_TEST = 0;
        puts("SNP_TEST is off.");
        break;
      case 'X':
        CALC_XTX = 1;
        XtX = 0;
        puts("Calculating XtX");
        break;
      default:
        // Unknown option or missing argument: getopt has already said
        // which; the report here is always the same character.
        printf("unknown arg %c\n", '?');
        // A long option ("--output") is taken letter by letter: say what
        // its letters became.
        if (optopt == '-' && optind < argc && strncmp(argv[optind], "--", 2) == 0)
          hint("warning: \"%s\" is not an option (options are single letters): it was read as %s",
               argv[optind], read_as(argv, argc, optind).c_str());
        break;
    }
  }
  fflush(stdout);
  // getopt moves the arguments it did not take to the end.
  for (int i = optind; i < argc; i++)
    hint("warning: \"%s\" is neither an option nor an option's value: it was ignored", argv[i]);
}

// Names each missing or conflicting option, one hint per problem, before
// the fixed message that says only that something is wrong.
static void explain_configuration() {
  if (NUMPOPS <= 0) hint("-p: give the number of populations, a whole number above 0");
  if (ITER == 0) hint("-k: give the number of iterations, a whole number above 0");
  if (number_environ < 0) hint("-n: the number of environmental variables must not be negative");
  if (INPUT_FILE == nullptr) hint("-i: give the count file");
  if (TEST == 1) {
    std::string missing;
    if (MATRIX_FILE == nullptr) missing += " -m";
    if (environ_num == nullptr) missing += " -e";
    if (number_environ == 0) missing += " -n";
    if (!missing.empty())
      hint("-t needs -m (matrix file), -e (environment file) and -n (a number above 0); missing:%s",
           missing.c_str());
  }
  if (POOL == 1) {
    if (SAMPLESIZE_FILE == nullptr) hint("-x needs -s (the sample-size file)");
    std::string given;
    if (PRINT_COR == 1) given += " -c";
    if (FREQS_OUTPUT == 1) given += " -f";
    if (CALC_XTX == 1) given += " -X";
    if (!given.empty()) hint("-x excludes -c, -f and -X; remove:%s", given.c_str());
  }
}

void check_configuration() {
  // Zero counts leave nothing to run; a missing count file or a negative
  // size would only fail later, after files have been opened or with
  // negative-length vectors.
  bool incomplete =
      NUMPOPS <= 0 || ITER == 0 || number_environ < 0 || INPUT_FILE == nullptr ||
      (TEST == 1 && (number_environ == 0 || environ_num == nullptr || MATRIX_FILE == nullptr));
  bool pool_conflict = POOL == 1 && (SAMPLESIZE_FILE == nullptr || PRINT_COR == 1 ||
                                     FREQS_OUTPUT == 1 || CALC_XTX == 1);
  if (incomplete || pool_conflict) {
    explain_configuration();
    fatal("%s\n", MISSING_OPTIONS);
  }
  if (POOL == 1 && TEST == 1 && number_environ != 1)
    fatal("Only a single environmental variable is supported in pooled mode. \n\n");
  if (NUMPOPS > MAX_NUMPOPS)
    fatal("Too many populations (-p %d): at most %d are supported.\n", NUMPOPS, MAX_NUMPOPS);
  if (TEST == 1 && ITER <= TEST_BURNIN)
    fatal("Test mode needs more than %d iterations (-k %d): the first %d are burn-in.\n",
          TEST_BURNIN, ITER, TEST_BURNIN);
}
