#include "runtime/json.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/error.h"

#define MAX_DEPTH 200
#define MAX_ROOM 268435456

struct cursor {
  const char *p;
  const char *end;
  int32_t depth;
};

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

static void skip_blanks(cursor *c) {
  while (c->p < c->end && is_blank(*c->p)) c->p++;
}

static bool starts(const cursor *c, const char *word, size_t n) {
  return (size_t)(c->end - c->p) >= n && memcmp(c->p, word, n) == 0;
}

void tv_json_clear(tv_json *node) {
  if (!node) return;
  if (node->kind == TV_JSON_STR) free(node->str);
  if (node->kind == TV_JSON_ARR || node->kind == TV_JSON_OBJ) {
    for (int32_t i = 0; i < node->count; i++) {
      tv_json_clear(&node->items[i]);
      if (node->keys) free(node->keys[i]);
    }
    free(node->items);
    free(node->keys);
  }
  memset(node, 0, sizeof *node);
}

void tv_json_free(tv_json *root) {
  if (!root) return;
  tv_json_clear(root);
  tv_free(root);
}

static int hex4(const char *p, const char *end, uint32_t *out) {
  if (end - p < 4) return -1;
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) {
    char ch = p[i];
    uint32_t d;
    if (ch >= '0' && ch <= '9') d = (uint32_t)(ch - '0');
    else if (ch >= 'a' && ch <= 'f') d = (uint32_t)(ch - 'a' + 10);
    else if (ch >= 'A' && ch <= 'F') d = (uint32_t)(ch - 'A' + 10);
    else return -1;
    v = v * 16 + d;
  }
  *out = v;
  return 0;
}

