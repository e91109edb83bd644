// The full model's choices seen from outside: which folder each weights file
// comes from at int8 precision, which flow net refines a segment, what a
// missing prompt encoder says, and the exact JSON of a mapped prompt.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <charconv>
#include <filesystem>
#include <string>
#include <vector>

#include "api/engine.h"
#include "model_fixture.h"
#include "nn/prompt.h"
#include "runtime/wav.h"
#include "tovantts.h"

namespace {

namespace fs = std::filesystem;

struct Engine {
  tovantts_engine *e = nullptr;
  char err[1024] = "";
  explicit Engine(const std::string &dir, const char *precision = "fp32", int32_t flow = 1) {
    tovantts_config cfg;
    tovantts_default_config(&cfg);
    cfg.precision = precision;
    cfg.flow = flow;
    e = tovantts_create_ex(dir.c_str(), &cfg, err, sizeof err);
  }
  ~Engine() { tovantts_destroy(e); }
};

struct Result {
  std::vector<float> x;
  std::string err;
};

Result synth(tovantts_engine *e, const std::string &json) {
  Result r;
  float *p = NULL;
  int64_t n = 0;
  char buf[1024] = "";
  if (tovantts_synthesize_json(e, json.c_str(), &p, &n, buf, sizeof buf) == 0) r.x.assign(p, p + n);
  tovantts_free(p);
  r.err = buf;
  return r;
}

Result map(tovantts_engine *e, const char *prompt) {
  Result r;
  char *out = NULL;
  char buf[1024] = "";
  if (tovantts_map_prompt(e, prompt, &out, buf, sizeof buf) == 0) r.err = out;
  else r.err = std::string("error: ") + buf;
  tovantts_free(out);
  return r;
}

std::vector<float> tone(int32_t rate, double seconds, double f0) {
  std::vector<float> x((size_t)(rate * seconds));
  for (size_t i = 0; i < x.size(); i++) {
    const double t = (double)i / rate;
    x[i] = (float)(0.3 * sin(2 * M_PI * f0 * t) + 0.1 * sin(2 * M_PI * 2.7 * f0 * t));
  }
  return x;
}

int mkmodel(const std::string &args) {
  const std::string cmd = mkmodel_tool() + " " + args + " >/dev/null 2>&1";
  const int rc = system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(FullChoices, Int8ReadsEachWeightsFileFromItsOwnFolder) {
  NEED_FULL();
  // A second model with other weights provides the "int8" files, spread
  // over the three folders int8 precision reads from: the configured
  // precision folder (here "q8") for the speaker vectors, the acoustic
  // model and the refiner; "int8" for the prompted flow and the prompt
  // adapter; the native folder's "int8" for the vocoder and both encoders.
  TmpDir tmp;
  const std::string other = tmp.file("other");
  ASSERT_EQ(mkmodel("--layout full --size tiny --fixed-quant int8 --seed 77 " + other), 0);
  ModelCopy m("tiny-full");
  m.replace("config.json", "\"precisions\": {\"int8\": {\"dir\": \"int8\"}}",
            "\"precisions\": {\"int8\": {\"dir\": \"q8\"}}");
  struct Place {
    const char *from, *to;
  } places[] = {
      {"speaker_vectors.safetensors", "q8/speaker_vectors.safetensors"},
      {"model.safetensors", "q8/model.safetensors"},
      {"refiner.safetensors", "q8/refiner.safetensors"},
      {"prompted_flow.safetensors", "int8/prompted_flow.safetensors"},
      {"prompt_adapter.safetensors", "int8/prompt_adapter.safetensors"},
      {"native/vocos.safetensors", "native/int8/vocos.safetensors"},
      {"native/minilm.safetensors", "native/int8/minilm.safetensors"},
      {"native/wavlm_sv.safetensors", "native/int8/wavlm_sv.safetensors"},
  };
  for (const Place &p : places) {
    fs::create_directories(fs::path(m.path(p.to)).parent_path());
    fs::copy_file(other + "/" + p.from, m.path(p.to));
  }
  // The other model as it stands, with the front end of this one.
  fs::copy(m.path("native/front"), other + "/native/front", fs::copy_options::recursive);

  Engine int8(m.dir, "int8");
  ASSERT_NE(int8.e, nullptr) << int8.err;
  Engine fp32(m.dir, "fp32");
  ASSERT_NE(fp32.e, nullptr) << fp32.err;
  Engine want(other, "fp32");
  ASSERT_NE(want.e, nullptr) << want.err;
  EXPECT_EQ(tovantts_has(int8.e, "prompt"), 1);
  EXPECT_EQ(tovantts_has(int8.e, "clone"), 1);
  EXPECT_EQ(tovantts_has(int8.e, "flow"), 1);

  TmpDir clips;
  const std::string clip = clips.file("ref.wav");
  const std::vector<float> ref = tone(24000, 0.6, 170.0);
  ASSERT_EQ(tv_wav_write(clip.c_str(), ref.data(), ref.size(), 24000), 0);
  const std::string requests[] = {
      "{\"text\": \"Own folders.\"}",                            // vectors, acoustic, refiner, vocoder
      "{\"text\": \"Mapped.\", \"prompt\": \"calm and slow\"}",            // encoder and adapter
      "{\"text\": \"Cloned.\", \"ref_wav\": \"" + clip + "\"}",             // speaker encoder, prompted flow
  };
  for (const std::string &req : requests) {
    SCOPED_TRACE(req);
    const Result got = synth(int8.e, req), expected = synth(want.e, req), plain = synth(fp32.e, req);
    ASSERT_FALSE(got.x.empty()) << got.err;
    ASSERT_FALSE(expected.x.empty()) << expected.err;
    EXPECT_EQ(got.x, expected.x);
    EXPECT_NE(got.x, plain.x) << "the fp32 files were read";
  }
  EXPECT_EQ(map(int8.e, "bright and quick").err, map(want.e, "bright and quick").err);
}

TEST(FullChoices, MissingPromptEncoderFailsOnlyPromptsAndSaysWhere) {
  NEED_FULL();
  struct Case {
    const char *precision, *file;
  } cases[] = {{"fp32", "native/minilm.safetensors"}, {"int8", "native/int8/minilm.safetensors"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.precision);
    ModelCopy m("tiny-full");
    if (std::string(c.precision) == "int8") {
      // Every int8 file present but the encoder's.
      for (const char *f : {"speaker_vectors.safetensors", "model.safetensors", "refiner.safetensors",
                            "prompted_flow.safetensors", "prompt_adapter.safetensors"}) {
        fs::create_directories(m.path("int8"));
        fs::copy_file(m.path(f), m.path(std::string("int8/") + f));
      }
      fs::create_directories(m.path("native/int8"));
      for (const char *f : {"vocos.safetensors", "wavlm_sv.safetensors"})
        fs::copy_file(m.path(std::string("native/") + f), m.path(std::string("native/int8/") + f));
    } else {
      m.remove(c.file);
    }
    Engine g(m.dir, c.precision);
    ASSERT_NE(g.e, nullptr) << g.err;
    EXPECT_EQ(tovantts_has(g.e, "prompt"), 0);
    const std::string said = map(g.e, "calm and slow").err;
    const std::string head = "error: free-text prompts need the converted MiniLM encoder in " + m.path("native") + " (";
    EXPECT_EQ(said.rfind(head, 0), 0u) << said;
    EXPECT_NE(said.find(m.path(c.file)), std::string::npos) << "names the file it looked for: " << said;
    EXPECT_NE(said.find("setup notes"), std::string::npos) << said;
    EXPECT_EQ(synth(g.e, "{\"text\": \"a\", \"prompt\": \"calm\"}").err, said.substr(7));
    // The handle goes on speaking, and tries again once the file is there.
    EXPECT_FALSE(synth(g.e, "{\"text\": \"Plain words.\"}").x.empty());
    fs::copy_file(model_dir("tiny-full") + "/native/minilm.safetensors", m.path(c.file));
    EXPECT_EQ(map(g.e, "calm and slow").err.rfind("{\"tag\": ", 0), 0u);
  }
}

TEST(FullChoices, PromptedFlowRefinesClonedVoicesTheRefinerTheRest) {
  NEED_FULL();
  TmpDir tmp;
  const std::string clip = tmp.file("ref.wav");
  const std::vector<float> ref = tone(16000, 0.6, 150.0);
  ASSERT_EQ(tv_wav_write(clip.c_str(), ref.data(), ref.size(), 16000), 0);
  const std::string plainReq = "{\"text\": \"Which net.\"";
  const std::string cloneReq = "{\"text\": \"Which net.\", \"ref_wav\": \"" + clip + "\"";

  ModelCopy both("tiny-full"), noRefiner("tiny-full"), noPrompted("tiny-full");
  {
    const std::string cfg = both.read("config.json");
    const size_t r = cfg.find("  \"refiner\""), p = cfg.find("  \"prompted_flow\""), a = cfg.find("  \"prompt_adapter\"");
    ASSERT_TRUE(r != std::string::npos && p != std::string::npos && a != std::string::npos);
    noRefiner.write("config.json", cfg.substr(0, r) + cfg.substr(p));
    noPrompted.write("config.json", cfg.substr(0, p) + cfg.substr(a));
  }
  Engine withBoth(both.dir), withoutRefiner(noRefiner.dir), withoutPrompted(noPrompted.dir), flowOff(both.dir, "fp32", 0);
  for (Engine *g : {&withBoth, &withoutRefiner, &withoutPrompted, &flowOff}) ASSERT_NE(g->e, nullptr) << g->err;

  auto run = [](Engine &g, const std::string &req, bool flow) {
    Result r = synth(g.e, req + (flow ? ", \"flow\": true}" : ", \"flow\": false}"));
    EXPECT_FALSE(r.x.empty()) << r.err;
    return r.x;
  };
  // Which net ran shows against the same request without flow, and by
  // which engines give the same samples.
  struct Case {
    const char *what;
    Engine *g;
    const std::string *req;
    bool refined;
  } cases[] = {
      {"both nets, no clip: refiner", &withBoth, &plainReq, true},
      {"both nets, clip: prompted flow", &withBoth, &cloneReq, true},
      {"no refiner, no clip: nothing", &withoutRefiner, &plainReq, false},
      {"no refiner, clip: prompted flow", &withoutRefiner, &cloneReq, true},
      {"no prompted flow, clip: refiner", &withoutPrompted, &cloneReq, true},
      {"flow off in the engine: nothing", &flowOff, &cloneReq, false},
  };
  std::vector<std::vector<float>> refined;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<float> on = run(*c.g, *c.req, true), off = run(*c.g, *c.req, false);
    if (c.refined) {
      EXPECT_NE(on, off);
    } else {
      EXPECT_EQ(on, off);
    }
    refined.push_back(on);
  }
  EXPECT_EQ(refined[0], run(withoutPrompted, plainReq, true)) << "the refiner without a clip";
  EXPECT_EQ(refined[1], refined[3]) << "the prompted flow with one";
  EXPECT_NE(refined[1], refined[4]) << "not the refiner with one";
  EXPECT_EQ(withoutPrompted.e->pflow_missing, 1);
  EXPECT_EQ(flowOff.e->pflow, nullptr) << "never loaded with flow off";
}

// A double as the request JSON writes it, for the values a mapping holds
// (hundredths and thousandths): the shortest positional text that reads
// back, always with a digit after the point.
std::string pyFloat(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  std::string s(buf, r.ptr);
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

// The mapping's JSON built from the mapper itself: the chosen tag is the
// first of the top tags the engine has ("none" without one), controls in
// hundredths, probabilities in thousandths.
std::string expectedJson(tovantts_engine *e, const char *prompt) {
  tv_prompt_mapping m;
  EXPECT_EQ(tv_prompt_map(e->prompt, e->pool, prompt, &m), 0);
  std::string chosen = "none";
  for (int32_t i = 0; i < m.n_tags && chosen == "none"; i++)
    for (int32_t t = 0; t < tovantts_num_tags(e); t++)
      if (std::string(tovantts_tag(e, t)) == tv_prompt_tag(e->prompt, m.tag[i])) {
        chosen = tovantts_tag(e, t);
        break;
      }
  std::string s = "{\"tag\": \"" + chosen + "\", \"ctrl\": {";
  for (int32_t i = 0; i < m.n_ctrl; i++)
    s += std::string(i ? ", " : "") + "\"" + tovantts_control((uint32_t)m.ctrl[i]) + "\": " +
         pyFloat(m.val_centi[i] / 100.0);
  s += "}, \"top_tags\": [";
  for (int32_t i = 0; i < m.n_tags; i++)
    s += std::string(i ? ", " : "") + "[\"" + tv_prompt_tag(e->prompt, m.tag[i]) + "\", " +
         pyFloat(m.prob_milli[i] / 1000.0) + "]";
  return s + "]}";
}

TEST(FullChoices, MappedPromptIsWrittenAsExactJson) {
  NEED_FULL();
  Engine g(model_dir("tiny-full"));
  ASSERT_NE(g.e, nullptr) << g.err;
  const char *prompts[] = {"calm and slow", "angry shouting", "a whispered secret", "x"};
  std::vector<std::vector<std::string>> tops;
  for (const char *p : prompts) {
    const std::string got = map(g.e, p).err;
    ASSERT_NE(g.e->prompt, nullptr) << got;
    EXPECT_EQ(got, expectedJson(g.e, p)) << p;
    tv_prompt_mapping m;
    ASSERT_EQ(tv_prompt_map(g.e->prompt, g.e->pool, p, &m), 0);
    EXPECT_EQ(m.n_tags, 3);
    tops.push_back({});
    for (int32_t i = 0; i < m.n_tags; i++) tops.back().push_back(tv_prompt_tag(g.e->prompt, m.tag[i]));
  }
  // Adapter tags the engine does not have are passed over for the chosen
  // tag, still listed among the top tags; with none left, "none".
  for (int hidden = 1; hidden <= 3; hidden++) {
    SCOPED_TRACE(hidden);
    ModelCopy m("tiny-full");
    for (int i = 0; i < hidden; i++) {
      const std::string &name = tops[0][(size_t)i];
      const std::string cfg = m.read("config.json");
      const size_t list = cfg.find("\"prompt_adapter\"");
      const size_t at = cfg.find("\"" + name + "\"", list);
      ASSERT_NE(at, std::string::npos) << name;
      m.write("config.json", cfg.substr(0, at) + "\"gone-" + name + "\"" + cfg.substr(at + name.size() + 2));
    }
    Engine h(m.dir);
    ASSERT_NE(h.e, nullptr) << h.err;
    const std::string got = map(h.e, prompts[0]).err;
    ASSERT_NE(h.e->prompt, nullptr) << got;
    EXPECT_EQ(got, expectedJson(h.e, prompts[0]));
    const std::string want = hidden < 3 ? tops[0][(size_t)hidden] : std::string("none");
    EXPECT_EQ(got.rfind("{\"tag\": \"" + want + "\"", 0), 0u) << got;
    EXPECT_NE(got.find("[\"gone-" + tops[0][0] + "\", "), std::string::npos) << got;
  }
}

}  // namespace
