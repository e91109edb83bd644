// tovan-mkmodel: writes a model directory with seeded weights.
//
//   tovan-mkmodel [--layout edge|full] [--size tiny|default]
//                 [--quant fp32|fp16|int8|int4] [--fixed-quant fp32|fp16|int8|int4]
//                 [--mixer attn|hybrid] [--seed N] DIR
//
// The edge layout (config.json, voices.json, voices.safetensors,
// acoustic.safetensors, vocoder.safetensors) and the full layout (config.json,
// voices.json, control_stats.json, speaker_vectors.safetensors,
// model.safetensors, refiner.safetensors, prompted_flow.safetensors,
// prompt_adapter.safetensors, and in native/ vocos.safetensors,
// minilm.safetensors, minilm_vocab.txt, wavlm_sv.safetensors) have the formats
// the engine reads; the values are pseudo-random but chosen so the networks
// behave: normalisation gains near 1, modulations near identity, a duration
// bias that gives every symbol a few frames, log-magnitudes that keep the
// vocoder's output well inside [-1, 1]. The same arguments always give the
// same bytes. "tiny" is for tests (a few hundred KB, both stacks hybrid so the
// sequence mixer is exercised); "default" has the sizes the engine assumes
// when a configuration gives none. The full model's vocoder and prompt
// encoder have fixed sizes whatever the size; --fixed-quant (default: as
// --quant) stores their matrices, so tests can keep them small.
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
const int TV_FLOW_MEL_BINS = 100;

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

// ---------------------------------------------------------------------------
// The full layout: the networks only the full model has (refiner, prompted
// refiner, speaker encoder, prompt encoder with its vocabulary, style
// adapter), its fixed-size vocoder, and the files that tie them together.

struct FullSizes {
  int flow_d, flow_layers;            // refiner
  int pflow_d, pflow_layers;          // prompted refiner
  int wl_conv, wl_d, wl_heads, wl_buckets, wl_pos_k, wl_pos_g, wl_layers, wl_ffn, wl_proj;
  int tdnn[5];
};

// The tiny refiners differ in width so that both the 8-wide and the
// channel-at-a-time depthwise paths are exercised.
const FullSizes FULL_TINY = {24, 3, 18, 3, 8, 16, 2, 16, 8, 2, 2, 32, 16, {16, 16, 16, 16, 24}};
const FullSizes FULL_DEFAULT = {384, 12, 384, 12, 512, 768, 12, 320, 128, 16, 12, 3072, 512, {512, 512, 512, 512, 1500}};

const int WAVLM_KERNEL[7] = {10, 3, 3, 3, 3, 2, 2};
const int TDNN_KERNEL[5] = {5, 3, 3, 1, 1};
const int MINILM_D = 384, MINILM_FFN = 1536, MINILM_LAYERS = 6, MINILM_POSITIONS = 512;
const int VOCOS_DIM = 512, VOCOS_INTER = 1536, VOCOS_LAYERS = 8;
const int N_CONTROLS = 12;

// Style words the prompt adapter is driven by in tests and demos; with the
// special tokens, single characters and their "##" continuations every text
// encodes to something other than [UNK].
const char *VOCAB_WORDS[] = {"happy", "sad",    "calm",   "angry",  "whisper", "excited", "slow",   "fast",
                             "loud",  "soft",   "quiet",  "gentle", "warm",    "cold",    "voice",  "speak",
                             "read",  "story",  "news",   "tired",  "nervous", "bright",  "dark",   "deep",
                             "high",  "low",    "very",   "a",      "the",     "and",     "with",   "in",
                             "##ly",  "##ing",  "##ed",   "##er",   "##est",   "##s"};

std::string join_tags() {
  std::string t;
  for (size_t i = 0; i < sizeof TAGS / sizeof *TAGS; i++) t += (i ? ", " : "") + json_str(TAGS[i]);
  return t;
}

// The prompt encoder's vocabulary: special tokens, then printable ASCII,
// "##" + every letter and digit, then the style words.
std::vector<std::string> full_vocab() {
  std::vector<std::string> v = {"[PAD]", "[UNK]", "[CLS]", "[SEP]", "[MASK]"};
  for (int c = 33; c < 127; c++)
    if (c < 'A' || c > 'Z') v.push_back(std::string(1, (char)c));
  for (int c = '0'; c <= 'z'; c++)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) v.push_back("##" + std::string(1, (char)c));
  for (const char *w : VOCAB_WORDS) v.push_back(w);
  return v;
}

