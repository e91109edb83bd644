// The engine handle: creation from a model directory and each way it fails,
// the settings it corrects, genders and their default voices, threads, and
// the information calls.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "api/engine.h"
#include "model_fixture.h"
#include "nn/acoustic.h"
#include "tovantts.h"

namespace {

struct Engine {
  tovantts_engine *e = nullptr;
  char err[1024] = "";
  Engine(const std::string &dir, const tovantts_config *cfg = nullptr) {
    e = tovantts_create_ex(dir.c_str(), cfg, err, sizeof err);
  }
  ~Engine() { tovantts_destroy(e); }
};

TEST(Engine, CreatesFromTheGeneratedModel) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  EXPECT_STREQ(tovantts_model_type(g.e), "tovan-tts-edge");
  EXPECT_EQ(tovantts_num_voices(g.e), 8);
  EXPECT_STREQ(tovantts_voice(g.e, 0), "voice_1688");
  EXPECT_STREQ(tovantts_voice(g.e, 7), "voice_0213");
  EXPECT_EQ(tovantts_voice(g.e, 8), nullptr);
  EXPECT_EQ(tovantts_voice(g.e, -1), nullptr);
  EXPECT_STREQ(tovantts_default_voice(g.e), "voice_1688");
  EXPECT_EQ(tovantts_num_tags(g.e), 20);
  EXPECT_STREQ(tovantts_tag(g.e, 0), "none");
  EXPECT_EQ(tovantts_tag(g.e, 20), nullptr);
  EXPECT_EQ(tovantts_tag(g.e, -1), nullptr);
  EXPECT_EQ(tovantts_threads(g.e), 1);
  int32_t tids[4];
  EXPECT_EQ(tovantts_worker_tids(g.e, tids, 4), 0);
}

TEST(Engine, InformationWithoutAnEngine) {
  EXPECT_STREQ(tovantts_version(), "1.2.0");
  EXPECT_EQ(tovantts_sample_rate(), 24000);
  EXPECT_EQ(tovantts_num_controls(), 12);
  EXPECT_STREQ(tovantts_control(0), "rate");
  EXPECT_STREQ(tovantts_control(11), "h1h2");
  EXPECT_EQ(tovantts_control(12), nullptr);
  EXPECT_EQ(tovantts_model_type(NULL), nullptr);
  EXPECT_EQ(tovantts_num_voices(NULL), 0);
  EXPECT_EQ(tovantts_voice(NULL, 0), nullptr);
  EXPECT_EQ(tovantts_default_voice(NULL), nullptr);
  EXPECT_EQ(tovantts_voice_gender(NULL, 0), nullptr);
  EXPECT_EQ(tovantts_gender_voice(NULL, "female"), nullptr);
  EXPECT_EQ(tovantts_num_tags(NULL), 0);
  EXPECT_EQ(tovantts_tag(NULL, 0), nullptr);
  EXPECT_EQ(tovantts_has(NULL, "flow"), 0);
  EXPECT_EQ(tovantts_threads(NULL), 0);
  EXPECT_EQ(tovantts_set_threads(NULL, 2), -1);
  EXPECT_EQ(tovantts_worker_tids(NULL, NULL, 0), 0);
  tovantts_destroy(NULL);
  tovantts_default_config(NULL);
  tovantts_default_options(NULL);
}

TEST(Engine, DefaultRecords) {
  tovantts_config c;
  memset(&c, 0x5A, sizeof c);
  tovantts_default_config(&c);
  EXPECT_EQ(c.threads, 1);
  EXPECT_STREQ(c.precision, "fp32");
  EXPECT_EQ(c.flow, 1);
  EXPECT_EQ(c.flow_steps, 10);
  EXPECT_EQ(c.noise, 0.4f);
  EXPECT_EQ(c.guidance, 1.0f);
  EXPECT_EQ(c.native_dir, nullptr);
  tovantts_options o;
  memset(&o, 0x5A, sizeof o);
  tovantts_default_options(&o);
  EXPECT_EQ(o.voice, nullptr);
  EXPECT_EQ(o.tag, nullptr);
  EXPECT_EQ(o.ctrl, nullptr);
  EXPECT_EQ(o.pace, 1.0f);
  EXPECT_EQ(o.guidance, -1.0f);
  EXPECT_EQ(o.markup, 0);
  EXPECT_EQ(o.prompt, nullptr);
  EXPECT_EQ(o.ref_wav, nullptr);
  EXPECT_EQ(o.spk_vec, nullptr);
  EXPECT_EQ(o.flow, -1);
  EXPECT_EQ(o.seed, 0);
  EXPECT_EQ(o.word_shift, nullptr);
}

