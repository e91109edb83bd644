// tovan-mkmodel: writes an edge-model directory with seeded weights.
//
//   tovan-mkmodel [--size tiny|default] [--quant fp32|fp16|int8|int4]
//                 [--mixer attn|hybrid] [--seed N] DIR
//
// The files (config.json, voices.json, voices.safetensors,
// acoustic.safetensors, vocoder.safetensors) have the formats the engine
// reads; the values are pseudo-random but chosen so the networks behave:
// normalisation gains near 1, modulations near identity, a duration bias that
// gives every symbol a few frames, log-magnitudes that keep the vocoder's
// output well inside [-1, 1]. The same arguments always give the same bytes.
// "tiny" is for tests (a few hundred KB, both stacks hybrid so the sequence
// mixer is exercised); "default" has the sizes the engine assumes when a
// configuration gives none.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/stwriter.h"

namespace {

struct Sizes {
  int d, heads, ffn, k, g_dim, spk_dim, tag_dim, state_dim, spk_enc_dim, enc_layers, dec_layers;
  const char *enc_mixer, *dec_mixer;
  int voc_dim, voc_inter, voc_layers;
  float frames_per_symbol;
};

const Sizes TINY = {32, 2, 64, 3, 16, 8, 8, 8, 512, 1, 1, "hybrid", "hybrid", 16, 32, 2, 3.0f};
const Sizes DEFAULT = {192, 2, 384, 3, 128, 64, 32, 32, 512, 4, 4, "attn", "attn", 384, 896, 8, 6.0f};

const int N_SYMBOLS = 118;  // the front end's symbol table
const int N_FFT = 1024;

// The voices the application features, and the delivery tags its moods,
// presets and speech verbs use; "none" must come first (tag index 0 is the
// plain delivery).
struct Voice {
  const char *name, *gender, *pitch, *pace;
};
const Voice VOICES[] = {
    {"voice_1688", "female", "mid", "average"}, {"voice_2500", "male", "low", "average"},
    {"voice_0010", "female", "high", "fast"},   {"voice_1469", "male", "mid", "slow"},
    {"voice_0185", "female", "low", "slow"},    {"voice_0413", "male", "high", "fast"},
    {"voice_1226", "female", "mid", "fast"},    {"voice_0213", "male", "mid", "average"},
};
const char *TAGS[] = {"none",      "determined", "sadness",    "apologetic", "anxiety",    "irritation",
                      "excited",   "amusement",  "happiness",  "contentment", "whisper",   "serenity",
                      "confidence", "loud",      "hesitant",   "surprise",   "distress",   "tired",
                      "anger",     "mysterious"};

uint64_t splitmix(uint64_t *s) {
  uint64_t z = (*s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct Gen {
  tv_stwriter *w;
  uint64_t seed;
  int storage;  // for matrices
  bool ok = true;

  // Each tensor has its own stream, seeded by its name, so adding a tensor
  // never changes the values of the others.
  std::vector<float> uniform(const std::string &name, size_t n, float bound, float offset) {
    uint64_t s = seed * 0x100000001B3ull;
    for (unsigned char c : name) s = (s ^ c) * 0x100000001B3ull;
    std::vector<float> v(n);
    for (float &x : v) {
      // 24 random bits, exactly representable: no libm, no platform drift.
      float u = (float)(splitmix(&s) >> 40) * 0x1p-24f;
      x = offset + (2.0f * u - 1.0f) * bound;
    }
    return v;
  }

  void check(int rc) {
    if (rc != 0 && ok) {
      fprintf(stderr, "tovan-mkmodel: %s\n", tv_geterr());
      ok = false;
    }
  }

  // A rows x cols matrix read through a matrix view: stored in the chosen form.
  void mat(const std::string &name, int rows, int cols, float bound, float offset = 0.0f) {
    std::vector<float> v = uniform(name, (size_t)rows * cols, bound, offset);
    int64_t dims[2] = {rows, cols};
    check(tv_stwriter_add_mat(w, name.c_str(), storage, 2, dims, v.data(), 32, 0));
  }
  // A float tensor of any shape, always stored as F32.
  void vec(const std::string &name, std::vector<int64_t> dims, float bound, float offset = 0.0f) {
    size_t n = 1;
    for (int64_t x : dims) n *= (size_t)x;
    std::vector<float> v = uniform(name, n, bound, offset);
    check(tv_stwriter_add_f32(w, name.c_str(), (int32_t)dims.size(), dims.data(), v.data()));
  }
  // A linear layer "<name>.weight" (out x in) and "<name>.bias" with the
  // usual 1 / sqrt(fan in) scale times gain.
  void lin(const std::string &name, int out, int in, float gain = 1.0f, float bias = 0.02f,
           float bias_offset = 0.0f) {
    mat(name + ".weight", out, in, gain * sqrtf(3.0f / (float)in));
    vec(name + ".bias", {out}, bias, bias_offset);
  }
  void save(const std::string &path) { check(tv_stwriter_save(w, path.c_str())); }
};

void adaln(Gen &g, const std::string &prefix, const Sizes &s) {
  // Small projections: the modulation starts close to scale 1, shift 0.
  g.lin(prefix + ".proj", 2 * s.d, s.g_dim, 0.1f, 0.05f);
}

void seqmix(Gen &g, const std::string &m, const Sizes &s) {
  const int d = s.d, H = d / 32, S = s.state_dim;
  g.lin(m + ".in_proj", d, d);
  g.lin(m + ".k_proj", S * H, d);
  g.lin(m + ".q_proj", S * H, d);
  g.lin(m + ".v_proj", d, d);
  g.lin(m + ".step_proj", H, d, 0.3f, 0.2f, -1.0f);  // softplus(-1) ~ 0.3
  g.lin(m + ".rot_proj", S * H / 2, d, 0.5f);
  g.lin(m + ".mix_proj", H, d, 0.5f);
  g.lin(m + ".out_proj", d, d, 0.5f);
  g.vec(m + ".norm.weight", {d}, 0.1f, 1.0f);
  g.vec(m + ".k_norm.weight", {S}, 0.1f, 1.0f);
  g.vec(m + ".q_norm.weight", {S}, 0.1f, 1.0f);
  g.vec(m + ".k_bias", {S * H}, 0.1f);
  g.vec(m + ".q_bias", {S * H}, 0.1f);
  g.vec(m + ".decay_log", {H}, 0.5f, -0.5f);
}

void stack(Gen &g, const char *name, int layers, const char *mixer, const Sizes &s) {
  const int d = s.d;
  for (int i = 0; i < layers; i++) {
    std::string p = std::string(name) + ".layers." + std::to_string(i);
    adaln(g, p + ".n1", s);
    g.mat(p + ".att.in_proj_weight", 3 * d, d, sqrtf(3.0f / d));
    g.vec(p + ".att.in_proj_bias", {3 * d}, 0.02f);
    g.lin(p + ".att.out_proj", d, d, 0.5f);
    if (strcmp(mixer, "hybrid") == 0) {
      adaln(g, p + ".n_seq", s);
      seqmix(g, p + ".seq.fwd", s);
      seqmix(g, p + ".seq.bwd", s);
    }
    adaln(g, p + ".n2", s);
    g.lin(p + ".c1", s.ffn, s.k * d);
    g.lin(p + ".c2", d, s.ffn, 0.5f);
  }
  adaln(g, std::string(name) + ".out_norm", s);
}

void varpred(Gen &g, const std::string &name, const Sizes &s, float out_gain, float out_bias) {
  g.lin(name + ".c1", s.d, 3 * s.d);
  g.lin(name + ".c2", s.d, 3 * s.d);
  g.lin(name + ".out", 1, s.d, out_gain, 0.0f, out_bias);
  adaln(g, name + ".n1", s);
  adaln(g, name + ".n2", s);
}

void acoustic(Gen &g, const Sizes &s) {
  const int d = s.d, cond_in = s.spk_dim + s.tag_dim + 24;
  g.mat("emb.weight", N_SYMBOLS, d, 1.0f);
  g.mat("tag.weight", (int)(sizeof TAGS / sizeof *TAGS), s.tag_dim, 1.0f);
  g.lin("spk_proj", s.spk_dim, s.spk_enc_dim);
  g.lin("cond.0", 256, cond_in);
  g.lin("cond.2", s.g_dim, 256);
  stack(g, "encoder", s.enc_layers, s.enc_mixer, s);
  stack(g, "decoder", s.dec_layers, s.dec_mixer, s);
  // The duration predictor's bias sets the typical symbol length: exp(b) - 1
  // frames; its weights spread that by about a quarter in log terms.
  varpred(g, "dur_pred", s, 0.25f, logf(1.0f + s.frames_per_symbol));
  varpred(g, "pitch_pred", s, 0.5f, 0.0f);
  varpred(g, "energy_pred", s, 0.5f, 0.0f);
  g.lin("pitch_emb", d, 3, 0.5f);
  g.lin("energy_emb", d, 3, 0.5f);
  g.lin("to_mel", 100, d, 1.0f, 0.5f, -3.0f);
}

void vocoder(Gen &g, const Sizes &s) {
  const int dim = s.voc_dim, inter = s.voc_inter, F = N_FFT / 2 + 1;
  g.lin("backbone.embed", dim, 700);
  g.vec("backbone.norm.weight", {dim}, 0.1f, 1.0f);
  g.vec("backbone.norm.bias", {dim}, 0.05f);
  g.vec("backbone.final_layer_norm.weight", {dim}, 0.1f, 1.0f);
  g.vec("backbone.final_layer_norm.bias", {dim}, 0.05f);
  for (int b = 0; b < s.voc_layers; b++) {
    std::string p = "backbone.convnext." + std::to_string(b);
    g.vec(p + ".dwconv.weight", {dim, 7}, sqrtf(3.0f / 7.0f));
    g.vec(p + ".dwconv.bias", {dim}, 0.05f);
    g.vec(p + ".norm.weight", {dim}, 0.1f, 1.0f);
    g.vec(p + ".norm.bias", {dim}, 0.05f);
    g.vec(p + ".gamma", {dim}, 0.05f, 0.2f);
    g.lin(p + ".pwconv1", inter, dim);
    g.lin(p + ".pwconv2", dim, inter);
  }
  // Head rows 0..F-1 give log-magnitudes (about e^-1.5 each, so a frame's
  // samples stay near 0.05), rows F.. give phases spread over a few radians.
  std::vector<float> w = g.uniform("head.out.weight", (size_t)(N_FFT + 2) * dim, 1.0f, 0.0f);
  std::vector<float> b = g.uniform("head.out.bias", (size_t)(N_FFT + 2), 1.0f, 0.0f);
  const float wmag = 0.5f * sqrtf(3.0f / dim), wph = 3.0f * sqrtf(3.0f / dim);
  for (int r = 0; r < N_FFT + 2; r++) {
    const bool mag = r < F;
    for (int c = 0; c < dim; c++) w[(size_t)r * dim + c] *= mag ? wmag : wph;
    b[r] = mag ? -1.5f + 0.5f * b[r] : 3.0f * b[r];
  }
  int64_t wd[2] = {N_FFT + 2, dim}, bd[1] = {N_FFT + 2};
  g.check(tv_stwriter_add_mat(g.w, "head.out.weight", g.storage, 2, wd, w.data(), 32, 0));
  g.check(tv_stwriter_add_f32(g.w, "head.out.bias", 1, bd, b.data()));
}

std::string json_str(const char *s) { return std::string("\"") + s + "\""; }

bool write_text(const std::string &path, const std::string &text) {
  std::string tmp = path + ".tmp-" + std::to_string(getpid());
  FILE *f = fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = fclose(f) == 0 && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

std::string config_json(const Sizes &s, const char *size, const char *quant, uint64_t seed) {
  std::string t = "{\n  \"model_type\": \"tovan-tts-edge\",\n";
  t += "  \"default_voice\": \"voice_1688\",\n";
  t += "  \"default_voices\": {\"female\": \"voice_1688\", \"male\": \"voice_2500\"},\n";
  t += "  \"tags\": [";
  for (size_t i = 0; i < sizeof TAGS / sizeof *TAGS; i++) t += (i ? ", " : "") + json_str(TAGS[i]);
  t += "],\n  \"acoustic\": {\n    \"file\": \"acoustic.safetensors\",\n    \"arch\": {";
  char buf[512];
  snprintf(buf, sizeof buf,
           "\"d\": %d, \"heads\": %d, \"ffn\": %d, \"k\": %d, \"g_dim\": %d, \"spk_dim\": %d, \"tag_dim\": %d, "
           "\"state_dim\": %d, \"spk_enc_dim\": %d, \"enc_layers\": %d, \"dec_layers\": %d, "
           "\"enc_mixer\": \"%s\", \"dec_mixer\": \"%s\", \"n_symbols\": %d}\n  },\n",
           s.d, s.heads, s.ffn, s.k, s.g_dim, s.spk_dim, s.tag_dim, s.state_dim, s.spk_enc_dim, s.enc_layers,
           s.dec_layers, s.enc_mixer, s.dec_mixer, N_SYMBOLS);
  t += buf;
  snprintf(buf, sizeof buf,
           "  \"vocoder\": {\"file\": \"vocoder.safetensors\", \"dim\": %d, \"inter\": %d, \"layers\": %d},\n",
           s.voc_dim, s.voc_inter, s.voc_layers);
  t += buf;
  snprintf(buf, sizeof buf, "  \"generator\": {\"size\": \"%s\", \"quant\": \"%s\", \"seed\": %llu}\n}\n", size,
           quant, (unsigned long long)seed);
  t += buf;
  return t;
}

std::string voices_json() {
  std::string t = "{\"voices\": [\n";
  for (size_t i = 0; i < sizeof VOICES / sizeof *VOICES; i++) {
    const Voice &v = VOICES[i];
    t += std::string(i ? ",\n" : "") + "  {\"name\": " + json_str(v.name) + ", \"gender\": " + json_str(v.gender) +
         ", \"pitch_register\": " + json_str(v.pitch) + ", \"pace\": " + json_str(v.pace) + "}";
  }
  return t + "\n]}\n";
}

int usage() {
  fprintf(stderr,
          "usage: tovan-mkmodel [--size tiny|default] [--quant fp32|fp16|int8|int4] [--mixer attn|hybrid] "
          "[--seed N] DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  const char *size = "default", *quant = "fp32", *mixer = NULL, *dir = NULL;
  uint64_t seed = 1;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (i + 1 < argc && strcmp(a, "--size") == 0) size = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--quant") == 0) quant = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--mixer") == 0) mixer = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--seed") == 0) seed = strtoull(argv[++i], NULL, 10);
    else if (a[0] == '-' || dir) return usage();
    else dir = a;
  }
  if (!dir) return usage();
  Sizes s;
  if (strcmp(size, "tiny") == 0) s = TINY;
  else if (strcmp(size, "default") == 0) s = DEFAULT;
  else return usage();
  if (mixer) {
    if (strcmp(mixer, "attn") != 0 && strcmp(mixer, "hybrid") != 0) return usage();
    s.enc_mixer = s.dec_mixer = mixer;
  }
  int storage;
  if (strcmp(quant, "fp32") == 0) storage = TV_ST_RAW;
  else if (strcmp(quant, "fp16") == 0) storage = TV_ST_FP16;
  else if (strcmp(quant, "int8") == 0) storage = TV_ST_INT8;
  else if (strcmp(quant, "int4") == 0) storage = TV_ST_INT4;
  else return usage();

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    fprintf(stderr, "tovan-mkmodel: cannot create %s: %s\n", dir, ec.message().c_str());
    return 1;
  }
  const std::string d = dir;
  bool ok = true;
  {
    Gen g{tv_stwriter_create(), seed, storage};
    acoustic(g, s);
    g.save(d + "/acoustic.safetensors");
    ok = ok && g.ok;
    tv_stwriter_free(g.w);
  }
  {
    Gen g{tv_stwriter_create(), seed, storage};
    vocoder(g, s);
    g.save(d + "/vocoder.safetensors");
    ok = ok && g.ok;
    tv_stwriter_free(g.w);
  }
  {
    Gen g{tv_stwriter_create(), seed, TV_ST_RAW};
    g.vec("s", {(int64_t)(sizeof VOICES / sizeof *VOICES), s.spk_dim}, 1.0f);
    g.save(d + "/voices.safetensors");
    ok = ok && g.ok;
    tv_stwriter_free(g.w);
  }
  if (ok && !write_text(d + "/config.json", config_json(s, size, quant, seed))) {
    fprintf(stderr, "tovan-mkmodel: cannot write %s/config.json\n", dir);
    ok = false;
  }
  if (ok && !write_text(d + "/voices.json", voices_json())) {
    fprintf(stderr, "tovan-mkmodel: cannot write %s/voices.json\n", dir);
    ok = false;
  }
  return ok ? 0 : 1;
}
