// The full model layout end to end from the generated tiny-full directory:
// creation and its failures, the flow refiner, prompts, voice cloning with
// its reference-clip cache, and lazy loaders that fail without harming the
// handle.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "api/deps.h"
#include "api/engine.h"
#include "model_fixture.h"
#include "runtime/wav.h"
#include "tovantts.h"

namespace {

struct Engine {
  tovantts_engine *e = nullptr;
  char err[1024] = "";
  explicit Engine(const std::string &dir, const tovantts_config *cfg = nullptr) {
    e = tovantts_create_ex(dir.c_str(), cfg, err, sizeof err);
  }
  ~Engine() { tovantts_destroy(e); }
};

std::vector<float> synth_json(tovantts_engine *e, const std::string &json, std::string *err = nullptr) {
  float *p = NULL;
  int64_t n = 0;
  char buf[1024] = "";
  std::vector<float> x;
  if (tovantts_synthesize_json(e, json.c_str(), &p, &n, buf, sizeof buf) == 0) x.assign(p, p + n);
  tovantts_free(p);
  if (err) *err = buf;
  EXPECT_TRUE(err || !buf[0]) << buf;
  return x;
}

std::string resolve(tovantts_engine *e, const std::string &json) {
  char *out = NULL;
  char err[1024] = "";
  std::string s = tovantts_resolve_json(e, json.c_str(), &out, err, sizeof err) == 0 ? out : err;
  tovantts_free(out);
  return s;
}

TEST(FullLayout, CreatesWithItsRefinerAndAssets) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  EXPECT_STREQ(tovantts_model_type(g.e), "tovan-tts");
  EXPECT_EQ(tovantts_num_voices(g.e), 8);
  EXPECT_STREQ(tovantts_voice(g.e, 1), "voice_2500");
  EXPECT_EQ(tovantts_num_tags(g.e), 20);
  EXPECT_STREQ(tovantts_voice_gender(g.e, 1), "male");
  EXPECT_STREQ(tovantts_gender_voice(g.e, "female"), "voice_1688");
  EXPECT_EQ(tovantts_has(g.e, "flow"), 1);
  EXPECT_EQ(tovantts_has(g.e, "prompt"), 1);
  EXPECT_EQ(tovantts_has(g.e, "clone"), 1);
  // The full model validates blank texts and writes flow and seed.
  EXPECT_EQ(resolve(g.e, "{\"text\": \" \"}"), "text must be a non-empty string");
  EXPECT_EQ(resolve(g.e, "{\"text\": \"a\", \"seed\": 3}"),
            "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, "
            "\"guidance\": 1.0, \"flow\": true, \"seed\": 3, \"markup\": false}");
}

TEST(FullLayout, RefinerIsSeededAndSwitchable) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  const std::string text = "\"text\": \"Refined words here.\"";
  const std::vector<float> a = synth_json(g.e, "{" + text + "}");
  ASSERT_FALSE(a.empty());
  for (float v : a) ASSERT_TRUE(std::isfinite(v));
  EXPECT_EQ(synth_json(g.e, "{" + text + "}"), a);
  EXPECT_NE(synth_json(g.e, "{" + text + ", \"seed\": 5}"), a);
  const std::vector<float> off = synth_json(g.e, "{" + text + ", \"flow\": false}");
  EXPECT_NE(off, a);
  EXPECT_EQ(off.size(), a.size());

  // An engine set up without the refiner never loads it.
  tovantts_config cfg;
  tovantts_default_config(&cfg);
  cfg.flow = 0;
  Engine plain(model_dir("tiny-full"), &cfg);
  ASSERT_NE(plain.e, nullptr) << plain.err;
  EXPECT_EQ(tovantts_has(plain.e, "flow"), 0);
  EXPECT_EQ(synth_json(plain.e, "{" + text + "}"), off);
}