TEST(Engine, CreationFailures) {
  struct Case {
    const char *what;
    std::function<void(ModelCopy &, tovantts_config &)> edit;
    std::function<std::string(const ModelCopy &)> message;
  } cases[] = {
      {"model_type missing",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"model_type\": \"tovan-tts-edge\",", ""); },
       [](const ModelCopy &m) {
         return m.dir + ": unknown model_type '' (expected tovan-tts or tovan-tts-edge)";
       }},
      {"model_type unknown",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "tovan-tts-edge", "tovan-tts-nano"); },
       [](const ModelCopy &m) {
         return m.dir + ": unknown model_type 'tovan-tts-nano' (expected tovan-tts or tovan-tts-edge)";
       }},
      {"guidance above 4", [](ModelCopy &, tovantts_config &c) { c.guidance = 4.0001f; },
       [](const ModelCopy &) { return std::string("guidance=4.0001 is outside [0.0, 4.0]"); }},
      {"guidance NaN", [](ModelCopy &, tovantts_config &c) { c.guidance = NAN; },
       [](const ModelCopy &) { return std::string("guidance=nan is outside [0.0, 4.0]"); }},
      {"guidance negative", [](ModelCopy &, tovantts_config &c) { c.guidance = -0.5f; },
       [](const ModelCopy &) { return std::string("guidance=-0.5 is outside [0.0, 4.0]"); }},
      {"precision", [](ModelCopy &, tovantts_config &c) { c.precision = "fp16"; },
       [](const ModelCopy &) { return std::string("precision must be one of ('fp32', 'int8')"); }},
      {"config missing", [](ModelCopy &m, tovantts_config &) { m.remove("config.json"); },
       [](const ModelCopy &m) { return "cannot open " + m.path("config.json"); }},
      {"config not JSON", [](ModelCopy &m, tovantts_config &) { m.write("config.json", "{\"model_type\": "); },
       [](const ModelCopy &m) { return m.path("config.json") + ": JSON: "; }},
      {"voices.json not JSON", [](ModelCopy &m, tovantts_config &) { m.write("voices.json", "{"); },
       [](const ModelCopy &m) { return m.path("voices.json") + ": JSON: "; }},
      {"a tag that is not a text is an empty name",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"tags\": [\"none\"", "\"tags\": [0"); },
       [](const ModelCopy &) { return std::string("(ok)"); }},
      {"tags missing", [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"tags\"", "\"tagz\""); },
       [](const ModelCopy &) { return std::string("config.json: tags: expected a list"); }},
      {"voices mismatch",
       [](ModelCopy &m, tovantts_config &) {
         m.voices({{"voice_1688", "female"}, {"a", "male"}, {"b", ""}, {"c", ""}}, 8, 3);
       },
       [](const ModelCopy &) { return std::string("voices.safetensors / voices.json mismatch"); }},
      {"voice rows too wide",
       [](ModelCopy &m, tovantts_config &) { m.voices({{"voice_1688", "female"}, {"a", "male"}}, 9); },
       [](const ModelCopy &) {
         return std::string("voices.safetensors rows have 9 values, the acoustic model expects 8");
       }},
      {"default voice",
       [](ModelCopy &m, tovantts_config &) {
         m.replace("config.json", "\"default_voice\": \"voice_1688\"", "\"default_voice\": \"voice_9999\"");
       },
       [](const ModelCopy &) { return std::string("default voice voice_9999 is not in the voice table"); }},
      {"more tags than the tag table has rows",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"tags\": [", "\"tags\": [\"extra\", "); },
       [](const ModelCopy &m) {
         return m.dir + ": 21 tags are configured but the acoustic model's tag table has 20 rows";
       }},
      {"acoustic weights missing", [](ModelCopy &m, tovantts_config &) { m.remove("acoustic.safetensors"); },
       [](const ModelCopy &m) { return m.path("acoustic.safetensors"); }},
      {"vocoder shape",
       [](ModelCopy &m, tovantts_config &) { m.replace("config.json", "\"dim\": 16", "\"dim\": 24"); },
       [](const ModelCopy &) { return std::string("backbone.embed.weight"); }},
  };
  for (auto &c : cases) {
    ModelCopy m;
    tovantts_config cfg;
    tovantts_default_config(&cfg);
    c.edit(m, cfg);
    Engine g(m.dir, &cfg);
    const std::string want = c.message(m);
    if (want == "(ok)") {
      EXPECT_NE(g.e, nullptr) << c.what << ": " << g.err;
      continue;
    }
    EXPECT_EQ(g.e, nullptr) << c.what;
    // Parser and weights messages are checked by their start or a name in them.
    const std::string got = g.err;
    EXPECT_NE(got.find(want), std::string::npos) << c.what << ": " << got;
    EXPECT_STREQ(tv_geterr(), g.err) << c.what;
  }
}