void refiner(Gen &g, int d, int layers, int g_dim, bool prompted, const std::vector<int> &attn_at) {
  const int n_in = prompted ? 301 : 200;
  g.vec("mean", {1}, 0.5f, -4.0f);
  g.vec("std", {1}, 0.2f, 2.0f);
  {
    std::vector<float> v = g.uniform("net.inp.weight", (size_t)d * 3 * n_in, sqrtf(3.0f / (3.0f * n_in)), 0.0f);
    int64_t dims[3] = {d, n_in, 3};
    g.check(tv_stwriter_add_mat(g.w, "net.inp.weight", g.storage, 3, dims, v.data(), 32, 0));
    g.vec("net.inp.bias", {d}, 0.05f);
  }
  g.lin("net.temb.mlp.0", 4 * d, d);
  g.lin("net.temb.mlp.2", d, 4 * d);
  g.lin("net.gemb.0", d, g_dim);
  g.lin("net.gemb.2", d, d);
  g.lin("net.out", TV_FLOW_MEL_BINS, d, 0.5f);
  for (int b = 0; b < layers; b++) {
    const std::string p = "net.blocks." + std::to_string(b);
    g.vec(p + ".dw.weight", {d, 1, 7}, sqrtf(3.0f / 7.0f));
    g.vec(p + ".dw.bias", {d}, 0.05f);
    // Modulations of a few tenths: scale, shift and gate all matter.
    g.lin(p + ".mod", 3 * d, d, 0.3f, 0.3f);
    g.lin(p + ".pw1", 3 * d, d);
    g.lin(p + ".pw2", d, 3 * d, 0.5f);
  }
  if (!prompted) return;
  for (int a : attn_at) {
    const std::string p = "net.attn." + std::to_string(a);
    g.lin(p + ".mod", 3 * d, d, 0.3f, 0.3f);
    g.mat(p + ".att.in_proj_weight", 3 * d, d, sqrtf(3.0f / d));
    g.vec(p + ".att.in_proj_bias", {3 * d}, 0.02f);
    g.lin(p + ".att.out_proj", d, d, 0.5f);
  }
  g.lin("net.ctx_enc.0", d, 3 * TV_FLOW_MEL_BINS);
  g.lin("net.ctx_enc.2", d, 3 * d);
  g.lin("net.ctx_out", d, d);
}

std::string flow_cfg(int d, int layers, int g_dim, bool prompted, bool mu_cmn, const std::vector<int> &attn_at) {
  char buf[256];
  snprintf(buf, sizeof buf, "{\"d\": %d, \"n_layers\": %d, \"g_dim\": %d, \"n_mel\": 100, \"prompt\": %d, \"mu_cmn\": %d",
           d, layers, g_dim, prompted ? 1 : 0, mu_cmn ? 1 : 0);
  std::string t = buf;
  if (prompted) {
    t += ", \"attn_at\": [";
    for (size_t i = 0; i < attn_at.size(); i++) t += (i ? ", " : "") + std::to_string(attn_at[i]);
    t += "]";
  }
  return t + "}";
}

