// The exported tovantts_* functions other than creation (engine.cpp), the
// director (director*.cpp) and the default options (request.cpp): information,
// synthesis, streaming, JSON requests, prompts, phonemes, speaker vectors, WAV
// files and memory.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api/deps.h"
#include "api/engine.h"
#include "api/render.h"
#include "api/request.h"
#include "runtime/error.h"
#include "runtime/resample.h"
#include "runtime/wav.h"

namespace {

int fail(char *err, size_t errlen) {
  if (err && errlen) snprintf(err, errlen, "%s", tv_geterr());
  return -1;
}

int fail_msg(char *err, size_t errlen, const char *msg) {
  tv_seterr("%s", msg);
  return fail(err, errlen);
}

// Stream sink: either callback, with the user pointer.
struct StreamSink {
  tovantts_chunk_fn plain;
  tovantts_chunk_ex_fn ex;
  void *user;
};

int stream_sink(void *state, const float *x, int64_t n, const tovantts_chunk_info *info) {
  StreamSink *s = (StreamSink *)state;
  static const float none = 0.0f;
  const float *samples = x ? x : &none;
  const int32_t r = s->ex ? s->ex(samples, n, info, s->user) : s->plain(samples, n, s->user);
  return r != 0 ? 1 : 0;
}

const char *const STREAM_SHIFT =
    "stream() does not support word_shift (segments re-index words); use inline markup such as "
    "<high>word</high> or *word*, or synthesize() for a whole-utterance word_shift";

// Streaming after the request was built (streaming mode).
int stream_req(tovantts_engine *e, tv_request *r, StreamSink *sink, char *err, size_t errlen) {
  int rc = -1;
  tv_speaker sp;
  memset(&sp, 0, sizeof sp);
  if (resolve_prompt(e, r) != 0) goto done;
  if (r->n_shifts > 0) {
    tv_seterr("%s", STREAM_SHIFT);
    goto done;
  }
  if (speaker_of(e, r, &sp) != 0) goto done;
  rc = run_segments(e, r, &sp, stream_sink, sink);
done:
  speaker_free(&sp);
  req_free(r);
  return rc == 0 ? 0 : fail(err, errlen);
}

int stream_common(tovantts_engine *e, const char *text, const tovantts_options *opt, StreamSink *sink, char *err,
                  size_t errlen) {
  if (!e) return fail_msg(err, errlen, "tovantts_stream: engine is NULL");
  if (!sink->plain && !sink->ex) return fail_msg(err, errlen, "tovantts_stream: the chunk callback is NULL");
  if (!text) return fail_msg(err, errlen, "text must be a non-empty string");
  tv_request r;
  if (req_from_options(e, text, opt, &r, 1) != 0) {
    req_free(&r);
    return fail(err, errlen);
  }
  return stream_req(e, &r, sink, err, errlen);
}

}  // namespace

// ---------------------------------------------------------------------------
// Information

const char *tovantts_version(void) { return TV_ENGINE_VERSION; }
int32_t tovantts_sample_rate(void) { return TV_SAMPLE_RATE; }
int32_t tovantts_num_voices(const tovantts_engine *e) { return e ? e->n_voices : 0; }

const char *tovantts_voice(const tovantts_engine *e, int32_t index) {
  return e && index >= 0 && index < e->n_voices ? e->voices[index] : NULL;
}

const char *tovantts_default_voice(const tovantts_engine *e) { return e ? e->default_voice : NULL; }

const char *tovantts_voice_gender(const tovantts_engine *e, int32_t index) {
  if (!e || !e->genders || index < 0 || index >= e->n_voices) return NULL;
  const char g = e->genders[index];
  return g == 'f' ? "female" : g == 'm' ? "male" : NULL;
}

const char *tovantts_gender_voice(const tovantts_engine *e, const char *gender) {
  if (!e || !gender) return NULL;
  int g;
  if (strcmp(gender, "female") == 0)
    g = TV_FEMALE;
  else if (strcmp(gender, "male") == 0)
    g = TV_MALE;
  else
    return NULL;
  const int32_t i = e->gender_default[g];
  return i >= 0 && i < e->n_voices ? e->voices[i] : NULL;
}

int32_t tovantts_num_tags(const tovantts_engine *e) { return e ? e->n_tags : 0; }

const char *tovantts_tag(const tovantts_engine *e, int32_t index) {
  return e && index >= 0 && index < e->n_tags ? e->tags[index] : NULL;
}

int32_t tovantts_num_controls(void) { return 12; }

const char *tovantts_control(uint32_t index) { return index < 12 ? TV_CONTROLS[index] : NULL; }

int32_t tovantts_has(const tovantts_engine *e, const char *feature) {
  if (!e || !feature) return 0;
  if (strcmp(feature, "flow") == 0) return e->refiner != NULL;
  if (e->edge) return 0;
  if (strcmp(feature, "prompt") == 0) {
    char path[4096];
    if (snprintf(path, sizeof path, "%s/minilm_vocab.txt", e->native_dir) >= (int)sizeof path) return 0;
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    fclose(f);
    return asset_exists(e, "minilm.safetensors");
  }
  if (strcmp(feature, "clone") == 0) return asset_exists(e, "wavlm_sv.safetensors");
  return 0;
}

