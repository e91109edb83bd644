/* The public header used from C11: it must compile on its own (strict
   pedantic C, warnings as errors) and its functions must link with C names. */
#include "tovantts.h"

#include <stdio.h>

static int32_t count_chunk(const float *samples, int64_t n, const tovantts_chunk_info *info, void *user) {
    (void)samples;
    (void)info;
    *(int64_t *)user += n;
    return 0;
}

/* Samples of one sentence synthesised and streamed through the C interface;
   -1 (message in err) when something fails or the two disagree. */
int64_t tovantts_c_roundtrip(const char *model_dir, const char *text, char *err, size_t errlen) {
    tovantts_config cfg;
    tovantts_options opt;
    tovantts_engine *e;
    float *audio = NULL;
    int64_t n = 0, streamed = 0;
    tovantts_default_config(&cfg);
    e = tovantts_create_ex(model_dir, &cfg, err, errlen);
    if (!e) return -1;
    tovantts_default_options(&opt);
    opt.voice = tovantts_gender_voice(e, "male");
    opt.markup = 1;
    if (tovantts_synthesize(e, text, &opt, &audio, &n, err, errlen) != 0 ||
        tovantts_stream_ex(e, text, &opt, count_chunk, &streamed, err, errlen) != 0) {
        tovantts_destroy(e);
        return -1;
    }
    tovantts_free(audio);
    tovantts_destroy(e);
    if (streamed != n) {
        snprintf(err, errlen, "streamed %lld samples, synthesised %lld", (long long)streamed, (long long)n);
        return -1;
    }
    return n;
}
