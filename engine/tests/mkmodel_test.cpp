// The model generator: what it writes must pass the engine's creation checks
// and carry the voices and tags the application uses; the same arguments give
// the same bytes; quantised forms go through the layout.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "runtime/json.h"
#include "runtime/weights.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

struct Json {
  tv_json *root;
  explicit Json(const std::string &path) {
    std::string t = slurp(path);
    root = tv_json_parse(t.data(), t.size());
  }
  ~Json() { tv_json_free(root); }
};

int run_tool(const std::string &args) {
  std::string cmd = mkmodel_tool() + " " + args + " >/dev/null 2>&1";
  int rc = system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Mkmodel, TinyModelPassesTheEngineCreationChecks) {
  const std::string dir = model_dir();
  Json cfg(dir + "/config.json");
  ASSERT_NE(cfg.root, nullptr) << tv_geterr();
  EXPECT_STREQ(tv_json_str(tv_json_get(cfg.root, "model_type"), ""), "tovan-tts-edge");
  const tv_json *arch = tv_json_get(tv_json_get(cfg.root, "acoustic"), "arch");
  ASSERT_NE(arch, nullptr);
  const int spk_dim = (int)tv_json_num(tv_json_get(arch, "spk_dim"), 64);
  EXPECT_EQ(tv_json_num(tv_json_get(arch, "spk_enc_dim"), 0), 512);
  EXPECT_LE(tv_json_num(tv_json_get(arch, "g_dim"), 128), 512);

  // Tags: "none" first, then every delivery tag of the moods, presets and
  // speech verbs.
  const tv_json *tags = tv_json_get(cfg.root, "tags");
  ASSERT_NE(tags, nullptr);
  ASSERT_GT(tags->count, 0);
  EXPECT_STREQ(tv_json_str(tv_json_at(tags, 0), ""), "none");
  for (const char *want : {"determined", "sadness", "apologetic", "anxiety", "irritation", "excited", "amusement",
                           "happiness", "contentment", "whisper", "serenity", "confidence", "loud", "hesitant",
                           "distress", "tired", "anger", "mysterious"}) {
    bool found = false;
    for (int i = 0; i < tags->count; i++) found |= strcmp(tv_json_str(tv_json_at(tags, i), ""), want) == 0;
    EXPECT_TRUE(found) << want;
  }

  // The featured voices in order, with the default voices of both genders.
  Json voices(dir + "/voices.json");
  ASSERT_NE(voices.root, nullptr) << tv_geterr();
  const tv_json *list = tv_json_get(voices.root, "voices");
  const char *featured[] = {"voice_1688", "voice_2500", "voice_0010", "voice_1469",
                            "voice_0185", "voice_0413", "voice_1226", "voice_0213"};
  ASSERT_EQ(list ? list->count : 0, 8);
  for (int i = 0; i < 8; i++)
    EXPECT_STREQ(tv_json_str(tv_json_get(tv_json_at(list, i), "name"), ""), featured[i]);
  EXPECT_STREQ(tv_json_str(tv_json_get(tv_json_at(list, 0), "gender"), ""), "female");
  EXPECT_STREQ(tv_json_str(tv_json_get(tv_json_at(list, 1), "gender"), ""), "male");
  EXPECT_STREQ(tv_json_str(tv_json_get(cfg.root, "default_voice"), ""), "voice_1688");

  // One voice row per voice, as wide as the acoustic model's speaker part.
  tv_weights *w = tv_weights_open((dir + "/voices.safetensors").c_str());
  ASSERT_NE(w, nullptr) << tv_geterr();
  uint64_t dims[TV_MAX_DIMS];
  ASSERT_EQ(tv_weights_shape(w, "s", dims), 2);
  EXPECT_EQ(dims[0], 8u);
  EXPECT_EQ(dims[1], (uint64_t)spk_dim);
  tv_weights_close(w);

  // A 512-wide speaker projection on the edge model too.
  w = tv_weights_open((dir + "/acoustic.safetensors").c_str());
  ASSERT_NE(w, nullptr) << tv_geterr();
  EXPECT_NE(tv_weights_mat(w, "spk_proj.weight", spk_dim, 512), nullptr) << tv_geterr();
  EXPECT_NE(tv_weights_mat(w, "tag.weight", tags->count, 0), nullptr) << tv_geterr();
  tv_weights_close(w);

  uintmax_t total = 0;
  for (auto &e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file()) total += e.file_size(); // native/front is the front end's
  EXPECT_LT(total, 700u * 1024) << "the tiny model is meant to stay small";
}

TEST(Mkmodel, SameArgumentsGiveTheSameBytes) {
  TempDir tmp;
  ASSERT_EQ(run_tool("--size tiny " + tmp.file("a")), 0);
  ASSERT_EQ(run_tool("--size tiny --seed 2 " + tmp.file("b")), 0);
  for (const char *f : {"config.json", "voices.json", "voices.safetensors", "acoustic.safetensors",
                        "vocoder.safetensors"}) {
    EXPECT_EQ(slurp(tmp.file("a") + "/" + f), slurp(model_dir() + "/" + f)) << f;
  }
  EXPECT_NE(slurp(tmp.file("a") + "/acoustic.safetensors"), slurp(tmp.file("b") + "/acoustic.safetensors"));
}

TEST(Mkmodel, QuantisedMatricesGoThroughTheLayout) {
  TempDir tmp;
  struct Case {
    const char *quant;
    uint32_t storage;
  };
  const Case cases[] = {{"int8", TV_MAT_I8}, {"int4", TV_MAT_I4}, {"fp16", TV_MAT_F32}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.quant);
    std::string dir = tmp.file(c.quant);
    ASSERT_EQ(run_tool(std::string("--size tiny --quant ") + c.quant + " " + dir), 0);
    for (const char *file : {"/acoustic.safetensors", "/vocoder.safetensors"}) {
      tv_weights *w = tv_weights_open((dir + file).c_str());
      ASSERT_NE(w, nullptr) << tv_geterr();
      const char *matrix = file[1] == 'a' ? "cond.0.weight" : "head.out.weight";
      const char *vector = file[1] == 'a' ? "cond.0.bias" : "head.out.bias";
      const tv_mat *m = tv_weights_mat(w, matrix, 0, 0);
      ASSERT_NE(m, nullptr) << tv_geterr();
      EXPECT_EQ(m->storage, c.storage);
      const tv_file *f = tv_weights_file(w);
      const tv_tensor *t = tv_file_find(f, vector);
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->dtype, TV_DT_F32) << "vectors stay float";
      tv_weights_close(w);
    }
  }
}

TEST(Mkmodel, RefusesUnknownArguments) {
  TempDir tmp;
  for (const char *args : {"--size huge", "--quant int3", "--mixer lstm", "--bogus", ""}) {
    EXPECT_EQ(run_tool(std::string(args) + " " + (args[0] ? tmp.file("x") : "")), 2) << args;
  }
  EXPECT_FALSE(std::filesystem::exists(tmp.file("x")));
}

}  // namespace
