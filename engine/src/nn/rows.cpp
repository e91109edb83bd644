#include "nn/rows.h"

void tv_rows_split(tv_pool *pool, int64_t R, int64_t items, tv_rows_fn fn, void *arg) {
  if (R < 1) return;
  if (items > R) items = R;
  if (items < 2) {
    fn(arg, 0, R);
    return;
  }
  tv_parallel_rows(pool, (int32_t)items, R, fn, arg);
}

void tv_rows_run(tv_pool *pool, int64_t R, int64_t per_item, tv_rows_fn fn, void *arg) {
  int64_t items = per_item > 0 ? R / per_item : R;
  const int64_t size = tv_pool_size(pool);
  tv_rows_split(pool, R, items < size ? items : size, fn, arg);
}
