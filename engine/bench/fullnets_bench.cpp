// The full model's networks at their default sizes: the refiner's 10 midpoint
// steps over 10 s of mel (938 frames; d 384, 12 blocks), plain and prompted
// with a 3 s prompt, and the speaker encoder on a 10 s clip (of which it uses
// the first 8 s), on 1 and 4 threads, fp32 and int8 matrices. No goals yet:
// the figures are measured and noted.
//
//   fullnets_bench [--benchmark_filter=...]
//
// The weights come from models/bench-full and models/bench-full-int8 beside
// the program, which the first run generates with tovan-mkmodel (about
// 550 MB and 150 MB).
#include <benchmark/benchmark.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "nn/flow.h"
#include "nn/spkenc.h"
#include "runtime/error.h"
#include "runtime/pool.h"

namespace {

std::string build_dir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p = n > 0 ? std::string(buf, (size_t)n) : std::string("./x");
  return p.substr(0, p.rfind('/'));
}

struct Full {
  tv_json *cfg = NULL;
  tv_weights *fw = NULL, *pw = NULL, *ww = NULL;
  tv_flow *flow = NULL, *pflow = NULL;
  tv_wavlm *wavlm = NULL;
  std::string err;

  explicit Full(const char *quant) {
    const std::string dir = build_dir() + "/../engine/models/bench-full" + (std::string(quant) == "int8" ? "-int8" : "");
    if (access((dir + "/config.json").c_str(), R_OK) != 0) {
      const std::string cmd = build_dir() + "/tovan-mkmodel --layout full --size default --quant " + quant +
                              " --fixed-quant int8 " + dir;
      fprintf(stderr, "fullnets_bench: writing %s\n", dir.c_str());
      if (system(cmd.c_str()) != 0) {
        err = "cannot run " + cmd;
        return;
      }
    }
    char *text = NULL;
    size_t len = 0;
    if (tv_read_file((dir + "/config.json").c_str(), &text, &len) != 0 || !(cfg = tv_json_parse(text, len))) {
      tv_free(text);
      err = tv_geterr();
      return;
    }
    tv_free(text);
    fw = tv_weights_open((dir + "/refiner.safetensors").c_str());
    pw = tv_weights_open((dir + "/prompted_flow.safetensors").c_str());
    ww = tv_weights_open((dir + "/native/wavlm_sv.safetensors").c_str());
    if (fw && pw && ww) {
      flow = tv_flow_load(fw, tv_json_get(tv_json_get(cfg, "refiner"), "cfg"));
      pflow = tv_flow_load(pw, tv_json_get(tv_json_get(cfg, "prompted_flow"), "cfg"));
      wavlm = tv_wavlm_load(ww);
    }
    if (!flow || !pflow || !wavlm) err = tv_geterr();
  }
  ~Full() {
    tv_flow_free(flow);
    tv_flow_free(pflow);
    tv_wavlm_free(wavlm);
    tv_weights_close(fw);
    tv_weights_close(pw);
    tv_weights_close(ww);
    tv_json_free(cfg);
  }
};

Full &model(int int8) {
  if (int8) {
    static Full q8("int8");
    return q8;
  }
  static Full fp32("fp32");
  return fp32;
}

using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;

const int T_MEL = 938, P_MEL = 282;

std::vector<float> mel_like(int frames, float base) {
  std::vector<float> m((size_t)frames * 100);
  for (int t = 0; t < frames; t++)
    for (int c = 0; c < 100; c++) m[(size_t)t * 100 + c] = base - 0.04f * c + 0.5f * sinf(0.13f * t + 0.2f * c);
  return m;
}

// Arguments: int8 (0 / 1), threads.
void refine(benchmark::State &st, bool prompted) {
  Full &f = model((int)st.range(0));
  if (!f.err.empty()) {
    st.SkipWithError(f.err.c_str());
    return;
  }
  Pool pool(tv_pool_create((int32_t)st.range(1)), tv_pool_destroy);
  const tv_flow *fl = prompted ? f.pflow : f.flow;
  const std::vector<float> mel = mel_like(T_MEL, -4.0f), prompt = mel_like(P_MEL, -3.5f);
  std::vector<float> g((size_t)fl->g_dim, 0.1f), out(mel.size());
  for (auto _ : st) {
    if (tv_flow_sample(fl, pool.get(), mel.data(), T_MEL, g.data(), 10, 1234, prompted ? prompt.data() : NULL,
                       prompted ? P_MEL : 0, out.data(), 0.4f, 0.0f) != 0) {
      st.SkipWithError(tv_geterr());
      return;
    }
  }
  st.counters["audio_s"] = (double)(T_MEL - 1) * 256 / 24000;
  st.SetLabel(std::string(st.range(0) ? "int8" : "fp32") + " x" + std::to_string(st.range(1)));
}

void BM_Refiner(benchmark::State &st) { refine(st, false); }
void BM_PromptedRefiner(benchmark::State &st) { refine(st, true); }

void BM_SpeakerEncoder(benchmark::State &st) {
  Full &f = model((int)st.range(0));
  if (!f.err.empty()) {
    st.SkipWithError(f.err.c_str());
    return;
  }
  Pool pool(tv_pool_create((int32_t)st.range(1)), tv_pool_destroy);
  std::vector<float> clip(240000);
  for (size_t i = 0; i < clip.size(); i++)
    clip[i] = 0.3f * sinf(0.0577f * (float)i) * sinf(0.0003f * (float)i) + 0.02f * sinf(1.7f * (float)i);
  float out[512];
  for (auto _ : st) {
    if (tv_wavlm_xvector(f.wavlm, pool.get(), clip.data(), clip.size(), out) != 0) {
      st.SkipWithError(tv_geterr());
      return;
    }
  }
  st.counters["clip_s"] = (double)clip.size() / 24000;
  st.SetLabel(std::string(st.range(0) ? "int8" : "fp32") + " x" + std::to_string(st.range(1)));
}

void Args(benchmark::internal::Benchmark *b) {
  for (int int8 : {0, 1})
    for (int threads : {1, 4}) b->Args({int8, threads});
  b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
}

BENCHMARK(BM_Refiner)->Apply(Args);
BENCHMARK(BM_PromptedRefiner)->Apply(Args);
BENCHMARK(BM_SpeakerEncoder)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
