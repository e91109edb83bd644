/* TovanTTS speech engine: the one public interface. */
#ifndef TOVANTTS_H
#define TOVANTTS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Conventions of the whole interface:
   - Status results are 0 on success and -1 on failure (the director's planning
     calls return 1); constructors return a handle or NULL.
   - Calls that take err and errlen copy the engine's message into err on
     failure (cut to errlen bytes, NUL-terminated) when both are non-zero.
   - Memory the engine hands out (audio, phoneme arrays, JSON texts) is freed
     with tovantts_free, never with the platform allocator.
   - Texts are NUL-terminated UTF-8; audio is mono 32-bit float at 24000 Hz.
   - One engine serves one call at a time (lazy loading and the reference-clip
     cache write into it); the information calls only read. */

typedef struct tovantts_engine tovantts_engine;

/* Creation settings; tovantts_default_config fills the defaults. */
typedef struct tovantts_config {
    int32_t threads;        /* pool size, 1; 0 = online processors */
    const char *precision;  /* "fp32" (NULL or "" too) or "int8" */
    int32_t flow;           /* 1: use the flow refiner when the model has one */
    int32_t flow_steps;     /* refiner steps, 10; below 1 becomes 10 */
    float noise;            /* refiner noise scale, 0.4; negative or NaN becomes 0.4 */
    float guidance;         /* default guidance of requests, 1.0; within [0, 4] */
    const char *native_dir; /* shared assets; NULL = "<model>/native" */
} tovantts_config;

/* Options of one request; tovantts_default_options fills the defaults. */
typedef struct tovantts_options {
    const char *voice;      /* built-in voice; NULL = the engine's default */
    const char *tag;        /* style tag or NULL */
    const char *ctrl;       /* controls "name=z,name=z" or NULL */
    float pace;             /* speaking-rate factor, 1.0; 0 = not given */
    float guidance;         /* guidance weight; negative = the engine's default */
    int32_t markup;         /* non-zero: the text carries inline markup */
    const char *prompt;     /* free-text style prompt (full model) */
    const char *ref_wav;    /* reference clip to clone (full model) */
    const float *spk_vec;   /* 512 floats in place of a voice, or NULL */
    int32_t flow;           /* -1 engine default, 0 off, 1 on */
    int64_t seed;           /* refiner seed; 0 = not given; negative is refused */
    const char *word_shift; /* "word:key=v,key=v;word:..." or NULL */
} tovantts_options;

/* What the extended chunk callback receives with each segment; the record
   and its texts are valid only during the callback. */
typedef struct tovantts_chunk_info {
    const char *text;  /* the segment's text ("" when none) */
    const char *tag;   /* its style tag ("none" when none) */
    const char *ctrl;  /* its controls "name=v,..." ("" when none) */
    int32_t pause_ms;  /* its pause (0 for a spoken segment) */
    int32_t index;     /* its position in the request, from 0 */
    double render_ms;  /* milliseconds spent on this segment */
} tovantts_chunk_info;

/* Chunk callbacks get one segment's samples, valid only during the call. A
   non-zero result stops the stream after this chunk (the call returns 0). The
   callback runs on the calling thread and must not call into the same engine. */
typedef int32_t (*tovantts_chunk_fn)(const float *samples, int64_t n, void *user);
typedef int32_t (*tovantts_chunk_ex_fn)(const float *samples, int64_t n,
                                        const tovantts_chunk_info *info, void *user);

/* ---- creation and threads ---- */

/* Writes the default settings (every other byte zero); NULL is ignored. */
void tovantts_default_config(tovantts_config *cfg);
/* Engine or NULL (message in err). model_dir NULL or "" means $TOVANTTS_MODEL;
   threads replaces the default setting. Freed with tovantts_destroy. */
tovantts_engine *tovantts_create(const char *model_dir, int32_t threads, char *err, size_t errlen);
/* Engine or NULL (message in err); cfg NULL means the defaults. */
tovantts_engine *tovantts_create_ex(const char *model_dir, const tovantts_config *cfg, char *err,
                                    size_t errlen);
/* Frees the engine and everything it owns; NULL is ignored. */
void tovantts_destroy(tovantts_engine *e);
/* 0 / -1: a new pool of n threads (0 = online processors); on failure the old
   pool stays. */
int32_t tovantts_set_threads(tovantts_engine *e, int32_t n);
/* Pool size; 0 for NULL. */
int32_t tovantts_threads(const tovantts_engine *e);
/* Number of worker thread ids written to tids (at most cap); the pool reports
   none, so 0. */