void wavlm(Gen &g, const FullSizes &s) {
  const int C = s.wl_conv, D = s.wl_d, H = s.wl_heads, F = s.wl_ffn;
  for (int i = 0; i < 7; i++) {
    const int in = i == 0 ? 1 : C, k = WAVLM_KERNEL[i];
    const std::string name = "wavlm.feature_extractor.conv_layers." + std::to_string(i) + ".conv.weight";
    std::vector<float> v = g.uniform(name, (size_t)C * in * k, sqrtf(3.0f / (float)(in * k)), 0.0f);
    int64_t dims[3] = {C, in, k};
    g.check(tv_stwriter_add_mat(g.w, name.c_str(), g.storage, 3, dims, v.data(), 32, 0));
  }
  g.vec("wavlm.feature_extractor.conv_layers.0.layer_norm.weight", {C}, 0.1f, 1.0f);
  g.vec("wavlm.feature_extractor.conv_layers.0.layer_norm.bias", {C}, 0.05f);
  g.vec("wavlm.feature_projection.layer_norm.weight", {C}, 0.1f, 1.0f);
  g.vec("wavlm.feature_projection.layer_norm.bias", {C}, 0.05f);
  g.lin("wavlm.feature_projection.projection", D, C);
  {
    const int G = s.wl_pos_g, K = s.wl_pos_k;
    std::vector<float> v =
        g.uniform("wavlm.encoder.pos_conv_embed.conv.weight", (size_t)D * (D / G) * K, sqrtf(3.0f / (float)(D / G * K)), 0.0f);
    int64_t dims[3] = {D, D / G, K};
    g.check(tv_stwriter_add_mat(g.w, "wavlm.encoder.pos_conv_embed.conv.weight", g.storage, 3, dims, v.data(), 32, 0));
    g.vec("wavlm.encoder.pos_conv_embed.conv.bias", {D}, 0.05f);
  }
  g.vec("wavlm.encoder.layer_norm.weight", {D}, 0.1f, 1.0f);
  g.vec("wavlm.encoder.layer_norm.bias", {D}, 0.05f);
  g.vec("wavlm.encoder.layers.0.attention.rel_attn_embed.weight", {s.wl_buckets, H}, 1.0f);
  for (int l = 0; l < s.wl_layers; l++) {
    const std::string p = "wavlm.encoder.layers." + std::to_string(l) + ".";
    g.lin(p + "attention.q_proj", D, D);
    g.lin(p + "attention.k_proj", D, D);
    g.lin(p + "attention.v_proj", D, D);
    g.lin(p + "attention.out_proj", D, D, 0.5f);
    g.vec(p + "attention.gru_rel_pos_linear.weight", {8, D / H}, sqrtf(3.0f / (float)(D / H)));
    g.vec(p + "attention.gru_rel_pos_linear.bias", {8}, 0.1f);
    g.vec(p + "attention.gru_rel_pos_const", {1, H, 1, 1}, 0.2f, 1.0f);
    g.vec(p + "layer_norm.weight", {D}, 0.1f, 1.0f);
    g.vec(p + "layer_norm.bias", {D}, 0.05f);
    g.lin(p + "feed_forward.intermediate_dense", F, D);
    g.lin(p + "feed_forward.output_dense", D, F, 0.5f);
    g.vec(p + "final_layer_norm.weight", {D}, 0.1f, 1.0f);
    g.vec(p + "final_layer_norm.bias", {D}, 0.05f);
  }
  g.vec("layer_weights", {s.wl_layers + 1}, 1.0f);
  g.lin("projector", s.wl_proj, D);
  int in = s.wl_proj;
  for (int t = 0; t < 5; t++) {
    g.lin("tdnn." + std::to_string(t) + ".kernel", s.tdnn[t], in * TDNN_KERNEL[t]);
    in = s.tdnn[t];
  }
  g.lin("feature_extractor", 512, 2 * in);
}

void minilm(Gen &g, int vocab) {
  const int d = MINILM_D;
  g.mat("embeddings.word_embeddings.weight", vocab, d, 1.0f);
  g.mat("embeddings.position_embeddings.weight", MINILM_POSITIONS, d, 0.3f);
  g.mat("embeddings.token_type_embeddings.weight", 2, d, 0.3f);
  g.vec("embeddings.LayerNorm.weight", {d}, 0.1f, 1.0f);
  g.vec("embeddings.LayerNorm.bias", {d}, 0.05f);
  for (int l = 0; l < MINILM_LAYERS; l++) {
    const std::string p = "encoder.layer." + std::to_string(l) + ".";
    g.lin(p + "attention.self.query", d, d);
    g.lin(p + "attention.self.key", d, d);
    g.lin(p + "attention.self.value", d, d);
    g.lin(p + "attention.output.dense", d, d, 0.5f);
    g.vec(p + "attention.output.LayerNorm.weight", {d}, 0.1f, 1.0f);
    g.vec(p + "attention.output.LayerNorm.bias", {d}, 0.05f);
    g.lin(p + "intermediate.dense", MINILM_FFN, d);
    g.lin(p + "output.dense", d, MINILM_FFN, 0.5f);
    g.vec(p + "output.LayerNorm.weight", {d}, 0.1f, 1.0f);
    g.vec(p + "output.LayerNorm.bias", {d}, 0.05f);
  }
}

