// Inline markup, from input to segments.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "front/markup.h"
#include "front_fixture.h"

namespace {

const char *const kTags[] = {"none", "excited", "calm", "whisper"};

// Segments as "text|tag|controls|shifts|pause|skip", joined by " ;; ".
std::string render(const tv_segment *s, int32_t n) {
  std::string r;
  char buf[96];
  for (int32_t i = 0; i < n; i++) {
    if (i) r += " ;; ";
    r += std::string(s[i].text) + "|" + s[i].tag + "|";
    for (int32_t k = 0; k < s[i].nctrl; k++) {
      snprintf(buf, sizeof buf, "%s%s=%g", k ? "," : "", s[i].ctrl_names[k], s[i].ctrl_values[k]);
      r += buf;
    }
    r += "|";
    for (int32_t k = 0; k < s[i].nshift; k++) {
      const tv_word_shift &w = s[i].shifts[k];
      snprintf(buf, sizeof buf, "%sw%d:%g/%g/%g", k ? "," : "", w.word, w.pitch, w.energy, w.dur);
      r += buf;
    }
    r += "|" + std::to_string(s[i].pause_ms) + "|" + std::to_string(s[i].skip);
  }
  return r;
}

struct Request {
  const char *tag = NULL;
  std::vector<const char *> names;
  std::vector<float> values;
  tv_style_resolver resolver = NULL;
  void *state = NULL;
};

std::string parse(const tv_front *f, const std::string &text, const Request &q = {}) {
  tv_segment *s = (tv_segment *)1;
  int32_t n = -1;
  int rc = tv_front_parse_markup(f, text.c_str(), q.tag, q.names.data(), q.values.data(),
                                 (int32_t)q.names.size(), kTags, 4, q.resolver, q.state, &s, &n);
  if (rc != 0) {
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(n, 0);
    return "!" + std::string(tv_geterr());
  }
  std::string r = render(s, n);
  tv_segments_free(s, n);
  return r;
}

int calm_prompt(void *state, const char *prompt, char **tag, int32_t *count, char ***names, float **values) {
  *(std::string *)state = prompt;
  if (std::string(prompt) == "fail") {
    tv_seterr("prompt: cannot resolve");
    return -1;
  }
  *tag = tv_strdup("calm");
  *count = 2;
  *names = (char **)tv_malloc(2 * sizeof(char *));
  (*names)[0] = tv_strdup("rate");
  (*names)[1] = tv_strdup("loud");
  *values = (float *)tv_malloc(2 * sizeof(float));
  (*values)[0] = -1;
  (*values)[1] = 0.5f;
  return 0;
}

} // namespace

TEST(Markup, FromTextToSegments) {
  NEED_DEV_FRONT(f);
  struct Case {
    const char *in, *out;
  } cases[] = {
      {"Hello world.", "Hello world.|none|||0|0"},
      {"   ", ""},
      {"", ""},
      // sentences, and the abbreviations that do not end one
      {"One. Two!  Three?", "One.|none|||0|0 ;; Two!|none|||0|0 ;; Three?|none|||0|0"},
      {"Dr. Smith came at 5 p.m. today. Then e.g. this.",
       "Dr. Smith came at 5 p.m. today.|none|||0|0 ;; Then e.g. this.|none|||0|0"},
      // styles: a tag mid-sentence splits it; closing with no opening does nothing
      {"Hi <excited>there</excited> you.", "Hi|none|||0|0 ;; there|excited|||0|0 ;; you.|none|||0|0"},
      {"<EXCITED>Loud</Excited> words", "Loud|excited|||0|0 ;; words|none|||0|0"},
      {"</excited>Hi", "Hi|none|||0|0"},
      {"<calm>a <excited>b</calm> c", "a|calm|||0|0 ;; b|excited|||0|0 ;; c|calm|||0|0"},
      {"<style>Hi</style> there", "Hi there|none|||0|0"}, // the same style as the base
      {"<foo>Hi</foo> there", "Hi there|none|||0|0"},
      // emphasis and modifiers: word shifts, no split
      {"Say *this* now.", "Say this now.|none||w1:2.5/4/1.2|0|0"},
      {"*Two words* here", "Two words here|none||w0:2.5/4/1.2,w1:2.5/4/1.2|0|0"},
      {"<slow><high>up</high></slow> <fast>down</fast>", "up down|none||w0:3/0/1.4,w1:0/0/0.75|0|0"},
      {"<loud>a</loud> <soft>b</soft> <low>c</low>", "a b c|none||w0:0/6/1,w1:0/-6/1,w2:-3/0/1|0|0"},
      {"<emph>x</emph> *no\nstar*", "x *no star*|none||w0:2.5/4/1.2|0|0"},
      {"It costs <emph>$5</emph> today", "It costs $5 today|none||w2:2.5/4/1.2,w3:2.5/4/1.2|0|0"},
      // pauses and sound cues
      {"[pause]", "|none|||400|0"},
      {"a [pause 2 s] b", "a|none|||0|0 ;; |none|||2000|0 ;; b|none|||0|0"},
      {"[pause 1.5s]", "|none|||1500|0"},
      {"[pause 9000]", "|none|||5000|0"},
      {"[pause 250ms]", "|none|||250|0"},
      {"[PAUSE 2 S]", "|none|||2000|0"},
      {"[pause 0.0004 s]", "|none|||0|0"},
      {"Hi [laugh] there", "Hi [laugh] there|none|||0|0"},
      {"Hi [Cough 3] there", "Hi [cough] there|none|||0|0"},
      // markers standing alone between tags
      {"Hello <x>PAUSE</x> world", "Hello|none|||0|0 ;; |none|||-1|1 ;; world|none|||0|0"},
      {"Hello<x>EVENT</x>world", "Hello|none|||0|0 ;; |none|||0|1 ;; world|none|||0|0"},
      {"A<x>BREAK</x>B", "A|none|||0|0 ;; B|none|||0|0"},
      {"A <x> PAUSE </x> B", "A PAUSE B|none|||0|0"},
  };
  for (const Case &c : cases) EXPECT_EQ(parse(f, c.in), c.out) << c.in;
}

