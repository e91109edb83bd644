// The edge networks on the generated default-size development model: 10 s of
// audio (938 mel frames) through the acoustic model and the vocoder, fp32 and
// int8 matrices, 1 and 4 threads. Goal: at most 500 ms on one thread and
// 200 ms on four for the two together.
//
//   edge_bench [--benchmark_filter=...]   (models from build/engine/models)
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "nn/acoustic.h"
#include "nn/vocoder.h"
#include "runtime/error.h"
#include "runtime/pool.h"

namespace {

std::string models_dir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p = n > 0 ? std::string(buf, (size_t)n) : std::string("./x");
  return p.substr(0, p.rfind('/')) + "/../engine/models/";
}

struct Edge {
  tv_json *cfg = NULL;
  tv_weights *ac_w = NULL, *voc_w = NULL, *voices = NULL;
  tv_acoustic *ac = NULL;
  tv_vocoder *voc = NULL;
  std::vector<float> g;
  std::vector<int32_t> ids;
  std::vector<float> mel;  // the mel of ids, for the vocoder alone
  int32_t T = 0;
  std::string err;

  explicit Edge(const std::string &dir) {
    char *text = NULL;
    size_t len = 0;
    if (tv_read_file((dir + "/config.json").c_str(), &text, &len) != 0 || !(cfg = tv_json_parse(text, len))) {
      tv_free(text);
      err = tv_geterr();
      return;
    }
    tv_free(text);
    ac_w = tv_weights_open((dir + "/acoustic.safetensors").c_str());
    voc_w = tv_weights_open((dir + "/vocoder.safetensors").c_str());
    voices = tv_weights_open((dir + "/voices.safetensors").c_str());
    if (ac_w && voc_w && voices) {
      ac = tv_acoustic_load(ac_w, tv_json_get(tv_json_get(cfg, "acoustic"), "arch"));
      const tv_json *v = tv_json_get(cfg, "vocoder");
      voc = tv_vocoder_load(voc_w, (int32_t)tv_json_num(tv_json_get(v, "dim"), 384),
                            (int32_t)tv_json_num(tv_json_get(v, "inter"), 896),
                            (int32_t)tv_json_num(tv_json_get(v, "layers"), 8), 1024, 256);
    }
    if (!ac || !voc) {
      err = tv_geterr();
      return;
    }
    g.resize(tv_acoustic_g_dim(ac));
    tv_acoustic_condition(ac, tv_weights_f32(voices, "s", 0), NULL, 0, NULL, NULL, g.data());
    // Add symbols until the segment reaches 10 s (938 frames at 256 samples).
    for (int n = 40;; n += 4) {
      ids.resize(n);
      for (int i = 0; i < n; i++) ids[i] = (i * 37 + 11) % tv_acoustic_n_symbols(ac);
      float *m = NULL;
      if (tv_acoustic_infer(ac, NULL, ids.data(), NULL, n, g.data(), NULL, NULL, 0, &m, &T, NULL, 1.0f, 1.0f) != 0) {
        err = tv_geterr();
        return;
      }
      if (T >= 938 || n > 2000) {
        mel.assign(m, m + (size_t)T * 100);
        tv_free(m);
        break;
      }
      tv_free(m);
    }
  }
  ~Edge() {
    tv_vocoder_free(voc);
    tv_acoustic_free(ac);
    tv_weights_close(ac_w);
    tv_weights_close(voc_w);
    tv_weights_close(voices);
    tv_json_free(cfg);
  }
};

Edge &model(int int8) {
  static Edge fp32(models_dir() + "dev"), q8(models_dir() + "dev-int8");
  return int8 ? q8 : fp32;
}

using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;

// Arguments: int8 (0 / 1), threads. part: 0 acoustic, 1 vocoder, 2 both.
void run(benchmark::State &st, int part) {
  Edge &e = model((int)st.range(0));
  if (!e.err.empty()) {
    st.SkipWithError(e.err.c_str());
    return;
  }
  Pool pool(tv_pool_create((int32_t)st.range(1)), tv_pool_destroy);
  for (auto _ : st) {
    const float *mel = e.mel.data();
    int32_t T = e.T;
    float *m = NULL;
    if (part != 1) {
      if (tv_acoustic_infer(e.ac, pool.get(), e.ids.data(), NULL, (int32_t)e.ids.size(), e.g.data(), NULL, NULL, 0,
                            &m, &T, NULL, 1.0f, 1.0f) != 0) {
        st.SkipWithError(tv_geterr());
        return;
      }
      mel = m;
    }
    if (part != 0) {
      float *audio = NULL;
      size_t n = 0;
      if (tv_vocoder_decode(e.voc, pool.get(), mel, T, &audio, &n) != 0) {
        tv_free(m);
        st.SkipWithError(tv_geterr());
        return;
      }
      tv_free(audio);
    }
    tv_free(m);
  }
  st.counters["audio_s"] = (double)(e.T - 1) * 256 / 24000;
  st.SetLabel(std::string(st.range(0) ? "int8" : "fp32") + " x" + std::to_string(st.range(1)));
}

void BM_Acoustic(benchmark::State &st) { run(st, 0); }
void BM_Vocoder(benchmark::State &st) { run(st, 1); }
void BM_AcousticAndVocoder(benchmark::State &st) { run(st, 2); }

void Args(benchmark::internal::Benchmark *b) {
  for (int int8 : {0, 1})
    for (int threads : {1, 4}) b->Args({int8, threads});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Acoustic)->Apply(Args);
BENCHMARK(BM_Vocoder)->Apply(Args);
BENCHMARK(BM_AcousticAndVocoder)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
