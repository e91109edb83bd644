// tovan-say: text to a WAV file through the engine's public interface.
//
//   tovan-say [-m MODEL] [-o OUT.wav] [-v VOICE] [-t TAG] [-c CTRL] [-p PACE]
//             [--markup] [--stream] [--threads N] [--json] TEXT...
//   tovan-say [-m MODEL] --voices | --tags
//
// MODEL defaults to $TOVANTTS_MODEL. With --json the text is a request JSON
// object. --stream renders sentence by sentence and reports when the first
// one was ready. Prints one line of figures; the audio is 16-bit mono 24 kHz.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "runtime/error.h"
#include "tovantts.h"

namespace {

int usage() {
  fprintf(stderr,
          "usage: tovan-say [-m MODEL] [-o OUT.wav] [-v VOICE] [-t TAG] [-c CTRL] [-p PACE] [--markup] [--stream]\n"
          "                 [--threads N] [--json] TEXT...\n"
          "       tovan-say [-m MODEL] --voices | --tags\n");
  return 2;
}

struct Collect {
  std::vector<float> x;
  double t0 = 0, first = -1;
  int32_t chunks = 0;
  static int32_t cb(const float *s, int64_t n, const tovantts_chunk_info *, void *user) {
    Collect *c = (Collect *)user;
    if (c->first < 0) c->first = tv_time_ms() - c->t0;
    c->chunks++;
    c->x.insert(c->x.end(), s, s + n);
    return 0;
  }
};

}  // namespace

int main(int argc, char **argv) {
  const char *model = NULL, *out = "tovan-say.wav";
  tovantts_options opt;
  tovantts_default_options(&opt);
  int stream = 0, json = 0, list_voices = 0, list_tags = 0;
  int32_t threads = 0;
  std::string text;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    const bool more = i + 1 < argc;
    if (more && strcmp(a, "-m") == 0) model = argv[++i];
    else if (more && strcmp(a, "-o") == 0) out = argv[++i];
    else if (more && strcmp(a, "-v") == 0) opt.voice = argv[++i];
    else if (more && strcmp(a, "-t") == 0) opt.tag = argv[++i];
    else if (more && strcmp(a, "-c") == 0) opt.ctrl = argv[++i];
    else if (more && strcmp(a, "-p") == 0) opt.pace = (float)tv_strtod(argv[++i], NULL);
    else if (more && strcmp(a, "--threads") == 0) threads = atoi(argv[++i]);
    else if (strcmp(a, "--markup") == 0) opt.markup = 1;
    else if (strcmp(a, "--stream") == 0) stream = 1;
    else if (strcmp(a, "--json") == 0) json = 1;
    else if (strcmp(a, "--voices") == 0) list_voices = 1;
    else if (strcmp(a, "--tags") == 0) list_tags = 1;
    else if (a[0] == '-' && a[1]) return usage();
    else text += (text.empty() ? "" : " ") + std::string(a);
  }
  if (text.empty() && !list_voices && !list_tags) return usage();

  char err[1024];
  const double t0 = tv_time_ms();
  tovantts_engine *e = tovantts_create(model, threads, err, sizeof err);
  if (!e) {
    fprintf(stderr, "tovan-say: %s\n", err);
    return 1;
  }
  const double created = tv_time_ms() - t0;
  if (list_voices || list_tags) {
    const int32_t n = list_voices ? tovantts_num_voices(e) : tovantts_num_tags(e);
    for (int32_t i = 0; i < n; i++) {
      if (list_voices) {
        const char *g = tovantts_voice_gender(e, i);
        printf("%s%s%s\n", tovantts_voice(e, i), g ? "\t" : "", g ? g : "");
      } else {
        printf("%s\n", tovantts_tag(e, i));
      }
    }
    tovantts_destroy(e);
    return 0;
  }

  Collect c;
  c.t0 = tv_time_ms();
  int32_t rc;
  if (stream) {
    rc = json ? tovantts_stream_json(e, text.c_str(), Collect::cb, &c, err, sizeof err)
              : tovantts_stream_ex(e, text.c_str(), &opt, Collect::cb, &c, err, sizeof err);
  } else {
    float *audio = NULL;
    int64_t n = 0;
    rc = json ? tovantts_synthesize_json(e, text.c_str(), &audio, &n, err, sizeof err)
              : tovantts_synthesize(e, text.c_str(), &opt, &audio, &n, err, sizeof err);
    if (rc == 0) c.x.assign(audio, audio + n);
    tovantts_free(audio);
  }
  const double ms = tv_time_ms() - c.t0;
  tovantts_destroy(e);
  if (rc != 0) {
    fprintf(stderr, "tovan-say: %s\n", err);
    return 1;
  }
  if (tovantts_save_wav(c.x.data(), (int64_t)c.x.size(), out) != 0) {
    fprintf(stderr, "tovan-say: %s\n", tv_geterr());
    return 1;
  }
  const double seconds = (double)c.x.size() / tovantts_sample_rate();
  printf("%s: %.2f s of audio in %.0f ms (real-time factor %.3f; engine created in %.0f ms", out, seconds, ms,
         seconds > 0 ? ms / 1000.0 / seconds : 0.0, created);
  if (stream) printf("; %d segments, the first after %.0f ms", c.chunks, c.first);
  printf(")\n");
  return 0;
}
