// Requests: JSON in, the exact message or the canonical resolved form out, on
// both model layouts; options written as request JSON; the Python-style
// number and value texts the messages rely on.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "api/engine.h"
#include "api/render.h"
#include "api/request.h"
#include "runtime/error.h"

namespace {

// An engine record with only what validation reads: no model behind it.
struct FakeEngine {
  char v0[16] = "voice_1688", v1[16] = "voice_2500", v2[16] = "voice_0010";
  char t0[8] = "none", t1[8] = "happy", t2[8] = "whisper";
  char *voices[3] = {v0, v1, v2};
  char *tags[3] = {t0, t1, t2};
  tovantts_engine e;
  explicit FakeEngine(bool edge) {
    memset(&e, 0, sizeof e);
    e.edge = edge;
    e.voices = voices;
    e.n_voices = 3;
    e.tags = tags;
    e.n_tags = 3;
    e.default_voice = v0;
    e.guidance = 1.0f;
    e.flow = 1;
  }
};

// The message of a failure, or the canonical form of a success.
std::string outcome(const tovantts_engine *e, const std::string &json, int streaming) {
  tv_request r;
  std::string out;
  if (req_from_json(e, json.c_str(), &r, streaming) != 0 || resolve_prompt((tovantts_engine *)e, &r) != 0) {
    out = tv_geterr();
  } else {
    char *c = req_canonical(e, &r);
    out = c ? c : "(no canonical form)";
    tv_free(c);
  }
  req_free(&r);
  return out;
}

const std::string EDGE_A =
    "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, \"guidance\": 1.0, "
    "\"markup\": false}";
const std::string FULL_A =
    "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, \"guidance\": 1.0, "
    "\"flow\": true, \"seed\": 0, \"markup\": false}";
const std::string CONTROLS = "rate, loud, f0_med, f0_iqr, f0_end, pause, tilt, voiced, flat, centroid, cpps, h1h2";
const std::string EDGE_ONLY =
    " is not available in the edge build: free-text prompts and voice cloning run on a host with the full model";

enum Model { EDGE = 1, FULL = 2, BOTH = 3 };

struct Case {
  int models;
  const char *json;
  int streaming;
  std::string expect;
};

TEST(Request, ValidatesToExactMessagesOrCanonicalForm) {
  const Case cases[] = {
      // the object and its keys
      {BOTH, "{\"text\": \"a\"}", 0, ""},
      {BOTH, "[1]", 0, "a request is a JSON object"},
      {BOTH, "{\"text\": \"hi\", \"speed\": 1}", 0, "unknown request field(s) ['speed']; see request.schema.json"},
      {BOTH, "{\"zeta\": 1, \"text\": \"hi\", \"alpha\": 2, \"zeta\": 3}", 0,
       "unknown request field(s) ['alpha', 'zeta']; see request.schema.json"},
      {BOTH, "{\"text\": \"a\", \"$schema\": \"x\", \"prompt_mapping\": {\"tag\": 1}}", 0, ""},
      {BOTH, "{\"text\": \"b\", \"text\": \"a\"}", 0, ""},
      // text
      {BOTH, "{\"voice\": \"voice_1688\"}", 0, "text must be a non-empty string"},
      {BOTH, "{\"text\": 5}", 0, "text must be a non-empty string"},
      {FULL, "{\"text\": \"   \"}", 0, "text must be a non-empty string"},
      {FULL, "{\"text\": \"\\u3000\\u00a0\\t\"}", 0, "text must be a non-empty string"},
      {FULL, "{\"text\": \"\"}", 0, "text must be a non-empty string"},
      {EDGE, "{\"text\": \"   \"}", 0,
       "{\"text\": \"   \", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, "
       "\"guidance\": 1.0, \"markup\": false}"},
      {EDGE, "{\"text\": \"say \\\"hi\\\"\\n\\\\\"}", 0,
       "{\"text\": \"say \\\"hi\\\"\\u000a\\\\\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, "
       "\"pace\": 1.0, \"guidance\": 1.0, \"markup\": false}"},
      // pace and guidance
      {BOTH, "{\"text\": \"a\", \"pace\": true}", 0, "pace must be a number, got True"},
      {BOTH, "{\"text\": \"a\", \"pace\": 5}", 0, "pace=5 is outside [0.25, 4.0]"},
      {BOTH, "{\"text\": \"a\", \"pace\": 0.1}", 0, "pace=0.1 is outside [0.25, 4.0]"},
      {BOTH, "{\"text\": \"a\", \"pace\": NaN}", 0, "pace=nan is outside [0.25, 4.0]"},
      {BOTH, "{\"text\": \"a\", \"pace\": [1]}", 0, "pace must be a number, got [...]"},
      {BOTH, "{\"text\": \"a\", \"guidance\": \"x\"}", 0, "guidance must be a number, got 'x'"},
      {BOTH, "{\"text\": \"a\", \"guidance\": {}}", 0, "guidance must be a number, got {}"},
      {BOTH, "{\"text\": \"a\", \"guidance\": null}", 0, ""},
      {EDGE, "{\"text\": \"a\", \"pace\": 1.1, \"guidance\": 4}", 0,
       "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.1, "
       "\"guidance\": 4.0, \"markup\": false}"},
      // markup, flow, seed
      {BOTH, "{\"text\": \"a\", \"markup\": 1}", 0, "markup must be true or false"},
      {BOTH, "{\"text\": \"a\", \"markup\": null}", 0, ""},
      {FULL, "{\"text\": \"a\", \"flow\": 1}", 0, "flow must be true or false"},
      {FULL, "{\"text\": \"a\", \"seed\": 3.0}", 0, "seed must be a non-negative integer"},
      {FULL, "{\"text\": \"a\", \"seed\": -1}", 0, "seed must be a non-negative integer"},
      {FULL, "{\"text\": \"a\", \"seed\": 1e3}", 0, "seed must be a non-negative integer"},
      {FULL, "{\"text\": \"a\", \"seed\": 9300000000000000000}", 0, "seed must be a non-negative integer"},
      {FULL, "{\"text\": \"a\", \"seed\": \"3\"}", 0, "seed must be a non-negative integer"},
      {FULL, "{\"text\": \"a\", \"seed\": 3, \"flow\": false, \"markup\": true}", 0,
       "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, "
       "\"guidance\": 1.0, \"flow\": false, \"seed\": 3, \"markup\": true}"},
      {EDGE, "{\"text\": \"a\", \"seed\": 3.0, \"flow\": 7}", 0, ""},
      // controls: names, values, repeats; the edge model checks member by member
      {FULL, "{\"text\": \"a\", \"ctrl\": {\"rate\": 7}}", 0, "ctrl.rate=7 is outside [-5.0, 5.0]"},
      {EDGE, "{\"text\": \"a\", \"ctrl\": {\"rate\": 7.0}}", 0, "ctrl.rate=7.0 is outside (-5.0, 5.0)"},
      {BOTH, "{\"text\": \"a\", \"ctrl\": {\"speed\": 1}}", 0, "unknown control 'speed'; known: " + CONTROLS},
      {FULL, "{\"text\": \"a\", \"ctrl\": {\"rate\": \"x\", \"speed\": 1}}", 0,
       "unknown control 'speed'; known: " + CONTROLS},
      {EDGE, "{\"text\": \"a\", \"ctrl\": {\"rate\": \"x\", \"speed\": 1}}", 0, "ctrl.rate must be a number, got 'x'"},
      {BOTH, "{\"text\": \"a\", \"ctrl\": [1]}", 0, "ctrl must be an object {control: z}"},
      {BOTH, "{\"text\": \"a\", \"ctrl\": 1}", 0, "ctrl must be an object {control: z}"},
      {BOTH, "{\"text\": \"a\", \"ctrl\": 0}", 0, ""},
      // a repeated name keeps its first place and its last value, as a dict would
      {EDGE, "{\"text\": \"a\", \"ctrl\": {\"rate\": \"x\", \"loud\": 1, \"rate\": 2}}", 0,
       "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {\"rate\": 2.0, \"loud\": 1.0}, "
       "\"pace\": 1.0, \"guidance\": 1.0, \"markup\": false}"},
      {EDGE, "{\"text\": \"a\", \"ctrl\": {\"rate\": 1, \"loud\": -2.5, \"rate\": 2}}", 0,
       "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {\"rate\": 2.0, \"loud\": -2.5}, "
       "\"pace\": 1.0, \"guidance\": 1.0, \"markup\": false}"},
      // tags
      {FULL, "{\"text\": \"a\", \"tag\": 5}", 0, "tag must be a string"},
      {EDGE, "{\"text\": \"a\", \"tag\": 5}", 0, "tag must be a string"},
      {FULL, "{\"text\": \"a\", \"tag\": \"angry\"}", 0, "unknown tag 'angry'; known: none, happy, whisper"},
      {FULL, "{\"text\": \"a\", \"tag\": \"\"}", 0, "unknown tag ''; known: none, happy, whisper"},
      {EDGE, "{\"text\": \"a\", \"tag\": \"angry\"}", 0, "unknown tag 'angry'; known tags: none, happy, whisper"},
      {EDGE, "{\"text\": \"a\", \"tag\": \"\"}", 0, ""},
      {EDGE, "{\"text\": \"a\", \"tag\": 0}", 0, ""},
      {BOTH, "{\"text\": \"a\", \"tag\": null}", 0, ""},
      // voices
      {FULL, "{\"text\": \"a\", \"voice\": \"nobody\"}", 0,
       "unknown voice 'nobody'; list them with tts.voices / `tovantts voices`"},
      {FULL, "{\"text\": \"a\", \"voice\": 5}", 0, "unknown voice 5; list them with tts.voices / `tovantts voices`"},
      {FULL, "{\"text\": \"a\", \"voice\": \"\"}", 0, ""},
      {FULL, "{\"text\": \"a\", \"voice\": false}", 0, ""},
      {EDGE, "{\"text\": \"a\", \"voice\": \"nobody\"}", 0,
       "unknown voice 'nobody'; this edge build ships 3 voices (see tts.voices), e.g. voice_1688, voice_2500, "
       "voice_0010"},
      {EDGE, "{\"text\": \"a\", \"voice\": false}", 0,
       "unknown voice False; this edge build ships 3 voices (see tts.voices), e.g. voice_1688, voice_2500, "
       "voice_0010"},
      {EDGE, "{\"text\": \"a\", \"voice\": null}", 0, ""},
      {BOTH, "{\"text\": \"a\", \"voice\": \"voice_2500\", \"tag\": \"happy\"}", 0, "voice_2500 happy"},
      // clips, prompts, speaker vectors
      {BOTH, "{\"text\": \"a\", \"spk_vec\": [1, 2]}", 0, "spk_vec must be a list of 512 numbers"},
      {BOTH, "{\"text\": \"a\", \"spk_vec\": \"x\"}", 0, "spk_vec must be a list of 512 numbers"},
      {BOTH, "{\"text\": \"a\", \"spk_vec\": null}", 0, ""},
      {FULL, "{\"text\": \"a\", \"ref_wav\": 5}", 0, "ref_wav must be a path string"},
      {FULL, "{\"text\": \"a\", \"ref_wav\": \"a.wav\", \"voice\": \"voice_1688\"}", 0,
       "give either voice (a built-in voice) or ref_wav (clone a reference clip), not both"},
      {FULL, "{\"text\": \"a\", \"ref_wav\": \"a.wav\", \"voice\": \"\"}", 0,
       "{\"text\": \"a\", \"ref_wav\": \"a.wav\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, "
       "\"guidance\": 1.0, \"flow\": true, \"seed\": 0, \"markup\": false}"},
      {EDGE, "{\"text\": \"a\", \"ref_wav\": \"a.wav\"}", 0, "ref_wav=" + EDGE_ONLY},
      {EDGE, "{\"text\": \"a\", \"prompt\": \"calm\", \"ref_wav\": \"a.wav\"}", 0, "prompt=" + EDGE_ONLY},
      {FULL, "{\"text\": \"a\", \"prompt\": 5}", 0, "prompt must be a string"},
      {FULL, "{\"text\": \"a\", \"prompt\": \"\"}", 0, ""},
      // word shifts
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"-1\": {\"pitch\": 1}}}", 0,
       "word_shift['-1'] must be a non-negative index -> {pitch, energy, dur}"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1\": {\"speed\": 1}}}", 0,
       "word_shift['1'] must be a non-negative index -> {pitch, energy, dur}"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1\": 2}}", 0,
       "word_shift['1'] must be a non-negative index -> {pitch, energy, dur}"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"x\": {}}}", 0, "word_shift key 'x' is not a word index"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1 2\": {}}}", 0, "word_shift key '1 2' is not a word index"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"+\": {}}}", 0, "word_shift key '+' is not a word index"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1\": {\"pitch\": 13}}}", 0,
       "word_shift.1.pitch=13 is outside [-12.0, 12.0]"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1\": {\"energy\": \"x\"}}}", 0,
       "word_shift.1.energy must be a number, got 'x'"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"1\": {\"dur\": 0.2}}}", 0, "word_shift.1.dur=0.2 is outside [0.25, 4.0]"},
      {BOTH,
       "{\"text\": \"a\", \"word_shift\": {\"0123456789012345678901234567890123456789xyz\": {}}}", 0,
       "word_shift key '0123456789012345678901234567890123456789xyz' is not a word index"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {\"00000000000000000000000000000000000000001\": {\"dur\": 9}}}", 0,
       "word_shift.0000000000000000000000000000000000000000.dur=9 is outside [0.25, 4.0]"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": [1]}", 0,
       "word_shift must be an object {word_index: {pitch, energy, dur}}"},
      {BOTH, "{\"text\": \"a\", \"word_shift\": {}}", 0, ""},
      {FULL, "{\"text\": \"a\", \"markup\": true, \"word_shift\": {\"1\": {}}}", 0,
       "word_shift and markup cannot be combined (markup re-indexes words per segment)"},
      {EDGE, "{\"text\": \"a\", \"markup\": true, \"word_shift\": {\"1\": {}}}", 0,
       "word_shift does not combine with markup / stream(); use inline markup (*word*, <slow>, <high> ...) there"},
      {EDGE, "{\"text\": \"a\", \"word_shift\": {\"1\": {}}}", 1,
       "word_shift does not combine with markup / stream(); use inline markup (*word*, <slow>, <high> ...) there"},
      {EDGE,
       "{\"text\": \"a\", \"word_shift\": {\"-0\": {\"pitch\": 1}, \" 2 \": {\"dur\": 1.1}, \"02\": {\"energy\": -3, "
       "\"energy\": 2.5}, \"99999999999\": {}}}",
       0,
       "{\"text\": \"a\", \"voice\": \"voice_1688\", \"tag\": \"none\", \"ctrl\": {}, \"pace\": 1.0, "
       "\"guidance\": 1.0, \"markup\": false, \"word_shift\": {\"0\": {\"pitch\": 1.0}, \"2\": {\"energy\": 2.5, "
       "\"dur\": 1.1}, \"2147483647\": {}}}"},
  };
  for (const Case &c : cases) {
    for (int model : {EDGE, FULL}) {
      if (!(c.models & model)) continue;
      FakeEngine fe(model == EDGE);
      std::string want = c.expect;
      if (want.empty()) want = model == EDGE ? EDGE_A : FULL_A;
      if (want == "voice_2500 happy") {
        want = model == EDGE ? EDGE_A : FULL_A;
        want.replace(want.find("voice_1688"), 10, "voice_2500");
        want.replace(want.find("\"none\""), 6, "\"happy\"");
      }
      EXPECT_EQ(outcome(&fe.e, c.json, c.streaming), want)
          << (model == EDGE ? "edge: " : "full: ") << c.json;
    }
  }
}

TEST(Request, CountsTextInCodePoints) {
  FakeEngine fe(true);
  const std::string limit = "text is longer than 5000 characters; split it (or stream it sentence by sentence)";
  struct Case {
    std::string text;
    bool ok;
  } cases[] = {
      {std::string(5000, 'a'), true},
      {std::string(5001, 'a'), false},
      {std::string(4999, 'a') + "\xe2\x82\xac", true},   // a 3-byte character counts once
      {std::string(5000, 'a') + "\xe2\x82\xac", false},
  };
  for (const Case &c : cases) {
    tv_request r;
    int rc = req_from_json(&fe.e, ("{\"text\": \"" + c.text + "\"}").c_str(), &r, 0);
    EXPECT_EQ(rc == 0, c.ok) << c.text.size();
    if (!c.ok) {
      EXPECT_STREQ(tv_geterr(), limit.c_str());
    }
    req_free(&r);
  }
}

TEST(Request, SpeakerVectorReplacesTheVoice) {
  std::string vec = "[";
  for (int i = 0; i < 512; i++) vec += (i ? ", " : "") + std::to_string(i % 3 - 1) + ".5";
  vec += "]";
  for (bool edge : {true, false}) {
    FakeEngine fe(edge);
    tv_request r;
    // The voice beside a vector is neither checked nor kept.
    ASSERT_EQ(req_from_json(&fe.e, ("{\"text\": \"a\", \"voice\": \"nobody\", \"spk_vec\": " + vec + "}").c_str(), &r, 0),
              0)
        << tv_geterr();
    EXPECT_EQ(r.voice, nullptr);
    ASSERT_NE(r.spk_vec, nullptr);
    EXPECT_EQ(r.spk_vec[0], -1.5f);
    EXPECT_EQ(r.spk_vec[511], 0.5f);
    char *c = req_canonical(&fe.e, &r);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(strstr(c, "\"spk_vec\": [-1.5, 0.5, 1.5, -1.5"), nullptr);
    EXPECT_EQ(strstr(c, "voice"), nullptr);
    tv_free(c);
    req_free(&r);
  }
  FakeEngine fe(true);
  tv_request r;
  std::string bools = "[true" + std::string(511 * 3, ' ') + "]";
  for (int i = 0; i < 511; i++) bools.replace(5 + 3 * i, 3, ", 1");
  EXPECT_EQ(req_from_json(&fe.e, ("{\"text\": \"a\", \"spk_vec\": " + bools + "}").c_str(), &r, 0), -1);
  EXPECT_STREQ(tv_geterr(), "spk_vec must be a list of 512 numbers");
  req_free(&r);
}

// A vector value that is not finite or far outside a speaker vector's range
// would render silence; it is refused naming the element, whether it came as
// JSON or through the options record.
TEST(Request, RefusesSpeakerVectorValuesOutOfRange) {
  struct Case {
    const char *json;  // element 7 as written in JSON
    float value;       // the same through the options record
    const char *err;  // empty: accepted
  };
  const Case cases[] = {
      {"NaN", NAN, "spk_vec[7]=nan is outside [-1000.0, 1000.0]"},
      {"Infinity", INFINITY, "spk_vec[7]=inf is outside [-1000.0, 1000.0]"},
      {"-Infinity", -INFINITY, "spk_vec[7]=-inf is outside [-1000.0, 1000.0]"},
      {"1e39", 1e30f, "spk_vec[7]=1e+39 is outside [-1000.0, 1000.0]"},
      {"-1000.5", -1000.5f, "spk_vec[7]=-1000.5 is outside [-1000.0, 1000.0]"},
      {"1000", 1000.0f, ""},
  };
  for (bool edge : {true, false}) {
    FakeEngine fe(edge);
    for (const Case &c : cases) {
      SCOPED_TRACE(c.json);
      std::string vec = "[";
      for (int i = 0; i < 512; i++) vec += i == 0 ? "" : ", ", vec += i == 7 ? c.json : "0.25";
      vec += "]";
      tv_request r;
      const int rc = req_from_json(&fe.e, ("{\"text\": \"a\", \"spk_vec\": " + vec + "}").c_str(), &r, 0);
      const std::string err = rc == 0 ? "" : tv_geterr();
      req_free(&r);
      if (!c.err[0]) {
        EXPECT_EQ(rc, 0) << err;
        continue;
      }
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(err, c.err);

      std::vector<float> v(512, 0.25f);
      v[7] = c.value;
      tovantts_options o;
      tovantts_default_options(&o);
      o.spk_vec = v.data();
      EXPECT_EQ(req_from_options(&fe.e, "hi", &o, &r, 0), -1);
      EXPECT_EQ(strncmp(tv_geterr(), "spk_vec[7]=", 11), 0) << tv_geterr();
      req_free(&r);
    }
  }
}

TEST(Request, ParseFailuresPassTheReaderMessage) {
  FakeEngine fe(true);
  tv_request r;
  EXPECT_EQ(req_from_json(&fe.e, "{\"text\": ", &r, 0), -1);
  EXPECT_EQ(strncmp(tv_geterr(), "JSON: ", 6), 0) << tv_geterr();
  EXPECT_EQ(req_from_json(&fe.e, NULL, &r, 0), -1);
  EXPECT_STREQ(tv_geterr(), "a request is a JSON object");
  req_free(&r);
}

TEST(Request, OptionsBecomeRequestJson) {
  struct Case {
    const char *text;
    void (*set)(tovantts_options *);
    const char *expect;  // the JSON, or the message
  } cases[] = {
      {"hi", [](tovantts_options *) {}, "{\"text\": \"hi\", \"pace\": 1.0}"},
      {NULL, [](tovantts_options *) {}, "{\"text\": \"\", \"pace\": 1.0}"},
      {"hi", [](tovantts_options *o) { o->pace = 0.0f; }, "{\"text\": \"hi\"}"},
      {"hi", [](tovantts_options *o) { o->pace = 1.1f; }, "{\"text\": \"hi\", \"pace\": 1.100000023841858}"},
      {"hi", [](tovantts_options *o) { o->pace = NAN; }, "{\"text\": \"hi\", \"pace\": NaN}"},
      {"hi",
       [](tovantts_options *o) {
         o->voice = "";
         o->ref_wav = "c.wav";
         o->prompt = "calm";
         o->tag = "happy";
       },
       "{\"text\": \"hi\", \"voice\": \"\", \"tag\": \"happy\", \"prompt\": \"calm\", \"ref_wav\": \"c.wav\", "
       "\"pace\": 1.0}"},
      {"hi", [](tovantts_options *o) { o->ctrl = " rate=1, loud = 2 ,"; },
       "{\"text\": \"hi\", \"ctrl\": {\"rate\": 1.0, \"loud\": 2.0}, \"pace\": 1.0}"},
      {"hi", [](tovantts_options *o) { o->ctrl = ""; }, "{\"text\": \"hi\", \"pace\": 1.0}"},
      {"hi", [](tovantts_options *o) { o->ctrl = "rate=abc"; }, "ctrl.rate must be a number, got 'abc'"},
      {"hi", [](tovantts_options *o) { o->ctrl = "rate=1x,loud=1"; }, "ctrl.rate must be a number, got '1x'"},
      {"hi", [](tovantts_options *o) { o->ctrl = "rate=1,loud"; }, "ctrl must look like name=z,name=z (got 'loud')"},
      {"hi", [](tovantts_options *o) { o->word_shift = "2:pitch=1,dur=0.5; 0:energy=-3"; },
       "{\"text\": \"hi\", \"word_shift\": {\"2\": {\"pitch\": 1.0, \"dur\": 0.5}, \"0\": {\"energy\": -3.0}}, "
       "\"pace\": 1.0}"},
      {"hi", [](tovantts_options *o) { o->word_shift = "x:pitch=1"; },
       "word_shift must look like word:key=v,key=v;word:... (got 'x:pitch=1')"},
      {"hi", [](tovantts_options *o) { o->word_shift = "1:pitch"; },
       "word_shift must look like word:key=v,key=v;word:... (got '1:pitch')"},
      {"hi", [](tovantts_options *o) { o->word_shift = "1:pitch=abc,dur=1"; },
       "word_shift value for 'pitch' must be a number (got 'abc')"},
      {"hi",
       [](tovantts_options *o) {
         o->guidance = 2.0f;
         o->markup = 1;
         o->flow = 0;
         o->seed = 7;
       },
       "{\"text\": \"hi\", \"pace\": 1.0, \"guidance\": 2.0, \"markup\": true, \"flow\": false, \"seed\": 7}"},
      {"hi", [](tovantts_options *o) { o->guidance = NAN; }, "{\"text\": \"hi\", \"pace\": 1.0, \"guidance\": NaN}"},
      {"hi", [](tovantts_options *o) { o->seed = -1; }, "seed must be a non-negative integer"},
  };
  for (const Case &c : cases) {
    tovantts_options o;
    tovantts_default_options(&o);
    c.set(&o);
    char *json = NULL;
    std::string got = req_options_json(c.text, &o, &json) == 0 ? json : tv_geterr();
    EXPECT_EQ(got, c.expect);
    tv_free(json);
  }
}

TEST(Request, OptionsWithoutPaceGetTheDefaultPace) {
  FakeEngine fe(true);
  tovantts_options o;
  tovantts_default_options(&o);
  o.pace = 0.0f;
  o.ctrl = "rate=1, loud = 2";
  tv_request r;
  ASSERT_EQ(req_from_options(&fe.e, "hi", &o, &r, 0), 0) << tv_geterr();
  EXPECT_EQ(r.pace, 1.0);
  EXPECT_EQ(r.n_ctrl, 2);
  req_free(&r);
  // NULL options are the defaults.
  ASSERT_EQ(req_from_options(&fe.e, "hi", NULL, &r, 0), 0) << tv_geterr();
  EXPECT_EQ(r.guidance, 1.0);
  req_free(&r);
}

TEST(Request, PythonNumberTexts) {
  struct Case {
    double v;
    const char *text;
  } cases[] = {
      {1.0, "1.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {100.0, "100.0"},
      {-2.5, "-2.5"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {0.0001, "0.0001"},
      {0.00001, "1e-05"},
      {1.5e-5, "1.5e-05"},
      {12345.678, "12345.678"},
      {1e15, "1000000000000000.0"},
      {1e16, "1e+16"},
      {123456789012345678.0, "1.2345678901234568e+17"},
      {1e100, "1e+100"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {(double)1.1f, "1.100000023841858"},
      {NAN, "nan"},
      {INFINITY, "inf"},
      {-INFINITY, "-inf"},
  };
  for (const Case &c : cases) {
    char t[TV_NUM_TEXT];
    py_float(t, c.v);
    EXPECT_STREQ(t, c.text) << c.text;
  }
  struct FCase {
    float v;
    const char *text;
  } fcases[] = {
      {1.1f, "1.1"}, {0.1f, "0.1"}, {-2.5f, "-2.5"}, {1e-5f, "1e-05"}, {3.4028235e38f, "3.4028235e+38"},
      {16777216.0f, "16777216.0"}, {1e16f, "1e+16"}, {0.3f, "0.3"}, {NAN, "nan"},
  };
  for (const FCase &c : fcases) {
    char t[TV_NUM_TEXT];
    float_short(t, c.v);
    EXPECT_STREQ(t, c.text) << c.text;
  }
}

TEST(Request, ValuesShowAsTheRequestLanguageWritesThem) {
  struct Case {
    const char *json;
    const char *repr;
  } cases[] = {
      {"null", "None"},  {"true", "True"},   {"false", "False"}, {"5", "5"},       {"-0", "0"},
      {"5.0", "5.0"},    {"1e2", "100.0"},   {"\"x\"", "'x'"},   {"[]", "[]"},     {"[1]", "[...]"},
      {"{}", "{}"},      {"{\"a\": 1}", "{...}"},
      {"123456789012345678901234567890", "123456789012345677877719597056"},
  };
  for (const Case &c : cases) {
    tv_json *j = tv_json_parse(c.json, strlen(c.json));
    ASSERT_NE(j, nullptr) << c.json;
    char t[TV_REPR_TEXT];
    py_repr(t, j);
    EXPECT_STREQ(t, c.repr) << c.json;
    tv_json_free(j);
  }
  // Long strings are cut at 200 bytes, never inside a character.
  std::string s = "\"" + std::string(199, 'a') + "\xc3\xa9xyz\"";
  tv_json *j = tv_json_parse(s.data(), s.size());
  char t[TV_REPR_TEXT];
  py_repr(t, j);
  EXPECT_EQ(std::string(t), "'" + std::string(199, 'a') + "'");
  tv_json_free(j);
}

// Mutated requests on both layouts: every outcome is a success with a
// canonical form that validates again to itself, or a failure with a message.
// Under the sanitizer build this also checks that no input reads out of
// bounds or leaks. More rounds with TOVANTTS_FUZZ_ROUNDS.
TEST(RequestFuzz, MutatedRequestsFailCleanlyOrRoundTrip) {
  const char *env = getenv("TOVANTTS_FUZZ_ROUNDS");
  const int rounds = env && atoi(env) > 0 ? atoi(env) : 3000;
  const char *seeds[] = {
      "{\"text\": \"hello\", \"voice\": \"voice_2500\", \"tag\": \"happy\", \"ctrl\": {\"rate\": 1.5, \"loud\": -2}, "
      "\"pace\": 1.25, \"guidance\": 2, \"markup\": false, \"flow\": true, \"seed\": 42}",
      "{\"text\": \"a b c\", \"word_shift\": {\"0\": {\"pitch\": 3, \"energy\": -4, \"dur\": 1.5}, \" 2\": {\"dur\": 0.5}}}",
      "{\"text\": \"x\", \"spk_vec\": null, \"ref_wav\": null, \"prompt\": null, \"$schema\": \"s\", \"prompt_mapping\": {}}",
  };
  const char *tokens[] = {"\"", "{", "}", "[", "]", ",", ":", "null", "true", "false", "NaN", "-Infinity", "1e999",
                          "-0", "3.0", "9200000000000000000", "\"text\"", "\"ctrl\"", "\"rate\"", "\"word_shift\"",
                          "\"-1\"", "\"pitch\"", "\"voice\"", "\"tag\"", "\"seed\"", "\\u0000", "\xc3", "\xe2\x80\xa8"};
  uint64_t st = 7;
  auto next = [&](uint32_t n) {
    st = st * 6364136223846793005ull + 1442695040888963407ull;
    return n ? (uint32_t)(st >> 33) % n : 0u;
  };
  FakeEngine edge(true), full(false);
  for (int i = 0; i < rounds; i++) {
    std::string s = seeds[next(3)];
    for (int e = 1 + (int)next(4); e > 0; e--) {
      const uint32_t n = (uint32_t)s.size();
      switch (next(4)) {
        case 0:
          if (n) s[next(n)] ^= (char)(1 << next(8));
          break;
        case 1:
          if (n) s.erase(next(n), 1 + next(6));
          break;
        case 2:
          s.insert(next(n + 1), tokens[next(sizeof tokens / sizeof *tokens)]);
          break;
        default:
          if (n) {
            const uint32_t a = next(n), len = next(n - a + 1);
            s.insert(next(n + 1), s.substr(a, len));
          }
      }
    }
    for (tovantts_engine *e : {&edge.e, &full.e}) {
      for (int streaming : {0, 1}) {
        tv_request r;
        if (req_from_json(e, s.c_str(), &r, streaming) != 0) {
          ASSERT_STRNE(tv_geterr(), "") << s;
          req_free(&r);
          continue;
        }
        char *c = req_canonical(e, &r);
        ASSERT_NE(c, nullptr) << s;
        req_free(&r);
        // The canonical form is itself a valid request with the same form.
        ASSERT_EQ(req_from_json(e, c, &r, streaming), 0) << c << "\n" << tv_geterr();
        char *again = req_canonical(e, &r);
        ASSERT_STREQ(again, c) << s;
        tv_free(again);
        tv_free(c);
        req_free(&r);
      }
    }
  }
}

}  // namespace
