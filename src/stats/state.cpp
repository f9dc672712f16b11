// Definitions of the test-statistic state declared in stats.h.
#include "stats/stats.h"

double *beta_array = nullptr;
double **beta_imp_weight = nullptr;
double *corr_vector = nullptr;
double *corr_vector2 = nullptr;
double **env_transformed = nullptr;
double **env_ranks = nullptr;
double environ_corr = 0;
double XtX = 0;
FILE *freqs_out = nullptr;
