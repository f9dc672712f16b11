// Command line of peltra2-convert and its failure and warning messages.
#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "convert/convert.h"
#include "peltra2_version.h"

void convert_fatal(const char *fmt, ...) {
  std::fflush(stderr);
  std::fflush(stdout);
  std::fputs("peltra2-convert: ", stdout);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stdout, fmt, ap);
  va_end(ap);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  std::exit(1);
}

void convert_warn(const char *fmt, ...) {
  std::fputs("peltra2-convert: ", stderr);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  std::fputc('\n', stderr);
}

namespace {

enum {
  OPT_VCF = 256, OPT_MAP, OPT_ORDER, OPT_POOLED, OPT_POOL_SIZES, OPT_MIN_COPIES, OPT_MIN_MAF,
  OPT_THIN_EVERY, OPT_THIN_RANDOM, OPT_SEED, OPT_OUT
};

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"vcf", required_argument, nullptr, OPT_VCF},
    {"map", required_argument, nullptr, OPT_MAP},
    {"order", required_argument, nullptr, OPT_ORDER},
    {"pooled", no_argument, nullptr, OPT_POOLED},
    {"pool-sizes", required_argument, nullptr, OPT_POOL_SIZES},
    {"min-copies", required_argument, nullptr, OPT_MIN_COPIES},
    {"min-maf", required_argument, nullptr, OPT_MIN_MAF},
    {"thin-every", required_argument, nullptr, OPT_THIN_EVERY},
    {"thin-random", required_argument, nullptr, OPT_THIN_RANDOM},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"out", required_argument, nullptr, OPT_OUT},
    {nullptr, 0, nullptr, 0}};

long parse_long(const char *opt, const char *arg, long lo, long hi) {
  errno = 0;
  char *end;
  long v = std::strtol(arg, &end, 10);
  if (end == arg || *end != '\0' || errno == ERANGE || v < lo || v > hi)
    convert_fatal("%s: expected an integer from %ld to %ld, got '%s'", opt, lo, hi, arg);
  return v;
}

uint64_t parse_seed(const char *arg) {
  errno = 0;
  char *end;
  unsigned long long v = std::strtoull(arg, &end, 10);
  if (end == arg || *end != '\0' || errno == ERANGE || arg[0] == '-')
    convert_fatal("--seed: expected an integer from 0 to 18446744073709551615, got '%s'", arg);
  return v;
}

double parse_fraction(const char *opt, const char *arg, double hi) {
  errno = 0;
  char *end;
  double v = std::strtod(arg, &end);
  if (end == arg || *end != '\0' || errno == ERANGE || !(v >= 0.0 && v <= hi))
    convert_fatal("%s: expected a number from 0 to %g, got '%s'", opt, hi, arg);
  return v;
}

}  // namespace

ConvertOptions parse_options(int argc, char **argv) {
  ConvertOptions o;
  opterr = 0;
  int c, index = -1;
  std::vector<bool> seen(sizeof long_options / sizeof long_options[0]);
  while ((c = getopt_long(argc, argv, ":h", long_options, &index)) != -1) {
    // Every option with a value takes one: a second one is a mistake, not
    // a correction to take silently.
    if (c >= OPT_VCF && index >= 0 && long_options[index].has_arg == required_argument) {
      if (seen[index]) convert_fatal("option --%s given twice", long_options[index].name);
      seen[index] = true;
    }
    index = -1;
    switch (c) {
      case 'h': print_help(); std::exit(0);
      case 'V': std::printf("peltra2-convert %s\n", PELTRA2_VERSION_LINE); std::exit(0);
      case OPT_VCF: o.vcf = optarg; break;
      case OPT_MAP: o.map = optarg; break;
      case OPT_ORDER: o.order = optarg; break;
      case OPT_POOLED: o.pooled = true; break;
      case OPT_POOL_SIZES: o.pool_sizes = optarg; break;
      case OPT_MIN_COPIES: o.min_copies = parse_long("--min-copies", optarg, 0, 1000000000L); break;
      case OPT_MIN_MAF: o.min_maf = parse_fraction("--min-maf", optarg, 0.5); break;
      case OPT_THIN_EVERY: o.thin_every = parse_long("--thin-every", optarg, 1, 1000000000L); break;
      case OPT_THIN_RANDOM: o.thin_random = parse_long("--thin-random", optarg, 1, MAX_LOCI); break;
      case OPT_SEED: o.seed = parse_seed(optarg); break;
      case OPT_OUT: o.out = optarg; break;
      case ':': convert_fatal("option '%s' needs a value", argv[optind - 1]);
      default: convert_fatal("unknown option '%s' (see --help)", argv[optind - 1]);
    }
  }
  if (optind < argc) convert_fatal("unexpected argument '%s' (see --help)", argv[optind]);
  if (o.vcf.empty()) convert_fatal("--vcf is required (a VCF or BCF file, or - for standard input)");
  if (o.map.empty()) convert_fatal("--map is required (sample name, tab, population name per line)");
  if (o.out.empty()) convert_fatal("--out: the prefix must not be empty");
  if (o.thin_every && o.thin_random)
    convert_fatal("--thin-every and --thin-random exclude each other");
  if (o.pooled && o.pool_sizes.empty())
    convert_fatal("--pooled needs --pool-sizes (population name, tab, allele copies per line)");
  if (!o.pooled && !o.pool_sizes.empty()) convert_fatal("--pool-sizes needs --pooled");
  return o;
}
