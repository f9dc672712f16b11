// Placeholder until the command line is built.
#include <cstdlib>
#include "run/config.h"
void usage() { exit(1); }
void parse_cl(int, char **) {}
void check_configuration() {}
