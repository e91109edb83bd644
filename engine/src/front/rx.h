// The front end's own regular-expression engine over UTF-32 text.
//
// Patterns are written in the dialect of Python's re module (the subset the
// front end uses) and match as Python matches them, over code points: groups
// (capturing, non-capturing), alternation, classes with \d \s \w, greedy and
// lazy quantifiers with counts, anchors ^ $ \A \Z, \b \B, look-ahead,
// fixed-width look-behind and back-references \1..\9. Anything else is
// refused at compile time with a message.
//
// The matcher backtracks on an explicit stack in heap memory, so deep inputs
// never grow the C stack; each operation has a step budget, and a search that
// would backtrack beyond it fails through the flag instead of running away.
#pragma once

#include <stdint.h>

#include "front/u32s.h"
#include "front/ucd.h"

#define TV_RX_MAX_GROUPS 9
/* Size of a match record for any pattern: whole match, group 0, groups 1..9. */
#define TV_RX_MREC (2 * TV_RX_MAX_GROUPS + 4)

typedef struct tv_rx tv_rx;

/* Spans of a split: n (start, end) pairs in p[2i], p[2i+1]. */
typedef struct tv_rx_spans {
  int32_t *p;
  int32_t n;
  int32_t cap; /* in pairs */
} tv_rx_spans;

/* Appends the replacement of one match to out. */
typedef void (*tv_rx_replace_fn)(uint32_t *flag, void *context, const int32_t *m,
                                 const uint32_t *text, u32s *out);

/* Compiled pattern or NULL with "tovantts front regex: <detail> in <pattern>"
   (or "tovantts front: out of memory"). flags: 0 case-sensitive, any other
   value ignores case. The table u must outlive the pattern. */
tv_rx *tv_rx_compile(const ucd *u, const char *pattern, int32_t flags);
/* NULL allowed. */
void tv_rx_free(tv_rx *rx);
/* Number of capturing groups, 0..9. */
int32_t tv_rx_groups(const tv_rx *rx);

/* Match records m hold 2 x groups + 4 values: whole match start and end, then
   start and end of group 0, 1, ... in code points; -1 for a group that did not
   take part. Matching returns 1 / 0 and returns 0 at once when *flag is set;
   running past the step budget or out of memory sets the flag. */

/* Anchored match beginning exactly at pos. */
int tv_rx_match_at(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t pos,
                   int32_t *m);
/* Leftmost match beginning at start or later (start > n gives 0). */
int tv_rx_search(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t start,
                 int32_t *m);
/* Next match of an iteration from *pos; *pos then moves to the match's end,
   one further for an empty match. 0 when *pos > n. */
int tv_rx_next(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t *pos,
               int32_t *m);
/* Appends text to out with every match replaced by what replace appends
   (empty matches included, also one right after a non-empty match). */
void tv_rx_sub(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n,
               tv_rx_replace_fn replace, void *context, u32s *out);
/* For replacement callbacks: appends group g (0 = whole match) when it took
   part. */
void rxm_put(uint32_t *flag, u32s *out, const int32_t *m, const uint32_t *text, int32_t g);
/* Fills result (emptied first) with the pieces between non-empty matches and,
   after each, the span of every group ((0, 0) when it did not take part); the
   last piece runs to the end, so a trailing separator gives an empty span. */
void tv_rx_split(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n,
                 tv_rx_spans *result);
/* Frees and zeroes. */
void tv_rx_spans_free(tv_rx_spans *s);

/* Steps one operation may take before it fails with TV_RX_LIMIT_MSG. */
#define TV_RX_STEP_LIMIT 100000000LL
/* Sets the steps each later operation with rx may take (at least 1); a
   compiled pattern starts with TV_RX_STEP_LIMIT. For callers whose texts are
   short enough that any sound pattern needs far fewer. */
void tv_rx_set_step_limit(tv_rx *rx, int64_t steps);
#define TV_RX_LIMIT_MSG "tovantts front regex: backtracking limit exceeded"
