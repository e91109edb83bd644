// A tiny stand-in for the text front end, compiled only while the build has
// none of its own (deps.h says so), so the engine handle and rendering can be
// tested end to end. Letters become symbol ids 9-34 word by word, ",.?!"
// become 2-5; markup knows only pause cues "[pause]" / "[pause N ms|s]" and
// splits sentences after ".", "!" or "?" followed by a blank.
#include "api/deps.h"

#if defined(TV_FRONT_PENDING) || defined(TV_MARKUP_PENDING)
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/error.h"
#endif

#ifdef TV_FRONT_PENDING
struct tv_front {
  int dummy;
};

tv_front *tv_front_load(const char *dir) {
  if (!dir || !*dir) {
    tv_seterr("tovantts front: no asset directory");
    return NULL;
  }
  return (tv_front *)calloc(1, sizeof(tv_front));
}

void tv_front_free(tv_front *front) { free(front); }

namespace {
void emit(tv_phonemes *o, int32_t id, int32_t word) {
  if (o->count == o->capacity) {
    o->capacity = o->capacity ? 2 * o->capacity : 64;
    o->ids = (int32_t *)realloc(o->ids, sizeof(int32_t) * (size_t)o->capacity);
    o->words = (int32_t *)realloc(o->words, sizeof(int32_t) * (size_t)o->capacity);
  }
  o->ids[o->count] = id;
  o->words[o->count++] = word;
}
}  // namespace

int tv_front_phonemes(const tv_front *front, const char *text, tv_phonemes *out) {
  memset(out, 0, sizeof *out);
  if (!front || !text) {
    tv_seterr("tovantts front: NULL argument");
    return -1;
  }
  emit(out, 1, -1);
  int32_t word = -1;
  bool in_word = false;
  for (const char *p = text;; p++) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c >= 'a' && c <= 'z') {
      if (!in_word) word++;
      in_word = true;
      emit(out, 9 + (c - 'a'), word);
      continue;
    }
    if (in_word) emit(out, 1, -1);
    in_word = false;
    if (!c) break;
    const char *punct = strchr(",.?!", c);
    if (punct && c) emit(out, 2 + (int32_t)(punct - ",.?!"), -1);
  }
  return 0;
}

void tv_phonemes_free(tv_phonemes *out) {
  if (!out) return;
  free(out->ids);
  free(out->words);
  memset(out, 0, sizeof *out);
}

int tv_front_has_speech(const tv_phonemes *out) {
  for (int32_t i = 0; i < out->count; i++)
    if (out->ids[i] >= 9) return 1;
  return 0;
}
#endif

#ifdef TV_MARKUP_PENDING
namespace {
char *copy(const std::string &s) {
  char *p = (char *)malloc(s.size() + 1);
  memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

void add(std::vector<tv_segment> &v, const std::string &text, const char *tag, int32_t pause, const char *const *names,
         const float *vals, int32_t n) {
  tv_segment s;
  memset(&s, 0, sizeof s);
  s.text = copy(text);
  s.tag = copy(tag);
  s.pause_ms = pause;
  if (pause == 0 && n > 0) {
    s.nctrl = n;
    s.ctrl_names = (char **)calloc((size_t)n, sizeof(char *));
    s.ctrl_values = (float *)calloc((size_t)n, sizeof(float));
    for (int32_t i = 0; i < n; i++) {
      s.ctrl_names[i] = copy(names[i]);
      s.ctrl_values[i] = vals[i];
    }
  }
  v.push_back(s);
}

void sentences(std::vector<tv_segment> &v, const std::string &text, const char *tag, const char *const *names,
               const float *vals, int32_t n) {
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); i++) {
    bool end = i == text.size() ||
               (i > 0 && strchr(".!?", text[i - 1]) && text[i] == ' ');
    if (!end) continue;
    std::string s = text.substr(start, i - start);
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    if (a != std::string::npos) add(v, s.substr(a, b - a + 1), tag, 0, names, vals, n);
    start = i + 1;
  }
}
}  // namespace

int tv_front_parse_markup(const tv_front *front, const char *text, const char *tag, const char *const *ctrl_names,
                          const float *ctrl_vals, int32_t n_ctrl, const char *const *tags, int32_t n_tags,
                          tv_style_resolver, void *, tv_segment **out, int32_t *count) {
  *out = NULL;
  *count = 0;
  if (!front || !text) {
    tv_seterr("tovantts front: NULL argument");
    return -1;
  }
  const char *base = "none";
  for (int32_t i = 0; tag && i < n_tags; i++)
    if (strcmp(tags[i], tag) == 0) base = tag;
  std::vector<tv_segment> v;
  std::string t = text;
  size_t pos = 0;
  while (pos <= t.size()) {
    size_t open = t.find("[pause", pos);
    sentences(v, t.substr(pos, open == std::string::npos ? std::string::npos : open - pos), base, ctrl_names,
              ctrl_vals, n_ctrl);
    if (open == std::string::npos) break;
    size_t close = t.find(']', open);
    if (close == std::string::npos) break;
    std::string cue = t.substr(open + 6, close - open - 6);
    int32_t ms = 400;
    if (cue.find_first_of("0123456789") != std::string::npos) {
      double x = atof(cue.c_str());
      ms = (int32_t)(cue.find("ms") == std::string::npos && cue.find('s') != std::string::npos ? x * 1000 : x);
    }
    add(v, "", "none", ms, NULL, NULL, 0);
    pos = close + 1;
  }
  if (v.empty()) return 0;
  *out = (tv_segment *)malloc(sizeof(tv_segment) * v.size());
  memcpy(*out, v.data(), sizeof(tv_segment) * v.size());
  *count = (int32_t)v.size();
  return 0;
}

void tv_segments_free(tv_segment *segments, int32_t count) {
  if (!segments) return;
  for (int32_t i = 0; i < count; i++) {
    tv_segment *s = &segments[i];
    free(s->text);
    free(s->tag);
    for (int32_t k = 0; k < s->nctrl; k++) free(s->ctrl_names[k]);
    free(s->ctrl_names);
    free(s->ctrl_values);
    free(s->shifts);
  }
  free(segments);
}
#endif
