// tovan-netrun: runs a model directory's acoustic model and vocoder on given
// inputs and writes what they produce, so trained weights can be compared
// with the training code's own forward pass.
//
//   tovan-netrun [--threads N] MODEL_DIR IN.safetensors OUT.safetensors
//
// IN holds "ids" (symbol ids as F32) and optionally "mel" (T x 100 F32). OUT
// receives "g" (voice 0, tag 0, no controls), "mel" and "durs" (the acoustic
// model on the ids with that g, no guidance, pace 1) and "audio": the vocoder
// on IN's mel when there is one (so the two networks are checked apart),
// else on the acoustic model's mel.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "nn/acoustic.h"
#include "nn/vocoder.h"
#include "runtime/error.h"
#include "runtime/json.h"
#include "runtime/pool.h"
#include "runtime/stwriter.h"
#include "runtime/weights.h"

namespace {

int fail(const char *what) {
  fprintf(stderr, "tovan-netrun: %s: %s\n", what, tv_geterr());
  return 1;
}

struct Run {
  tv_json *cfg = NULL;
  tv_weights *ac_w = NULL, *voc_w = NULL, *voices = NULL, *in = NULL;
  tv_acoustic *ac = NULL;
  tv_vocoder *voc = NULL;
  tv_pool *pool = NULL;
  tv_stwriter *out = NULL;
  float *mel = NULL, *audio = NULL;
  int32_t *durs = NULL;
  ~Run() {
    tv_free(mel);
    tv_free(audio);
    tv_free(durs);
    tv_stwriter_free(out);
    tv_pool_destroy(pool);
    tv_vocoder_free(voc);
    tv_acoustic_free(ac);
    tv_weights_close(in);
    tv_weights_close(ac_w);
    tv_weights_close(voc_w);
    tv_weights_close(voices);
    tv_json_free(cfg);
  }
};

}  // namespace

int main(int argc, char **argv) {
  int threads = 1, a = 1;
  if (argc > 2 && strcmp(argv[1], "--threads") == 0) threads = atoi(argv[2]), a = 3;
  if (argc - a != 3 || threads < 1) {
    fprintf(stderr, "usage: tovan-netrun [--threads N] MODEL_DIR IN.safetensors OUT.safetensors\n");
    return 2;
  }
  const std::string dir = argv[a];
  Run r;
  char *text = NULL;
  size_t len = 0;
  if (tv_read_file((dir + "/config.json").c_str(), &text, &len) != 0) return fail("config.json");
  r.cfg = tv_json_parse(text, len);
  tv_free(text);
  if (!r.cfg) return fail("config.json");
  const tv_json *acfg = tv_json_get(r.cfg, "acoustic"), *vcfg = tv_json_get(r.cfg, "vocoder");
  if (!(r.ac_w = tv_weights_open((dir + "/acoustic.safetensors").c_str()))) return fail("acoustic");
  if (!(r.voc_w = tv_weights_open((dir + "/vocoder.safetensors").c_str()))) return fail("vocoder");
  if (!(r.voices = tv_weights_open((dir + "/voices.safetensors").c_str()))) return fail("voices");
  if (!(r.ac = tv_acoustic_load(r.ac_w, tv_json_get(acfg, "arch")))) return fail("acoustic");
  r.voc = tv_vocoder_load(r.voc_w, (int32_t)tv_json_num(tv_json_get(vcfg, "dim"), 384),
                          (int32_t)tv_json_num(tv_json_get(vcfg, "inter"), 896),
                          (int32_t)tv_json_num(tv_json_get(vcfg, "layers"), 8), 1024, 256);
  if (!r.voc) return fail("vocoder");
  if (!(r.in = tv_weights_open(argv[a + 1]))) return fail("inputs");
  uint64_t dims[TV_MAX_DIMS];
  const bool has_mel = tv_weights_has(r.in, "mel");
  int32_t T_in = 0;
  if (has_mel) {
    if (tv_weights_shape(r.in, "mel", dims) != 2 || dims[1] != 100 || dims[0] < 1) {
      fprintf(stderr, "tovan-netrun: mel must be T x 100\n");
      return 1;
    }
    T_in = (int32_t)dims[0];
  }
  if (tv_weights_shape(r.in, "ids", dims) != 1 || dims[0] < 1) {
    fprintf(stderr, "tovan-netrun: inputs need ids (n)\n");
    return 1;
  }
  const int32_t n = (int32_t)dims[0];
  const float *idf = tv_weights_f32(r.in, "ids", n), *mel_in = has_mel ? tv_weights_f32(r.in, "mel", 0) : NULL;
  const float *rows = tv_weights_f32(r.voices, "s", 0);
  if (!idf || (has_mel && !mel_in) || !rows) return fail("inputs");
  std::vector<int32_t> ids(idf, idf + n);
  std::vector<float> g(tv_acoustic_g_dim(r.ac));
  if (tv_acoustic_condition(r.ac, rows, NULL, 0, NULL, NULL, g.data()) != 0) return fail("condition");
  r.pool = tv_pool_create(threads);
  if (!r.pool) return fail("pool");
  int32_t T = 0;
  if (tv_acoustic_infer(r.ac, r.pool, ids.data(), NULL, n, g.data(), NULL, NULL, 0, &r.mel, &T, &r.durs, 1.0f,
                        1.0f) != 0)
    return fail("acoustic");
  size_t ns = 0;
  if (!has_mel) mel_in = r.mel, T_in = T;
  if (tv_vocoder_decode(r.voc, r.pool, mel_in, T_in, &r.audio, &ns) != 0) return fail("vocoder");
  std::vector<float> durs(r.durs, r.durs + n);
  if (!(r.out = tv_stwriter_create())) return fail("output");
  int64_t dg[1] = {(int64_t)g.size()}, dm[2] = {T, 100}, dd[1] = {n}, da[1] = {(int64_t)ns};
  if (tv_stwriter_add_f32(r.out, "g", 1, dg, g.data()) != 0 || tv_stwriter_add_f32(r.out, "mel", 2, dm, r.mel) != 0 ||
      tv_stwriter_add_f32(r.out, "durs", 1, dd, durs.data()) != 0 ||
      (ns > 0 && tv_stwriter_add_f32(r.out, "audio", 1, da, r.audio) != 0) ||
      tv_stwriter_save(r.out, argv[a + 2]) != 0)
    return fail("output");
  return 0;
}
