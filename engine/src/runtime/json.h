// The engine's strict JSON reader: configuration files, safetensors headers,
// model architecture objects and JSON requests. A parsed tree is read-only;
// callers walk it through the accessors or the fields directly.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
  TV_JSON_NULL = 0,
  TV_JSON_BOOL = 1,
  TV_JSON_NUM = 2,
  TV_JSON_STR = 3,
  TV_JSON_ARR = 4,
  TV_JSON_OBJ = 5,
};

typedef struct tv_json {
  uint32_t kind;          /* TV_JSON_* */
  double num;             /* number; 1.0 / 0.0 for a boolean; else 0 */
  char *str;              /* decoded UTF-8 text (strings only) */
  int32_t count;          /* items of an array, members of an object */
  struct tv_json *items;  /* count nodes inline: array items or member values */
  char **keys;            /* member names parallel to items (objects only) */
  uint32_t is_int;        /* number written with neither fraction nor exponent */
} tv_json;

/* Root of the tree, or NULL with a "JSON: ..." message. The text needs no NUL;
   a NUL inside len is an ordinary (and here refused) character. Freed with
   tv_json_free. */
tv_json *tv_json_parse(const char *text, size_t len);
/* Frees the whole tree; NULL allowed. */
void tv_json_free(tv_json *root);
/* Frees what a node owns and zeroes it, leaving the node itself (for a node
   moved out of its tree). */
void tv_json_clear(tv_json *node);

/* Member value of an object (the last one when a key repeats), else NULL. */
const tv_json *tv_json_get(const tv_json *node, const char *key);
/* Item of an array or member value of an object by position, else NULL. */
const tv_json *tv_json_at(const tv_json *node, int32_t index);
/* Number of a number or boolean node, else def. */
double tv_json_num(const tv_json *node, double def);
/* Text of a string node, else def. */
const char *tv_json_str(const tv_json *node, const char *def);
