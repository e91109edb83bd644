#include "runtime/pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "runtime/error.h"

namespace {

struct Tally {
  std::vector<std::atomic<int>> hits;
  std::vector<std::thread::id> who;
  std::vector<int> order;  // filled only by inline runs
  std::atomic<int> calls{0};
  explicit Tally(int n) : hits(n), who(n) {}
};

void count_item(void *arg, int32_t i, int32_t n) {
  Tally *t = (Tally *)arg;
  ASSERT_EQ((size_t)n, t->hits.size());
  t->hits[i]++;
  t->who[i] = std::this_thread::get_id();
  t->calls++;
}

void record_order(void *arg, int32_t i, int32_t n) {
  count_item(arg, i, n);
  ((Tally *)arg)->order.push_back(i);
}

// A pool that does not go away when an assertion fails.
using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;
Pool make_pool(int threads) { return Pool(tv_pool_create(threads), tv_pool_destroy); }

}  // namespace

TEST(Pool, EveryItemRunsExactlyOnce) {
  for (int size = 1; size <= 8; size++) {
    Pool pool = make_pool(size);
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(tv_pool_size(pool.get()), size);
    for (int n : {1, 2, 3, 5, 7, 8, 9, 31, 63, 64, 65, 1001}) {
      for (int rep = 0; rep < 3; rep++) {
        Tally t(n);
        tv_parallel_for(pool.get(), n, count_item, &t);
        for (int i = 0; i < n; i++) ASSERT_EQ(t.hits[i].load(), 1) << "size " << size << " n " << n << " item " << i;
      }
    }
  }
}

TEST(Pool, SizeOneRunsInlineInIndexOrder) {
  for (int threads : {-3, 0, 1}) {
    Pool pool = make_pool(threads);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(tv_pool_size(pool.get()), 1);
    for (tv_pool *p : {pool.get(), (tv_pool *)nullptr}) {
      Tally t(17);
      tv_parallel_for(p, 17, record_order, &t);
      ASSERT_EQ(t.order.size(), 17u);
      for (int i = 0; i < 17; i++) {
        EXPECT_EQ(t.order[i], i);
        EXPECT_EQ(t.who[i], std::this_thread::get_id());
      }
    }
  }
  EXPECT_EQ(tv_pool_size(nullptr), 1);
  EXPECT_EQ(tv_pool_tids(nullptr, nullptr, 0), 0);
  tv_pool_destroy(nullptr);
}

TEST(Pool, EmptyAndNegativeCountsCallNothing) {
  Pool pool = make_pool(4);
  Tally t(1);
  tv_parallel_for(pool.get(), 0, count_item, &t);
  tv_parallel_for(pool.get(), -5, count_item, &t);
  tv_parallel_for(nullptr, -1, count_item, &t);
  EXPECT_EQ(t.calls.load(), 0);
}

namespace {
struct Nest {
  tv_pool *pool;
  std::vector<std::unique_ptr<Tally>> inner;
  std::vector<std::thread::id> outer_who;
};

void outer_item(void *arg, int32_t i, int32_t) {
  Nest *s = (Nest *)arg;
  s->outer_who[i] = std::this_thread::get_id();
  tv_parallel_for(s->pool, 13, record_order, s->inner[i].get());
}
}  // namespace

TEST(Pool, NestedJobsRunInlineOnTheItemsThread) {
  Pool pool = make_pool(4);
  Nest s{pool.get(), {}, std::vector<std::thread::id>(9)};
  for (int i = 0; i < 9; i++) s.inner.push_back(std::make_unique<Tally>(13));
  tv_parallel_for(pool.get(), 9, outer_item, &s);
  for (int i = 0; i < 9; i++) {
    Tally &t = *s.inner[i];
    ASSERT_EQ(t.order.size(), 13u);
    for (int k = 0; k < 13; k++) {
      EXPECT_EQ(t.order[k], k);
      EXPECT_EQ(t.who[k], s.outer_who[i]);
    }
  }
}

