// The engine's thread pool. A job is n numbered items; the calling thread
// takes part, workers spin briefly and then sleep between jobs. One job runs
// on a pool at a time: a nested call from inside a job, or a call from another
// thread while the pool is busy, runs its items inline on the calling thread.
#pragma once

#include <stdint.h>

typedef struct tv_pool tv_pool;

/* Called once for each item i of n, in any order, on any participating thread;
   items must write disjoint outputs. */
typedef void (*tv_job_fn)(void *arg, int32_t i, int32_t n);

/* A pool of max(threads, 1) participants (the caller counts as one). Failing
   to start workers only makes it smaller: read tv_pool_size. NULL only when
   the record itself cannot be allocated. Freed with tv_pool_destroy. */
tv_pool *tv_pool_create(int32_t threads);
/* Stops, joins and frees; NULL allowed. No job may be running. */
void tv_pool_destroy(tv_pool *pool);
/* Participants: workers + 1; 1 for NULL. */
int32_t tv_pool_size(const tv_pool *pool);
/* Thread ids are not reported: always 0. */
int32_t tv_pool_tids(const tv_pool *pool, int32_t *tids, int32_t cap);
/* Runs fn(arg, i, n) for every i in [0, n) exactly once, then returns. A NULL
   pool runs the items inline in index order. */
void tv_parallel_for(tv_pool *pool, int32_t n, tv_job_fn fn, void *arg);

/* The rows adapter: item i of n covers rows [i * rows / n, (i + 1) * rows / n). */
typedef void (*tv_rows_fn)(void *arg, int64_t r0, int64_t r1);
typedef struct tv_rows {
  tv_rows_fn fn;
  void *arg;
  int64_t rows;
} tv_rows;
/* A tv_job_fn whose argument is a tv_rows; empty ranges call nothing. */
void tv_rows_job(void *rows, int32_t i, int32_t n);
/* tv_parallel_for of n items over the rows adapter. */
void tv_parallel_rows(tv_pool *pool, int32_t n, int64_t rows, tv_rows_fn fn, void *arg);