TEST(FullLayout, StreamsRefuseWordShiftsBeforeAnyAudio) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  int calls = 0;
  auto cb = [](const float *, int64_t, const tovantts_chunk_info *, void *user) -> int32_t {
    ++*(int *)user;
    return 0;
  };
  char err[512];
  EXPECT_EQ(tovantts_stream_json(g.e, "{\"text\": \"One. Two.\", \"word_shift\": {\"0\": {\"pitch\": 2}}}", cb,
                                 &calls, err, sizeof err),
            -1);
  EXPECT_STREQ(err,
               "stream() does not support word_shift (segments re-index words); use inline markup such as "
               "<high>word</high> or *word*, or synthesize() for a whole-utterance word_shift");
  EXPECT_EQ(calls, 0);
  // Whole synthesis takes them.
  EXPECT_FALSE(synth_json(g.e, "{\"text\": \"One two.\", \"word_shift\": {\"0\": {\"pitch\": 2}}}").empty());
}

TEST(FullLayout, LoadsWithoutRefinerOrGenders) {
  NEED_FULL();
  ModelCopy m("tiny-full");
  const std::string cfg = m.read("config.json");
  const size_t a = cfg.find("  \"refiner\""), b = cfg.find("  \"prompted_flow\"");
  ASSERT_NE(a, std::string::npos);
  m.write("config.json", cfg.substr(0, a) + cfg.substr(b));
  m.remove("voices.json");
  Engine g(m.dir);
  ASSERT_NE(g.e, nullptr) << g.err;
  EXPECT_EQ(tovantts_has(g.e, "flow"), 0);
  for (int32_t i = 0; i < tovantts_num_voices(g.e); i++) EXPECT_EQ(tovantts_voice_gender(g.e, i), nullptr);
  EXPECT_EQ(tovantts_gender_voice(g.e, "female"), nullptr);
  EXPECT_EQ(tovantts_gender_voice(g.e, "male"), nullptr);
  EXPECT_EQ(g.e->gender_default[0], -1);
  EXPECT_EQ(g.e->gender_default[1], -1);
  EXPECT_FALSE(synth_json(g.e, "{\"text\": \"Still speaks.\"}").empty());
}

TEST(FullLayout, CreationFailures) {
  NEED_FULL();
  struct Case {
    const char *what;
    void (*edit)(ModelCopy &, tovantts_config &);
    std::string (*message)(const ModelCopy &);
  } cases[] = {
      {"voices_order longer than the vectors",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"voices_order\": [", "\"voices_order\": [\"v9\", "); },
       [](const ModelCopy &) { return std::string("speaker_vectors / voices_order mismatch ("); }},
      {"vocoder missing", [](ModelCopy &m, tovantts_config &) { m.remove("native/vocos.safetensors"); },
       [](const ModelCopy &m) { return "v1 needs the converted Vocos weights: " + m.path("native") + " ("; }},
      {"control stats missing", [](ModelCopy &m, tovantts_config &) { m.remove("control_stats.json"); },
       [](const ModelCopy &m) { return "cannot open " + m.path("control_stats.json"); }},
      {"no int8 weights", [](ModelCopy &, tovantts_config &c) { c.precision = "int8"; },
       [](const ModelCopy &m) { return m.path("int8/speaker_vectors.safetensors"); }},
      {"refiner file missing", [](ModelCopy &m, tovantts_config &) { m.remove("refiner.safetensors"); },
       [](const ModelCopy &m) { return m.path("refiner.safetensors"); }},
  };
  for (auto &c : cases) {
    ModelCopy m("tiny-full");
    tovantts_config cfg;
    tovantts_default_config(&cfg);
    c.edit(m, cfg);
    Engine g(m.dir, &cfg);
    EXPECT_EQ(g.e, nullptr) << c.what;
    EXPECT_NE(std::string(g.err).find(c.message(m)), std::string::npos) << c.what << ": " << g.err;
  }
}

