#include "runtime/json.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <math.h>
#include <stdio.h>

#include <string>

#include "runtime/error.h"

// A compact rendering of a tree: numbers as %.17g with "i" for integer
// literals, strings with bytes outside printable ASCII as \xNN.
static std::string dump(const tv_json *v) {
  char buf[64];
  switch (v->kind) {
    case TV_JSON_NULL: return "null";
    case TV_JSON_BOOL: return v->num ? "true" : "false";
    case TV_JSON_NUM:
      snprintf(buf, sizeof buf, "%.17g%s", v->num, v->is_int ? "i" : "");
      return buf;
    case TV_JSON_STR: {
      std::string s = "\"";
      for (const unsigned char *p = (const unsigned char *)v->str; *p; p++) {
        if (*p >= 0x20 && *p < 0x7F && *p != '\\') {
          s += (char)*p;
        } else {
          snprintf(buf, sizeof buf, "\\x%02X", *p);
          s += buf;
        }
      }
      return s + "\"";
    }
    case TV_JSON_ARR:
    case TV_JSON_OBJ: {
      bool obj = v->kind == TV_JSON_OBJ;
      std::string s = obj ? "{" : "[";
      for (int32_t i = 0; i < v->count; i++) {
        if (i) s += ",";
        if (obj) s += std::string(v->keys[i]) + ":";
        s += dump(&v->items[i]);
      }
      return s + (obj ? "}" : "]");
    }
  }
  return "?";
}

// Parses text; returns the dump, or "error: <message>".
static std::string parse(const std::string &text) {
  tv_json *j = tv_json_parse(text.data(), text.size());
  if (!j) return std::string("error: ") + tv_geterr();
  std::string s = dump(j);
  tv_json_free(j);
  return s;
}

struct Case {
  std::string text;
  std::string expected;
};

TEST(Json, ReadsValuesAndRefusesMalformedTextWithItsMessage) {
  const Case cases[] = {
      // values
      {"null", "null"},
      {" true ", "true"},
      {"false", "false"},
      {"0", "0i"},
      {"-0", "-0i"},
      {"1.0", "1"},
      {"1e2", "100"},
      {"-12.5E-1", "-1.25"},
      {"123456789012", "123456789012i"},
      {"NaN", "nan"},
      {"Infinity", "inf"},
      {"-Infinity", "-inf"},
      {"\"\"", "\"\""},
      {"\"a\\\"b\\\\c\\/d\"", "\"a\"b\\x5Cc/d\""},
      {"\"\\b\\f\\n\\r\\t\"", "\"\\x08\\x0C\\x0A\\x0D\\x09\""},
      {"\"\\u0041\\u00e9\\u20AC\"", "\"A\\xC3\\xA9\\xE2\\x82\\xAC\""},
      {"\"\\uD83D\\uDE00\"", "\"\\xF0\\x9F\\x98\\x80\""},
      {"\"\\uDE00\"", "\"\\xEF\\xBF\\xBD\""},
      {"\"\\uD83Dx\"", "\"\\xEF\\xBF\\xBDx\""},
      {"\"\\uD83D\\u0041\"", "\"\\xEF\\xBF\\xBDA\""},
      {"\"\\uD83D\\uD83D\\uDE00\"", "\"\\xEF\\xBF\\xBD\\xF0\\x9F\\x98\\x80\""},
      {"\"caf\xC3\xA9\xFF\"", "\"caf\\xC3\\xA9\\xFF\""},
      {"[]", "[]"},
      {"{ }", "{}"},
      {"[1,[2,[3]],{\"a\":null}]", "[1i,[2i,[3i]],{a:null}]"},
      {"{\"k\":1,\"k\":2}", "{k:1i,k:2i}"},
      {" \t\r\n[ 1 , 2 ]\n", "[1i,2i]"},
      // errors
      {"", "error: JSON: unexpected end"},
      {"  \n", "error: JSON: unexpected end"},
      {"[1,", "error: JSON: unexpected end"},
      {"[1", "error: JSON: expected ',' or a closing bracket"},
      {"[1 2]", "error: JSON: expected ',' or a closing bracket"},
      {"[1,]", "error: JSON: unexpected character ']'"},
      {"{\"a\":1,}", "error: JSON: expected a key"},
      {"{1:2}", "error: JSON: expected a key"},
      {"{\"a\" 1}", "error: JSON: expected ':'"},
      {"{\"a\"", "error: JSON: expected ':'"},
      {"{\"a\":}", "error: JSON: unexpected character '}'"},
      {"1 2", "error: JSON: trailing characters"},
      {"truex", "error: JSON: trailing characters"},
      {"01", "error: JSON: trailing characters"},
      {std::string("{}\0", 3), "error: JSON: trailing characters"},
      {"tru", "error: JSON: unexpected character 't'"},
      {"+1", "error: JSON: unexpected character '+'"},
      {"'a'", "error: JSON: unexpected character '''"},
      {"-", "error: JSON: bad number"},
      {"1.", "error: JSON: bad number"},
      {"1.e5", "error: JSON: bad number"},
      {"1e", "error: JSON: bad number"},
      {"1e+", "error: JSON: bad number"},
      {"-NaN", "error: JSON: bad number"},
      {"Nan", "error: JSON: bad number"},
      {"Inf", "error: JSON: bad number"},
      {"\"abc", "error: JSON: unterminated string"},
      {"\"abc\\\"", "error: JSON: unterminated string"},
      {"\"ab\\", "error: JSON: unterminated string"},
      {"\"a\tb\"", "error: JSON: control character in a string"},
      {std::string("\"a\0b\"", 5), "error: JSON: control character in a string"},
      {"\"\\x\"", "error: JSON: invalid escape '\\x'"},
      {"\"\\u12\"", "error: JSON: bad \\u escape"},
      {"\"\\u12G4\"", "error: JSON: bad \\u escape"},
      {"\"\\u0000\"", "error: JSON: \\u0000 is not supported in strings"},
  };
  for (const Case &c : cases) EXPECT_EQ(parse(c.text), c.expected) << "input: " << c.text;
}