// ---------------------------------------------------------------------------
// Synthesis

int32_t tovantts_synthesize(tovantts_engine *e, const char *text, const tovantts_options *opt, float **audio,
                            int64_t *n, char *err, size_t errlen) {
  if (!audio || !n) return fail_msg(err, errlen, "tovantts_synthesize: audio and n must not be NULL");
  *audio = NULL;
  *n = 0;
  if (!e) return fail_msg(err, errlen, "tovantts_synthesize: engine is NULL");
  if (!text) return fail_msg(err, errlen, "text must be a non-empty string");
  tv_request r;
  int rc = req_from_options(e, text, opt, &r, 0);
  if (rc == 0) rc = synth_req(e, &r, audio, n);
  req_free(&r);
  return rc == 0 ? 0 : fail(err, errlen);
}

int32_t tovantts_synthesize_json(tovantts_engine *e, const char *request_json, float **audio, int64_t *n, char *err,
                                 size_t errlen) {
  if (!audio || !n) return fail_msg(err, errlen, "tovantts_synthesize_json: audio and n must not be NULL");
  *audio = NULL;
  *n = 0;
  if (!e) return fail_msg(err, errlen, "tovantts_synthesize_json: engine is NULL");
  if (!request_json) return fail_msg(err, errlen, "a request is a JSON object");
  tv_request r;
  int rc = req_from_json(e, request_json, &r, 0);
  if (rc == 0) rc = synth_req(e, &r, audio, n);
  req_free(&r);
  return rc == 0 ? 0 : fail(err, errlen);
}

int32_t tovantts_stream(tovantts_engine *e, const char *text, const tovantts_options *opt, tovantts_chunk_fn cb,
                        void *user, char *err, size_t errlen) {
  StreamSink s = {cb, NULL, user};
  return stream_common(e, text, opt, &s, err, errlen);
}

int32_t tovantts_stream_ex(tovantts_engine *e, const char *text, const tovantts_options *opt,
                           tovantts_chunk_ex_fn cb, void *user, char *err, size_t errlen) {
  StreamSink s = {NULL, cb, user};
  return stream_common(e, text, opt, &s, err, errlen);
}

int32_t tovantts_stream_json(tovantts_engine *e, const char *request_json, tovantts_chunk_ex_fn cb, void *user,
                             char *err, size_t errlen) {
  if (!e) return fail_msg(err, errlen, "tovantts_stream: engine is NULL");
  if (!cb) return fail_msg(err, errlen, "tovantts_stream: the chunk callback is NULL");
  if (!request_json) return fail_msg(err, errlen, "a request is a JSON object");
  tv_request r;
  if (req_from_json(e, request_json, &r, 1) != 0) {
    req_free(&r);
    return fail(err, errlen);
  }
  StreamSink s = {NULL, cb, user};
  return stream_req(e, &r, &s, err, errlen);
}

int32_t tovantts_resolve_json(tovantts_engine *e, const char *request_json, char **out, char *err, size_t errlen) {
  if (!out) return fail_msg(err, errlen, "tovantts_resolve_json: out must not be NULL");
  *out = NULL;
  if (!e) return fail_msg(err, errlen, "tovantts_resolve_json: engine is NULL");
  if (!request_json) return fail_msg(err, errlen, "a request is a JSON object");
  tv_request r;
  int rc = req_from_json(e, request_json, &r, 0);
  if (rc == 0) rc = resolve_prompt(e, &r);
  if (rc == 0 && !(*out = req_canonical(e, &r))) rc = -1;
  req_free(&r);
  return rc == 0 ? 0 : fail(err, errlen);
}

int32_t tovantts_map_prompt(tovantts_engine *e, const char *prompt, char **out, char *err, size_t errlen) {
  if (!out) return fail_msg(err, errlen, "tovantts_map_prompt: out must not be NULL");
  *out = NULL;
  if (!e) return fail_msg(err, errlen, "tovantts_map_prompt: engine is NULL");
  if (!prompt || !prompt[0]) return fail_msg(err, errlen, "prompt must be a non-empty string");
  tv_request r;
  memset(&r, 0, sizeof r);
  if (map_prompt(e, prompt, &r) != 0) {
    req_free(&r);
    return fail(err, errlen);
  }
  uint32_t fl = 0;
  sb b = {};
  sb_cat(&fl, &b, "{\"tag\": ");
  sb_json_str(&fl, &b, r.mapped_tag ? r.mapped_tag : "none");
  sb_cat(&fl, &b, ", \"ctrl\": ");
  sb_json_ctrl(&fl, &b, r.n_mapped_ctrl, r.mapped_idx, r.mapped_val);
  sb_cat(&fl, &b, ", \"top_tags\": [");
  for (int32_t i = 0; i < r.n_top; i++) {
    if (i) sb_cat(&fl, &b, ", ");
    sb_ch(&fl, &b, '[');
    sb_json_str(&fl, &b, r.top_tags[i]);
    sb_cat(&fl, &b, ", ");
    sb_json_num(&fl, &b, r.top_prob[i]);
    sb_ch(&fl, &b, ']');
  }
  sb_cat(&fl, &b, "]}");
  *out = fl ? NULL : tv_strdup(sb_cstr(&b));
  sb_free(&b);
  req_free(&r);
  if (!*out) return fail_msg(err, errlen, "out of memory");
  return 0;
}