TEST(Engine, NoModelGiven) {
  const char *old = getenv("TOVANTTS_MODEL");
  std::string saved = old ? old : "";
  unsetenv("TOVANTTS_MODEL");
  char err[256];
  EXPECT_EQ(tovantts_create(NULL, 1, err, sizeof err), nullptr);
  EXPECT_STREQ(err, "no model given: pass a local model directory or set TOVANTTS_MODEL");
  EXPECT_EQ(tovantts_create("", 1, err, sizeof err), nullptr);
  EXPECT_STREQ(err, "no model given: pass a local model directory or set TOVANTTS_MODEL");
  // The message is cut to the buffer.
  char small[8];
  EXPECT_EQ(tovantts_create(NULL, 1, small, sizeof small), nullptr);
  EXPECT_STREQ(small, "no mode");
  EXPECT_EQ(tovantts_create(NULL, 1, NULL, 0), nullptr);

  setenv("TOVANTTS_MODEL", model_dir().c_str(), 1);
  tovantts_engine *e = tovantts_create(NULL, 1, err, sizeof err);
  EXPECT_NE(e, nullptr) << err;
  tovantts_destroy(e);
  if (old)
    setenv("TOVANTTS_MODEL", saved.c_str(), 1);
  else
    unsetenv("TOVANTTS_MODEL");
}

TEST(Engine, CorrectsSettings) {
  struct Case {
    int32_t flow_steps;
    float noise, guidance;
    int32_t want_steps;
    float want_noise;
  } cases[] = {
      {0, -1.0f, 4.0f, 10, 0.4f},
      {-5, NAN, 0.0f, 10, 0.4f},
      {3, 0.0f, 1.0f, 3, 0.0f},
      {1, 0.7f, 2.5f, 1, 0.7f},
  };
  for (const Case &c : cases) {
    tovantts_config cfg;
    tovantts_default_config(&cfg);
    cfg.flow_steps = c.flow_steps;
    cfg.noise = c.noise;
    cfg.guidance = c.guidance;
    cfg.precision = NULL;
    Engine g(model_dir(), &cfg);
    ASSERT_NE(g.e, nullptr) << g.err;
    EXPECT_EQ(g.e->flow_steps, c.want_steps);
    EXPECT_EQ(g.e->noise, c.want_noise);
    EXPECT_EQ(g.e->guidance, c.guidance);
    EXPECT_STREQ(g.e->precision, "fp32");
  }
}

TEST(Engine, Threads) {
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  struct Case {
    int32_t threads, pool;
  } cases[] = {{0, (int32_t)(cpus < 1 ? 1 : cpus)}, {-3, 1}, {1, 1}, {3, 3}};
  for (const Case &c : cases) {
    tovantts_engine *e = tovantts_create(model_dir().c_str(), c.threads, NULL, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(tovantts_threads(e), c.pool) << c.threads;
    tovantts_destroy(e);
  }
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr);
  EXPECT_EQ(tovantts_set_threads(g.e, 4), 0);
  EXPECT_EQ(tovantts_threads(g.e), 4);
  EXPECT_EQ(tovantts_set_threads(g.e, -1), 0);
  EXPECT_EQ(tovantts_threads(g.e), 1);
}

