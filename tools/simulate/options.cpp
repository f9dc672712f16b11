#include "simulate/options.h"

#include <getopt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/tool_files.h"
#include "simulate/output.h"
#include "peltra2_version.h"

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

// The one-locus files whose names are those of the paths `named` (in
// whatever folder): dir/snp_<number>.counts and dir/effect_<number>.counts.
std::vector<std::string> one_locus_names_among(const SimOptions &o,
                                               const std::vector<std::string> &named) {
  std::vector<std::string> found;
  for (const std::string &path : named) {
    size_t slash = path.find_last_of('/');
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const auto &[stem, n] : {std::pair<std::string, long>{"snp_", o.loci}, {"effect_", o.effect_loci}}) {
      size_t width = static_cast<size_t>(decimal_digits(n > 0 ? n : 1));
      if (n <= 0 || leaf.size() != stem.size() + width + 7 || leaf.compare(0, stem.size(), stem) != 0 ||
          leaf.compare(stem.size() + width, 7, ".counts") != 0)
        continue;
      long number;
      if (whole_number(leaf.substr(stem.size(), width).c_str(), 1, n, &number) &&
          leaf[stem.size()] != '+' && leaf[stem.size()] != '-')
        found.push_back(o.one_locus_dir + "/" + leaf);
    }
  }
  return found;
}