TEST(FullLayout, RefinerMustFitTheConditioning) {
  NEED_FULL();
  // The development acoustic model conditions with 128 values; the tiny
  // refiner reads 16.
  ModelCopy m("tiny-full");
  std::filesystem::copy_file(model_dir("dev") + "/acoustic.safetensors", m.path("model.safetensors"),
                             std::filesystem::copy_options::overwrite_existing);
  ModelCopy dev("dev");
  const std::string dc = dev.read("config.json");
  const size_t a = dc.find("\"arch\": {"), b = dc.find('}', a);
  const std::string fc = m.read("config.json");
  const size_t c = fc.find("\"arch\": {"), d = fc.find('}', c);
  m.write("config.json", fc.substr(0, c) + dc.substr(a, b - a) + fc.substr(d));
  Engine g(m.dir);
  EXPECT_EQ(g.e, nullptr);
  EXPECT_EQ(std::string(g.err), m.dir + ": the refiner takes g_dim 16, the acoustic model gives 128");
}

TEST(FullLayout, PromptsMapToTagsAndControls) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  char *out = NULL;
  char err[512];
  ASSERT_EQ(tovantts_map_prompt(g.e, "calm and slow", &out, err, sizeof err), 0) << err;
  const std::string map = out;
  tovantts_free(out);
  EXPECT_EQ(map.rfind("{\"tag\": \"", 0), 0u) << map;
  EXPECT_NE(map.find("\"top_tags\": [["), std::string::npos) << map;

  // The mapping shows in the canonical request; the request's own tag and
  // controls win over it.
  const std::string r = resolve(g.e, "{\"text\": \"a\", \"prompt\": \"calm and slow\"}");
  EXPECT_NE(r.find("\"prompt_mapping\": {\"tag\": "), std::string::npos) << r;
  const std::string own = resolve(g.e, "{\"text\": \"a\", \"prompt\": \"calm and slow\", \"tag\": \"whisper\", "
                                       "\"ctrl\": {\"rate\": -4.5}}");
  EXPECT_NE(own.find("\"tag\": \"whisper\", \"ctrl\": {"), std::string::npos) << own;
  EXPECT_NE(own.find("\"rate\": -4.5"), std::string::npos) << own;
  EXPECT_FALSE(synth_json(g.e, "{\"text\": \"Prompted words.\", \"prompt\": \"calm and slow\"}").empty());

  // Style prompts inside markup use the same mapping.
  tovantts_options o;
  tovantts_default_options(&o);
  o.markup = 1;
  float *a = NULL;
  int64_t n = 0;
  ASSERT_EQ(tovantts_synthesize(g.e, "<style prompt=\"happy\">Styled words.</style>", &o, &a, &n, err, sizeof err),
            0)
      << err;
  EXPECT_GT(n, 1);
  tovantts_free(a);
}

std::vector<float> clip(int32_t rate, double seconds, double f0) {
  std::vector<float> x((size_t)(rate * seconds));
  uint64_t s = 12345;
  for (size_t i = 0; i < x.size(); i++) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    const double t = (double)i / rate, noise = (double)(s >> 40) / (double)(1 << 24) - 0.5;
    x[i] = (float)(0.3 * sin(2 * M_PI * f0 * t) + 0.1 * sin(2 * M_PI * 3.1 * f0 * t) + 0.05 * noise);
  }
  return x;
}