TEST(Engine, Genders) {
  using Voices = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char *what;
    Voices voices;
    const char *defaults;  // config "default_voices" replacement, or NULL to keep
    const char *female, *male;
    std::vector<const char *> genders;
  } cases[] = {
      {"generated", {}, NULL, "voice_1688", "voice_2500",
       {"female", "male", "female", "male", "female", "male", "female", "male"}},
      {"preferred voice of the other gender is skipped",
       {{"voice_1688", "female"}, {"m1", "male"}, {"voice_2500", "male"}, {"f2", "female"}},
       "\"default_voices\": {\"female\": \"m1\", \"male\": \"m1\"}", "voice_1688", "m1",
       {"female", "male", "male", "female"}},
      {"built-in names after the preferred ones",
       {{"voice_1688", "male"}, {"f1", "female"}, {"voice_2500", "male"}, {"voice_x", "female"}},
       "\"default_voices\": {}", "f1", "voice_1688", {"male", "female", "male", "female"}},
      {"first of its gender when no name fits",
       {{"voice_1688", ""}, {"a", "Female"}, {"b", "female"}, {"c", "other"}},
       "\"default_voices\": {\"female\": \"nobody\"}", "b", NULL, {NULL, NULL, "female", NULL}},
      {"no genders at all", {{"voice_1688", ""}, {"voice_2500", ""}}, NULL, NULL, NULL, {NULL, NULL}},
  };
  for (auto &c : cases) {
    ModelCopy m;
    if (!c.voices.empty()) m.voices(c.voices);
    if (c.defaults)
      m.replace("config.json", "\"default_voices\": {\"female\": \"voice_1688\", \"male\": \"voice_2500\"}",
                c.defaults);
    Engine g(m.dir);
    ASSERT_NE(g.e, nullptr) << c.what << ": " << g.err;
    auto same = [](const char *a, const char *b) { return a == b || (a && b && strcmp(a, b) == 0); };
    EXPECT_TRUE(same(tovantts_gender_voice(g.e, "female"), c.female)) << c.what;
    EXPECT_TRUE(same(tovantts_gender_voice(g.e, "male"), c.male)) << c.what;
    ASSERT_EQ(tovantts_num_voices(g.e), (int32_t)c.genders.size()) << c.what;
    for (size_t i = 0; i < c.genders.size(); i++)
      EXPECT_TRUE(same(tovantts_voice_gender(g.e, (int32_t)i), c.genders[i])) << c.what << " voice " << i;
    EXPECT_EQ(tovantts_voice_gender(g.e, (int32_t)c.genders.size()), nullptr);
    EXPECT_EQ(tovantts_gender_voice(g.e, "Female"), nullptr);
    EXPECT_EQ(tovantts_gender_voice(g.e, "other"), nullptr);
    EXPECT_EQ(tovantts_gender_voice(g.e, NULL), nullptr);
  }
}

TEST(Engine, FeaturesOfTheEdgeModel) {
  ModelCopy m;
  // Prompt and clone assets in place do not make the edge model offer them.
  m.write("native/minilm_vocab.txt", "[PAD]\n");
  m.write("native/minilm.safetensors", "x");
  m.write("native/wavlm_sv.safetensors", "x");
  Engine g(m.dir);
  ASSERT_NE(g.e, nullptr) << g.err;
  EXPECT_EQ(tovantts_has(g.e, "flow"), 0);
  EXPECT_EQ(tovantts_has(g.e, "prompt"), 0);
  EXPECT_EQ(tovantts_has(g.e, "clone"), 0);
  EXPECT_EQ(tovantts_has(g.e, "anything"), 0);
  EXPECT_EQ(tovantts_has(g.e, NULL), 0);
}

TEST(Engine, LazyLoadersRefuseOnTheEdgeModelAndLeaveItUsable) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  const std::string tail =
      " is not available in the edge build: free-text prompts and voice cloning run on a host with the full model";
  EXPECT_EQ(need_prompt(g.e), -1);
  EXPECT_EQ(std::string(tv_geterr()), "prompt=" + tail);
  EXPECT_EQ(need_wavlm(g.e), -1);
  EXPECT_EQ(std::string(tv_geterr()), "ref_wav=" + tail);
  struct tv_flow *f = (struct tv_flow *)1;
  EXPECT_EQ(get_pflow(g.e, &f), 0);
  EXPECT_EQ(f, nullptr);
  float v[512];
  char err[512];
  EXPECT_EQ(tovantts_speaker_vector(g.e, NULL, v, 512, 24000, v, err, sizeof err), -1);
  EXPECT_EQ(std::string(err), "ref_wav=" + tail);
  float *audio = NULL;
  int64_t n = 0;
  EXPECT_EQ(tovantts_synthesize(g.e, "still fine", NULL, &audio, &n, err, sizeof err), 0) << err;
  EXPECT_GT(n, 0);
  tovantts_free(audio);
}

}  // namespace
