/* TovanTTS speech engine: the one public interface. */
#ifndef TOVANTTS_H
#define TOVANTTS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

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
