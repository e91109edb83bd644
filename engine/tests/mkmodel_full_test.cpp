// The model generator's full layout: every file of the full model directory,
// consistent with its config.json, loadable by each network, with the
// fixed-size networks at their fixed sizes, and the same bytes for the same
// arguments.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "nn/acoustic.h"
#include "nn/flow.h"
#include "nn/prompt.h"
#include "nn/spkenc.h"
#include "nn/vocoder.h"
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
    const std::string t = slurp(path);
    root = tv_json_parse(t.data(), t.size());
  }
  ~Json() { tv_json_free(root); }
};

struct W {
  tv_weights *w;
  explicit W(const std::string &path) : w(tv_weights_open(path.c_str())) {}
  ~W() { tv_weights_close(w); }
};

int run_tool(const std::string &args) {
  const std::string cmd = mkmodel_tool() + " " + args + " >/dev/null 2>&1";
  const int rc = system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::vector<std::string> strings(const tv_json *list) {
  std::vector<std::string> out;
  for (int i = 0; list && i < list->count; i++) out.push_back(tv_json_str(tv_json_at(list, i), ""));
  return out;
}

const char *const FILES[] = {"config.json",
                             "voices.json",
                             "control_stats.json",
                             "speaker_vectors.safetensors",
                             "model.safetensors",
                             "refiner.safetensors",
                             "prompted_flow.safetensors",
                             "prompt_adapter.safetensors",
                             "native/vocos.safetensors",
                             "native/minilm.safetensors",
                             "native/minilm_vocab.txt",
                             "native/wavlm_sv.safetensors"};

TEST(MkmodelFull, EveryNetworkLoadsFromTheDirectory) {
  const std::string dir = model_dir("tiny-full");
  for (const char *f : FILES) EXPECT_TRUE(std::filesystem::exists(dir + "/" + f)) << f;
  Json cfg(dir + "/config.json");
  ASSERT_NE(cfg.root, nullptr) << tv_geterr();
  EXPECT_STREQ(tv_json_str(tv_json_get(cfg.root, "model_type"), ""), "tovan-tts");
  const std::vector<std::string> voices = strings(tv_json_get(cfg.root, "voices_order"));
  ASSERT_EQ(voices.size(), 8u);
  EXPECT_EQ(voices[0], "voice_1688");
  Json stats(dir + "/control_stats.json");
  const std::vector<std::string> tags = strings(tv_json_get(stats.root, "tags"));
  ASSERT_FALSE(tags.empty());
  EXPECT_EQ(tags[0], "none");

  // Speaker vectors: one unit-length row of 512 per voice.
  W sv(dir + "/speaker_vectors.safetensors");
  const float *vec = tv_weights_f32(sv.w, "vec", (int64_t)voices.size() * 512);
  ASSERT_NE(vec, nullptr) << tv_geterr();
  for (size_t r = 0; r < voices.size(); r++) {
    double s = 0;
    for (int c = 0; c < 512; c++) s += (double)vec[r * 512 + c] * vec[r * 512 + c];
    EXPECT_NEAR(s, 1.0, 1e-5) << r;
  }
  // Acoustic model: speaker vectors of 512, a tag row per tag.
  W ac(dir + "/model.safetensors");
  tv_acoustic *a = tv_acoustic_load(ac.w, tv_json_get(tv_json_get(cfg.root, "acoustic"), "arch"));
  ASSERT_NE(a, nullptr) << tv_geterr();
  EXPECT_EQ(tv_acoustic_spk_enc_dim(a), 512);
  EXPECT_EQ(tv_acoustic_n_tags(a), (int)tags.size());
  const int g_dim = tv_acoustic_g_dim(a);
  tv_acoustic_free(a);
  // Refiners, with the acoustic model's conditioning width.
  for (const char *key : {"refiner", "prompted_flow"}) {
    const tv_json *e = tv_json_get(cfg.root, key);
    W fw(dir + "/" + tv_json_str(tv_json_get(e, "file"), ""));
    tv_flow *f = tv_flow_load(fw.w, tv_json_get(e, "cfg"));
    ASSERT_NE(f, nullptr) << key << ": " << tv_geterr();
    EXPECT_EQ(f->g_dim, g_dim) << key;
    EXPECT_EQ(tv_flow_is_prompted(f), strcmp(key, "prompted_flow") == 0) << key;
    tv_flow_free(f);
  }
  // The fixed-size vocoder.
  W voc(dir + "/native/vocos.safetensors");
  tv_vocoder *v = tv_vocoder_load(voc.w, 512, 1536, 8, 1024, 256);
  EXPECT_NE(v, nullptr) << tv_geterr();
  tv_vocoder_free(v);
  // Speaker encoder.
  W wl(dir + "/native/wavlm_sv.safetensors");
  tv_wavlm *s = tv_wavlm_load(wl.w);
  EXPECT_NE(s, nullptr) << tv_geterr();
  tv_wavlm_free(s);
  // Prompt encoder with the adapter's tags, which name tags of the model.
  const std::vector<std::string> ptags = strings(tv_json_get(tv_json_get(cfg.root, "prompt_adapter"), "tags"));
  std::vector<const char *> pt;
  for (const std::string &t : ptags) {
    pt.push_back(t.c_str());
    EXPECT_NE(std::find(tags.begin(), tags.end(), t), tags.end()) << t;
  }
  W mini(dir + "/native/minilm.safetensors"), ad(dir + "/prompt_adapter.safetensors");
  tv_prompt *p = tv_prompt_load(mini.w, (dir + "/native/minilm_vocab.txt").c_str(), ad.w, pt.data(), (int)pt.size());
  ASSERT_NE(p, nullptr) << tv_geterr();
  // The vocabulary covers every printable ASCII text without [UNK].
  uint32_t ids[256];
  const int n = tv_wordpiece_encode(p->vocab, "Whisper it, softly: 3 quiet words~", ids, 256);
  ASSERT_GT(n, 2);
  for (int i = 0; i < n; i++) EXPECT_NE((int32_t)ids[i], p->vocab->unk) << i;
  tv_prompt_free(p);
  // The fixed-size networks are stored as int8 here (they dominate the size).
  const tv_mat *q = tv_weights_mat(mini.w, "encoder.layer.0.intermediate.dense.weight", 1536, 384);
  ASSERT_NE(q, nullptr) << tv_geterr();
  EXPECT_EQ(q->storage, (uint32_t)TV_MAT_I8);
}

TEST(MkmodelFull, SameArgumentsGiveTheSameBytes) {
  TempDir tmp;
  ASSERT_EQ(run_tool("--layout full --size tiny --fixed-quant int8 " + tmp.file("a")), 0);
  for (const char *f : FILES) EXPECT_EQ(slurp(tmp.file("a") + "/" + f), slurp(model_dir("tiny-full") + "/" + f)) << f;
  EXPECT_EQ(run_tool("--layout wide " + tmp.file("b")), 2);
  EXPECT_EQ(run_tool("--layout full --fixed-quant int3 " + tmp.file("b")), 2);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("b")));
}

}  // namespace
