#include "simulate/options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "peltra2_version.h"

void sim_fatal(const char *fmt, ...) {
  std::fflush(stdout);
  std::fputs("peltra2-simulate: ", stdout);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stdout, fmt, ap);
  va_end(ap);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  std::exit(1);
}

namespace {

enum {
  OPT_POPS = 256,
  OPT_LOCI,
  OPT_COPIES,
  OPT_SEED,
  OPT_TREE,
  OPT_BRANCH,
  OPT_MATRIX,
  OPT_GROUPS,
  OPT_GROUP_DRIFT,
  OPT_PRIVATE_DRIFT,
  OPT_ANC_RANGE,
  OPT_ANC_BETA,
  OPT_ENV,
  OPT_BETA,
  OPT_EFFECT_VAR,
  OPT_EFFECT_FRACTION,
  OPT_EFFECT_LOCI,
  OPT_OUT,
  OPT_ONE_LOCUS,
  OPT_TRUTH,
  OPT_POOLED,
  OPT_POOL_SIZE,
  OPT_MIN_COV,
  OPT_MAX_COV
};

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"pops", required_argument, nullptr, OPT_POPS},
    {"loci", required_argument, nullptr, OPT_LOCI},
    {"copies", required_argument, nullptr, OPT_COPIES},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"tree", no_argument, nullptr, OPT_TREE},
    {"branch-lengths", required_argument, nullptr, OPT_BRANCH},
    {"matrix", required_argument, nullptr, OPT_MATRIX},
    {"groups", required_argument, nullptr, OPT_GROUPS},
    {"group-drift", required_argument, nullptr, OPT_GROUP_DRIFT},
    {"private-drift", required_argument, nullptr, OPT_PRIVATE_DRIFT},
    {"anc-range", required_argument, nullptr, OPT_ANC_RANGE},
    {"anc-beta", required_argument, nullptr, OPT_ANC_BETA},
    {"env", required_argument, nullptr, OPT_ENV},
    {"beta", required_argument, nullptr, OPT_BETA},
    {"effect-var", required_argument, nullptr, OPT_EFFECT_VAR},
    {"effect-fraction", required_argument, nullptr, OPT_EFFECT_FRACTION},
    {"effect-loci", required_argument, nullptr, OPT_EFFECT_LOCI},
    {"out", required_argument, nullptr, OPT_OUT},
    {"one-locus", required_argument, nullptr, OPT_ONE_LOCUS},
    {"truth", no_argument, nullptr, OPT_TRUTH},
    {"pooled", no_argument, nullptr, OPT_POOLED},
    {"pool-size", required_argument, nullptr, OPT_POOL_SIZE},
    {"min-coverage", required_argument, nullptr, OPT_MIN_COV},
    {"max-coverage", required_argument, nullptr, OPT_MAX_COV},
    {nullptr, 0, nullptr, 0}};

}  // namespace

