// Definitions of the reader state declared in readers.h.
#include "input/readers.h"

double **environ_values = nullptr;
FILE *matrix_in = nullptr;
int read_matrix_num = 0;
