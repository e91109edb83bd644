// Inline markup: a marked-up text cut into segments, each spoken in one style
// (or a pause, or a placeholder the renderer skips).
//
//   *word*                  emphasis (rewritten to <emph>word</emph> first)
//   <emph> <slow> <fast> <high> <low> <loud> <soft> ... </...>
//                           per-word prosody modifiers
//   <style prompt="...">    a style resolved from a free-text prompt
//   <TAG> ... </TAG>        one of the engine's style tags
//   [pause] [pause 2 s] [pause 250ms]
//                           a pause (400 ms without a number, at most 5000)
//   [laugh] ...             a sound cue, passed on in the text
// Tag names compare after lower-casing; unknown angle tags vanish. Every
// sentence becomes a segment of its own; PAUSE, EVENT and BREAK standing alone
// between tags are markers (a skipped segment with pause -1, one with pause 0,
// the end of a segment).
#pragma once

#include <stdint.h>

typedef struct tv_front tv_front;

typedef struct tv_word_shift {
  int32_t word; /* word index within the segment */
  float pitch, energy, dur;
} tv_word_shift;

typedef struct tv_segment {
  char *text; /* UTF-8; "" for pause and skipped segments */
  char *tag;  /* style name; "none" for pause and skipped segments */
  int32_t nctrl;
  char **ctrl_names; /* sorted by name */
  float *ctrl_values;
  int32_t nshift;
  tv_word_shift *shifts; /* ordered by word index */
  int32_t pause_ms;
  int32_t skip; /* 1: the renderer passes the segment over */
} tv_segment;

/* Turns a style prompt into a tag and controls; 0 on success (otherwise the
   error text holds the message). Outputs are new allocations the parser
   frees with tv_free: *tag (tv_strdup, or NULL for none), *names (tv_malloc'd
   array of tv_strdup'd names) and *values (tv_malloc'd), *count of them. */
typedef int (*tv_style_resolver)(void *state, const char *prompt, char **tag, int32_t *count,
                                 char ***names, float **values);

/* 0 / -1. Parses UTF-8 text into *segments (*count of them; NULL and 0 for a
   text with nothing in it). tag and the controls are the request's (a
   negative count counts as 0); tags the engine's tag list. Without a
   resolver, a style prompt fails. On failure nothing is returned and the
   error text holds the message. Free with tv_segments_free. */
int tv_front_parse_markup(const tv_front *front, const char *text, const char *tag,
                          const char *const *ctrl_names, const float *ctrl_values, int32_t ctrl_count,
                          const char *const *tags, int32_t tag_count, tv_style_resolver resolver,
                          void *resolver_state, tv_segment **segments, int32_t *count);
/* Frees every segment and the array; NULL ignored. */
void tv_segments_free(tv_segment *segments, int32_t count);