TEST(Markup, RequestStyleAndPrompts) {
  NEED_DEV_FRONT(f);
  Request q;
  q.tag = "excited";
  q.names = {"rate", "loud", "rate"};
  q.values = {1, 0.5f, -2};
  EXPECT_EQ(parse(f, "Hi <calm>there</calm>", q), "Hi|excited|loud=0.5,rate=-2||0|0 ;; there|calm|||0|0");
  EXPECT_EQ(parse(f, "<style>Hi</style> there", q), "Hi|none|||0|0 ;; there|excited|loud=0.5,rate=-2||0|0");
  q.tag = "shouting"; // not one of the engine's tags
  EXPECT_EQ(parse(f, "Hi", q), "Hi|none|loud=0.5,rate=-2||0|0");

  EXPECT_EQ(parse(f, "<style prompt=\"soft and slow\">Hi</style>"),
            "!ValueError: free-text prompts are resolved on the host (the prompt adapter is not on device): "
            "send the resolved tag + ctrl");
  std::string seen;
  Request r;
  r.resolver = calm_prompt;
  r.state = &seen;
  EXPECT_EQ(parse(f, "A <style prompt=\"soft and slow\">b</style> c", r),
            "A|none|||0|0 ;; b|calm|loud=0.5,rate=-1||0|0 ;; c|none|||0|0");
  EXPECT_EQ(seen, "soft and slow");
  EXPECT_EQ(parse(f, "<style prompt=\"\">b</style>", r), "b|none|||0|0"); // an empty prompt is none
  EXPECT_EQ(parse(f, "<style prompt=\"fail\">b</style>", r), "!prompt: cannot resolve");
}

TEST(Markup, Failures) {
  NEED_DEV_FRONT(f);
  EXPECT_EQ(parse(f, "[pause 1.2.3]"), "!ValueError: could not convert string to float: '1.2.3'");
  EXPECT_EQ(parse(f, "[pause ...]"), "!ValueError: could not convert string to float: '...'");
  EXPECT_EQ(parse(f, "[pause " + std::string(400, '9') + "]"),
            "!OverflowError: cannot convert float infinity to integer");
  // Emphasis over a run too long for number words counts its digit words
  // (the run once failed the parse).
  std::string run = parse(f, "*" + std::string(103, '9') + "* end");
  EXPECT_NE(run.find(",w102:2.5/4/1.2|"), std::string::npos) << run.substr(0, 80);
  EXPECT_EQ(run.find("w103:"), std::string::npos);
  tv_segment *s = NULL;
  int32_t n = 0;
  EXPECT_EQ(tv_front_parse_markup(NULL, "x", NULL, NULL, NULL, 0, NULL, 0, NULL, NULL, &s, &n), -1);
  EXPECT_STREQ(tv_geterr(), "tovantts front: NULL argument");
  EXPECT_EQ(tv_front_parse_markup(f, NULL, NULL, NULL, NULL, 0, NULL, 0, NULL, NULL, &s, &n), -1);
  EXPECT_STREQ(tv_geterr(), "tovantts front: NULL argument");
  // A negative control count counts as none.
  ASSERT_EQ(tv_front_parse_markup(f, "x", NULL, NULL, NULL, -3, NULL, 0, NULL, NULL, &s, &n), 0);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(s[0].nctrl, 0);
  tv_segments_free(s, n);
  tv_segments_free(NULL, 3);
}