void adapter(Gen &g, int n_tags) {
  g.lin("body.0", 512, MINILM_D, 2.0f);
  g.lin("body.3", 512, 512, 2.0f);
  g.lin("tag", n_tags, 512, 3.0f);
  g.lin("spec", N_CONTROLS, 512, 3.0f);
  g.lin("val", N_CONTROLS, 512, 2.0f);
}

std::string full_config_json(const Sizes &s, const FullSizes &f, const char *size, const char *quant,
                             const char *fixed_quant, uint64_t seed) {
  const std::vector<int> attn_at = {f.pflow_layers / 2};
  std::string t = "{\n  \"model_type\": \"tovan-tts\",\n";
  t += "  \"default_voice\": \"voice_1688\",\n";
  t += "  \"default_voices\": {\"female\": \"voice_1688\", \"male\": \"voice_2500\"},\n";
  t += "  \"voices_order\": [";
  for (size_t i = 0; i < sizeof VOICES / sizeof *VOICES; i++) t += (i ? ", " : "") + json_str(VOICES[i].name);
  t += "],\n";
  t += "  \"files\": {\"speaker_vectors\": \"speaker_vectors.safetensors\", \"acoustic\": \"model.safetensors\"},\n";
  t += "  \"precisions\": {\"int8\": {\"dir\": \"int8\"}},\n";
  char buf[768];
  snprintf(buf, sizeof buf,
           "  \"acoustic\": {\"arch\": {\"d\": %d, \"heads\": %d, \"ffn\": %d, \"k\": %d, \"g_dim\": %d, \"spk_dim\": %d, "
           "\"tag_dim\": %d, \"state_dim\": %d, \"spk_enc_dim\": %d, \"enc_layers\": %d, \"dec_layers\": %d, "
           "\"enc_mixer\": \"%s\", \"dec_mixer\": \"%s\", \"n_symbols\": %d}},\n",
           s.d, s.heads, s.ffn, s.k, s.g_dim, s.spk_dim, s.tag_dim, s.state_dim, s.spk_enc_dim, s.enc_layers,
           s.dec_layers, s.enc_mixer, s.dec_mixer, N_SYMBOLS);
  t += buf;
  t += "  \"refiner\": {\"file\": \"refiner.safetensors\", \"cfg\": " +
       flow_cfg(f.flow_d, f.flow_layers, s.g_dim, false, false, {}) + "},\n";
  t += "  \"prompted_flow\": {\"file\": \"prompted_flow.safetensors\", \"cfg\": " +
       flow_cfg(f.pflow_d, f.pflow_layers, s.g_dim, true, true, attn_at) + "},\n";
  t += "  \"prompt_adapter\": {\"file\": \"prompt_adapter.safetensors\", \"tags\": [" + join_tags() + "]},\n";
  snprintf(buf, sizeof buf,
           "  \"generator\": {\"layout\": \"full\", \"size\": \"%s\", \"quant\": \"%s\", \"fixed_quant\": \"%s\", "
           "\"seed\": %llu}\n}\n",
           size, quant, fixed_quant, (unsigned long long)seed);
  t += buf;
  return t;
}

