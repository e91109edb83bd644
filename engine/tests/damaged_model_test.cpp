// A damaged model directory is refused when it loads, or its synthesis fails
// with a message: never audio of NaN (written out as silence) or no audio
// reported as success. Damage is made on a private copy of the tiny model.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "model_fixture.h"
#include "runtime/error.h"
#include "runtime/stwriter.h"
#include "runtime/weights.h"
#include "tovantts.h"

namespace {

// Rewrites a weights file of the copy with every tensor as it was, except
// that edit may change the float values of the one named.
void rewrite(const ModelCopy &m, const std::string &file, const std::string &name,
             const std::function<void(std::vector<float> &)> &edit) {
  const std::string path = m.path(file);
  tv_file *f = tv_file_open(path.c_str());
  ASSERT_NE(f, nullptr) << tv_geterr();
  tv_stwriter *w = tv_stwriter_create();
  bool found = false;
  for (int32_t i = 0; i < tv_file_count(f); i++) {
    const tv_tensor *t = tv_file_tensor(f, i);
    int64_t dims[TV_MAX_DIMS];
    for (int32_t d = 0; d < t->ndim; d++) dims[d] = (int64_t)t->dims[d];
    if (name == t->name) {
      ASSERT_EQ(t->dtype, TV_DT_F32);
      std::vector<float> x(t->size / 4);
      memcpy(x.data(), t->data, t->size);
      edit(x);
      ASSERT_EQ(tv_stwriter_add_f32(w, t->name, t->ndim, dims, x.data()), 0);
      found = true;
    } else {
      ASSERT_EQ(tv_stwriter_add(w, t->name, t->dtype, t->ndim, dims, t->data), 0);
    }
  }
  tv_file_close(f);
  ASSERT_TRUE(found) << name << " not in " << file;
  ASSERT_EQ(tv_stwriter_save(w, path.c_str()), 0) << tv_geterr();
  tv_stwriter_free(w);
}

auto set_all(float v) {
  return [v](std::vector<float> &x) {
    for (float &e : x) e = v;
  };
}
auto set_first(float v) {
  return [v](std::vector<float> &x) { x[0] = v; };
}

TEST(DamagedModel, LoadingRefusesWhatIsCheapToCheck) {
  struct Case {
    const char *what;
    std::function<void(const ModelCopy &)> damage;
    std::string msg;  // after the damaged file's path
  };
  const Case cases[] = {
      {"bytes appended to a weights file",
       [](const ModelCopy &m) { m.write("vocoder.safetensors", m.read("vocoder.safetensors") + "junk"); },
       "vocoder.safetensors: 4 bytes after the last tensor (damaged file?)"},
      {"data shifted by one inserted byte",
       [](const ModelCopy &m) {
         std::string b = m.read("acoustic.safetensors");
         uint64_t hlen = 0;
         for (int i = 7; i >= 0; i--) hlen = (hlen << 8) | (unsigned char)b[i];
         b.insert(8 + hlen + 100, 1, '\x7f');
         m.write("acoustic.safetensors", b);
       },
       "acoustic.safetensors: 1 bytes after the last tensor (damaged file?)"},
      {"NaN in a norm weight",
       [](const ModelCopy &m) { rewrite(m, "vocoder.safetensors", "backbone.norm.weight", set_first(NAN)); },
       "vocoder.safetensors: tensor backbone.norm.weight holds a value that is not finite (damaged file?)"},
      {"infinity in a sequence mixer's norm",
       [](const ModelCopy &m) {
         rewrite(m, "acoustic.safetensors", "encoder.layers.0.seq.fwd.norm.weight", set_first(-INFINITY));
       },
       "acoustic.safetensors: tensor encoder.layers.0.seq.fwd.norm.weight holds a value that is not finite "
       "(damaged file?)"},
      {"NaN in a voice row",
       [](const ModelCopy &m) { rewrite(m, "voices.safetensors", "s", set_first(NAN)); },
       "voices.safetensors: tensor s holds a value that is not finite (damaged file?)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ModelCopy m;
    c.damage(m);
    char err[1024] = "";
    tovantts_engine *e = tovantts_create(m.dir.c_str(), 1, err, sizeof err);
    EXPECT_EQ(e, nullptr);
    tovantts_destroy(e);
    EXPECT_EQ(std::string(err), m.dir + "/" + c.msg);
  }
}

// Damage no load check sees (a whole weight matrix, a prediction's bias)
// shows in the output; the call then fails instead of passing silence on.
TEST(DamagedModel, SynthesisRefusesNonFiniteOrMissingAudio) {
  struct Case {
    const char *what;
    const char *file, *tensor;
    float value;
    const char *gave;
  };
  const Case cases[] = {
      {"NaN vocoder head", "vocoder.safetensors", "head.out.weight", NAN, "audio that is not finite"},
      {"huge vocoder input weights", "vocoder.safetensors", "backbone.embed.weight", 3e38f,
       "audio that is not finite"},
      {"NaN durations", "acoustic.safetensors", "dur_pred.out.bias", NAN, "no audio"},
      {"durations that round to nothing", "acoustic.safetensors", "dur_pred.out.bias", -1e4f, "no audio"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ModelCopy m;
    rewrite(m, c.file, c.tensor, set_all(c.value));
    char err[1024] = "";
    tovantts_engine *e = tovantts_create(m.dir.c_str(), 1, err, sizeof err);
    ASSERT_NE(e, nullptr) << err;
    const std::string want =
        std::string("the model gave ") + c.gave + " for this text; its files may be damaged (" + m.dir + ")";
    float *audio = (float *)1;
    int64_t n = 7;
    EXPECT_EQ(tovantts_synthesize(e, "Hello there, how are you?", NULL, &audio, &n, err, sizeof err), -1);
    EXPECT_EQ(audio, nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(std::string(err), want);
    // Streaming renders through the same path.
    int chunks = 0;
    auto cb = [](const float *, int64_t, void *user) -> int32_t {
      ++*(int *)user;
      return 0;
    };
    EXPECT_EQ(tovantts_stream(e, "Hello there. How are you?", NULL, cb, &chunks, err, sizeof err), -1);
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(std::string(err), want);
    // Text with nothing to speak still gives no audio without a complaint.
    EXPECT_EQ(tovantts_synthesize(e, "...", NULL, &audio, &n, err, sizeof err), 0) << err;
    tovantts_free(audio);
    tovantts_destroy(e);
  }
}

// The speaker encoder's output is checked too: a vector of NaN from damaged
// weights would make every clone of the clip silent.
TEST(DamagedModel, SpeakerVectorFromDamagedEncoderIsRefused) {
  ModelCopy m("tiny-full");
  rewrite(m, "native/wavlm_sv.safetensors", "feature_extractor.weight", set_all(NAN));
  char err[1024] = "";
  tovantts_engine *e = tovantts_create(m.dir.c_str(), 1, err, sizeof err);
  ASSERT_NE(e, nullptr) << err;
  std::vector<float> clip(24000);
  for (size_t i = 0; i < clip.size(); i++) clip[i] = 0.3f * sinf(0.05f * (float)i);
  float vec[512];
  EXPECT_EQ(tovantts_speaker_vector(e, NULL, clip.data(), (int64_t)clip.size(), 24000, vec, err, sizeof err), -1);
  EXPECT_STREQ(err, "wavlm: the speaker vector is not finite; the speaker encoder's weights may be damaged");
  tovantts_destroy(e);
}

}  // namespace