TEST(FullLayout, ReferenceClipIsEncodedOncePerClip) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  TmpDir tmp;
  const std::string a = tmp.file("a.wav"), b = tmp.file("b.wav");
  std::vector<float> ca = clip(16000, 1.5, 140.0), cb = clip(24000, 1.5, 220.0);
  ASSERT_EQ(tv_wav_write(a.c_str(), ca.data(), ca.size(), 16000), 0);
  ASSERT_EQ(tv_wav_write(b.c_str(), cb.data(), cb.size(), 24000), 0);
  const std::string req = "{\"text\": \"Cloned words.\", \"ref_wav\": \"" + a + "\"}";
  ASSERT_FALSE(synth_json(g.e, req).empty());
  ASSERT_NE(g.e->ref_hash, 0u);
  const uint64_t h = g.e->ref_hash;
  // Mark the cached vector: a second request with the same clip must use it
  // as it stands instead of running the encoder again.
  for (float &v : g.e->ref_vec) v = 0.25f;
  float vec[512];
  char err[512];
  ASSERT_EQ(tovantts_speaker_vector(g.e, a.c_str(), NULL, 0, 0, vec, err, sizeof err), 0) << err;
  EXPECT_EQ(g.e->ref_hash, h);
  for (float v : vec) ASSERT_EQ(v, 0.25f);
  // Another clip replaces the cache.
  ASSERT_EQ(tovantts_speaker_vector(g.e, b.c_str(), NULL, 0, 0, vec, err, sizeof err), 0) << err;
  EXPECT_NE(g.e->ref_hash, h);
  EXPECT_NE(vec[0], 0.25f);
}

TEST(FullLayout, SpeakerVectorFromSamples) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  float v1[512], v2[512];
  char err[512];
  std::vector<float> x = clip(24000, 10.0, 180.0);
  EXPECT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), (int64_t)x.size(), 999, v1, err, sizeof err), -1);
  EXPECT_STREQ(err, "reference audio: sample rate 999 Hz is outside [1000, 768000]");
  EXPECT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), 0, 24000, v1, err, sizeof err), -1);
  EXPECT_STREQ(err, "tovantts_speaker_vector: no samples");
  // Ten seconds use their first 24000 x 9 + 256 samples.
  const std::vector<float> copy = x;
  ASSERT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), (int64_t)x.size(), 24000, v1, err, sizeof err), 0) << err;
  EXPECT_EQ(x, copy);
  ASSERT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), 24000 * 9 + 256, 24000, v2, err, sizeof err), 0) << err;
  EXPECT_EQ(memcmp(v1, v2, sizeof v1), 0);
  x[24000 * 9 + 255] = NAN;
  EXPECT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), (int64_t)x.size(), 24000, v1, err, sizeof err), -1);
  EXPECT_STREQ(err, "reference audio contains NaN or infinite samples");
  x[24000 * 9 + 255] = 0.0f;
  x[24000 * 9 + 256] = NAN;  // past the part that is used
  EXPECT_EQ(tovantts_speaker_vector(g.e, NULL, x.data(), (int64_t)x.size(), 24000, v1, err, sizeof err), 0) << err;
}

TEST(FullLayout, FailingLazyLoaderLeavesTheHandleUsable) {
  NEED_FULL();
  ModelCopy m("tiny-full");
  const std::string wavlm = m.read("native/wavlm_sv.safetensors");
  m.write("native/wavlm_sv.safetensors", wavlm.substr(0, wavlm.size() / 2));
  Engine g(m.dir);
  ASSERT_NE(g.e, nullptr) << g.err;
  TmpDir tmp;
  const std::string a = tmp.file("a.wav");
  std::vector<float> ca = clip(24000, 1.0, 150.0);
  ASSERT_EQ(tv_wav_write(a.c_str(), ca.data(), ca.size(), 24000), 0);
  const std::string req = "{\"text\": \"Cloned words.\", \"ref_wav\": \"" + a + "\"}";
  std::string err;
  EXPECT_TRUE(synth_json(g.e, req, &err).empty());
  EXPECT_EQ(err.rfind("voice cloning needs the converted WavLM speaker encoder in " + m.path("native") + " (", 0), 0u)
      << err;
  EXPECT_EQ(g.e->wavlm, nullptr);
  EXPECT_FALSE(synth_json(g.e, "{\"text\": \"Plain words.\"}").empty());
  // Mended on disk, the loader runs again on the next such request.
  m.write("native/wavlm_sv.safetensors", wavlm);
  EXPECT_FALSE(synth_json(g.e, req, &err).empty()) << err;
  EXPECT_NE(g.e->wavlm, nullptr);
}

}  // namespace
