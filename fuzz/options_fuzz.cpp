// Fuzz target of the command line: parse_cl and the configuration check.
// Input: the arguments after the program name, each ended by a NUL byte
// (the last one may lack it).
// Every command line must either form a configuration the rest of the run
// can rely on or end with a fatal message and status 1.
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "ledger.h"
#include "run/config.h"

static const size_t MAX_ARGS = 64;
static std::vector<char *> argv_list;

static void parse() {
  int argc = (int)argv_list.size() - 1;
  if (argc == 1) usage();
  parse_cl(argc, argv_list.data());
  check_configuration();
}

// What a configuration that passed the check promises to start-up.
static void check_accepted() {
  require(NUMPOPS >= 1 && NUMPOPS <= 10000, "NUMPOPS out of range");
  require(ITER != 0 && INPUT_FILE != nullptr && number_environ >= 0, "incomplete configuration");
  require(seed <= 0, "positive seed");
  if (TEST)
    require(number_environ >= 1 && environ_num != nullptr && MATRIX_FILE != nullptr && ITER > 5000,
            "incomplete test configuration");
  if (POOL) {
    require(SAMPLESIZE_FILE != nullptr && !PRINT_COR && !FREQS_OUTPUT && !CALC_XTX,
            "invalid pooled configuration");
    require(SNP_TEST == 0 && X_DEV == 0.02, "pooled mode settings");
    if (TEST) require(number_environ == 1, "pooled test with several variables");
  }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> args{"peltra2"};
  std::string cur;
  for (size_t i = 0; i < size && args.size() < MAX_ARGS; i++) {
    if (data[i] == '\0') {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += (char)data[i];
    }
  }
  if (!cur.empty() && args.size() < MAX_ARGS) args.push_back(cur);

  argv_list.clear();
  for (std::string &a : args) argv_list.push_back(&a[0]);
  argv_list.push_back(nullptr);

  reset_configuration(-1);
  optind = 0;  // glibc: start a fresh scan
  opterr = 0;  // keep getopt's diagnostics off the fuzzer's output
  if (run_guarded(parse) == RETURNED) check_accepted();
  ledger_release();
  return 0;
}