// The files of the run, written under the prefix (and into the one-locus
// folder), checked against the matrix file and each other before any work.
void refuse_overwriting_inputs(const SimOptions &o) {
  check_prefix("--out", o.out);
  RunFiles files;
  if (o.source == SIGMA_MATRIX) files.input("--matrix " + o.matrix_file, o.matrix_file);
  std::vector<std::string> suffixes = {".counts", ".matrix"};
  if (o.env > 0) suffixes.push_back(".env");
  if (o.pooled) suffixes.push_back(".samplesize");
  if (o.effect_fraction > 0) suffixes.push_back(".effect_loci");
  if (o.effect_loci > 0) suffixes.push_back(".effect.counts");
  if (o.truth) {
    suffixes.push_back(".truth");
    if (o.effect_loci > 0) suffixes.push_back(".effect.truth");
  }
  for (const std::string &suffix : suffixes)
    files.output("--out " + o.out + " (" + o.out + suffix + ")", "--out", o.out + suffix);
  if (!o.one_locus_dir.empty()) {
    files.output("--one-locus " + o.one_locus_dir, "--one-locus", o.one_locus_dir, true);
    std::vector<std::string> named;
    if (o.source == SIGMA_MATRIX) named.push_back(o.matrix_file);
    for (const std::string &suffix : suffixes) named.push_back(o.out + suffix);
    for (const std::string &path : one_locus_names_among(o, named))
      files.output("--one-locus " + o.one_locus_dir + " (" + path + ")", "--one-locus", path);
  }
  files.refuse_clashes();
}

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
    // Every option with a value takes one: a second one is a mistake, and
    // an empty one is no file or number.
    if (c >= OPT_POPS && index >= 0 && long_options[index].has_arg == required_argument) {
      bool seen = given[index];
      take_value((std::string("--") + long_options[index].name).c_str(), optarg, seen);
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
        o.pops = option_long("--pops", optarg, 1, MAX_POPS);
        break;
      case OPT_LOCI:
        o.loci = option_long("--loci", optarg, 1, MAX_LOCI);
        break;
      case OPT_COPIES:
        copies = parse_int_list("--copies", optarg, 1, MAX_COPIES);
        break;
      case OPT_SEED:
        o.seed = option_seed("--seed", optarg);
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
        o.groups = option_long("--groups", optarg, 1, MAX_POPS);
        ++sources;
        break;
      case OPT_GROUP_DRIFT:
        o.group_drift = option_real("--group-drift", optarg, -HUGE_VAL, HUGE_VAL);
        seen_group_drift = true;
        break;
      case OPT_PRIVATE_DRIFT:
        o.private_drift = option_real("--private-drift", optarg, -HUGE_VAL, HUGE_VAL);
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
        o.env = option_long("--env", optarg, 0, MAX_POPS);
        seen_env = true;
        break;
      case OPT_BETA:
        o.beta = option_real("--beta", optarg, -HUGE_VAL, HUGE_VAL);
        o.has_beta = true;
        break;
      case OPT_EFFECT_VAR:
        o.effect_var = option_long("--effect-var", optarg, 1, MAX_POPS);
        seen_effect_var = true;
        break;
      case OPT_EFFECT_FRACTION:
        o.effect_fraction = option_real("--effect-fraction", optarg, -HUGE_VAL, HUGE_VAL);
        seen_fraction = true;
        break;
      case OPT_EFFECT_LOCI:
        o.effect_loci = option_long("--effect-loci", optarg, 1, MAX_LOCI);
        seen_effect_loci = true;
        break;
      case OPT_OUT:
        o.out = optarg;
        break;
      case OPT_ONE_LOCUS:
        o.one_locus_dir = optarg;
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
        o.min_coverage = option_long("--min-coverage", optarg, 1, MAX_COVERAGE);
        seen_min_cov = true;
        break;
      case OPT_MAX_COV:
        o.max_coverage = option_long("--max-coverage", optarg, 1, MAX_COVERAGE);
        seen_max_cov = true;
        break;
      case ':':
        tool_fail("option '%s' needs a value", argv[optind - 1]);
      default:
        tool_fail("unknown option '%s' (see --help)", argv[optind - 1]);
    }
  }
  if (optind < argc) tool_fail("unexpected argument '%s' (see --help)", argv[optind]);

  if (o.pops == 0) tool_fail("--pops is required (the number of populations)");
  if (o.loci == 0) tool_fail("--loci is required (the number of SNPs)");
  if (sources > 1) tool_fail("give only one of --tree, --matrix and --groups");
  o.copies = per_population("--copies", copies, o.pops);

  if (seen_branch && o.source != SIGMA_TREE) tool_fail("--branch-lengths needs --tree");
  if (!(o.branch_min > 0 && o.branch_min <= o.branch_max))
    tool_fail("--branch-lengths: expected 0 < MIN <= MAX");
  if ((seen_group_drift || seen_private) && o.source != SIGMA_GROUPS)
    tool_fail("--group-drift and --private-drift need --groups");
  if (o.source == SIGMA_GROUPS && o.groups > o.pops)
    tool_fail("--groups: %d groups cannot be made of %d populations", o.groups, o.pops);
  if (o.group_drift < 0) tool_fail("--group-drift: expected a value >= 0");
  if (!(o.private_drift > 0)) tool_fail("--private-drift: expected a value > 0");

  if (!(o.anc_min > 0 && o.anc_min <= o.anc_max && o.anc_max < 1))
    tool_fail("--anc-range: expected 0 < MIN <= MAX < 1");
  if (o.anc_beta && !(o.beta_a > 0 && o.beta_b > 0))
    tool_fail("--anc-beta: expected A > 0 and B > 0");

  if (o.has_beta) {
    if (std::fabs(o.beta) > 1) tool_fail("--beta: expected a value from -1 to 1");
    if (!seen_fraction && !seen_effect_loci)
      tool_fail("--beta needs --effect-fraction or --effect-loci");
    if (!seen_env) o.env = 1;
    if (o.env == 0) tool_fail("--beta needs at least one environmental variable (--env)");
  } else if (seen_fraction || seen_effect_loci || seen_effect_var) {
    tool_fail("--effect-fraction, --effect-loci and --effect-var need --beta");
  }
  if (seen_fraction && !(o.effect_fraction >= 0 && o.effect_fraction <= 1))
    tool_fail("--effect-fraction: expected a value from 0 to 1");
  if (o.has_beta && o.effect_var > o.env)
    tool_fail("--effect-var: there are only %d environmental variables", o.env);

  if (!o.pooled && (!pool_size.empty() || seen_min_cov || seen_max_cov))
    tool_fail("--pool-size, --min-coverage and --max-coverage need --pooled");
  if (o.pooled) {
    if (pool_size.empty()) {
      for (int n : o.copies)
        if (n < 2 || n > MAX_POOL_SIZE)
          tool_fail("--pooled: pool sizes must be from 2 to %d; give --pool-size", MAX_POOL_SIZE);
      o.pool_size = o.copies;
    } else {
      o.pool_size = per_population("--pool-size", pool_size, o.pops);
    }
    if (!seen_max_cov) tool_fail("--pooled needs --max-coverage");
    if (o.min_coverage > o.max_coverage)
      tool_fail("--min-coverage: %d is above --max-coverage %d", o.min_coverage, o.max_coverage);
  }

  refuse_overwriting_inputs(o);
  return o;
}