int32_t tovantts_phonemes(tovantts_engine *e, const char *text, int32_t **ids, int32_t **words, int32_t *n,
                          char *err, size_t errlen) {
  if (!ids || !words || !n) return fail_msg(err, errlen, "tovantts_phonemes: ids, words and n must not be NULL");
  *ids = NULL;
  *words = NULL;
  *n = 0;
  if (!e) return fail_msg(err, errlen, "tovantts_phonemes: engine is NULL");
  tv_phonemes ph;
  memset(&ph, 0, sizeof ph);
  if (tv_front_phonemes(e->front, text, &ph) != 0) return fail(err, errlen);
  int32_t *a = (int32_t *)tv_malloc(sizeof(int32_t) * ((size_t)ph.count + 1));
  int32_t *w = (int32_t *)tv_malloc(sizeof(int32_t) * ((size_t)ph.count + 1));
  if (!a || !w) {
    tv_free(a);
    tv_free(w);
    tv_phonemes_free(&ph);
    return fail_msg(err, errlen, "out of memory");
  }
  if (ph.count) {
    memcpy(a, ph.ids, sizeof(int32_t) * (size_t)ph.count);
    memcpy(w, ph.words, sizeof(int32_t) * (size_t)ph.count);
  }
  *ids = a;
  *words = w;
  *n = ph.count;
  tv_phonemes_free(&ph);
  return 0;
}

int32_t tovantts_speaker_vector(tovantts_engine *e, const char *path, const float *samples, int64_t n, int32_t rate,
                                float *out, char *err, size_t errlen) {
  if (!e) return fail_msg(err, errlen, "tovantts_speaker_vector: engine is NULL");
  if (!out) return fail_msg(err, errlen, "tovantts_speaker_vector: out must not be NULL");
  if (path) {
    tv_speaker sp;
    memset(&sp, 0, sizeof sp);
    int rc = ref_vector(e, path, &sp);
    if (rc == 0) memcpy(out, sp.spk_vec, sizeof(float) * TV_SPK_VEC);
    speaker_free(&sp);
    return rc == 0 ? 0 : fail(err, errlen);
  }
  if (need_wavlm(e) != 0) return fail(err, errlen);
  if (!samples || n <= 0) return fail_msg(err, errlen, "tovantts_speaker_vector: no samples");
  if (rate < 1000 || rate > 768000) {
    tv_seterr("reference audio: sample rate %d Hz is outside [1000, 768000]", rate);
    return fail(err, errlen);
  }
  size_t m = (size_t)n;
  const size_t keep = (size_t)rate * 9 + 256;
  if (m > keep) m = keep;
  for (size_t i = 0; i < m; i++)
    if (!isfinite(samples[i])) return fail_msg(err, errlen, "reference audio contains NaN or infinite samples");
  float *x = NULL;
  size_t k = 0;
  if (rate != TV_SAMPLE_RATE) {
    if (tv_resample(samples, m, rate, TV_SAMPLE_RATE, &x, &k) != 0) return fail(err, errlen);
  } else {
    if (!(x = (float *)tv_malloc(sizeof(float) * m))) return fail(err, errlen);
    memcpy(x, samples, sizeof(float) * m);
    k = m;
  }
  int rc = -1;
  rc = tv_wavlm_xvector(e->wavlm, e->pool, x, k, out);
  tv_free(x);
  return rc == 0 ? 0 : fail(err, errlen);
}

int32_t tovantts_save_wav(const float *samples, int64_t n, const char *path) {
  if (!path || n < 0 || (!samples && n > 0)) {
    tv_seterr("tovantts_save_wav: bad arguments");
    return -1;
  }
  return tv_wav_write(path, samples, (size_t)n, TV_SAMPLE_RATE) == 0 ? 0 : -1;
}

int32_t tovantts_load_wav(const char *path, float **samples, int64_t *n, int32_t *rate, char *err, size_t errlen) {
  if (!samples || !n || !rate) return fail_msg(err, errlen, "tovantts_load_wav: samples, n and rate must not be NULL");
  *samples = NULL;
  *n = 0;
  *rate = 0;
  if (!path) return fail_msg(err, errlen, "tovantts_load_wav: path is NULL");
  size_t frames = 0;
  if (tv_wav_read(path, samples, &frames, rate) != 0) return fail(err, errlen);
  *n = (int64_t)frames;
  return 0;
}

void tovantts_free(void *p) { tv_free(p); }
void tovantts_free_audio(void *p) { tv_free(p); }