int32_t tovantts_worker_tids(const tovantts_engine *e, int32_t *tids, int32_t cap);

/* ---- information (texts belong to the engine and live until destroy) ---- */

/* "1.2.0". */
const char *tovantts_version(void);
/* 24000. */
int32_t tovantts_sample_rate(void);
/* "tovan-tts-edge" or "tovan-tts"; NULL for NULL. */
const char *tovantts_model_type(const tovantts_engine *e);
/* Voice count; 0 for NULL. */
int32_t tovantts_num_voices(const tovantts_engine *e);
/* Voice name, or NULL when the index is out of range or e is NULL. */
const char *tovantts_voice(const tovantts_engine *e, int32_t index);
/* Default voice name; NULL for NULL. */
const char *tovantts_default_voice(const tovantts_engine *e);
/* "female" / "male", or NULL when out of range or the gender is unknown. */
const char *tovantts_voice_gender(const tovantts_engine *e, int32_t index);
/* The default voice of gender "female" or "male" (exact words), or NULL. */
const char *tovantts_gender_voice(const tovantts_engine *e, const char *gender);
/* Tag count; 0 for NULL. */
int32_t tovantts_num_tags(const tovantts_engine *e);
/* Tag name, or NULL when out of range. */
const char *tovantts_tag(const tovantts_engine *e, int32_t index);
/* 12. */
int32_t tovantts_num_controls(void);
/* Control name of index 0-11 ("rate" ... "h1h2"); NULL above 11. */
const char *tovantts_control(uint32_t index);
/* 1 when the engine has the feature "flow", "prompt" or "clone", else 0. */
int32_t tovantts_has(const tovantts_engine *e, const char *feature);

/* ---- synthesis ---- */

/* Writes the default options (pace 1, guidance -1, flow -1, the rest zero);
   NULL is ignored. */
void tovantts_default_options(tovantts_options *opt);
/* 0 / -1. *audio (freed with tovantts_free) receives *n samples; opt NULL
   means the defaults. On failure *audio is NULL and *n is 0. */
int32_t tovantts_synthesize(tovantts_engine *e, const char *text, const tovantts_options *opt,
                            float **audio, int64_t *n, char *err, size_t errlen);
/* 0 / -1. As tovantts_synthesize from a JSON request. */
int32_t tovantts_synthesize_json(tovantts_engine *e, const char *request_json, float **audio,
                                 int64_t *n, char *err, size_t errlen);
/* 0 / -1. Renders segment by segment, calling cb after each; the text is read
   as markup whatever opt says. A stop asked by cb is a success. */
int32_t tovantts_stream(tovantts_engine *e, const char *text, const tovantts_options *opt,
                        tovantts_chunk_fn cb, void *user, char *err, size_t errlen);
/* 0 / -1. As tovantts_stream with the segment's chunk info. */
int32_t tovantts_stream_ex(tovantts_engine *e, const char *text, const tovantts_options *opt,
                           tovantts_chunk_ex_fn cb, void *user, char *err, size_t errlen);
/* 0 / -1. As tovantts_stream_ex from a JSON request. */
int32_t tovantts_stream_json(tovantts_engine *e, const char *request_json, tovantts_chunk_ex_fn cb,
                             void *user, char *err, size_t errlen);
/* 0 / -1. *out (freed with tovantts_free) receives the validated request in
   its canonical resolved JSON form. */
int32_t tovantts_resolve_json(tovantts_engine *e, const char *request_json, char **out, char *err,
                              size_t errlen);
/* 0 / -1. *out (freed with tovantts_free) receives the mapping of a free-text
   prompt: {"tag": ..., "ctrl": {...}, "top_tags": [[tag, p], ...]}. */
int32_t tovantts_map_prompt(tovantts_engine *e, const char *prompt, char **out, char *err,
                            size_t errlen);
/* 0 / -1. *ids and *words (each freed with tovantts_free) receive *n symbol
   ids and the word index of each (-1 outside words). */
int32_t tovantts_phonemes(tovantts_engine *e, const char *text, int32_t **ids, int32_t **words,
                          int32_t *n, char *err, size_t errlen);
/* 0 / -1. A 512-float speaker vector into out from the clip at path, or when
   path is NULL from n samples at rate Hz (copied, never changed). */
int32_t tovantts_speaker_vector(tovantts_engine *e, const char *path, const float *samples,
                                int64_t n, int32_t rate, float *out, char *err, size_t errlen);
