// Small C++ helpers over the regex engine for the front end's rewriting:
// substitution with a lambda, in place, and group access of a match record.
#pragma once

#include <type_traits>

#include "front/rx.h"
#include "front/u32s.h"

/* Start and end of group g of match m (0 = whole match); -1 when it did not
   take part. */
inline int32_t rxm_start(const int32_t *m, int g) { return m[2 + 2 * g]; }
inline int32_t rxm_end(const int32_t *m, int g) { return m[3 + 2 * g]; }
inline bool rxm_has(const int32_t *m, int g) { return m[2 + 2 * g] >= 0; }
inline int32_t rxm_len(const int32_t *m, int g) {
  return m[2 + 2 * g] >= 0 ? m[3 + 2 * g] - m[2 + 2 * g] : 0;
}

/* tv_rx_sub with a callable f(flag, m, text, out). */
template <class F>
void rx_subf(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, u32s *out, F &&f) {
  using Fn = std::remove_reference_t<F>;
  tv_rx_replace_fn cb = [](uint32_t *fl, void *ctx, const int32_t *m, const uint32_t *t,
                           u32s *o) { (*(Fn *)ctx)(fl, m, t, o); };
  tv_rx_sub(flag, rx, text, n, cb, (void *)&f, out);
}

/* Replaces s by its substitution; on failure s keeps its old text. */
template <class F>
void rx_subf_inplace(uint32_t *flag, const tv_rx *rx, u32s *s, F &&f) {
  if (*flag) return;
  u32s t = {};
  rx_subf(flag, rx, s->p, s->n, &t, f);
  if (*flag) {
    u32s_free(&t);
    return;
  }
  u32s_move(s, &t);
}
