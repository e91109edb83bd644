// Crafted acoustic models for the tests: every tensor of an architecture,
// zero unless a test sets it, written to a safetensors file. With zero
// weights the networks reduce to their biases, so a test can pin down the
// conditioning input, the durations or the frame count exactly.
#pragma once

#include <math.h>

#include <map>
#include <string>
#include <vector>

#include "runtime/json.h"
#include "runtime/stwriter.h"

struct Arch {
  int d = 4, heads = 1, ffn = 4, k = 3, g_dim = 4, spk_dim = 2, tag_dim = 2, state_dim = 8, spk_enc_dim = 0;
  int enc_layers = 0, dec_layers = 0;
  std::string enc_mixer = "attn", dec_mixer = "attn";
  int symbols = 10, tags = 3;

  std::string json() const {
    char b[512];
    snprintf(b, sizeof b,
             "{\"d\": %d, \"heads\": %d, \"ffn\": %d, \"k\": %d, \"g_dim\": %d, \"spk_dim\": %d, \"tag_dim\": %d, "
             "\"state_dim\": %d, \"spk_enc_dim\": %d, \"enc_layers\": %d, \"dec_layers\": %d, "
             "\"enc_mixer\": \"%s\", \"dec_mixer\": \"%s\"}",
             d, heads, ffn, k, g_dim, spk_dim, tag_dim, state_dim, spk_enc_dim, enc_layers, dec_layers,
             enc_mixer.c_str(), dec_mixer.c_str());
    return b;
  }
};

struct Tensors {
  std::map<std::string, std::pair<std::vector<int64_t>, std::vector<float>>> t;

  void add(const std::string &name, std::vector<int64_t> dims) {
    size_t n = 1;
    for (int64_t x : dims) n *= (size_t)x;
    t[name] = {dims, std::vector<float>(n, 0.0f)};
  }
  void lin(const std::string &name, int out, int in) {
    add(name + ".weight", {out, in});
    add(name + ".bias", {out});
  }
  std::vector<float> &operator[](const std::string &name) { return t.at(name).second; }
  void drop(const std::string &name) { t.erase(name); }

  bool save(const std::string &path) const {
    tv_stwriter *w = tv_stwriter_create();
    bool ok = w != NULL;
    for (auto &e : t)
      ok = ok && tv_stwriter_add_f32(w, e.first.c_str(), (int32_t)e.second.first.size(), e.second.first.data(),
                                     e.second.second.data()) == 0;
    ok = ok && tv_stwriter_save(w, path.c_str()) == 0;
    tv_stwriter_free(w);
    return ok;
  }
};

inline Tensors acoustic_tensors(const Arch &a) {
  Tensors T;
  const int d = a.d;
  auto ada = [&](const std::string &p) { T.lin(p + ".proj", 2 * d, a.g_dim); };
  auto seq = [&](const std::string &m) {
    const int H = d / 32, S = a.state_dim;
    T.lin(m + ".in_proj", d, d);
    T.lin(m + ".k_proj", S * H, d);
    T.lin(m + ".q_proj", S * H, d);
    T.lin(m + ".v_proj", d, d);
    T.lin(m + ".step_proj", H, d);
    T.lin(m + ".rot_proj", S * H / 2, d);
    T.lin(m + ".mix_proj", H, d);
    T.lin(m + ".out_proj", d, d);
    T.add(m + ".norm.weight", {d});
    T.add(m + ".k_norm.weight", {S});
    T.add(m + ".q_norm.weight", {S});
    T.add(m + ".k_bias", {S * H});
    T.add(m + ".q_bias", {S * H});
    T.add(m + ".decay_log", {H});
  };
  auto stack = [&](const std::string &s, int layers, const std::string &mixer) {
    for (int i = 0; i < layers; i++) {
      std::string p = s + ".layers." + std::to_string(i);
      ada(p + ".n1");
      T.add(p + ".att.in_proj_weight", {3 * d, d});
      T.add(p + ".att.in_proj_bias", {3 * d});
      T.lin(p + ".att.out_proj", d, d);
      if (mixer == "hybrid") {
        ada(p + ".n_seq");
        seq(p + ".seq.fwd");
        seq(p + ".seq.bwd");
      }
      ada(p + ".n2");
      T.lin(p + ".c1", a.ffn, a.k * d);
      T.lin(p + ".c2", d, a.ffn);
    }
    ada(s + ".out_norm");
  };
  T.add("emb.weight", {a.symbols, d});
  T.add("tag.weight", {a.tags, a.tag_dim});
  if (a.spk_enc_dim > 0) T.lin("spk_proj", a.spk_dim, a.spk_enc_dim);
  T.lin("cond.0", 256, a.spk_dim + a.tag_dim + 24);
  T.lin("cond.2", a.g_dim, 256);
  stack("encoder", a.enc_layers, a.enc_mixer);
  stack("decoder", a.dec_layers, a.dec_mixer);
  for (const char *p : {"dur_pred", "pitch_pred", "energy_pred"}) {
    T.lin(std::string(p) + ".c1", d, 3 * d);
    T.lin(std::string(p) + ".c2", d, 3 * d);
    T.lin(std::string(p) + ".out", 1, d);
    ada(std::string(p) + ".n1");
    ada(std::string(p) + ".n2");
  }
  T.lin("pitch_emb", d, 3);
  T.lin("energy_emb", d, 3);
  T.lin("to_mel", 100, d);
  return T;
}

/* A log duration whose expf(b) - 1 is exactly `frames` in float. */
inline float exact_log_duration(float frames) {
  float b = logf(frames + 1.0f);
  for (int i = 0; i < 64 && expf(b) - 1.0f != frames; i++)
    b = nextafterf(b, expf(b) - 1.0f < frames ? INFINITY : -INFINITY);
  return b;
}
