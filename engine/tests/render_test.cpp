// Rendering through the public interface on the generated tiny model: whole
// and streamed synthesis, pauses, stops, guidance, word shifts, speakers, the
// argument checks of every synthesis call, and thread-count independence.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "api/deps.h"
#include "api/engine.h"
#include "api/render.h"
#include "model_fixture.h"
#include "nn/acoustic.h"
#include "runtime/wav.h"
#include "tovantts.h"

using tovan::test::TempDir;

namespace {

struct Engine {
  tovantts_engine *e = nullptr;
  char err[1024] = "";
  explicit Engine(const std::string &dir, int32_t threads = 1) {
    e = tovantts_create(dir.c_str(), threads, err, sizeof err);
  }
  ~Engine() { tovantts_destroy(e); }
};

struct Audio {
  std::vector<float> x;
  int rc = 0;
  std::string err;
};

Audio synth(tovantts_engine *e, const char *text, const tovantts_options *o) {
  Audio a;
  float *p = NULL;
  int64_t n = -1;
  char err[1024] = "";
  a.rc = tovantts_synthesize(e, text, o, &p, &n, err, sizeof err);
  a.err = err;
  if (a.rc == 0) {
    EXPECT_NE(p, nullptr);
    a.x.assign(p, p + n);
  } else {
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(n, 0);
  }
  tovantts_free(p);
  return a;
}

struct Chunk {
  std::vector<float> x;
  std::string text, tag, ctrl;
  int32_t pause_ms, index;
};

struct Stream {
  std::vector<Chunk> chunks;
  int stop_after = 0;  // stop after this many chunks (0: never)
  static int32_t cb(const float *x, int64_t n, const tovantts_chunk_info *info, void *user) {
    Stream *s = (Stream *)user;
    s->chunks.push_back({std::vector<float>(x, x + n), info->text, info->tag, info->ctrl, info->pause_ms, info->index});
    return s->stop_after && (int)s->chunks.size() >= s->stop_after;
  }
};

bool all_finite(const std::vector<float> &x) {
  for (float v : x)
    if (!std::isfinite(v)) return false;
  return true;
}

TEST(Render, WholeUtteranceHasTheLengthItsDurationsGive) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  const char *text = "Hello there, world.";
  Audio a = synth(g.e, text, NULL);
  ASSERT_EQ(a.rc, 0) << a.err;
  ASSERT_TRUE(all_finite(a.x));

  // The same segment by hand: its frames decide the sample count.
  tv_phonemes ph;
  memset(&ph, 0, sizeof ph);
  ASSERT_EQ(tv_front_phonemes(g.e->front, text, &ph), 0);
  float gv[TV_ACOUSTIC_MAX_COND];
  ASSERT_EQ(tv_acoustic_condition(g.e->acoustic, g.e->voice_table, NULL, 0, NULL, NULL, gv), 0);
  float *mel = NULL;
  int32_t T = 0, *durs = NULL;
  ASSERT_EQ(tv_acoustic_infer(g.e->acoustic, g.e->pool, ph.ids, ph.words, ph.count, gv, NULL, NULL, 0, &mel, &T, &durs,
                              1.0f, 1.0f),
            0);
  int64_t frames = 0;
  for (int32_t i = 0; i < ph.count; i++) frames += durs[i];
  EXPECT_EQ(frames, T);
  EXPECT_EQ((int64_t)a.x.size(), (int64_t)(T - 1) * 256);
  tv_free(mel);
  tv_free(durs);
  tv_phonemes_free(&ph);

  // A slower pace gives more samples.
  tovantts_options o;
  tovantts_default_options(&o);
  o.pace = 0.5f;
  Audio slow = synth(g.e, text, &o);
  ASSERT_EQ(slow.rc, 0) << slow.err;
  EXPECT_GT(slow.x.size(), a.x.size() * 3 / 2);
}

TEST(Render, NothingToSay) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  // Without markup an unspeakable text gives no samples; with markup a text
  // without segments gives one sample of silence.
  Audio plain = synth(g.e, "...", NULL);
  ASSERT_EQ(plain.rc, 0) << plain.err;
  EXPECT_EQ(plain.x.size(), 0u);
  tovantts_options o;
  tovantts_default_options(&o);
  o.markup = 1;
  Audio marked = synth(g.e, "   ", &o);
  ASSERT_EQ(marked.rc, 0) << marked.err;
  ASSERT_EQ(marked.x.size(), 1u);
  EXPECT_EQ(marked.x[0], 0.0f);
}

