#include "api/render.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api/deps.h"
#include "nn/acoustic.h"
#include "nn/vocoder.h"
#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/resample.h"
#include "runtime/wav.h"

#define FADE 240

void speaker_free(tv_speaker *sp) {
  if (!sp) return;
  tv_free(sp->clip);
  memset(sp, 0, sizeof *sp);
}

// ---------------------------------------------------------------------------
// Collecting and streaming

int fb_add(tv_collector *c, const float *x, int64_t n) {
  if (n <= 0) return 0;
  if (c->n + n > c->cap) {
    int64_t cap = c->cap ? c->cap : 48000;
    while (cap < c->n + n) {
      if (cap > INT64_MAX / 2 / (int64_t)sizeof(float)) {
        tv_seterr("out of memory");
        return -1;
      }
      cap *= 2;
    }
    float *p = (float *)tv_malloc(sizeof(float) * (size_t)cap);
    if (!p) {
      tv_seterr("out of memory");
      return -1;
    }
    if (c->n) memcpy(p, c->x, sizeof(float) * (size_t)c->n);
    tv_free(c->x);
    c->x = p;
    c->cap = cap;
  }
  if (x)
    memcpy(c->x + c->n, x, sizeof(float) * (size_t)n);
  else
    memset(c->x + c->n, 0, sizeof(float) * (size_t)n);
  c->n += n;
  return 0;
}

int collect_sink(void *collector, const float *x, int64_t n, const tovantts_chunk_info *) {
  tv_collector *c = (tv_collector *)collector;
  c->chunks++;
  return fb_add(c, x, n);
}

// ---------------------------------------------------------------------------
// Prompts

namespace {

char *dup_or_oom(const char *s) {
  char *p = tv_strdup(s);
  if (!p) tv_seterr("out of memory");
  return p;
}

void set_ctrl(int32_t *n, int32_t *idx, double *val, int32_t k, double v) {
  for (int32_t i = 0; i < *n; i++)
    if (idx[i] == k) {
      val[i] = v;
      return;
    }
  if (*n < TV_N_CTRL) {
    idx[*n] = k;
    val[(*n)++] = v;
  }
}

}  // namespace

int map_prompt(tovantts_engine *e, const char *prompt, tv_request *r) {
  if (need_prompt(e) != 0) return -1;
  tv_prompt_mapping m;
  memset(&m, 0, sizeof m);
  if (tv_prompt_map(e->prompt, e->pool, prompt, &m) != 0) return -1;
  r->mapped = 1;
  const char *chosen = "none";
  for (int32_t i = 0; i < m.n_tags && i < 3; i++) {
    const char *name = tv_prompt_tag(e->prompt, m.tag[i]);
    if (name && name_index(e->tags, e->n_tags, name) >= 0) {
      chosen = name;
      break;
    }
  }
  free(r->mapped_tag);
  if (!(r->mapped_tag = (char *)malloc(strlen(chosen) + 1))) {
    tv_seterr("out of memory");
    return -1;
  }
  strcpy(r->mapped_tag, chosen);
  for (int32_t i = 0; i < r->n_top; i++) free(r->top_tags[i]);
  r->n_top = 0;
  for (int32_t i = 0; i < m.n_tags && i < 3; i++) {
    const char *name = tv_prompt_tag(e->prompt, m.tag[i]);
    size_t len = strlen(name ? name : "");
    if (!(r->top_tags[i] = (char *)malloc(len + 1))) {
      tv_seterr("out of memory");
      return -1;
    }
    memcpy(r->top_tags[i], name ? name : "", len + 1);
    r->top_prob[i] = m.prob_milli[i] / 1000.0;
    r->n_top = i + 1;
  }
  r->n_mapped_ctrl = 0;
  for (int32_t i = 0; i < m.n_ctrl && i < TV_N_CTRL; i++) {
    r->mapped_idx[i] = m.ctrl[i];
    r->mapped_val[i] = m.val_centi[i] / 100.0;
    r->n_mapped_ctrl = i + 1;
  }
  return 0;
}

