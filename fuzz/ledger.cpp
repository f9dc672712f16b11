// Wrapped allocation and stream calls; see ledger.h.
#include "ledger.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
void *__real_malloc(size_t size);
void __real_free(void *p);
FILE *__real_fopen(const char *name, const char *mode);
int __real_fclose(FILE *f);
}

static bool recording = false;
// Set while a list itself grows, whose allocation must not be recorded.
static bool growing = false;
static std::vector<void *> blocks;
static std::vector<FILE *> streams;

// Drops p from list when it is there; a pointer recorded twice cannot
// happen, as a live block or stream is never handed out again.
template <class T>
static void forget(std::vector<T *> &list, T *p) {
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i] == p) {
      list[i] = list.back();
      list.pop_back();
      return;
    }
  }
}

extern "C" void *__wrap_malloc(size_t size) {
  void *p = __real_malloc(size);
  if (recording && !growing && p != nullptr) {
    growing = true;
    blocks.push_back(p);
    growing = false;
  }
  return p;
}

extern "C" void __wrap_free(void *p) {
  if (p != nullptr) forget(blocks, p);
  __real_free(p);
}

extern "C" FILE *__wrap_fopen(const char *name, const char *mode) {
  FILE *f = __real_fopen(name, mode);
  if (recording && !growing && f != nullptr) {
    growing = true;
    streams.push_back(f);
    growing = false;
  }
  return f;
}

extern "C" int __wrap_fclose(FILE *f) {
  forget(streams, f);
  return __real_fclose(f);
}

void ledger_open() {
  // Room enough that recording never reallocates in the common case.
  blocks.reserve(1 << 14);
  streams.reserve(16);
  recording = true;
}

void ledger_close() { recording = false; }

void ledger_release() {
  for (FILE *f : streams) __real_fclose(f);
  streams.clear();
  for (void *p : blocks) __real_free(p);
  blocks.clear();
}

int ledger_live_blocks() { return (int)blocks.size(); }
int ledger_live_streams() { return (int)streams.size(); }