SimOptions parse_options(int argc, char **argv) {
  SimOptions o;
  std::vector<int> copies{40}, pool_size;
  int sources = 0;
  bool seen_branch = false, seen_group_drift = false, seen_private = false, seen_env = false,
       seen_fraction = false, seen_effect_loci = false, seen_effect_var = false,
       seen_min_cov = false, seen_max_cov = false;
  opterr = 0;
  int c, index = -1;
  std::vector<bool> given(sizeof long_options / sizeof long_options[0]);
  while ((c = getopt_long(argc, argv, ":h", long_options, &index)) != -1) {
    // Every option with a value takes one: a second one is a mistake.
    if (c >= OPT_POPS && index >= 0 && long_options[index].has_arg == required_argument) {
      if (given[index]) sim_fatal("option --%s given twice", long_options[index].name);
      given[index] = true;
    }
    index = -1;
    switch (c) {
      case 'h':
        print_help();
        std::exit(0);
      case 'V':
        std::printf("peltra2-simulate %s\n", PELTRA2_VERSION_LINE);
        std::exit(0);
      case OPT_POPS:
        o.pops = parse_long("--pops", optarg, 1, MAX_POPS);
        break;
      case OPT_LOCI:
        o.loci = parse_long("--loci", optarg, 1, MAX_LOCI);
        break;
      case OPT_COPIES:
        copies = parse_int_list("--copies", optarg, 1, MAX_COPIES);
        break;
      case OPT_SEED:
        o.seed = parse_seed(optarg);
        break;
      case OPT_TREE:
        o.source = SIGMA_TREE;
        ++sources;
        break;
      case OPT_BRANCH:
        parse_pair("--branch-lengths", optarg, &o.branch_min, &o.branch_max);
        seen_branch = true;
        break;
      case OPT_MATRIX:
        o.source = SIGMA_MATRIX;
        o.matrix_file = optarg;
        ++sources;
        break;
      case OPT_GROUPS:
        o.source = SIGMA_GROUPS;
        o.groups = parse_long("--groups", optarg, 1, MAX_POPS);
        ++sources;
        break;
      case OPT_GROUP_DRIFT:
        o.group_drift = parse_double("--group-drift", optarg);
        seen_group_drift = true;
        break;
      case OPT_PRIVATE_DRIFT:
        o.private_drift = parse_double("--private-drift", optarg);
        seen_private = true;
        break;
      case OPT_ANC_RANGE:
        parse_pair("--anc-range", optarg, &o.anc_min, &o.anc_max);
        break;
      case OPT_ANC_BETA:
        parse_pair("--anc-beta", optarg, &o.beta_a, &o.beta_b);
        o.anc_beta = true;
        break;
      case OPT_ENV:
        o.env = parse_long("--env", optarg, 0, MAX_POPS);
        seen_env = true;
        break;
      case OPT_BETA:
        o.beta = parse_double("--beta", optarg);
        o.has_beta = true;
        break;
      case OPT_EFFECT_VAR:
        o.effect_var = parse_long("--effect-var", optarg, 1, MAX_POPS);
        seen_effect_var = true;
        break;
      case OPT_EFFECT_FRACTION:
        o.effect_fraction = parse_double("--effect-fraction", optarg);
        seen_fraction = true;
        break;
      case OPT_EFFECT_LOCI:
        o.effect_loci = parse_long("--effect-loci", optarg, 1, MAX_LOCI);
        seen_effect_loci = true;
        break;
      case OPT_OUT:
        o.out = optarg;
        break;
      case OPT_ONE_LOCUS:
        o.one_locus_dir = optarg;
        if (o.one_locus_dir.empty()) sim_fatal("--one-locus: expected a directory name");
        break;
      case OPT_TRUTH:
        o.truth = true;
        break;
      case OPT_POOLED:
        o.pooled = true;
        break;
      case OPT_POOL_SIZE:
        pool_size = parse_int_list("--pool-size", optarg, 2, MAX_POOL_SIZE);
        break;
      case OPT_MIN_COV:
        o.min_coverage = parse_long("--min-coverage", optarg, 1, MAX_COVERAGE);
        seen_min_cov = true;
        break;
      case OPT_MAX_COV:
        o.max_coverage = parse_long("--max-coverage", optarg, 1, MAX_COVERAGE);
        seen_max_cov = true;
        break;
      case ':':
        sim_fatal("option '%s' needs a value", argv[optind - 1]);
      default:
        sim_fatal("unknown option '%s' (see --help)", argv[optind - 1]);
    }
  }
  if (optind < argc) sim_fatal("unexpected argument '%s' (see --help)", argv[optind]);

  if (o.pops == 0) sim_fatal("--pops is required (the number of populations)");
  if (o.loci == 0) sim_fatal("--loci is required (the number of SNPs)");
  if (sources > 1) sim_fatal("give only one of --tree, --matrix and --groups");
  o.copies = per_population("--copies", copies, o.pops);

  if (seen_branch && o.source != SIGMA_TREE) sim_fatal("--branch-lengths needs --tree");
  if (!(o.branch_min > 0 && o.branch_min <= o.branch_max))
    sim_fatal("--branch-lengths: expected 0 < MIN <= MAX");
  if ((seen_group_drift || seen_private) && o.source != SIGMA_GROUPS)
    sim_fatal("--group-drift and --private-drift need --groups");
  if (o.source == SIGMA_GROUPS && o.groups > o.pops)
    sim_fatal("--groups: %d groups cannot be made of %d populations", o.groups, o.pops);
  if (o.group_drift < 0) sim_fatal("--group-drift: expected a value >= 0");
  if (!(o.private_drift > 0)) sim_fatal("--private-drift: expected a value > 0");

  if (!(o.anc_min > 0 && o.anc_min <= o.anc_max && o.anc_max < 1))
    sim_fatal("--anc-range: expected 0 < MIN <= MAX < 1");
  if (o.anc_beta && !(o.beta_a > 0 && o.beta_b > 0))
    sim_fatal("--anc-beta: expected A > 0 and B > 0");

  if (o.has_beta) {
    if (std::fabs(o.beta) > 1) sim_fatal("--beta: expected a value from -1 to 1");
    if (!seen_fraction && !seen_effect_loci)
      sim_fatal("--beta needs --effect-fraction or --effect-loci");
    if (!seen_env) o.env = 1;
    if (o.env == 0) sim_fatal("--beta needs at least one environmental variable (--env)");
  } else if (seen_fraction || seen_effect_loci || seen_effect_var) {
    sim_fatal("--effect-fraction, --effect-loci and --effect-var need --beta");
  }
  if (seen_fraction && !(o.effect_fraction >= 0 && o.effect_fraction <= 1))
    sim_fatal("--effect-fraction: expected a value from 0 to 1");
  if (o.has_beta && o.effect_var > o.env)
    sim_fatal("--effect-var: there are only %d environmental variables", o.env);

  if (!o.pooled && (!pool_size.empty() || seen_min_cov || seen_max_cov))
    sim_fatal("--pool-size, --min-coverage and --max-coverage need --pooled");
  if (o.pooled) {
    if (pool_size.empty()) {
      for (int n : o.copies)
        if (n < 2 || n > MAX_POOL_SIZE)
          sim_fatal("--pooled: pool sizes must be from 2 to %d; give --pool-size", MAX_POOL_SIZE);
      o.pool_size = o.copies;
    } else {
      o.pool_size = per_population("--pool-size", pool_size, o.pops);
    }
    if (!seen_max_cov) sim_fatal("--pooled needs --max-coverage");
    if (o.min_coverage > o.max_coverage)
      sim_fatal("--min-coverage: %d is above --max-coverage %d", o.min_coverage, o.max_coverage);
  }

  if (o.out.empty()) sim_fatal("--out: expected a file name prefix");
  return o;
}
