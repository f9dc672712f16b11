// The worker pair: both shares run, concurrently, on two threads that
// persist between steps; whole iterations on them keep every cached term;
// a worker that cannot start ends the run.
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>

#include "model_fixture.h"

using namespace modeltest;

namespace {

// The thread and count of calls of each share.
struct Record {
  pthread_t thread;
  int calls = 0;
};
Record records[2];
std::atomic<int> arrived{0};
std::atomic<bool> timed_out{false};

// Notes the running thread; with `wait`, then waits (up to 30 s, a deadlock
// guard, not a speed limit) until the other share has started too.
template <bool wait>
void *note(void *t) {
  Record &r = records[static_cast<THREAD_DATA *>(t) == thread_data1 ? 0 : 1];
  r.thread = pthread_self();
  r.calls++;
  arrived++;
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (wait && arrived.load() % 2 != 0) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec > 30) {
      timed_out = true;
      break;
    }
  }
  return nullptr;
}

// Two shares of two loci each (the loci are never read).
void make_shares() {
  static ALLELE *none[4];
  setup_model(1);
  setup_workers(none, 4);
}

}  // namespace

// Both shares run at the same time, on two threads other than the caller's
// that stay the same from step to step.
TEST(WorkerPair, SharesRunConcurrentlyOnAPersistentPair) {
  make_shares();
  run_worker_pair(note<true>, thread_data1, thread_data2);
  ASSERT_FALSE(timed_out.load()) << "the two shares did not run at the same time";
  pthread_t first = records[0].thread, second = records[1].thread;
  EXPECT_FALSE(pthread_equal(first, pthread_self()));
  EXPECT_FALSE(pthread_equal(second, pthread_self()));
  EXPECT_FALSE(pthread_equal(first, second));
  for (int step = 0; step < 50; step++) run_worker_pair(note<true>, thread_data1, thread_data2);
  EXPECT_FALSE(timed_out.load());
  EXPECT_EQ(arrived.load(), 102);
  EXPECT_EQ(records[0].calls + records[1].calls * 100, 51 * 101);
  EXPECT_TRUE(pthread_equal(records[0].thread, first));
  EXPECT_TRUE(pthread_equal(records[1].thread, second));
}

// Whole iterations as the run makes them, over enough loci for both
// workers to take part in every step: the accepted loci are exactly those
// that took over new vectors, and every cached term matches the state after
// each iteration.
TEST(WorkerPair, WholeIterationsKeepEveryCachedTerm) {
  const int K = 3, L = 301;
  setup_model(K);
  setall(77, 78);
  init_sigmas();
  std::mt19937 gen(3);
  ALLELE **loc = new ALLELE *[L];
  for (int l = 0; l < L; l++) {
    std::vector<int> c(K), t(K);
    for (int k = 0; k < K; k++) {
      t[k] = std::uniform_int_distribution<int>(0, 30)(gen);
      c[k] = std::uniform_int_distribution<int>(0, t[k])(gen);
    }
    c[0] = 1;
    t[0] = std::max(t[0], 3);
    loc[l] = make_locus(c, t);
  }
  setup_workers(loc, L);
  NU = K + 2.0 * L;
  init_epsilon(loc);
  init_thetas(loc);
  seed = -4242;
  for (int it = 0; it < 30; it++) {
    update_epsilon_all(loc, L);
    update_sigmas(loc);
    std::vector<std::vector<double>> before(L);
    for (int l = 0; l < L; l++) before[l].assign(loc[l]->theta_offset + 1, loc[l]->theta_offset + K + 1);
    update_thetas_pair(thread_data1, thread_data2);
    int changed = 0;
    for (int l = 0; l < L; l++) {
      ALLELE *a = loc[l];
      changed += before[l] != std::vector<double>(a->theta_offset + 1, a->theta_offset + K + 1);
      // The epsilon step keeps p only up to rounding.
      for (int k = 1; k <= K; k++) {
        double want = multinom_prob(a->epsilon + a->theta_offset[k], a, k);
        ASSERT_NEAR(a->multinom_prob[k], want, 1e-9 * std::max(1.0, fabs(want)));
      }
      ASSERT_EQ(a->multivar_prob, multivar_prob(a->theta_offset, a->epsilon));
    }
    EXPECT_EQ(thread_data1->allelesupdated + thread_data2->allelesupdated, changed);
    EXPECT_GT(changed, 0);
  }
}

// The sanitizers reserve far more address space than the limit below allows.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(WorkerPairDeath, WorkerThatCannotStartEndsTheRun) {
  make_shares();
  EXPECT_STDOUT_DEATH(
      {
        // Leave no room for a thread stack: address space now + 1 MB.
        long pages = 0;
        FILE *f = fopen("/proc/self/statm", "r");
        if (!f || fscanf(f, "%ld", &pages) != 1) _exit(2);
        fclose(f);
        struct rlimit lim;
        lim.rlim_cur = lim.rlim_max = (rlim_t)pages * sysconf(_SC_PAGE_SIZE) + (1 << 20);
        setrlimit(RLIMIT_AS, &lim);
        run_worker_pair(note<false>, thread_data1, thread_data2);
      },
      "^cannot start a worker thread: ");
}
#endif