static char *put_utf8(char *o, uint32_t cp) {
  if (cp < 0x80) {
    *o++ = (char)cp;
  } else if (cp < 0x800) {
    *o++ = (char)(0xC0 | (cp >> 6));
    *o++ = (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *o++ = (char)(0xE0 | (cp >> 12));
    *o++ = (char)(0x80 | ((cp >> 6) & 0x3F));
    *o++ = (char)(0x80 | (cp & 0x3F));
  } else {
    *o++ = (char)(0xF0 | (cp >> 18));
    *o++ = (char)(0x80 | ((cp >> 12) & 0x3F));
    *o++ = (char)(0x80 | ((cp >> 6) & 0x3F));
    *o++ = (char)(0x80 | (cp & 0x3F));
  }
  return o;
}

// Reads a string at the opening quote; *out is a tv_malloc block.
static int parse_string(cursor *c, char **out) {
  c->p++;
  const char *q = c->p;
  size_t steps = 0;
  while (q < c->end && *q != '"') {
    if (*q == '\\' && c->end - q < 2) {
      q = c->end;
      break;
    }
    q += (*q == '\\') ? 2 : 1;
    steps++;
  }
  if (q >= c->end) {
    tv_seterr("JSON: unterminated string");
    return -1;
  }
  const char *close = q;
  char *buf = (char *)tv_malloc(steps * 4 + 1);
  if (!buf) return -1;
  char *o = buf;
  const char *p = c->p;
  while (p < close) {
    unsigned char ch = (unsigned char)*p;
    if (ch < 0x20) {
      tv_seterr("JSON: control character in a string");
      goto fail;
    }
    if (ch != '\\') {
      *o++ = (char)ch;
      p++;
      continue;
    }
    char e = p[1];
    p += 2;
    switch (e) {
      case '"': *o++ = '"'; break;
      case '/': *o++ = '/'; break;
      case '\\': *o++ = '\\'; break;
      case 'b': *o++ = 0x08; break;
      case 'f': *o++ = 0x0C; break;
      case 'n': *o++ = 0x0A; break;
      case 'r': *o++ = 0x0D; break;
      case 't': *o++ = 0x09; break;
      case 'u': {
        uint32_t cp;
        if (hex4(p, close, &cp) != 0) {
          tv_seterr("JSON: bad \\u escape");
          goto fail;
        }
        p += 4;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          uint32_t lo;
          if (close - p >= 6 && p[0] == '\\' && p[1] == 'u' && hex4(p + 2, close, &lo) == 0 &&
              lo >= 0xDC00 && lo <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            p += 6;
          }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        if (cp == 0) {
          tv_seterr("JSON: \\u0000 is not supported in strings");
          goto fail;
        }
        o = put_utf8(o, cp);
        break;
      }
      default:
        tv_seterr("JSON: invalid escape '\\%c'", e);
        goto fail;
    }
  }
  *o = 0;
  c->p = close + 1;
  *out = buf;
  return 0;
fail:
  tv_free(buf);
  return -1;
}

static int parse_number(cursor *c, tv_json *v) {
  v->kind = TV_JSON_NUM;
  if (starts(c, "NaN", 3)) {
    v->num = NAN;
    c->p += 3;
    return 0;
  }
  if (starts(c, "Infinity", 8)) {
    v->num = INFINITY;
    c->p += 8;
    return 0;
  }
  if (starts(c, "-Infinity", 9)) {
    v->num = -INFINITY;
    c->p += 9;
    return 0;
  }
  const char *s = c->p, *p = c->p, *e = c->end;
  bool integral = true;
  if (p < e && *p == '-') p++;
  if (p < e && *p == '0') {
    p++;
  } else if (p < e && *p >= '1' && *p <= '9') {
    while (p < e && is_digit(*p)) p++;
  } else {
    goto bad;
  }
  if (p < e && *p == '.') {
    p++;
    integral = false;
    if (!(p < e && is_digit(*p))) goto bad;
    while (p < e && is_digit(*p)) p++;
  }
  if (p < e && (*p == 'e' || *p == 'E')) {
    p++;
    integral = false;
    if (p < e && (*p == '+' || *p == '-')) p++;
    if (!(p < e && is_digit(*p))) goto bad;
    while (p < e && is_digit(*p)) p++;
  }
  {
    size_t n = (size_t)(p - s);
    char local[64];
    char *scratch = local;
    if (n >= sizeof local) {
      scratch = (char *)malloc(n + 1);
      if (!scratch) {
        tv_seterr("out of memory");
        goto fail;
      }
    }
    memcpy(scratch, s, n);
    scratch[n] = 0;
    v->num = tv_strtod(scratch, NULL);
    if (scratch != local) free(scratch);
    v->is_int = integral;
    c->p = p;
    return 0;
  }
bad:
  tv_seterr("JSON: bad number");
fail:
  memset(v, 0, sizeof *v);
  return -1;
}

static int parse_value(cursor *c, tv_json *v);

// Makes room for one more item; the key array (objects) grows alongside.
static int grow(tv_json *v, int32_t *room, bool object) {
  if (v->count < *room) return 0;
  if (*room > MAX_ROOM) {
    tv_seterr("JSON: too many items");
    return -1;
  }
  int32_t nroom = *room ? *room * 2 : 8;
  tv_json *items = (tv_json *)realloc(v->items, (size_t)nroom * sizeof *items);
  if (!items) {
    tv_seterr("out of memory");
    return -1;
  }
  v->items = items;
  if (object) {
    char **keys = (char **)realloc(v->keys, (size_t)nroom * sizeof *keys);
    if (!keys) {
      tv_seterr("out of memory");
      return -1;
    }
    v->keys = keys;
  }
  *room = nroom;
  return 0;
}

static int parse_container(cursor *c, tv_json *v) {
  bool object = *c->p == '{';
  char closing = object ? '}' : ']';
  v->kind = object ? TV_JSON_OBJ : TV_JSON_ARR;
  c->p++;
  skip_blanks(c);
  if (c->p < c->end && *c->p == closing) {
    c->p++;
    return 0;
  }
  int32_t room = 0;
  for (;;) {
    if (grow(v, &room, object) != 0) goto fail;
    char *key = NULL;
    if (object) {
      skip_blanks(c);
      if (!(c->p < c->end && *c->p == '"')) {
        tv_seterr("JSON: expected a key");
        goto fail;
      }
      if (parse_string(c, &key) != 0) goto fail;
      skip_blanks(c);
      if (!(c->p < c->end && *c->p == ':')) {
        tv_free(key);
        tv_seterr("JSON: expected ':'");
        goto fail;
      }
      c->p++;
    }
    tv_json *item = &v->items[v->count];
    memset(item, 0, sizeof *item);
    if (parse_value(c, item) != 0) {
      tv_free(key);
      goto fail;
    }
    if (object) v->keys[v->count] = key;
    v->count++;
    skip_blanks(c);
    if (c->p < c->end && *c->p == ',') {
      c->p++;
      continue;
    }
    if (c->p < c->end && *c->p == closing) {
      c->p++;
      return 0;
    }
    tv_seterr("JSON: expected ',' or a closing bracket");
    goto fail;
  }
fail:
  tv_json_clear(v);
  return -1;
}

static int parse_value(cursor *c, tv_json *v) {
  skip_blanks(c);
  if (c->p >= c->end) {
    tv_seterr("JSON: unexpected end");
    return -1;
  }
  if (c->depth >= MAX_DEPTH) {
    tv_seterr("JSON: nested too deeply");
    return -1;
  }
  c->depth++;
  int r = 0;
  char ch = *c->p;
  if (ch == '"') {
    v->kind = TV_JSON_STR;
    r = parse_string(c, &v->str);
    if (r != 0) v->kind = TV_JSON_NULL;
  } else if (ch == '{' || ch == '[') {
    r = parse_container(c, v);
  } else if (starts(c, "true", 4)) {
    v->kind = TV_JSON_BOOL;
    v->num = 1.0;
    c->p += 4;
  } else if (starts(c, "false", 5)) {
    v->kind = TV_JSON_BOOL;
    c->p += 5;
  } else if (starts(c, "null", 4)) {
    c->p += 4;
  } else if (is_digit(ch) || ch == '-' || ch == 'N' || ch == 'I') {
    r = parse_number(c, v);
  } else {
    tv_seterr("JSON: unexpected character '%c'", ch);
    r = -1;
  }
  c->depth--;
  return r;
}

tv_json *tv_json_parse(const char *text, size_t len) {
  tv_json *root = (tv_json *)tv_calloc(sizeof(tv_json));
  if (!root) {
    tv_seterr("out of memory");
    return NULL;
  }
  cursor c = {text, text + len, 0};
  if (parse_value(&c, root) != 0) {
    tv_free(root);
    return NULL;
  }
  skip_blanks(&c);
  if (c.p < c.end) {
    tv_json_free(root);
    tv_seterr("JSON: trailing characters");
    return NULL;
  }
  return root;
}

const tv_json *tv_json_get(const tv_json *node, const char *key) {
  if (!node || node->kind != TV_JSON_OBJ || !key) return NULL;
  for (int32_t i = node->count - 1; i >= 0; i--)
    if (strcmp(node->keys[i], key) == 0) return &node->items[i];
  return NULL;
}

const tv_json *tv_json_at(const tv_json *node, int32_t index) {
  if (!node || (node->kind != TV_JSON_ARR && node->kind != TV_JSON_OBJ)) return NULL;
  if (index < 0 || index >= node->count) return NULL;
  return &node->items[index];
}

double tv_json_num(const tv_json *node, double def) {
  if (!node || (node->kind != TV_JSON_NUM && node->kind != TV_JSON_BOOL)) return def;
  return node->num;
}

const char *tv_json_str(const tv_json *node, const char *def) {
  if (!node || node->kind != TV_JSON_STR) return def;
  return node->str;
}