bool write_full(const std::string &d, const Sizes &s, const char *size, const char *quant, const char *fixed_quant,
                int storage, int fixed_storage, uint64_t seed) {
  const FullSizes f = strcmp(size, "tiny") == 0 ? FULL_TINY : FULL_DEFAULT;
  const std::vector<int> attn_at = {f.pflow_layers / 2};
  const int n_tags = (int)(sizeof TAGS / sizeof *TAGS);
  std::error_code ec;
  std::filesystem::create_directories(d + "/native", ec);
  if (ec) {
    fprintf(stderr, "tovan-mkmodel: cannot create %s/native: %s\n", d.c_str(), ec.message().c_str());
    return false;
  }
  bool ok = true;
  auto file = [&](const std::string &path, int st, auto fill) {
    if (!ok) return;
    Gen g{tv_stwriter_create(), seed, st};
    fill(g);
    g.save(path);
    ok = g.ok;
    tv_stwriter_free(g.w);
  };
  file(d + "/model.safetensors", storage, [&](Gen &g) { acoustic(g, s); });
  file(d + "/speaker_vectors.safetensors", TV_ST_RAW, [&](Gen &g) {
    // Unit-length rows, like the speaker encoder's output.
    const int n = (int)(sizeof VOICES / sizeof *VOICES);
    std::vector<float> v = g.uniform("vec", (size_t)n * 512, 1.0f, 0.0f);
    for (int r = 0; r < n; r++) {
      double ss = 0;
      for (int c = 0; c < 512; c++) ss += (double)v[(size_t)r * 512 + c] * v[(size_t)r * 512 + c];
      for (int c = 0; c < 512; c++) v[(size_t)r * 512 + c] = (float)(v[(size_t)r * 512 + c] / sqrt(ss));
    }
    int64_t dims[2] = {n, 512};
    g.check(tv_stwriter_add_f32(g.w, "vec", 2, dims, v.data()));
  });
  file(d + "/refiner.safetensors", storage, [&](Gen &g) { refiner(g, f.flow_d, f.flow_layers, s.g_dim, false, {}); });
  file(d + "/prompted_flow.safetensors", storage,
       [&](Gen &g) { refiner(g, f.pflow_d, f.pflow_layers, s.g_dim, true, attn_at); });
  file(d + "/prompt_adapter.safetensors", storage, [&](Gen &g) { adapter(g, n_tags); });
  file(d + "/native/wavlm_sv.safetensors", storage, [&](Gen &g) { wavlm(g, f); });
  const std::vector<std::string> vocab = full_vocab();
  file(d + "/native/minilm.safetensors", fixed_storage, [&](Gen &g) { minilm(g, (int)vocab.size()); });
  file(d + "/native/vocos.safetensors", fixed_storage, [&](Gen &g) {
    Sizes v = s;
    v.voc_dim = VOCOS_DIM;
    v.voc_inter = VOCOS_INTER;
    v.voc_layers = VOCOS_LAYERS;
    vocoder(g, v);
  });
  if (!ok) return false;
  std::string vt;
  for (const std::string &w : vocab) vt += w + "\n";
  const struct {
    std::string path, text;
  } texts[] = {
      {d + "/native/minilm_vocab.txt", vt},
      {d + "/control_stats.json", "{\"tags\": [" + join_tags() + "]}\n"},
      {d + "/voices.json", voices_json()},
      {d + "/config.json", full_config_json(s, f, size, quant, fixed_quant, seed)},
  };
  for (const auto &t : texts)
    if (!write_text(t.path, t.text)) {
      fprintf(stderr, "tovan-mkmodel: cannot write %s\n", t.path.c_str());
      return false;
    }
  return true;
}

int storage_of(const char *quant) {
  if (strcmp(quant, "fp32") == 0) return TV_ST_RAW;
  if (strcmp(quant, "fp16") == 0) return TV_ST_FP16;
  if (strcmp(quant, "int8") == 0) return TV_ST_INT8;
  if (strcmp(quant, "int4") == 0) return TV_ST_INT4;
  return -1;
}

int usage() {
  fprintf(stderr,
          "usage: tovan-mkmodel [--layout edge|full] [--size tiny|default] [--quant fp32|fp16|int8|int4] "
          "[--fixed-quant fp32|fp16|int8|int4] [--mixer attn|hybrid] [--seed N] DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  const char *size = "default", *quant = "fp32", *fixed_quant = NULL, *mixer = NULL, *dir = NULL, *layout = "edge";
  uint64_t seed = 1;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (i + 1 < argc && strcmp(a, "--size") == 0) size = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--quant") == 0) quant = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--fixed-quant") == 0) fixed_quant = argv[++i];
    else if (i + 1 < argc && strcmp(a, "--layout") == 0) layout = argv[++i];
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
  if (!fixed_quant) fixed_quant = quant;
  const int storage = storage_of(quant), fixed_storage = storage_of(fixed_quant);
  if (storage < 0 || fixed_storage < 0) return usage();
  if (strcmp(layout, "edge") != 0 && strcmp(layout, "full") != 0) return usage();

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    fprintf(stderr, "tovan-mkmodel: cannot create %s: %s\n", dir, ec.message().c_str());
    return 1;
  }
  const std::string d = dir;
  if (strcmp(layout, "full") == 0) return write_full(d, s, size, quant, fixed_quant, storage, fixed_storage, seed) ? 0 : 1;
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