/* 0 / -1. Writes a 16-bit mono WAV at 24000 Hz: a regular file is replaced
   atomically (through symbolic links, keeping its mode); a device or FIFO is
   written in place. */
int32_t tovantts_save_wav(const float *samples, int64_t n, const char *path);
/* 0 / -1. *samples (freed with tovantts_free) receives *n mono samples of any
   WAV file at its own rate *rate. */
int32_t tovantts_load_wav(const char *path, float **samples, int64_t *n, int32_t *rate, char *err,
                          size_t errlen);
/* Releases memory the engine handed out; NULL is allowed. */
void tovantts_free(void *p);
/* The same as tovantts_free. */
void tovantts_free_audio(void *p);

/* ===================== Reading director ===================== */
/* A small recurrent model that plans six values per sentence for a whole
   reading: values 0-4 drive the controls rate, loud, f0_med, f0_iqr and
   f0_end, value 5 the pause after the sentence (ln(1 + seconds at pace 1)).
   Director calls write their messages straight into err (errlen bytes, cut
   and NUL-terminated) when both are non-zero. A director is read-only after
   loading and may be shared by threads; a reading belongs to one caller. */

typedef struct tovantts_director tovantts_director;
typedef struct tovantts_reading tovantts_reading;

/* One sentence handed to the director. */
typedef struct tovantts_sentence {
    const char *text;   /* UTF-8, required */
    int32_t dialogue;   /* 0/1: some of the sentence is dialogue */
    int32_t hasSpeaker; /* 0/1: the dialogue has a named speaker */
    int32_t paraLen;    /* sentences in the paragraph */
    int32_t paraIndex;  /* position in the paragraph, from 0 */
} tovantts_sentence;

/* Director or NULL (message in err). path is the director file when it is at
   least 5 characters and ends in ".bin", else a directory holding
   "director.bin". Freed with tovantts_director_free. */
tovantts_director *tovantts_director_load(const char *path, char *err, size_t errlen);
/* As tovantts_director_load from a file image; the bytes are copied. */
tovantts_director *tovantts_director_from_memory(const void *bytes, size_t size, char *err,
                                                 size_t errlen);
/* Frees a director; NULL is ignored. */
void tovantts_director_free(tovantts_director *d);
/* Genre name of index 0-9 ("children" ... "poetry"), NULL above; static text. */
const char *tovantts_director_genre(uint32_t index);

/* A fresh reading state for one document, or NULL (NULL director, no memory).
   The genre is matched exactly; NULL or unknown means none. Freed with
   tovantts_reading_free; the director must outlive it. */
tovantts_reading *tovantts_reading_begin(const tovantts_director *d, const char *genre);
/* 0: plans sentence s (next: the following sentence or NULL) into out[6];
   1 when the state, the sentence, its text or out is NULL. */
int32_t tovantts_reading_next(tovantts_reading *r, const tovantts_sentence *s,
                              const tovantts_sentence *next, float *out);
/* Frees a reading state; NULL is ignored. */
void tovantts_reading_free(tovantts_reading *r);

/* 0: plans count sentences in order into out (6 floats per sentence) with a
   reading state of its own; 1 on failure (message in err; the plans of the
   sentences before a failing one are written). */
int32_t tovantts_director_plan(const tovantts_director *d, const tovantts_sentence *sentences,
                               int32_t count, const char *genre, float *out, char *err,
                               size_t errlen);

/* Five control values (rate, loud, f0_med, f0_iqr, f0_end) from a plan at the
   given strength, through the director's calibration when its file has one
   (d may be NULL), clamped to [-3, 3]. NULL out: nothing; NULL plan: zeros.
   A value that is NaN or infinite counts as 0. */
void tovantts_plan_controls(const tovantts_director *d, const float *plan, float *out,
                            float strength);
/* 0: writes "rate=V,loud=V,f0_med=V,f0_iqr=V,f0_end=V" (two decimals) into out;
   1 when out is NULL, outlen is 0 or the text does not fit (out then holds ""). */
int32_t tovantts_plan_ctrl(const tovantts_director *d, const float *plan, char *out,
                           size_t outlen, float strength);
/* Pause after the sentence in milliseconds, within [80, 1500]; 0 for a NULL
   plan. A pace of 0.25 or below counts as 1. */
int32_t tovantts_plan_pause_ms(const float *plan, float pace);

/* =================== End of reading director ================== */

#ifdef __cplusplus
}
#endif

#endif /* TOVANTTS_H */
