// Definitions of the run configuration. Parsing lives in parse_cl.cpp.
#include "run/config.h"

int ITER = 0;
int NUMPOPS = 0;
const char *INPUT_FILE = nullptr;
const char *environ_num = nullptr;
const char *ENVIRON_FILE = "";
const char *MATRIX_FILE = nullptr;
const char *SAMPLESIZE_FILE = nullptr;
const char *OUTPUT_NAME = "";
int OUTPUT_SET = 0;
int number_environ = 0;
long seed = 0;
const char *seed_arg = nullptr;
int TEST = 0;
int POOL = 0;
int LOOKUP = 0;
int SNP_TEST = 1;
int PRINT_COR = 0;
int FREQS_OUTPUT = 0;
int CALC_XTX = 0;
double X_DEV = 0.05;
int num_beta = 101;
double lambda_D = 0.001;
double lambda_A = 0.001;

int max_coverage = 0;
int min_coverage = 2000000;
int max_samplesize = 0;
int min_samplesize = 2000000;
int NUMLOCI = 0;
double num_alleles = 0;