int resolve_prompt(tovantts_engine *e, tv_request *r) {
  if (!r->prompt || !r->prompt[0]) {
    free(r->prompt);
    r->prompt = NULL;
    if (!r->tag) {
      if (!(r->tag = (char *)malloc(5))) {
        tv_seterr("out of memory");
        return -1;
      }
      strcpy(r->tag, "none");
    }
    return 0;
  }
  if (map_prompt(e, r->prompt, r) != 0) return -1;
  // The mapped controls first, the request's own on top of them.
  int32_t n = 0, idx[TV_N_CTRL];
  double val[TV_N_CTRL];
  for (int32_t i = 0; i < r->n_mapped_ctrl; i++) set_ctrl(&n, idx, val, r->mapped_idx[i], r->mapped_val[i]);
  for (int32_t i = 0; i < r->n_ctrl; i++) set_ctrl(&n, idx, val, r->ctrl_idx[i], r->ctrl_val[i]);
  r->n_ctrl = n;
  memcpy(r->ctrl_idx, idx, sizeof idx);
  memcpy(r->ctrl_val, val, sizeof val);
  if (!r->tag) {
    if (!(r->tag = (char *)malloc(strlen(r->mapped_tag) + 1))) {
      tv_seterr("out of memory");
      return -1;
    }
    strcpy(r->tag, r->mapped_tag);
  }
  free(r->prompt);
  r->prompt = NULL;
  return 0;
}

int style_of_prompt(void *engine, const char *prompt, char **tag, int32_t *n_ctrl, char ***names, float **vals) {
  tovantts_engine *e = (tovantts_engine *)engine;
  *tag = NULL;
  *n_ctrl = 0;
  *names = NULL;
  *vals = NULL;
  tv_request r;
  memset(&r, 0, sizeof r);
  int rc = -1;
  if (map_prompt(e, prompt, &r) != 0) goto done;
  {
    // Here the style is the first engine tag that says something.
    const char *chosen = "none";
    for (int32_t i = 0; i < r.n_top; i++)
      if (strcmp(r.top_tags[i], "none") != 0 && name_index(e->tags, e->n_tags, r.top_tags[i]) >= 0) {
        chosen = r.top_tags[i];
        break;
      }
    if (!(*tag = dup_or_oom(chosen))) goto done;
    const int32_t n = r.n_mapped_ctrl;
    *names = (char **)tv_calloc(sizeof(char *) * (size_t)(n > 0 ? n : 1));
    *vals = (float *)tv_calloc(sizeof(float) * (size_t)(n > 0 ? n : 1));
    if (!*names || !*vals) goto done;
    for (int32_t i = 0; i < n; i++) {
      if (!((*names)[i] = dup_or_oom(TV_CONTROLS[r.mapped_idx[i]]))) goto done;
      (*vals)[i] = (float)r.mapped_val[i];
      *n_ctrl = i + 1;
    }
    rc = 0;
  }
done:
  if (rc != 0) {
    if (*names)
      for (int32_t i = 0; i < *n_ctrl; i++) tv_free((*names)[i]);
    tv_free(*names);
    tv_free(*vals);
    tv_free(*tag);
    *tag = NULL;
    *names = NULL;
    *vals = NULL;
    *n_ctrl = 0;
  }
  req_free(&r);
  return rc;
}

// ---------------------------------------------------------------------------
// Speakers

uint64_t clip_hash(const float *x, size_t n) {
  uint64_t h = 0x14650fb0739d0383ull ^ (uint64_t)n;
  for (size_t i = 0; i < n; i++) {
    uint32_t bits;
    memcpy(&bits, &x[i], 4);
    for (int k = 0; k < 4; k++) h = (h ^ ((bits >> (8 * k)) & 0xFF)) * 0x100000001b3ull;
  }
  return h ? h : 1;
}

