// How the networks cut row-wise passes over the pool: a number of items from
// the amount of work, then the pool's rows adapter (item i of n covers rows
// [i R / n, (i + 1) R / n)); fewer than two items run inline.
#pragma once

#include <stdint.h>

#include "runtime/pool.h"

/* fn over R rows in `items` ranges; fewer than 2 items run inline as one. */
void tv_rows_split(tv_pool *pool, int64_t R, int64_t items, tv_rows_fn fn, void *arg);
/* tv_rows_split with min(pool size, R / per_item) items. */
void tv_rows_run(tv_pool *pool, int64_t R, int64_t per_item, tv_rows_fn fn, void *arg);