TEST(Render, StreamedSegmentsMakeTheWholeUtterance) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  const char *text = "First one here. Then a second [pause 500ms] and the end.";
  tovantts_options o;
  tovantts_default_options(&o);
  o.ctrl = "rate=1.5";
  Stream s;
  char err[512];
  ASSERT_EQ(tovantts_stream_ex(g.e, text, &o, Stream::cb, &s, err, sizeof err), 0) << err;
  ASSERT_EQ(s.chunks.size(), 4u);
  EXPECT_EQ(s.chunks[0].text, "First one here.");
  EXPECT_EQ(s.chunks[0].tag, "none");
  EXPECT_EQ(s.chunks[0].ctrl, "rate=1.5");
  EXPECT_EQ(s.chunks[0].pause_ms, 0);
  // The pause is 12000 zero samples of its own.
  const Chunk &p = s.chunks[2];
  EXPECT_EQ(p.index, 2);
  EXPECT_EQ(p.pause_ms, 500);
  EXPECT_EQ(p.text, "");
  EXPECT_EQ(p.tag, "none");
  ASSERT_EQ(p.x.size(), 12000u);
  for (float v : p.x) ASSERT_EQ(v, 0.0f);
  // Spoken segments are faded in and out.
  for (int k : {0, 1, 3}) {
    const std::vector<float> &x = s.chunks[k].x;
    ASSERT_GT(x.size(), 480u);
    EXPECT_EQ(x.front(), 0.0f);
    EXPECT_EQ(x.back(), 0.0f);
    EXPECT_EQ(s.chunks[k].index, k);
  }
  // Whole synthesis with markup is the same samples end to end.
  o.markup = 1;
  Audio whole = synth(g.e, text, &o);
  ASSERT_EQ(whole.rc, 0) << whole.err;
  std::vector<float> joined;
  for (const Chunk &c : s.chunks) joined.insert(joined.end(), c.x.begin(), c.x.end());
  EXPECT_EQ(whole.x, joined);
  EXPECT_TRUE(all_finite(joined));
}

TEST(Render, StreamStopsAfterTheFirstChunk) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  Stream s;
  s.stop_after = 1;
  char err[512] = "";
  ASSERT_EQ(tovantts_stream_ex(g.e, "One. Two. Three.", NULL, Stream::cb, &s, err, sizeof err), 0) << err;
  EXPECT_EQ(s.chunks.size(), 1u);
  EXPECT_EQ(s.chunks[0].text, "One.");

  // The plain callback, and the JSON form.
  struct Plain {
    int calls = 0;
    static int32_t cb(const float *, int64_t n, void *user) {
      ((Plain *)user)->calls++;
      return n < 0;
    }
  } pl;
  ASSERT_EQ(tovantts_stream(g.e, "One. Two.", NULL, Plain::cb, &pl, err, sizeof err), 0) << err;
  EXPECT_EQ(pl.calls, 2);
  Stream j;
  ASSERT_EQ(tovantts_stream_json(g.e, "{\"text\": \"[pause 1s] Hi.\"}", Stream::cb, &j, err, sizeof err), 0) << err;
  ASSERT_EQ(j.chunks.size(), 2u);
  EXPECT_EQ(j.chunks[0].pause_ms, 1000);
  EXPECT_EQ(j.chunks[0].x.size(), 24000u);
}

TEST(Render, GuidanceRunsOnlyWithSomethingToAmplify) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  auto run = [&](float guidance, const char *tag, const char *ctrl) {
    tovantts_options o;
    tovantts_default_options(&o);
    o.guidance = guidance;
    o.tag = tag;
    o.ctrl = ctrl;
    Audio a = synth(g.e, "Guided words.", &o);
    EXPECT_EQ(a.rc, 0) << a.err;
    return a.x;
  };
  EXPECT_EQ(run(2.0f, "none", NULL), run(1.0f, "none", NULL));
  EXPECT_EQ(run(2.0f, NULL, NULL), run(1.0f, NULL, NULL));
  EXPECT_NE(run(2.0f, "excited", NULL), run(1.0f, "excited", NULL));
  EXPECT_NE(run(2.0f, NULL, "loud=2"), run(1.0f, NULL, "loud=2"));
}

TEST(Render, WordShiftsApplyOnlyToWordsOfTheText) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  auto run = [&](const char *ws) {
    tovantts_options o;
    tovantts_default_options(&o);
    o.word_shift = ws;
    Audio a = synth(g.e, "three short words", &o);
    EXPECT_EQ(a.rc, 0) << a.err;
    return a.x;
  };
  const std::vector<float> plain = run(NULL);
  EXPECT_EQ(run("7:pitch=5,dur=2"), plain);
  EXPECT_NE(run("1:dur=2"), plain);
  EXPECT_GT(run("1:dur=2").size(), plain.size());
}