int ref_vector(tovantts_engine *e, const char *path, tv_speaker *sp) {
  float *x = NULL;
  size_t n = 0;
  int32_t rate = 0;
  if (tv_wav_read(path, &x, &n, &rate) != 0) return -1;
  if (rate < 1000 || rate > 768000) {
    tv_free(x);
    tv_seterr("reference audio: sample rate %d Hz is outside [1000, 768000]", rate);
    return -1;
  }
  const size_t keep = (size_t)rate * 9 + 256;
  if (n > keep) n = keep;
  for (size_t i = 0; i < n; i++)
    if (!isfinite(x[i])) {
      tv_free(x);
      tv_seterr("reference audio contains NaN or infinite samples");
      return -1;
    }
  if (rate != TV_SAMPLE_RATE) {
    float *y = NULL;
    size_t m = 0;
    int rc = tv_resample(x, n, rate, TV_SAMPLE_RATE, &y, &m);
    tv_free(x);
    if (rc != 0) return -1;
    x = y;
    n = m;
  }
  tv_free(sp->clip);
  sp->clip = x;
  sp->clip_n = n;
  sp->clip_rate = rate;
  const uint64_t h = clip_hash(x, n);
  if (h != e->ref_hash) {
    e->ref_hash = 0;
    if (need_wavlm(e) != 0) return -1;
    if (tv_wavlm_xvector(e->wavlm, e->pool, x, n, e->ref_vec) != 0) return -1;
    e->ref_hash = h;
  }
  sp->spk_vec = e->ref_vec;
  return 0;
}

int speaker_of(tovantts_engine *e, const tv_request *r, tv_speaker *sp) {
  memset(sp, 0, sizeof *sp);
  if (r->ref_wav) return ref_vector(e, r->ref_wav, sp);
  if (r->spk_vec) {
    sp->spk_vec = r->spk_vec;
    return 0;
  }
  const char *voice = r->voice ? r->voice : e->default_voice;
  const int32_t i = name_index(e->voices, e->n_voices, voice);
  if (i < 0) {
    tv_seterr("unknown voice '%s'", voice ? voice : "");
    return -1;
  }
  const float *row = e->voice_table + (size_t)i * (size_t)e->row_width;
  if (e->edge)
    sp->voice_row = row;
  else
    sp->spk_vec = row;
  return 0;
}

// ---------------------------------------------------------------------------
// One segment

namespace {

bool finite_samples(const float *x, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (!isfinite(x[i])) return false;
  return true;
}

}  // namespace

