// The worker pair: both shares run, concurrently, on two threads that
// persist between steps; an empty share keeps everything on the caller.
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cstdio>

#include "model_fixture.h"

using namespace modeltest;

namespace {

struct Record {
  pthread_t thread;
  int calls = 0;
};
Record records[2];
std::atomic<int> arrived{0};
std::atomic<bool> timed_out{false};
std::atomic<int> order{0};
int order_of[2];

int index_of(void *t) { return static_cast<THREAD_DATA *>(t) == thread_data1 ? 0 : 1; }

// Notes the running thread; then waits (up to 30 s, a deadlock guard, not a
// speed limit) until the other share has started too.
void *rendezvous(void *t) {
  int i = index_of(t);
  records[i].thread = pthread_self();
  records[i].calls++;
  arrived++;
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (arrived.load() % 2 != 0) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec > 30) {
      timed_out = true;
      break;
    }
  }
  return nullptr;
}

void *note(void *t) {
  int i = index_of(t);
  records[i].thread = pthread_self();
  records[i].calls++;
  order_of[i] = order++;
  return nullptr;
}

void make_shares(int first_size, int second_size) {
  static ALLELE *none[1];
  setup_model(1);
  setup_workers(none, 0);
  thread_data1->low = 0;
  thread_data1->hi = first_size;
  thread_data2->low = first_size;
  thread_data2->hi = first_size + second_size;
}

}  // namespace

TEST(WorkerPair, SharesRunConcurrentlyOnAPersistentPair) {
  make_shares(3, 4);
  records[0] = records[1] = Record();
  arrived = 0;
  timed_out = false;
  run_worker_pair(rendezvous, thread_data1, thread_data2);
  ASSERT_FALSE(timed_out.load()) << "the two shares did not run at the same time";
  ASSERT_EQ(arrived.load(), 2);
  pthread_t first = records[0].thread, second = records[1].thread;
  EXPECT_FALSE(pthread_equal(first, pthread_self()));
  EXPECT_FALSE(pthread_equal(second, pthread_self()));
  EXPECT_FALSE(pthread_equal(first, second));

  for (int step = 0; step < 50; step++) run_worker_pair(rendezvous, thread_data1, thread_data2);
  EXPECT_EQ(arrived.load(), 102);
  EXPECT_FALSE(timed_out.load());
  EXPECT_EQ(records[0].calls, 51);
  EXPECT_EQ(records[1].calls, 51);
  EXPECT_TRUE(pthread_equal(records[0].thread, first));
  EXPECT_TRUE(pthread_equal(records[1].thread, second));
}

TEST(WorkerPair, EmptyShareRunsBothOnTheCaller) {
  for (int sizes : {0, 1}) {
    make_shares(sizes == 0 ? 0 : 5, sizes == 0 ? 1 : 0);
    records[0] = records[1] = Record();
    order = 0;
    run_worker_pair(note, thread_data1, thread_data2);
    EXPECT_EQ(records[0].calls, 1);
    EXPECT_EQ(records[1].calls, 1);
    EXPECT_TRUE(pthread_equal(records[0].thread, pthread_self()));
    EXPECT_TRUE(pthread_equal(records[1].thread, pthread_self()));
    EXPECT_EQ(order_of[0], 0);
    EXPECT_EQ(order_of[1], 1);
  }
}

// The sanitizers reserve far more address space than the limit below allows.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(WorkerPairDeath, WorkerThatCannotStartEndsTheRun) {
  make_shares(2, 2);
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
        run_worker_pair(note, thread_data1, thread_data2);
      },
      "^cannot start a worker thread: ");
}
#endif
