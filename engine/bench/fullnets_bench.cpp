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
#include "nn/vocoder.h"
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

// Signal to error in dB: the reference's variance over the mean squared
// difference.
double snr_db(const std::vector<float> &ref, const std::vector<float> &got) {
  double mean = 0;
  for (float v : ref) mean += v;
  mean /= (double)ref.size();
  double var = 0, err = 0;
  for (size_t i = 0; i < ref.size() && i < got.size(); i++) {
    var += (ref[i] - mean) * (ref[i] - mean);
    err += ((double)got[i] - ref[i]) * ((double)got[i] - ref[i]);
  }
  return 10 * log10(var / (err > 0 ? err : 1e-300));
}

// What the 8-bit product costs in accuracy: the refiner of the fp32 model
// (float path) as reference, against the int8 model on the float path (int8
// weights only, as before the 8-bit product) and on the 8-bit path (int8
// weights and int8 activations), as SNR in dB of the mel and of the vocoded
// audio (the fp32 model's vocoder for all three). One pass, 4 threads.
void BM_RefinerInt8Error(benchmark::State &st) {
  Full &f32 = model(0), &q8 = model(1);
  if (!f32.err.empty() || !q8.err.empty()) {
    st.SkipWithError((f32.err + q8.err).c_str());
    return;
  }
  const std::string dir = build_dir() + "/../engine/models/bench-full";
  tv_weights *vw = tv_weights_open((dir + "/native/vocos.safetensors").c_str());
  tv_vocoder *voc = vw ? tv_vocoder_load(vw, 512, 1536, 8, 1024, 256) : NULL;
  if (!voc) {
    st.SkipWithError(tv_geterr());
    tv_weights_close(vw);
    return;
  }
  Pool pool(tv_pool_create(4), tv_pool_destroy);
  tv_flow *float_path = (tv_flow *)malloc(sizeof(tv_flow));  // the int8 refiner with its blocks on the float path
  *float_path = *q8.flow;
  for (int b = 0; b < TV_FLOW_MAX_LAYERS; b++) float_path->block[b].q8 = float_path->attn[b].q8 = 0;
  const std::vector<float> mel = mel_like(T_MEL, -4.0f);
  std::vector<float> g((size_t)f32.flow->g_dim, 0.1f);
  const tv_flow *nets[3] = {f32.flow, float_path, q8.flow};
  std::vector<float> out[3], audio[3];
  for (auto _ : st)
    for (int i = 0; i < 3; i++) {
      out[i].assign(mel.size(), 0.0f);
      float *a = NULL;
      size_t n = 0;
      if (tv_flow_sample(nets[i], pool.get(), mel.data(), T_MEL, g.data(), 10, 1234, NULL, 0, out[i].data(), 0.4f,
                         0.0f) != 0 ||
          tv_vocoder_decode(voc, pool.get(), out[i].data(), T_MEL, &a, &n) != 0) {
        st.SkipWithError(tv_geterr());
        break;
      }
      audio[i].assign(a, a + n);
      tv_free(a);
    }
  if (!audio[2].empty()) {
    st.counters["mel_w8_dB"] = snr_db(out[0], out[1]);
    st.counters["mel_w8a8_dB"] = snr_db(out[0], out[2]);
    st.counters["mel_a8_vs_w8_dB"] = snr_db(out[1], out[2]);
    st.counters["wav_w8_dB"] = snr_db(audio[0], audio[1]);
    st.counters["wav_w8a8_dB"] = snr_db(audio[0], audio[2]);
    st.counters["wav_a8_vs_w8_dB"] = snr_db(audio[1], audio[2]);
  }
  free(float_path);
  tv_vocoder_free(voc);
  tv_weights_close(vw);
}
BENCHMARK(BM_RefinerInt8Error)->Iterations(1)->Unit(benchmark::kMillisecond);

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