int render(tovantts_engine *e, const char *text, const tv_speaker *sp, const char *tag, int32_t n_ctrl,
           const int32_t *ctrl_idx, const double *ctrl_val, const tv_req_shift *shifts, int32_t n_shifts,
           int32_t flow, int64_t seed, float **audio, int64_t *n, double pace, double guidance) {
  *audio = NULL;
  *n = 0;
  int rc = -1;
  tv_phonemes ph;
  memset(&ph, 0, sizeof ph);
  int32_t *ids = NULL, *words = NULL;
  float *table = NULL, *mel = NULL, *refined = NULL, *pmel = NULL, *x = NULL;
  int32_t count = 0, T = 0;
  size_t samples = 0;

  if (tv_front_phonemes(e->front, text, &ph) != 0) goto done;
  if ((e->edge && !tv_front_has_speech(&ph)) || ph.count == 0) goto empty;
  {
    const int32_t n_sym = tv_acoustic_n_symbols(e->acoustic);
    ids = (int32_t *)tv_malloc(sizeof(int32_t) * (size_t)ph.count);
    words = (int32_t *)tv_malloc(sizeof(int32_t) * (size_t)ph.count);
    if (!ids || !words) goto done;
    for (int32_t i = 0; i < ph.count; i++)
      if (ph.ids[i] >= 0 && ph.ids[i] < n_sym) {
        ids[count] = ph.ids[i];
        words[count++] = ph.words[i];
      }
    if (count == 0) goto empty;
  }
  {
    float cv[TV_N_CONTROLS] = {0}, mask[TV_N_CONTROLS] = {0};
    for (int32_t i = 0; i < n_ctrl; i++)
      if (ctrl_idx[i] >= 0 && ctrl_idx[i] < TV_N_CONTROLS) {
        cv[ctrl_idx[i]] = (float)ctrl_val[i];
        mask[ctrl_idx[i]] = 1.0f;
      }
    int32_t tag_i = tag ? name_index(e->tags, e->n_tags, tag) : -1;
    if (tag_i < 0) tag_i = 0;
    float g[TV_ACOUSTIC_MAX_COND], g_ref[TV_ACOUSTIC_MAX_COND];
    if (tv_acoustic_condition(e->acoustic, sp->voice_row, sp->spk_vec, tag_i, cv, mask, g) != 0) goto done;
    const int guided = guidance != 1.0 && (n_ctrl > 0 || (tag && strcmp(tag, "none") != 0));
    if (guided && tv_acoustic_condition(e->acoustic, sp->voice_row, sp->spk_vec, 0, NULL, NULL, g_ref) != 0)
      goto done;

    int32_t W = 0;
    for (int32_t i = 0; i < count; i++)
      if (words[i] + 1 > W) W = words[i] + 1;
    if (n_shifts > 0 && W > 0) {
      table = (float *)tv_malloc(sizeof(float) * 3 * (size_t)W);
      if (!table) goto done;
      for (int32_t w = 0; w < W; w++) {
        table[3 * w] = 0.0f;
        table[3 * w + 1] = 0.0f;
        table[3 * w + 2] = 1.0f;
      }
      for (int32_t i = 0; i < n_shifts; i++) {
        const tv_req_shift *s = &shifts[i];
        if (s->index < 0 || s->index >= W) continue;
        table[3 * s->index] = s->pitch / 3.0f;
        table[3 * s->index + 1] = s->energy / 10.0f;
        table[3 * s->index + 2] = s->dur;
      }
    }
    if (tv_acoustic_infer(e->acoustic, e->pool, ids, words, count, g, guided ? g_ref : NULL, table,
                          table ? W : 0, &mel, &T, NULL, (float)guidance, (float)pace) != 0)
      goto done;

    if (flow && !e->edge) {
      tv_flow *net = NULL, *pflow = NULL;
      if (sp->clip && get_pflow(e, &pflow) != 0) goto done;
      net = pflow ? pflow : e->refiner;
      if (!e->refiner && !sp->clip) net = NULL;
      if (net) {
        int32_t P = 0;
        if (sp->clip && tv_flow_is_prompted(net)) {
          if (tv_prompt_mel(sp->clip, sp->clip_n, sp->clip_rate, mel, T, &pmel, &P) != 0) goto done;
        }
        refined = (float *)tv_malloc(sizeof(float) * (size_t)T * TV_ACOUSTIC_MEL);
        if (!refined) goto done;
        if (tv_flow_sample(net, e->pool, mel, T, g, e->flow_steps, (uint64_t)seed, pmel, P, refined, e->noise,
                           0.0f) != 0)
          goto done;
        tv_free(mel);
        mel = refined;
        refined = NULL;
      }
    }
    if (tv_vocoder_decode(e->vocoder, e->pool, mel, T, &x, &samples) != 0) goto done;
    // Speakable text that gives no samples, or samples that are not numbers,
    // comes from damaged weights; written out it would read as silence.
    if (samples == 0 || !finite_samples(x, samples)) {
      tv_seterr("the model gave %s for this text; its files may be damaged (%s)",
                samples == 0 ? "no audio" : "audio that is not finite", e->model_dir);
      goto done;
    }
  }
  *audio = x;
  *n = (int64_t)samples;
  x = NULL;
  rc = 0;
  goto done;
empty:
  if (!(*audio = (float *)tv_malloc(sizeof(float)))) goto done;
  rc = 0;
done:
  tv_phonemes_free(&ph);
  tv_free(ids);
  tv_free(words);
  tv_free(table);
  tv_free(mel);
  tv_free(refined);
  tv_free(pmel);
  tv_free(x);
  return rc;
}

// ---------------------------------------------------------------------------
// Segments

namespace {

// "name=value,..." of a segment's controls, at most 511 characters.
void ctrl_text(char *out, const tv_segment *s) {
  uint32_t fl = 0;
  sb b = {};
  for (int32_t i = 0; i < s->nctrl; i++) {
    char v[TV_NUM_TEXT];
    float_short(v, s->ctrl_values[i]);
    if (i) sb_ch(&fl, &b, ',');
    sb_cat(&fl, &b, s->ctrl_names[i] ? s->ctrl_names[i] : "");
    sb_ch(&fl, &b, '=');
    sb_cat(&fl, &b, v);
  }
  snprintf(out, 512, "%s", fl ? "" : sb_cstr(&b));
  sb_free(&b);
}

}  // namespace

