// tovan-saylines: reads lines of text aloud through the public interface, one WAV
// file per line, or prints the front end's symbol ids for each line.
//
//   tovan-saylines [--threads N] [--voice NAME] MODEL_DIR OUT_DIR < lines
//   tovan-saylines --phonemes MODEL_DIR < lines
//
// Each input line is "<name><TAB><text>"; a line without a tab is named by
// its number. Synthesis writes OUT_DIR/<name>.wav (24 kHz, 16-bit) with the
// given voice (else the default one) and default options, and prints each
// line's audio length and render time; --phonemes prints
// "<name><TAB><ids separated by blanks>".
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "tovantts.h"

static double now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char **argv) {
  int threads = 1, a = 1;
  bool phonemes = false;
  const char *voice = NULL;
  while (a < argc && argv[a][0] == '-') {
    if (strcmp(argv[a], "--phonemes") == 0) phonemes = true, a++;
    else if (strcmp(argv[a], "--threads") == 0 && a + 1 < argc) threads = atoi(argv[a + 1]), a += 2;
    else if (strcmp(argv[a], "--voice") == 0 && a + 1 < argc) voice = argv[a + 1], a += 2;
    else break;
  }
  if (argc - a != (phonemes ? 1 : 2) || threads < 1) {
    fprintf(stderr, "usage: tovan-saylines [--threads N] [--voice NAME] MODEL_DIR OUT_DIR < lines\n"
                    "       tovan-saylines --phonemes MODEL_DIR < lines\n");
    return 2;
  }
  char err[512];
  tovantts_engine *e = tovantts_create(argv[a], threads, err, sizeof err);
  if (!e) {
    fprintf(stderr, "tovan-saylines: %s\n", err);
    return 1;
  }
  int status = 0;
  double audio_s = 0, render_s = 0;
  char line[65536];
  for (long no = 0; fgets(line, sizeof line, stdin); no++) {
    line[strcspn(line, "\r\n")] = 0;
    char *tab = strchr(line, '\t');
    std::string name = tab ? std::string(line, tab) : std::to_string(no);
    const char *text = tab ? tab + 1 : line;
    if (!*text) continue;
    if (phonemes) {
      int32_t *ids = NULL, *words = NULL, n = 0;
      if (tovantts_phonemes(e, text, &ids, &words, &n, err, sizeof err) != 0) {
        fprintf(stderr, "tovan-saylines: %s: %s\n", name.c_str(), err);
        status = 1;
        continue;
      }
      printf("%s\t", name.c_str());
      for (int32_t i = 0; i < n; i++) printf(i ? " %d" : "%d", ids[i]);
      printf("\n");
      tovantts_free(ids);
      tovantts_free(words);
      continue;
    }
    float *audio = NULL;
    int64_t n = 0;
    double t0 = now();
    tovantts_options opt;
    tovantts_default_options(&opt);
    opt.voice = voice;
    if (tovantts_synthesize(e, text, &opt, &audio, &n, err, sizeof err) != 0) {
      fprintf(stderr, "tovan-saylines: %s: %s\n", name.c_str(), err);
      status = 1;
      continue;
    }
    double dt = now() - t0;
    std::string path = std::string(argv[a + 1]) + "/" + name + ".wav";
    if (tovantts_save_wav(audio, n, path.c_str()) != 0) {
      fprintf(stderr, "tovan-saylines: cannot write %s\n", path.c_str());
      status = 1;
    }
    tovantts_free(audio);
    audio_s += (double)n / 24000.0;
    render_s += dt;
    printf("%s\t%.2f s audio\t%.3f s render\n", name.c_str(), (double)n / 24000.0, dt);
  }
  if (!phonemes && audio_s > 0)
    printf("total %.1f s audio in %.1f s: real-time factor %.3f on %d threads\n", audio_s, render_s,
           render_s / audio_s, threads);
  tovantts_destroy(e);
  return status;
}