namespace {
struct Blocker {
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
};

// Item 0 holds its job open until released (bounded, so a fault fails
// instead of hanging).
void blocking_item(void *arg, int32_t i, int32_t) {
  Blocker *b = (Blocker *)arg;
  if (i != 0) return;
  b->started = true;
  double t0 = tv_time_ms();
  while (!b->release && tv_time_ms() - t0 < 10000) {
  }
}
}  // namespace

TEST(Pool, ASecondThreadsJobRunsInlineWhileThePoolIsBusy) {
  Pool pool = make_pool(4);
  Blocker b;
  std::thread first([&] { tv_parallel_for(pool.get(), 4, blocking_item, &b); });
  double t0 = tv_time_ms();
  while (!b.started && tv_time_ms() - t0 < 10000) {
  }
  ASSERT_TRUE(b.started);
  Tally t(50);
  tv_parallel_for(pool.get(), 50, record_order, &t);  // must not wait for the first job
  bool finished_first = b.release.exchange(true);
  first.join();
  EXPECT_FALSE(finished_first);
  ASSERT_EQ(t.order.size(), 50u);
  for (int i = 0; i < 50; i++) EXPECT_EQ(t.who[i], std::this_thread::get_id());
  // Both threads hammering the pool at once all complete.
  std::atomic<long> total{0};
  auto hammer = [&] {
    for (int rep = 0; rep < 2000; rep++) {
      Tally tt(7);
      tv_parallel_for(pool.get(), 7, count_item, &tt);
      for (int i = 0; i < 7; i++) total += tt.hits[i];
    }
  };
  std::thread a(hammer), c(hammer);
  a.join();
  c.join();
  EXPECT_EQ(total.load(), 2 * 2000 * 7);
}

namespace {
void bump(void *arg, int32_t i, int32_t) { ((std::atomic<long> *)arg)[i]++; }
}  // namespace

TEST(Pool, ManyTinyBackToBackJobsLoseNoWakeUp) {
  // A full-machine pool is slow when the machine is shared, so it runs fewer jobs.
  for (int size : {2, 3, 5, 8}) {
    Pool pool = make_pool(size);
    std::atomic<long> counts[8] = {};
    const int jobs = size == 8 ? 4000 : 20000;
    for (int j = 0; j < jobs; j++) {
      tv_parallel_for(pool.get(), size, bump, counts);
      if (j % 1000 == 999) {
        // Idle long enough for every worker to fall asleep.
        double t0 = tv_time_ms();
        while (tv_time_ms() - t0 < 1.0) {
        }
      }
    }
    for (int i = 0; i < size; i++) EXPECT_EQ(counts[i].load(), jobs) << "size " << size;
  }
}

namespace {
struct Ranges {
  std::atomic<int> calls{0};
  int64_t end_of[16];  // indexed by the first row of each range
};
void note_range(void *arg, int64_t r0, int64_t r1) {
  Ranges *r = (Ranges *)arg;
  r->calls++;
  r->end_of[r0] = r1;
}
}  // namespace

TEST(Pool, RowsAdapterSplitsRowsEvenly) {
  Pool pool = make_pool(3);
  Ranges r{};
  for (int64_t &e : r.end_of) e = -1;
  tv_parallel_rows(pool.get(), 4, 10, note_range, &r);
  EXPECT_EQ(r.calls.load(), 4);
  const int64_t want[4][2] = {{0, 2}, {2, 5}, {5, 7}, {7, 10}};
  for (auto &w : want) EXPECT_EQ(r.end_of[w[0]], w[1]) << w[0];
  // More items than rows: empty ranges call nothing.
  Ranges e{};
  tv_parallel_rows(pool.get(), 8, 3, note_range, &e);
  EXPECT_EQ(e.calls.load(), 3);
}
