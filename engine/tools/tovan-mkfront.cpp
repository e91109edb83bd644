// Writes the front end's asset folder (unicode.bin, lexicon.bin, oov.bin,
// gru.bin, hetero.tsv) from Debian's unicode-data and festlex-cmu.
//   tovan-mkfront [--tiny] [--seed N] [--unicode DIR] [--cmu DIR] [--gru FILE] OUT_DIR
// --tiny keeps a small lexicon (common words, the normaliser's words and the
// heteronyms) for tests; --gru copies a trained letter-to-sound model in
// place of the seeded one.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "front/frontgen.h"
#include "runtime/error.h"

static int usage(void) {
  fprintf(stderr, "usage: tovan-mkfront [--tiny] [--seed N] [--unicode DIR] [--cmu DIR] [--gru FILE] OUT_DIR\n");
  return 2;
}

int main(int argc, char **argv) {
  tv_front_build_opts o = {};
  o.seed = 1;
  const char *out = NULL;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (strcmp(a, "--tiny") == 0) o.tiny = 1;
    else if (i + 1 < argc && strcmp(a, "--seed") == 0) o.seed = strtoull(argv[++i], NULL, 10);
    else if (i + 1 < argc && strcmp(a, "--unicode") == 0) o.unicode_dir = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--cmu") == 0) o.cmu_dir = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--gru") == 0) o.gru_file = argv[++i];
    else if (a[0] == '-' || out) return usage();
    else out = a;
  }
  if (!out) return usage();
  if (tv_front_build(out, &o) != 0) {
    fprintf(stderr, "tovan-mkfront: %s\n", tv_geterr());
    return 1;
  }
  return 0;
}