TEST(Render, SpeakersAndVoices) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  tovantts_options o;
  tovantts_default_options(&o);
  const std::vector<float> def = synth(g.e, "Voices differ.", &o).x;
  o.voice = "voice_2500";
  const std::vector<float> other = synth(g.e, "Voices differ.", &o).x;
  EXPECT_NE(def, other);
  o.voice = "voice_1688";
  EXPECT_EQ(synth(g.e, "Voices differ.", &o).x, def);
  // A speaker vector goes through the model's projection.
  std::vector<float> vec(512);
  for (int i = 0; i < 512; i++) vec[i] = 0.05f * (float)((i * 7) % 11) - 0.25f;
  o.voice = "nobody";
  o.spk_vec = vec.data();
  Audio v = synth(g.e, "Voices differ.", &o);
  ASSERT_EQ(v.rc, 0) << v.err;
  EXPECT_NE(v.x, def);
  EXPECT_TRUE(all_finite(v.x));
}

TEST(Render, SynthesisArgumentChecks) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  float *a = (float *)1;
  int64_t n = 5;
  char err[512];
  char *out = (char *)1;
  struct Case {
    int32_t rc;
    const char *message;
  };
  auto check = [&](int32_t rc, const char *message) {
    EXPECT_EQ(rc, -1) << message;
    EXPECT_STREQ(err, message);
  };
  check(tovantts_synthesize(g.e, "x", NULL, NULL, &n, err, sizeof err),
        "tovantts_synthesize: audio and n must not be NULL");
  check(tovantts_synthesize(NULL, "x", NULL, &a, &n, err, sizeof err), "tovantts_synthesize: engine is NULL");
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(n, 0);
  check(tovantts_synthesize(g.e, NULL, NULL, &a, &n, err, sizeof err), "text must be a non-empty string");
  check(tovantts_synthesize_json(g.e, "{}", &a, NULL, err, sizeof err),
        "tovantts_synthesize_json: audio and n must not be NULL");
  check(tovantts_synthesize_json(NULL, "{}", &a, &n, err, sizeof err), "tovantts_synthesize_json: engine is NULL");
  check(tovantts_synthesize_json(g.e, NULL, &a, &n, err, sizeof err), "a request is a JSON object");
  check(tovantts_stream_ex(NULL, "x", NULL, Stream::cb, NULL, err, sizeof err), "tovantts_stream: engine is NULL");
  check(tovantts_stream_ex(g.e, "x", NULL, NULL, NULL, err, sizeof err), "tovantts_stream: the chunk callback is NULL");
  check(tovantts_stream(g.e, "x", NULL, NULL, NULL, err, sizeof err), "tovantts_stream: the chunk callback is NULL");
  check(tovantts_stream_ex(g.e, NULL, NULL, Stream::cb, NULL, err, sizeof err), "text must be a non-empty string");
  check(tovantts_stream_json(g.e, NULL, Stream::cb, NULL, err, sizeof err), "a request is a JSON object");
  check(tovantts_resolve_json(g.e, "{}", NULL, err, sizeof err), "tovantts_resolve_json: out must not be NULL");
  check(tovantts_resolve_json(NULL, "{}", &out, err, sizeof err), "tovantts_resolve_json: engine is NULL");
  EXPECT_EQ(out, nullptr);
  check(tovantts_resolve_json(g.e, NULL, &out, err, sizeof err), "a request is a JSON object");
  check(tovantts_map_prompt(g.e, "calm", NULL, err, sizeof err), "tovantts_map_prompt: out must not be NULL");
  check(tovantts_map_prompt(NULL, "calm", &out, err, sizeof err), "tovantts_map_prompt: engine is NULL");
  check(tovantts_map_prompt(g.e, "", &out, err, sizeof err), "prompt must be a non-empty string");

  // Validation messages come through unchanged, and the engine stays usable.
  tovantts_options o;
  tovantts_default_options(&o);
  o.tag = "angry";
  Audio bad = synth(g.e, "x", &o);
  EXPECT_EQ(bad.rc, -1);
  EXPECT_EQ(bad.err.rfind("unknown tag 'angry'; known tags: none, ", 0), 0u) << bad.err;
  o.tag = NULL;
  o.pace = 9.0f;
  EXPECT_EQ(synth(g.e, "x", &o).err, "pace=9.0 is outside [0.25, 4.0]");
  o.pace = 1.0f;
  o.word_shift = "0:pitch=1";
  Stream s;
  EXPECT_EQ(tovantts_stream_ex(g.e, "x", &o, Stream::cb, &s, err, sizeof err), -1);
  EXPECT_STREQ(err,
               "word_shift does not combine with markup / stream(); use inline markup (*word*, <slow>, <high> ...) "
               "there");
  EXPECT_TRUE(s.chunks.empty());
  // Style prompts inside markup need the full model's prompt encoder.
  tovantts_default_options(&o);
  o.markup = 1;
  EXPECT_EQ(synth(g.e, "<style prompt=\"calm\">Hello.</style>", &o).err,
            "ValueError: free-text prompts are resolved on the host (the prompt adapter is not on device): send the "
            "resolved tag + ctrl");
  EXPECT_EQ(synth(g.e, "Fine again.", NULL).rc, 0);
}

