// The two workers of an iteration: a persistent pair of threads, started at
// the first step that needs them, each waiting for its share of the next
// step. The caller hands both shares over and sleeps until both are done, so
// everything before and after a step runs on the calling thread alone, as it
// would with threads started and joined anew.
#include "model/workers.h"

#include <pthread.h>

#include <cstring>

#include "run/fatal.h"

namespace {

struct Slot {
  pthread_t thread;
  void *(*fn)(void *);
  void *arg;
  unsigned long posted;    // number of steps handed to this worker
  unsigned long finished;  // number of steps it has completed
};

pthread_mutex_t pair_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t work_posted = PTHREAD_COND_INITIALIZER;
pthread_cond_t work_done = PTHREAD_COND_INITIALIZER;
Slot slots[2];
bool started = false;

void *worker_loop(void *p) {
  Slot *slot = static_cast<Slot *>(p);
  unsigned long seen = 0;
  pthread_mutex_lock(&pair_lock);
  for (;;) {
    while (slot->posted == seen) pthread_cond_wait(&work_posted, &pair_lock);
    seen = slot->posted;
    void *(*fn)(void *) = slot->fn;
    void *arg = slot->arg;
    pthread_mutex_unlock(&pair_lock);
    fn(arg);
    pthread_mutex_lock(&pair_lock);
    slot->finished = seen;
    pthread_cond_signal(&work_done);
  }
  return nullptr;
}

// A child of fork() has no workers: the next step starts a fresh pair.
void forget_workers_after_fork() {
  pthread_mutex_init(&pair_lock, nullptr);
  pthread_cond_init(&work_posted, nullptr);
  pthread_cond_init(&work_done, nullptr);
  for (Slot &s : slots) s.posted = s.finished = 0;
  started = false;
}

void start_workers() {
  static bool fork_handler_registered = false;
  if (!fork_handler_registered) {
    pthread_atfork(nullptr, nullptr, forget_workers_after_fork);
    fork_handler_registered = true;
  }
  for (Slot &s : slots) {
    s.posted = s.finished = 0;
    int rc = pthread_create(&s.thread, nullptr, worker_loop, &s);
    if (rc != 0) fatal("cannot start a worker thread: %s\n", strerror(rc));
  }
  started = true;
}

bool empty_share(const THREAD_DATA *t) { return t->low >= t->hi; }

}  // namespace

void run_worker_pair(void *(*fn)(void *), THREAD_DATA *first, THREAD_DATA *second) {
  // With an empty share only one worker has draws to make: both routines run
  // here, in order, and the draws are those the pair would have made.
  if (empty_share(first) || empty_share(second)) {
    fn(first);
    fn(second);
    return;
  }
  if (!started) start_workers();

  pthread_mutex_lock(&pair_lock);
  slots[0].fn = fn;
  slots[0].arg = first;
  slots[1].fn = fn;
  slots[1].arg = second;
  slots[0].posted++;
  slots[1].posted++;
  pthread_cond_broadcast(&work_posted);
  while (slots[0].finished != slots[0].posted || slots[1].finished != slots[1].posted)
    pthread_cond_wait(&work_done, &pair_lock);
  pthread_mutex_unlock(&pair_lock);
}
