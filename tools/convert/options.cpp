// Command line of peltra2-convert and its failure and warning messages.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/tool_cli.h"
#include "common/tool_files.h"
#include "convert/convert.h"
#include "peltra2_version.h"

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

// Every file the run writes, checked against its inputs and each other
// before anything is read.
void refuse_overwriting_inputs(const ConvertOptions &o) {
  check_prefix("--out", o.out);
  RunFiles files;
  files.input(o.vcf == "-" ? "--vcf - (standard input)" : "--vcf " + o.vcf, o.vcf);
  files.input("--map " + o.map, o.map);
  if (!o.order.empty()) files.input("--order " + o.order, o.order);
  if (!o.pool_sizes.empty()) files.input("--pool-sizes " + o.pool_sizes, o.pool_sizes);
  for (const char *suffix : {".counts", ".snps", ".names", ".copies", ".samplesize"}) {
    if (std::string(suffix) == ".samplesize" && !o.pooled) continue;
    std::string path = o.out + suffix;
    files.output("--out " + o.out + " (" + path + ")", "--out", path);
  }
  files.refuse_clashes();
}

}  // namespace

ConvertOptions parse_options(int argc, char **argv) {
  ConvertOptions o;
  opterr = 0;
  int c, index = -1;
  std::vector<bool> seen(sizeof long_options / sizeof long_options[0]);
  while ((c = getopt_long(argc, argv, ":h", long_options, &index)) != -1) {
    // Every option with a value takes one: a second one is a mistake, not
    // a correction to take silently, and an empty one is no file or number.
    std::string opt = index >= 0 ? std::string("--") + long_options[index].name : "";
    if (c >= OPT_VCF && index >= 0 && long_options[index].has_arg == required_argument) {
      bool seen_before = seen[index];
      take_value(opt.c_str(), optarg, seen_before);
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
      case OPT_MIN_COPIES: o.min_copies = option_long("--min-copies", optarg, 0, 1000000000L); break;
      case OPT_MIN_MAF: o.min_maf = option_real("--min-maf", optarg, 0.0, 0.5); break;
      case OPT_THIN_EVERY: o.thin_every = option_long("--thin-every", optarg, 1, 1000000000L); break;
      case OPT_THIN_RANDOM: o.thin_random = option_long("--thin-random", optarg, 1, MAX_LOCI); break;
      case OPT_SEED: o.seed = option_seed("--seed", optarg); break;
      case OPT_OUT: o.out = optarg; break;
      case ':': tool_fail("option '%s' needs a value", argv[optind - 1]);
      default: tool_fail("unknown option '%s' (see --help)", argv[optind - 1]);
    }
  }
  if (optind < argc) tool_fail("unexpected argument '%s' (see --help)", argv[optind]);
  if (o.vcf.empty()) tool_fail("--vcf is required (a VCF or BCF file, or - for standard input)");
  if (o.map.empty()) tool_fail("--map is required (sample name, tab, population name per line)");
  if (o.thin_every && o.thin_random)
    tool_fail("--thin-every and --thin-random exclude each other");
  if (o.pooled && o.pool_sizes.empty())
    tool_fail("--pooled needs --pool-sizes (population name, tab, allele copies per line)");
  if (!o.pooled && !o.pool_sizes.empty()) tool_fail("--pool-sizes needs --pooled");
  refuse_overwriting_inputs(o);
  return o;
}
