// Definitions of the model-wide state declared in allele_SNP.h and workers.h.
#include "model/allele_SNP.h"
#include "model/workers.h"

double **sigmas = nullptr;
double **sigmas_inverse = nullptr;
double **chol_dec_sigmas = nullptr;
double **chol_dec_sigmas_inverse = nullptr;
double **temp_matrix = nullptr;
double sigmas_det = 0;
double *pop_spec_mean = nullptr;
double NU = 0;
int *samplesizes = nullptr;
int EPSILON_UPDATED = 0;
int ALLELESUPDATED = 0;
pthread_mutex_t norm = PTHREAD_MUTEX_INITIALIZER;

THREAD_DATA *thread_data1 = nullptr;
THREAD_DATA *thread_data2 = nullptr;