int run_segments(tovantts_engine *e, const tv_request *r, const tv_speaker *sp, tv_sink sink, void *state) {
  const char *names[TV_N_CTRL];
  float vals[TV_N_CTRL];
  for (int32_t i = 0; i < r->n_ctrl; i++) {
    names[i] = TV_CONTROLS[r->ctrl_idx[i]];
    vals[i] = (float)r->ctrl_val[i];
  }
  tv_segment *segs = NULL;
  int32_t count = 0;
  if (tv_front_parse_markup(e->front, r->text, r->tag, names, vals, r->n_ctrl, (const char *const *)e->tags, e->n_tags,
                            e->edge ? NULL : style_of_prompt, e, &segs, &count) != 0)
    return -1;
  int rc = 0;
  for (int32_t k = 0; k < count && rc == 0; k++) {
    const tv_segment *s = &segs[k];
    if (s->skip) continue;
    const double t0 = tv_time_ms();
    float *x = NULL;
    int64_t n = 0;
    if (s->pause_ms > 0) {
      n = (int64_t)s->pause_ms * 24;
      if (!(x = (float *)tv_calloc(sizeof(float) * (size_t)n))) {
        rc = -1;
        break;
      }
    } else {
      int32_t nc = 0, idx[TV_N_CTRL];
      double v[TV_N_CTRL];
      for (int32_t i = 0; i < s->nctrl && nc < TV_N_CTRL; i++) {
        const int32_t c = ctrl_index(s->ctrl_names[i]);
        if (c < 0) continue;
        idx[nc] = c;
        v[nc++] = s->ctrl_values[i];
      }
      tv_req_shift *shifts = NULL;
      if (s->nshift > 0) {
        if (!(shifts = (tv_req_shift *)tv_malloc(sizeof(tv_req_shift) * (size_t)s->nshift))) {
          rc = -1;
          break;
        }
        for (int32_t i = 0; i < s->nshift; i++)
          shifts[i] = {s->shifts[i].word, s->shifts[i].pitch, s->shifts[i].energy, s->shifts[i].dur,
                       TV_SHIFT_PITCH | TV_SHIFT_ENERGY | TV_SHIFT_DUR};
      }
      int st = render(e, s->text ? s->text : "", sp, s->tag, nc, idx, v, shifts, s->nshift, r->flow, r->seed, &x,
                      &n, r->pace, r->guidance);
      tv_free(shifts);
      if (st != 0) {
        rc = -1;
        break;
      }
      tv_fade_ends(x, (size_t)n, FADE);
    }
    char ctrl[512];
    ctrl_text(ctrl, s);
    tovantts_chunk_info info;
    info.text = s->text ? s->text : "";
    info.tag = s->tag && s->tag[0] ? s->tag : "none";
    info.ctrl = ctrl;
    info.pause_ms = s->pause_ms;
    info.index = k;
    info.render_ms = tv_time_ms() - t0;
    const int got = sink(state, x, n, &info);
    tv_free(x);
    if (got < 0) rc = -1;
    if (got > 0) break;
  }
  tv_segments_free(segs, count);
  return rc;
}

int synth_req(tovantts_engine *e, tv_request *r, float **audio, int64_t *n) {
  *audio = NULL;
  *n = 0;
  if (resolve_prompt(e, r) != 0) return -1;
  tv_speaker sp;
  if (speaker_of(e, r, &sp) != 0) {
    speaker_free(&sp);
    return -1;
  }
  int rc;
  if (!r->markup) {
    rc = render(e, r->text, &sp, r->tag, r->n_ctrl, r->ctrl_idx, r->ctrl_val, r->shifts, r->n_shifts, r->flow,
                r->seed, audio, n, r->pace, r->guidance);
  } else {
    tv_collector c;
    memset(&c, 0, sizeof c);
    rc = run_segments(e, r, &sp, collect_sink, &c);
    if (rc == 0 && c.chunks == 0) rc = fb_add(&c, NULL, 1);
    if (rc == 0) {
      // Exactly the collected samples.
      float *out = (float *)tv_malloc(sizeof(float) * (size_t)(c.n > 0 ? c.n : 1));
      if (!out) {
        tv_seterr("out of memory");
        rc = -1;
      } else {
        if (c.n) memcpy(out, c.x, sizeof(float) * (size_t)c.n);
        *audio = out;
        *n = c.n;
      }
    }
    tv_free(c.x);
  }
  speaker_free(&sp);
  return rc;
}