TEST(Json, NestsTwoHundredDeepButNoMore) {
  std::string ok = std::string(200, '[') + std::string(200, ']');
  std::string deep = std::string(201, '[') + std::string(201, ']');
  EXPECT_EQ(parse(ok).substr(0, 3), "[[[");
  EXPECT_EQ(parse(deep), "error: JSON: nested too deeply");
  // Leaves count as a level too.
  EXPECT_EQ(parse(std::string(200, '[') + "1" + std::string(200, ']')), "error: JSON: nested too deeply");
  std::string objs;
  for (int i = 0; i < 199; i++) objs += "{\"a\":";
  objs += "[]" + std::string(199, '}');
  EXPECT_NE(parse(objs).substr(0, 5), "error");
}

TEST(Json, AccessorsWalkTheTree) {
  std::string text = R"({"n": 3, "s": "x", "b": true, "a": [10, 20], "k": 1, "k": 2})";
  tv_json *j = tv_json_parse(text.data(), text.size());
  ASSERT_NE(j, nullptr) << tv_geterr();
  EXPECT_EQ(tv_json_num(tv_json_get(j, "n"), -1), 3);
  EXPECT_EQ(tv_json_num(tv_json_get(j, "b"), -1), 1);
  EXPECT_EQ(tv_json_num(tv_json_get(j, "s"), -1), -1);
  EXPECT_EQ(tv_json_num(tv_json_get(j, "missing"), -1), -1);
  EXPECT_STREQ(tv_json_str(tv_json_get(j, "s"), "d"), "x");
  EXPECT_STREQ(tv_json_str(tv_json_get(j, "n"), "d"), "d");
  EXPECT_STREQ(tv_json_str(nullptr, "d"), "d");
  // The last of a repeated key wins for get; at still reaches both.
  EXPECT_EQ(tv_json_num(tv_json_get(j, "k"), 0), 2);
  EXPECT_EQ(tv_json_num(tv_json_at(j, 4), 0), 1);
  EXPECT_EQ(tv_json_num(tv_json_at(j, 5), 0), 2);
  const tv_json *a = tv_json_get(j, "a");
  EXPECT_EQ(tv_json_num(tv_json_at(a, 1), 0), 20);
  EXPECT_EQ(tv_json_at(a, 2), nullptr);
  EXPECT_EQ(tv_json_at(a, -1), nullptr);
  EXPECT_EQ(tv_json_at(tv_json_get(j, "n"), 0), nullptr);
  EXPECT_EQ(tv_json_get(a, "n"), nullptr);
  EXPECT_EQ(tv_json_get(nullptr, "n"), nullptr);
  tv_json_free(j);
  tv_json_free(nullptr);
}

TEST(Json, LargeContainersAndLongTokens) {
  // Item arrays grow past their first room; long numbers and strings use
  // heap scratch.
  std::string text = "[";
  for (int i = 0; i < 5000; i++) text += (i ? "," : "") + std::to_string(i);
  text += ",\"" + std::string(10000, 'z') + "\"";
  text += ",1." + std::string(100, '5') + "]";
  tv_json *j = tv_json_parse(text.data(), text.size());
  ASSERT_NE(j, nullptr) << tv_geterr();
  ASSERT_EQ(j->count, 5002);
  for (int i = 0; i < 5000; i++) ASSERT_EQ(j->items[i].num, i);
  EXPECT_EQ(strlen(j->items[5000].str), 10000u);
  EXPECT_NEAR(j->items[5001].num, 1.5555555, 1e-6);
  tv_json_free(j);
  // An error deep inside a big tree frees everything (checked by ASan).
  std::string bad = text.substr(0, text.size() - 1) + ",{\"a\":[1,2,\"x\\q\"]}]";
  EXPECT_EQ(parse(bad), "error: JSON: invalid escape '\\q'");
}

TEST(Json, TextNeedNotBeNulTerminated) {
  const char text[] = {'[', '1', ',', '2', ']', 'x'};
  tv_json *j = tv_json_parse(text, 5);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->count, 2);
  tv_json_free(j);
  // A number at the very end of the given length stops there.
  j = tv_json_parse("12345", 3);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->num, 123);
  tv_json_free(j);
}