TEST(Render, ResolveJsonGivesTheCanonicalRequest) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  char *out = NULL;
  char err[512];
  ASSERT_EQ(tovantts_resolve_json(g.e, "{\"text\": \"hi\", \"ctrl\": {\"loud\": 1}, \"pace\": 1.25}", &out, err,
                                  sizeof err),
            0)
      << err;
  EXPECT_STREQ(out,
               "{\"text\": \"hi\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {\"loud\": 1.0}, \"pace\": "
               "1.25, \"guidance\": 1.0, \"markup\": false}");
  tovantts_free(out);
}

TEST(Render, Phonemes) {
  Engine g(model_dir());
  ASSERT_NE(g.e, nullptr) << g.err;
  int32_t *ids = NULL, *words = NULL, n = 0;
  char err[256];
  ASSERT_EQ(tovantts_phonemes(g.e, "Hi, you.", &ids, &words, &n, err, sizeof err), 0) << err;
  tv_phonemes ph;
  memset(&ph, 0, sizeof ph);
  ASSERT_EQ(tv_front_phonemes(g.e->front, "Hi, you.", &ph), 0);
  ASSERT_EQ(n, ph.count);
  EXPECT_EQ(std::vector<int32_t>(ids, ids + n), std::vector<int32_t>(ph.ids, ph.ids + ph.count));
  EXPECT_EQ(std::vector<int32_t>(words, words + n), std::vector<int32_t>(ph.words, ph.words + ph.count));
  tv_phonemes_free(&ph);
  tovantts_free(ids);
  tovantts_free(words);
  EXPECT_EQ(tovantts_phonemes(NULL, "x", &ids, &words, &n, err, sizeof err), -1);
  EXPECT_STREQ(err, "tovantts_phonemes: engine is NULL");
  EXPECT_EQ(ids, nullptr);
}

TEST(Render, WavFilesThroughTheInterface) {
  TempDir tmp;
  std::vector<float> x(2400);
  for (size_t i = 0; i < x.size(); i++) x[i] = 0.5f * sinf(0.01f * (float)i);
  const std::string path = tmp.file("out.wav");
  ASSERT_EQ(tovantts_save_wav(x.data(), (int64_t)x.size(), path.c_str()), 0) << tv_geterr();
  float *y = NULL;
  int64_t n = 0;
  int32_t rate = 0;
  char err[256];
  ASSERT_EQ(tovantts_load_wav(path.c_str(), &y, &n, &rate, err, sizeof err), 0) << err;
  EXPECT_EQ(rate, 24000);
  ASSERT_EQ(n, (int64_t)x.size());
  for (int64_t i = 0; i < n; i++) EXPECT_NEAR(y[i], x[i], 1.0f / 32767);
  tovantts_free_audio(y);
  EXPECT_EQ(tovantts_save_wav(NULL, 5, path.c_str()), -1);
  EXPECT_EQ(tovantts_load_wav(tmp.file("missing.wav").c_str(), &y, &n, &rate, err, sizeof err), -1);
  EXPECT_EQ(y, nullptr);
  EXPECT_NE(std::string(err).find("missing.wav"), std::string::npos) << err;
}

TEST(Render, SamplesDoNotDependOnTheThreadCount) {
  Engine one(model_dir(), 1), four(model_dir(), 4);
  ASSERT_NE(one.e, nullptr) << one.err;
  ASSERT_NE(four.e, nullptr) << four.err;
  const char *text = "The same words on one thread and on four. Then a second sentence.";
  tovantts_options o;
  tovantts_default_options(&o);
  o.markup = 1;
  o.tag = "whisper";
  o.ctrl = "rate=-1,f0_med=0.5";
  Audio a = synth(one.e, text, &o), b = synth(four.e, text, &o);
  ASSERT_EQ(a.rc, 0) << a.err;
  ASSERT_EQ(b.rc, 0) << b.err;
  ASSERT_EQ(a.x.size(), b.x.size());
  EXPECT_EQ(memcmp(a.x.data(), b.x.data(), sizeof(float) * a.x.size()), 0);
}

}  // namespace
