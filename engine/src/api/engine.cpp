#include "api/engine.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <charconv>

#include "api/deps.h"
#include "nn/acoustic.h"
#include "nn/vocoder.h"
#include "runtime/error.h"

#define SETUP_NOTES "; the engine's setup notes explain how to convert them"

namespace {

// "%g" without the process locale's decimal comma.
const char *fmt_g(char *buf, size_t cap, double v) {
  if (v != v) return strcpy(buf, "nan");
  if (isinf(v)) return strcpy(buf, v > 0 ? "inf" : "-inf");
  auto r = std::to_chars(buf, buf + cap - 1, v, std::chars_format::general, 6);
  *r.ptr = 0;
  return buf;
}

char *join_path(const char *a, const char *b) {
  size_t na = strlen(a), nb = strlen(b);
  char *p = (char *)tv_malloc(na + nb + 2);
  if (!p) return NULL;
  memcpy(p, a, na);
  p[na] = '/';
  memcpy(p + na + 1, b, nb + 1);
  return p;
}

// Reads and parses a JSON file; "%s: %s" (path, parser message) when it does
// not parse, the reader's message when it cannot be read.
tv_json *read_json(const char *dir, const char *name) {
  char *path = join_path(dir, name);
  if (!path) return NULL;
  char *text = NULL;
  size_t len = 0;
  tv_json *root = NULL;
  if (tv_read_file(path, &text, &len) == 0) {
    root = tv_json_parse(text, len);
    if (!root) tv_seterr("%s: %s", path, tv_geterr());
  }
  tv_free(text);
  tv_free(path);
  return root;
}

const tv_json *path_get(const tv_json *root, const char *a, const char *b) {
  const tv_json *v = tv_json_get(root, a);
  return b ? tv_json_get(v, b) : v;
}

const char *cfg_str(const tv_json *root, const char *a, const char *b, const char *def) {
  return tv_json_str(path_get(root, a, b), def);
}

int32_t cfg_int(const tv_json *root, const char *a, const char *b, int32_t def) {
  double v = tv_json_num(path_get(root, a, b), def);
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return (int32_t)v;
}

// A list of texts from a config entry, with the file and key in the message.
int cfg_list(const tv_json *v, const char *where, const char *key, char ***out, int32_t *n) {
  if (str_list(v, out, n) != 0) {
    tv_seterr("%s: %s: %s", where, key, tv_geterr());
    return -1;
  }
  return 0;
}

const char *subdir_int8(const tovantts_engine *e, const char *sub) {
  return strcmp(e->precision, "int8") == 0 ? sub : NULL;
}

// The refiner reads g_dim values of the acoustic model's conditioning: a
// refiner of another width would read past it.
int check_flow(const tovantts_engine *e, const tv_flow *f, const char *what) {
  const int32_t g_dim = tv_acoustic_g_dim(e->acoustic);
  if (f->g_dim != g_dim) {
    tv_seterr("%s: the %s takes g_dim %d, the acoustic model gives %d", e->model_dir, what, f->g_dim, g_dim);
    return -1;
  }
  return 0;
}

int load_edge(tovantts_engine *e) {
  const tv_json *cfg = e->config;
  if (cfg_list(tv_json_get(cfg, "tags"), "config.json", "tags", &e->tags, &e->n_tags) != 0) return -1;

  tv_json *vj = read_json(e->model_dir, "voices.json");
  if (!vj) return -1;
  const tv_json *list = tv_json_get(vj, "voices");
  const int32_t n = list && list->kind == TV_JSON_ARR ? list->count : 0;
  e->voices = (char **)tv_calloc(sizeof(char *) * (size_t)(n > 0 ? n : 1));
  if (!e->voices) {
    tv_json_free(vj);
    return -1;
  }
  for (int32_t i = 0; i < n; i++) {
    const char *name = tv_json_str(tv_json_get(&list->items[i], "name"), "");
    if (!(e->voices[i] = tv_strdup(name))) {
      tv_json_free(vj);
      return -1;
    }
    e->n_voices = i + 1;
  }
  tv_json_free(vj);

  const char *def = cfg_str(cfg, "default_voice", NULL, n > 0 ? e->voices[0] : "");
  if (!(e->default_voice = tv_strdup(def))) return -1;

  if (!(e->voices_w = open_weights(e->model_dir, NULL, "voices.safetensors"))) return -1;
  uint64_t dims[TV_MAX_DIMS];
  const tv_file *f = tv_weights_file(e->voices_w);
  const tv_tensor *t = tv_file_find(f, "s");
  if (!t || t->ndim != 2 || tv_weights_shape(e->voices_w, "s", dims) != 2 || dims[0] != (uint64_t)n ||
      dims[1] < 1 || dims[1] > 65536) {
    tv_seterr("voices.safetensors / voices.json mismatch");
    return -1;
  }
  e->row_width = (int32_t)dims[1];
  if (!(e->voice_table = tv_weights_finite(e->voices_w, "s", (int64_t)n * e->row_width))) return -1;

  if (!(e->w_acoustic = open_weights(e->model_dir, NULL, cfg_str(cfg, "acoustic", "file", "acoustic.safetensors"))))
    return -1;
  if (!(e->acoustic = tv_acoustic_load(e->w_acoustic, path_get(cfg, "acoustic", "arch")))) return -1;

  if (!(e->w_vocoder = open_weights(e->model_dir, NULL, cfg_str(cfg, "vocoder", "file", "vocoder.safetensors"))))
    return -1;
  e->vocoder = tv_vocoder_load(e->w_vocoder, cfg_int(cfg, "vocoder", "dim", 384), cfg_int(cfg, "vocoder", "inter", 896),
                               cfg_int(cfg, "vocoder", "layers", 8), 1024, 256);
  return e->vocoder ? 0 : -1;
}

int load_full(tovantts_engine *e) {
  const tv_json *cfg = e->config;
  tv_json *stats = read_json(e->model_dir, "control_stats.json");
  if (!stats) return -1;
  int rc = cfg_list(tv_json_get(stats, "tags"), "control_stats.json", "tags", &e->tags, &e->n_tags);
  tv_json_free(stats);
  if (rc != 0) return -1;

  if (cfg_list(tv_json_get(cfg, "voices_order"), "config.json", "voices_order", &e->voices, &e->n_voices) != 0)
    return -1;
  if (!(e->default_voice = tv_strdup(cfg_str(cfg, "default_voice", NULL, "voice_1688")))) return -1;

  const char *int8_dir = NULL;
  if (strcmp(e->precision, "int8") == 0)
    int8_dir = tv_json_str(tv_json_get(tv_json_get(tv_json_get(cfg, "precisions"), "int8"), "dir"), "int8");

  if (!(e->voices_w = open_weights(e->model_dir, int8_dir,
                                   cfg_str(cfg, "files", "speaker_vectors", "speaker_vectors.safetensors"))))
    return -1;
  {
    uint64_t dims[TV_MAX_DIMS];
    const int64_t want = (int64_t)e->n_voices * TV_SPK_VEC;
    const int nd = tv_weights_has(e->voices_w, "vec") ? tv_weights_shape(e->voices_w, "vec", dims) : 0;
    if (nd != 2 || dims[0] != (uint64_t)e->n_voices || dims[1] != TV_SPK_VEC) {
      if (nd == 0)
        tv_seterr("speaker_vectors / voices_order mismatch (%s)", tv_weights_has(e->voices_w, "vec")
                                                                       ? tv_geterr()
                                                                       : "no tensor \"vec\"");
      else
        tv_seterr("speaker_vectors / voices_order mismatch (vec is %d-dimensional or not %d x %d)", nd,
                  e->n_voices, TV_SPK_VEC);
      return -1;
    }
    if (!(e->voice_table = tv_weights_finite(e->voices_w, "vec", want))) {
      tv_seterr("speaker_vectors / voices_order mismatch (%s)", tv_geterr());
      return -1;
    }
    e->row_width = TV_SPK_VEC;
  }

  if (!(e->w_acoustic = open_weights(e->model_dir, int8_dir, cfg_str(cfg, "files", "acoustic", "model.safetensors"))))
    return -1;
  if (!(e->acoustic = tv_acoustic_load(e->w_acoustic, path_get(cfg, "acoustic", "arch")))) return -1;

  if (!(e->w_vocoder = open_weights(e->native_dir, subdir_int8(e, "int8"), "vocos.safetensors"))) {
    tv_seterr("v1 needs the converted Vocos weights: %s (%s)" SETUP_NOTES, e->native_dir, tv_geterr());
    return -1;
  }
  if (!(e->vocoder = tv_vocoder_load(e->w_vocoder, 512, 1536, 8, 1024, 256))) return -1;

  const char *refiner = cfg_str(cfg, "refiner", "file", NULL);
  if (e->flow && refiner) {
    if (!(e->w_refiner = open_weights(e->model_dir, int8_dir, refiner))) return -1;
    if (!(e->refiner = tv_flow_load(e->w_refiner, path_get(cfg, "refiner", "cfg")))) return -1;
    if (check_flow(e, e->refiner, "refiner") != 0) return -1;
  }
  return 0;
}

int find_voice(const tovantts_engine *e, const char *name, char letter) {
  if (!name) return -1;
  int32_t i = name_index(e->voices, e->n_voices, name);
  return i >= 0 && e->genders[i] == letter ? i : -1;
}

int load_genders(tovantts_engine *e) {
  e->gender_default[TV_FEMALE] = e->gender_default[TV_MALE] = -1;
  if (!(e->genders = (char *)tv_calloc((size_t)e->n_voices + 1))) return -1;
  char *path = join_path(e->model_dir, "voices.json");
  if (!path) return -1;
  const int exists = access(path, R_OK) == 0;
  tv_free(path);
  if (exists) {
    // A voices.json that does not parse here only means "no genders".
    tv_json *vj = read_json(e->model_dir, "voices.json");
    const tv_json *list = tv_json_get(vj, "voices");
    if (list && list->kind == TV_JSON_ARR) {
      e->genders_loaded = 1;
      for (int32_t k = 0; k < list->count; k++) {
        const tv_json *item = &list->items[k];
        const char *name = tv_json_str(tv_json_get(item, "name"), NULL);
        if (!name) continue;
        int32_t i = k < e->n_voices && strcmp(e->voices[k], name) == 0 ? k : name_index(e->voices, e->n_voices, name);
        if (i < 0) continue;
        const char *g = tv_json_str(tv_json_get(item, "gender"), "");
        e->genders[i] = strcmp(g, "female") == 0 ? 'f' : strcmp(g, "male") == 0 ? 'm' : 0;
      }
    }
    tv_json_free(vj);
  }
  static const char *const WORD[2] = {"female", "male"};
  static const char *const BUILTIN[2] = {"voice_1688", "voice_2500"};
  static const char LETTER[2] = {'f', 'm'};
  for (int g = 0; g < 2; g++) {
    const char *first = cfg_str(e->config, "default_voices", WORD[g], NULL);
    int32_t i = find_voice(e, first, LETTER[g]);
    if (i < 0) i = find_voice(e, e->default_voice, LETTER[g]);
    if (i < 0) i = find_voice(e, BUILTIN[g], LETTER[g]);
    for (int32_t k = 0; i < 0 && k < e->n_voices; k++)
      if (e->genders[k] == LETTER[g]) i = k;
    e->gender_default[g] = i;
  }
  return 0;
}

tovantts_engine *create(const char *model_dir, const tovantts_config *given) {
  tovantts_config cfg;
  if (given)
    cfg = *given;
  else
    tovantts_default_config(&cfg);

  tovantts_engine *e = (tovantts_engine *)tv_calloc(sizeof *e);
  if (!e) return NULL;
  e->threads = cfg.threads;
  e->flow = cfg.flow;
  e->flow_steps = cfg.flow_steps < 1 ? 10 : cfg.flow_steps;
  e->noise = cfg.noise < 0.0f || cfg.noise != cfg.noise ? 0.4f : cfg.noise;
  e->guidance = cfg.guidance;
  e->gender_default[TV_FEMALE] = e->gender_default[TV_MALE] = -1;

  char num[32];
  if (!(cfg.guidance >= 0.0f && cfg.guidance <= 4.0f)) {
    tv_seterr("guidance=%s is outside [0.0, 4.0]", fmt_g(num, sizeof num, (double)cfg.guidance));
    goto fail;
  }
  {
    const char *prec = cfg.precision && cfg.precision[0] ? cfg.precision : "fp32";
    if (!(e->precision = tv_strdup(prec))) goto fail;
    if (strcmp(prec, "fp32") != 0 && strcmp(prec, "int8") != 0) {
      tv_seterr("precision must be one of ('fp32', 'int8')");
      goto fail;
    }
  }
  if (!model_dir || !model_dir[0]) model_dir = getenv("TOVANTTS_MODEL");
  if (!model_dir || !model_dir[0]) {
    tv_seterr("no model given: pass a local model directory or set TOVANTTS_MODEL");
    goto fail;
  }
  if (!(e->model_dir = tv_strdup(model_dir))) goto fail;
  if (cfg.native_dir && cfg.native_dir[0]) {
    if (!(e->native_dir = tv_strdup(cfg.native_dir))) goto fail;
  } else if (!(e->native_dir = join_path(model_dir, "native"))) {
    goto fail;
  }

  if (!(e->config = read_json(e->model_dir, "config.json"))) goto fail;
  {
    const char *type = cfg_str(e->config, "model_type", NULL, "");
    if (strcmp(type, "tovan-tts-edge") == 0) {
      e->edge = 1;
    } else if (strcmp(type, "tovan-tts") != 0) {
      tv_seterr("%s: unknown model_type '%s' (expected tovan-tts or tovan-tts-edge)", e->model_dir, type);
      goto fail;
    }
  }

  if (!(e->pool = tv_pool_create(resolve_threads(cfg.threads)))) goto fail;

  {
    char *front_dir = join_path(e->native_dir, "front");
    if (!front_dir) goto fail;
    e->front = tv_front_load(front_dir);
    tv_free(front_dir);
    if (!e->front) {
      tv_seterr("text front-end assets: %s", tv_geterr());
      goto fail;
    }
  }

  if ((e->edge ? load_edge(e) : load_full(e)) != 0) goto fail;

  {
    const int32_t g_dim = tv_acoustic_g_dim(e->acoustic), spk = tv_acoustic_spk_enc_dim(e->acoustic);
    if (g_dim > TV_ACOUSTIC_MAX_COND || spk != TV_SPK_VEC) {
      tv_seterr("%s: unsupported acoustic model (g_dim %d, speaker vector %d; expected <= 512 and 512)", e->model_dir,
                g_dim, spk);
      goto fail;
    }
    // Every tag's index must be a row of the model's tag table, or each
    // request with that tag would fail at rendering.
    const int32_t rows = tv_acoustic_n_tags(e->acoustic);
    if (e->n_tags > rows) {
      tv_seterr("%s: %d tags are configured but the acoustic model's tag table has %d rows", e->model_dir, e->n_tags,
                rows);
      goto fail;
    }
  }
  if (e->edge) {
    const int32_t spk_dim = cfg_int(path_get(e->config, "acoustic", "arch"), "spk_dim", NULL, 64);
    if (e->row_width != spk_dim) {
      tv_seterr("voices.safetensors rows have %d values, the acoustic model expects %d", e->row_width, spk_dim);
      goto fail;
    }
  }
  if (name_index(e->voices, e->n_voices, e->default_voice) < 0) {
    tv_seterr("default voice %s is not in the voice table", e->default_voice);
    goto fail;
  }
  if (load_genders(e) != 0) goto fail;
  return e;
fail:
  tovantts_destroy(e);
  return NULL;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers

int32_t name_index(char *const *names, int32_t count, const char *name) {
  if (!names || !name) return -1;
  for (int32_t i = 0; i < count; i++)
    if (names[i] && strcmp(names[i], name) == 0) return i;
  return -1;
}

int32_t resolve_threads(int32_t n) {
  if (n == 0) {
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    n = cpus < 1 ? 1 : cpus > 1024 ? 1024 : (int32_t)cpus;
  }
  return n < 2 ? 1 : n;
}

int str_list(const tv_json *v, char ***out, int32_t *count) {
  *out = NULL;
  *count = 0;
  if (!v || v->kind != TV_JSON_ARR) {
    tv_seterr("expected a list");
    return -1;
  }
  char **list = (char **)tv_calloc(sizeof(char *) * (size_t)(v->count > 0 ? v->count : 1));
  if (!list) return -1;
  for (int32_t i = 0; i < v->count; i++) {
    if (!(list[i] = tv_strdup(tv_json_str(&v->items[i], "")))) {
      str_list_free(list, i);
      return -1;
    }
  }
  *out = list;
  *count = v->count;
  return 0;
}

void str_list_free(char **list, int32_t count) {
  if (!list) return;
  for (int32_t i = 0; i < count; i++) tv_free(list[i]);
  tv_free(list);
}

tv_weights *open_weights(const char *dir, const char *sub, const char *name) {
  char rel[512];
  int n = sub ? snprintf(rel, sizeof rel, "%s/%s", sub, name) : snprintf(rel, sizeof rel, "%s", name);
  if (n < 0 || n >= (int)sizeof rel) {
    tv_seterr("%s: weights file name is longer than 511 characters", dir);
    return NULL;
  }
  char *path = join_path(dir, rel);
  if (!path) return NULL;
  tv_weights *w = tv_weights_open(path);
  tv_free(path);
  return w;
}

int asset_exists(const tovantts_engine *e, const char *name) {
  char rel[512];
  int n = strcmp(e->precision, "int8") == 0 ? snprintf(rel, sizeof rel, "int8/%s", name)
                                             : snprintf(rel, sizeof rel, "%s", name);
  if (n < 0 || n >= (int)sizeof rel) return 0;
  char *path = join_path(e->native_dir, rel);
  if (!path) return 0;
  FILE *f = fopen(path, "rb");
  tv_free(path);
  if (!f) return 0;
  fclose(f);
  return 1;
}

// ---------------------------------------------------------------------------
// Parts loaded on first need

int need_prompt(tovantts_engine *e) {
  if (e->edge) {
    tv_seterr("prompt= is not available in the edge build: free-text prompts and voice cloning run on a host "
              "with the full model");
    return -1;
  }
  if (e->prompt) return 0;
  const tv_json *cfg = e->config;
  if (!e->adapter_tags_read) {
    if (str_list(path_get(cfg, "prompt_adapter", "tags"), &e->adapter_tags, &e->n_adapter_tags) != 0) {
      tv_seterr("config.json: prompt_adapter.tags: %s", tv_geterr());
      return -1;
    }
    e->adapter_tags_read = 1;
  }
  if (!e->w_adapter &&
      !(e->w_adapter = open_weights(e->model_dir, subdir_int8(e, "int8"),
                                    cfg_str(cfg, "prompt_adapter", "file", "prompt_adapter.safetensors"))))
    return -1;
  if (!e->w_minilm && !(e->w_minilm = open_weights(e->native_dir, subdir_int8(e, "int8"), "minilm.safetensors"))) {
    tv_seterr("free-text prompts need the converted MiniLM encoder in %s (%s)" SETUP_NOTES, e->native_dir,
              tv_geterr());
    return -1;
  }
  char *vocab = join_path(e->native_dir, "minilm_vocab.txt");
  if (!vocab) return -1;
  e->prompt = tv_prompt_load(e->w_minilm, vocab, e->w_adapter, (const char *const *)e->adapter_tags, e->n_adapter_tags);
  tv_free(vocab);
  return e->prompt ? 0 : -1;
}

int need_wavlm(tovantts_engine *e) {
  if (e->edge) {
    tv_seterr("ref_wav= is not available in the edge build: free-text prompts and voice cloning run on a host "
              "with the full model");
    return -1;
  }
  if (e->wavlm) return 0;
  if (!e->w_wavlm && !(e->w_wavlm = open_weights(e->native_dir, subdir_int8(e, "int8"), "wavlm_sv.safetensors"))) {
    tv_seterr("voice cloning needs the converted WavLM speaker encoder in %s (%s)" SETUP_NOTES, e->native_dir,
              tv_geterr());
    return -1;
  }
  return (e->wavlm = tv_wavlm_load(e->w_wavlm)) ? 0 : -1;
}

int get_pflow(tovantts_engine *e, struct tv_flow **out) {
  *out = NULL;
  if (e->pflow) {
    *out = e->pflow;
    return 0;
  }
  if (e->pflow_missing || e->edge || !e->flow) return 0;
  const char *file = cfg_str(e->config, "prompted_flow", "file", NULL);
  const char *sub = subdir_int8(e, "int8");
  if (file) {
    char rel[512];
    int n = sub ? snprintf(rel, sizeof rel, "%s/%s", sub, file) : snprintf(rel, sizeof rel, "%s", file);
    char *path = n > 0 && n < (int)sizeof rel ? join_path(e->model_dir, rel) : NULL;
    FILE *f = path ? fopen(path, "rb") : NULL;
    tv_free(path);
    if (f) fclose(f);
    if (!f) file = NULL;
  }
  if (!file) {
    e->pflow_missing = 1;
    return 0;
  }
  if (!e->w_pflow && !(e->w_pflow = open_weights(e->model_dir, sub, file))) return -1;
  tv_flow *fl = tv_flow_load(e->w_pflow, path_get(e->config, "prompted_flow", "cfg"));
  if (!fl) return -1;
  if (check_flow(e, fl, "prompted flow") != 0) {
    tv_flow_free(fl);
    return -1;
  }
  *out = e->pflow = fl;
  return 0;
}

// ---------------------------------------------------------------------------
// Public: creation, threads, destruction

void tovantts_default_config(tovantts_config *cfg) {
  if (!cfg) return;
  memset(cfg, 0, sizeof *cfg);
  cfg->threads = 1;
  cfg->precision = "fp32";
  cfg->flow = 1;
  cfg->flow_steps = 10;
  cfg->noise = 0.4f;
  cfg->guidance = 1.0f;
  cfg->native_dir = NULL;
}

static void copy_err(char *err, size_t errlen) {
  if (err && errlen) snprintf(err, errlen, "%s", tv_geterr());
}

tovantts_engine *tovantts_create_ex(const char *model_dir, const tovantts_config *cfg, char *err, size_t errlen) {
  tovantts_engine *e = create(model_dir, cfg);
  if (!e) copy_err(err, errlen);
  return e;
}

tovantts_engine *tovantts_create(const char *model_dir, int32_t threads, char *err, size_t errlen) {
  tovantts_config cfg;
  tovantts_default_config(&cfg);
  cfg.threads = threads;
  return tovantts_create_ex(model_dir, &cfg, err, errlen);
}

void tovantts_destroy(tovantts_engine *e) {
  if (!e) return;
  tv_prompt_free(e->prompt);
  tv_wavlm_free(e->wavlm);
  tv_flow_free(e->refiner);
  tv_flow_free(e->pflow);
  tv_vocoder_free(e->vocoder);
  tv_acoustic_free(e->acoustic);
  tv_weights_close(e->w_minilm);
  tv_weights_close(e->w_adapter);
  tv_weights_close(e->w_wavlm);
  tv_weights_close(e->w_refiner);
  tv_weights_close(e->w_pflow);
  tv_weights_close(e->w_vocoder);
  tv_weights_close(e->w_acoustic);
  tv_weights_close(e->voices_w);
  tv_front_free(e->front);
  tv_pool_destroy(e->pool);
  tv_json_free(e->config);
  str_list_free(e->voices, e->n_voices);
  str_list_free(e->tags, e->n_tags);
  str_list_free(e->adapter_tags, e->n_adapter_tags);
  tv_free(e->default_voice);
  tv_free(e->genders);
  tv_free(e->model_dir);
  tv_free(e->native_dir);
  tv_free(e->precision);
  tv_free(e);
}

int32_t tovantts_set_threads(tovantts_engine *e, int32_t n) {
  if (!e) return -1;
  tv_pool *p = tv_pool_create(resolve_threads(n));
  if (!p) return -1;
  tv_pool_destroy(e->pool);
  e->pool = p;
  e->threads = n;
  return 0;
}

int32_t tovantts_threads(const tovantts_engine *e) { return e ? tv_pool_size(e->pool) : 0; }

int32_t tovantts_worker_tids(const tovantts_engine *e, int32_t *tids, int32_t cap) {
  if (!e || !tids) return 0;
  int32_t buf[256];
  if (cap > 256) cap = 256;
  if (cap < 0) cap = 0;
  int32_t n = tv_pool_tids(e->pool, buf, cap);
  if (n < 0) n = 0;
  if (n > cap) n = cap;
  memcpy(tids, buf, sizeof(int32_t) * (size_t)n);
  return n;
}

const char *tovantts_model_type(const tovantts_engine *e) {
  return e ? (e->edge ? "tovan-tts-edge" : "tovan-tts") : NULL;
}
