#include "runtime/pool.h"

#include <pthread.h>
#include <string.h>

#include <atomic>
#include <new>

#include "runtime/error.h"

#define SPIN_CHECK 64
#define WORKER_SPIN_MS 0.1
#define CALLER_SPIN_MS 0.5
#define STACK_BYTES 1048576

struct tv_pool {
  int32_t size;
  pthread_t *threads;
  pthread_mutex_t mutex;
  pthread_cond_t work;
  pthread_cond_t done;
  int32_t job_n;
  tv_job_fn job_fn;
  void *job_arg;
  std::atomic<bool> stop;
  // The hot atomics each own a cache line.
  alignas(64) std::atomic<uint32_t> generation;
  alignas(64) std::atomic<int32_t> next;
  alignas(64) std::atomic<int32_t> pending;
  alignas(64) std::atomic<uint8_t> busy;
};

// The pool whose job items the calling thread is running, if any.
static thread_local tv_pool *current_pool;

static inline void cpu_relax(void) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

static void run_items(tv_pool *p) {
  tv_job_fn fn = p->job_fn;
  void *arg = p->job_arg;
  int32_t n = p->job_n;
  for (;;) {
    int32_t i = p->next.fetch_add(1);
    if (i >= n) break;
    fn(arg, i, n);
  }
}

static void *worker_main(void *arg) {
  tv_pool *p = (tv_pool *)arg;
  current_pool = p;
  uint32_t seen = 0;
  for (;;) {
    // Spin for a short while: back-to-back jobs are picked up without a wake-up.
    double start = 0;
    for (uint32_t spins = 1; p->generation.load() == seen; spins++) {
      cpu_relax();
      if (spins % SPIN_CHECK) continue;
      double now = tv_time_ms();
      if (spins == SPIN_CHECK) {
        start = now;
      } else if (now - start > WORKER_SPIN_MS) {
        pthread_mutex_lock(&p->mutex);
        while (p->generation.load() == seen && !p->stop.load()) pthread_cond_wait(&p->work, &p->mutex);
        pthread_mutex_unlock(&p->mutex);
        break;
      }
    }
    // stop is set before the generation moves, so it is visible here.
    if (p->stop.load()) return NULL;
    seen = p->generation.load();
    run_items(p);
    if (p->pending.fetch_sub(1) == 1) {
      pthread_mutex_lock(&p->mutex);
      pthread_cond_broadcast(&p->done);
      pthread_mutex_unlock(&p->mutex);
    }
  }
}

static tv_pool *pool_new(void) {
  void *mem = tv_calloc(sizeof(tv_pool));
  if (!mem) return NULL;
  tv_pool *p = new (mem) tv_pool();
  p->size = 1;
  return p;
}

static void pool_delete(tv_pool *p) {
  tv_free(p->threads);
  p->~tv_pool();
  tv_free(p);
}

tv_pool *tv_pool_create(int32_t threads) {
  tv_pool *p = pool_new();
  if (!p) return NULL;
  if (threads < 2) return p;
  p->threads = (pthread_t *)tv_malloc(sizeof(pthread_t) * (size_t)(threads - 1));
  if (!p->threads) return p;
  pthread_mutex_init(&p->mutex, NULL);
  pthread_cond_init(&p->work, NULL);
  pthread_cond_init(&p->done, NULL);
  pthread_attr_t attr;
  bool have_attr = pthread_attr_init(&attr) == 0;
  if (have_attr) pthread_attr_setstacksize(&attr, STACK_BYTES);
  int32_t started = 0;
  while (started < threads - 1 &&
         pthread_create(&p->threads[started], have_attr ? &attr : NULL, worker_main, p) == 0)
    started++;
  if (have_attr) pthread_attr_destroy(&attr);
  if (started == 0) {
    pthread_cond_destroy(&p->done);
    pthread_cond_destroy(&p->work);
    pthread_mutex_destroy(&p->mutex);
    tv_free(p->threads);
    p->threads = NULL;
    return p;
  }
  p->size = started + 1;
  return p;
}

void tv_pool_destroy(tv_pool *p) {
  if (!p) return;
  if (p->size >= 2) {
    pthread_mutex_lock(&p->mutex);
    p->stop.store(true);
    p->generation.fetch_add(1);
    pthread_cond_broadcast(&p->work);
    pthread_mutex_unlock(&p->mutex);
    for (int32_t i = 0; i < p->size - 1; i++) pthread_join(p->threads[i], NULL);
    pthread_cond_destroy(&p->done);
    pthread_cond_destroy(&p->work);
    pthread_mutex_destroy(&p->mutex);
  }
  pool_delete(p);
}

int32_t tv_pool_size(const tv_pool *p) { return p ? p->size : 1; }

int32_t tv_pool_tids(const tv_pool *p, int32_t *tids, int32_t cap) {
  (void)p;
  (void)tids;
  (void)cap;
  return 0;
}

static void run_inline(int32_t n, tv_job_fn fn, void *arg) {
  for (int32_t i = 0; i < n; i++) fn(arg, i, n);
}

void tv_parallel_for(tv_pool *p, int32_t n, tv_job_fn fn, void *arg) {
  if (n < 1) return;
  if (!p || n == 1 || p->size == 1 || current_pool == p) {
    run_inline(n, fn, arg);
    return;
  }
  uint8_t idle = 0;
  if (!p->busy.compare_exchange_strong(idle, 1)) {
    // Another thread's job holds the pool: do this one here rather than wait.
    run_inline(n, fn, arg);
    return;
  }
  p->job_fn = fn;
  p->job_arg = arg;
  p->job_n = n;
  p->next.store(0);
  p->pending.store(p->size - 1);
  pthread_mutex_lock(&p->mutex);
  p->generation.fetch_add(1);
  pthread_cond_broadcast(&p->work);
  pthread_mutex_unlock(&p->mutex);

  tv_pool *prev = current_pool;
  current_pool = p;
  run_items(p);
  current_pool = prev;

  double start = 0;
  for (uint32_t spins = 1; p->pending.load() > 0; spins++) {
    cpu_relax();
    if (spins % SPIN_CHECK) continue;
    double now = tv_time_ms();
    if (spins == SPIN_CHECK) {
      start = now;
    } else if (now - start > CALLER_SPIN_MS) {
      pthread_mutex_lock(&p->mutex);
      while (p->pending.load() > 0) pthread_cond_wait(&p->done, &p->mutex);
      pthread_mutex_unlock(&p->mutex);
      break;
    }
  }
  p->busy.store(0);
}

void tv_rows_job(void *rows, int32_t i, int32_t n) {
  const tv_rows *r = (const tv_rows *)rows;
  int64_t r0 = (int64_t)i * r->rows / n;
  int64_t r1 = (int64_t)(i + 1) * r->rows / n;
  if (r1 > r0) r->fn(r->arg, r0, r1);
}

void tv_parallel_rows(tv_pool *pool, int32_t n, int64_t rows, tv_rows_fn fn, void *arg) {
  tv_rows r = {fn, arg, rows};
  tv_parallel_for(pool, n, tv_rows_job, &r);
}
