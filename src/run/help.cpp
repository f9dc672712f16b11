// The answers to "peltra2 --help" and "peltra2 --version".
#include <cstdio>
#include <cstring>

#include "peltra2_version.h"
#include "run/run_control.h"

static const char *const LONG_HELP =
    "PELTRA 2.0 - Usage\n"
    "\t./peltra2 [OPTIONS]\n"
    "\n"
    "\t\t-i [filename] - input file (always required)\n"
    "\t\t-e [filename] - environmental file (required for test mode)\n"
    "\t\t-m [filename] - matrix file (required for test mode)\n"
    "\t\t-s [filename] - file of sample sizes (required for pool mode)\n"
    "\t\t-k [number] - number of iterations (always required)\n"
    "\t\t-r [number] - random seed (1 to 1073741781; default: from the clock)\n"
    "\t\t-p [number] - number of populations (always required)\n"
    "\t\t-n [number] - number of environmental variables (required for test mode)\n"
    "\t\t-t - Test mode (not matrix estimation)\n"
    "\t\t-x - Pool mode\n"
    "\t\t-l - Pool mode: take the pooled likelihood from a precomputed table\n"
    "\t\t-o [filename] - output file (optional)\n"
    "\t\t-f - frequency output (X)\n"
    "\t\t-c - correlation output\n"
    "\t\t-z - calculate Z in test mode for unpooled data (only one environmental variable)\n"
    "\t\t-X - calculate XtX\n"
    "\t\t--help - print this help and exit\n"
    "\t\t--version - print the version and exit\n"
    "\n"
    "\tMatrix estimation: -i, -p, -k. Test mode: -t with -e, -m, -n as well.\n"
    "\tPool mode (-x) needs -s and excludes -c, -f and -X.\n"
    "\tSee also: man peltra2\n";

bool help_or_version(int argc, char **argv) {
  if (argc != 2) return false;
  if (strcmp(argv[1], "--help") == 0) {
    fputs(LONG_HELP, stdout);
    return true;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("peltra2 %s\n", PELTRA2_VERSION_LINE);
    return true;
  }
  return false;
}
