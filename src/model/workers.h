// The two workers of an iteration.
#ifndef PELTRA_MODEL_WORKERS_H
#define PELTRA_MODEL_WORKERS_H

#include "model/allele_SNP.h"

// Runs fn(first) and fn(second) as the two workers of one step and returns
// when both have finished; nothing else runs meanwhile. When one share is
// empty the other runs on the calling thread. A worker that cannot be started
// ends the run with a message and status 1.
void run_worker_pair(void *(*fn)(void *), THREAD_DATA *first, THREAD_DATA *second);

// The two worker descriptions, created at start-up.
extern THREAD_DATA *thread_data1;
extern THREAD_DATA *thread_data2;

#endif
