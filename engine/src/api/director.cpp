// Reading director: the "TVDR" file, text hashing and features, the int8
// sentence encoder and GRU, and planning a reading sentence by sentence.
#include "api/director.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "runtime/error.h"
#include "runtime/kernels.h"

namespace {

// Formats the message, keeps it as the thread's error text too, and copies it
// into the caller's buffer when there is one.
TV_PRINTF(3, 4) void fail(char *err, size_t errlen, const char *fmt, ...) {
    char buf[TV_ERRLEN];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    tv_seterr("%s", buf);
    if (err && errlen) snprintf(err, errlen, "%s", buf);
}

uint32_t rd_u32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

float rd_f32(const uint8_t *p) {
    uint32_t u = rd_u32(p);
    float f;
    memcpy(&f, &u, 4);
    return f;
}

// ---- file layout ----

// Where each array of a file starts; computed and checked before anything
// is allocated, in 64-bit arithmetic (counts are at most 2^32 x 256).
struct layout {
    uint64_t tok_scale, tokens, enc_scale, enc_w, enc_b, ig_scale, ig_w, hg_scale, hg_w, ig_b,
        hg_b, out_scale, out_w, out_b, end;
};

// 0, or -1 when an array runs past the end of the file.
int plan_layout(uint64_t size, uint64_t header, uint64_t A, uint64_t B, uint64_t H, uint64_t I,
                layout *L) {
    uint64_t off = header;
    bool ok = true;
    auto take = [&](uint64_t count, uint64_t elem) {
        uint64_t at = off;
        uint64_t need = count * elem;
        if (!ok || off > size || need > size - off) ok = false;
        else off += need;
        return at;
    };
    L->tok_scale = take(A, 4);
    L->tokens = take(A * B, 1);
    L->enc_scale = take(H, 4);
    L->enc_w = take(H * (B + 28), 1);
    L->enc_b = take(H, 4);
    L->ig_scale = take(3 * H, 4);
    L->ig_w = take(3 * H * I, 1);
    L->hg_scale = take(3 * H, 4);
    L->hg_w = take(3 * H * H, 1);
    L->ig_b = take(3 * H, 4);
    L->hg_b = take(3 * H, 4);
    L->out_scale = take(TV_DIR_PLAN, 4);
    L->out_w = take(TV_DIR_PLAN * 2 * H, 1);
    L->out_b = take(TV_DIR_PLAN, 4);
    L->end = off;
    return ok ? 0 : -1;
}

int32_t panels_of(int32_t rows) { return (rows + 7) / 8; }

// Regroups a row-major int8 matrix into panels of 8 rows, as floats (exact).
void to_panels(const int8_t *rowmajor, int32_t rows, int32_t cols, float *dst) {
    int32_t np = panels_of(rows);
    for (size_t i = 0; i < (size_t)np * (size_t)cols * 8; i++) dst[i] = 0.0f;
    for (int32_t r = 0; r < rows; r++)
        for (int32_t c = 0; c < cols; c++)
            dst[((size_t)(r / 8) * (size_t)cols + (size_t)c) * 8 + (size_t)(r % 8)] =
                (float)rowmajor[(size_t)r * (size_t)cols + (size_t)c];
}

typedef float v4f __attribute__((vector_size(16)));

// y[r] = scale[r] * (row r . x) + bias[r]. Each row's products are added in
// input order (the plain dot product, bit for bit); four panels run side by
// side so that their additions overlap, in 4-wide halves that stay in
// registers.
void matvec(const tv_dir_mat *m, const float *x, float *y) {
    if (tv_cpu_avx2()) {
        tv_director_matvec_avx2(m, x, y);
        return;
    }
    const int32_t cols = m->cols;
    auto finish = [&](int32_t p, v4f lo, v4f hi) {
        for (int32_t l = 0; l < 8; l++) {
            int32_t r = p * 8 + l;
            if (r < m->rows) y[r] = m->scale[r] * (l < 4 ? lo[l] : hi[l - 4]) + m->bias[r];
        }
    };
    int32_t p = 0;
    for (; p + 4 <= m->panels; p += 4) {
        const v4f *w0 = (const v4f *)(m->w + (size_t)p * (size_t)cols * 8);
        const v4f *w1 = w0 + 2 * cols, *w2 = w1 + 2 * cols, *w3 = w2 + 2 * cols;
        v4f a0 = {0}, b0 = {0}, a1 = {0}, b1 = {0}, a2 = {0}, b2 = {0}, a3 = {0}, b3 = {0};
        for (int32_t c = 0; c < cols; c++) {
            float xc = x[c];
            a0 += w0[2 * c] * xc, b0 += w0[2 * c + 1] * xc;
            a1 += w1[2 * c] * xc, b1 += w1[2 * c + 1] * xc;
            a2 += w2[2 * c] * xc, b2 += w2[2 * c + 1] * xc;
            a3 += w3[2 * c] * xc, b3 += w3[2 * c + 1] * xc;
        }
        finish(p, a0, b0), finish(p + 1, a1, b1), finish(p + 2, a2, b2), finish(p + 3, a3, b3);
    }
    for (; p < m->panels; p++) {
        const v4f *w0 = (const v4f *)(m->w + (size_t)p * (size_t)cols * 8);
        v4f a0 = {0}, b0 = {0};
        for (int32_t c = 0; c < cols; c++) {
            float xc = x[c];
            a0 += w0[2 * c] * xc, b0 += w0[2 * c + 1] * xc;
        }
        finish(p, a0, b0);
    }
}

float sigmoid(float v) { return 1.0f / (1.0f + expf(-v)); }

const char *const GENRES[TV_DIR_GENRES] = {"children", "adventure", "fantasy",   "mystery",
                                           "scifi",    "gothic",    "literary",  "humour",
                                           "nonfiction", "poetry"};

// ---- text ----

struct crc_table {
    uint32_t t[256];
    constexpr crc_table() : t() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
    }
};
constexpr crc_table CRC;

// The register update only: no inversion before or after.
uint32_t crc_update(uint32_t c, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++) c = (c >> 8) ^ CRC.t[(c ^ p[i]) & 0xFF];
    return c;
}

bool is_alpha(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }
bool is_space(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
uint8_t lower(uint8_t c) { return (c >= 'A' && c <= 'Z') ? (uint8_t)(c + 32) : c; }

// U+2026 and U+2014, and the closing quotes stripped before the last character.
bool is_seq(const uint8_t *p, uint8_t third) { return p[0] == 0xE2 && p[1] == 0x80 && p[2] == third; }
const uint8_t ELLIPSIS = 0xA6, EM_DASH = 0x94, RSQUO = 0x99, RDQUO = 0x9D, LDQUO = 0x9C;

}  // namespace

// ---- token hashing ----

uint16_t tv_director_hash(const char *bytes, size_t n, uint32_t start) {
    return (uint16_t)(~crc_update(start, (const uint8_t *)bytes, n) & 0x3FFF);
}

namespace {

// The register update over a token's bytes with ASCII letters lowercased.
uint32_t crc_lower(uint32_t c, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++) c = (c >> 8) ^ CRC.t[(c ^ lower(p[i])) & 0xFF];
    return c;
}

}  // namespace

int32_t tv_director_tokens(const char *text, uint16_t *ids) {
    const uint8_t *s = (const uint8_t *)text;
    size_t n = strlen(text);
    // Tokens as places in the text; their bytes are lowercased as they are hashed.
    size_t at[TV_DIR_MAX_TOKENS];
    uint8_t len[TV_DIR_MAX_TOKENS];
    int32_t nw = 0;
    size_t i = 0;
    while (i < n && nw < TV_DIR_MAX_TOKENS) {
        size_t start = i;
        uint8_t c = s[i];
        if (is_alpha(c) || c == '\'') {
            while (i < n && (is_alpha(s[i]) || s[i] == '\'')) i++;
        } else if (is_digit(c)) {
            while (i < n && is_digit(s[i])) i++;
        } else if (c == '!' || c == '?') {
            i++;
        } else if (i + 2 < n && (is_seq(s + i, ELLIPSIS) || is_seq(s + i, EM_DASH))) {
            i += 3;
        } else {
            i++;
            continue;
        }
        at[nw] = start;
        size_t tl = i - start, most = TV_DIR_MAX_TOKEN_BYTES;
        len[nw++] = (uint8_t)(tl < most ? tl : most);
    }
    int32_t count = 0;
    for (int32_t k = 0; k < nw; k++)
        ids[count++] = (uint16_t)(~crc_lower(TV_DIR_WORD_SEED, s + at[k], len[k]) & 0x3FFF);
    static const uint8_t under = '_';
    for (int32_t k = 0; k + 1 < nw && count < TV_DIR_MAX_TOKENS; k++) {
        uint32_t c = crc_lower(TV_DIR_BIGRAM_SEED, s + at[k], len[k]);
        c = crc_update(c, &under, 1);
        c = crc_lower(c, s + at[k + 1], len[k + 1]);
        ids[count++] = (uint16_t)(~c & 0x3FFF);
    }
    return count;
}

// ---- sentence features ----

namespace {

bool starts_with_heading(const uint8_t *s, size_t n) {
    static const char *const words[] = {"chapter", "book", "part", "canto", "stanza"};
    for (const char *w : words) {
        size_t k = strlen(w);
        if (n < k) continue;
        bool same = true;
        for (size_t i = 0; i < k && same; i++) same = lower(s[i]) == (uint8_t)w[i];
        if (!same) continue;
        if (n == k) return true;
        uint8_t c = s[k];
        if (!is_alpha(c) && !is_digit(c) && c != '_') return true;
    }
    return false;
}

}  // namespace

void tv_director_features(const tovantts_sentence *sn, float *f) {
    const uint8_t *s = (const uint8_t *)sn->text;
    size_t n = strlen(sn->text);
    for (int i = 0; i < TV_DIR_FEATURES; i++) f[i] = 0;

    int32_t words = 0, commas = 0, colons = 0;
    bool in_word = false, upper = false, small = false, quote = false, dash = false;
    for (size_t i = 0; i < n; i++) {
        uint8_t c = s[i];
        if (is_space(c)) in_word = false;
        else if (!in_word) in_word = true, words++;
        if (c == ',') commas++;
        if (c == ';' || c == ':') colons++;
        if (c >= 'A' && c <= 'Z') upper = true;
        if (c >= 'a' && c <= 'z') small = true;
        if (c == '"' || (i + 2 < n && is_seq(s + i, LDQUO))) quote = true;
        if ((c == '-' && i + 1 < n && s[i + 1] == '-') || (i + 2 < n && is_seq(s + i, EM_DASH)))
            dash = true;
    }

    // The last character, past closing quotes, brackets and white space.
    size_t end = n;
    for (;;) {
        if (end > 0 && (is_space(s[end - 1]) || s[end - 1] == '"' || s[end - 1] == '\'' ||
                        s[end - 1] == ')'))
            end--;
        else if (end >= 3 && (is_seq(s + end - 3, RSQUO) || is_seq(s + end - 3, RDQUO)))
            end -= 3;
        else
            break;
    }
    bool last_ellipsis = end >= 3 && is_seq(s + end - 3, ELLIPSIS);
    uint8_t last = end > 0 && !last_ellipsis ? s[end - 1] : 0;
    size_t trimmed = n;
    while (trimmed > 0 && is_space(s[trimmed - 1])) trimmed--;
    bool dots = trimmed >= 3 && memcmp(s + trimmed - 3, "...", 3) == 0;

    f[0] = (float)(words < 60 ? words : 60) / 20.0f;
    f[1] = (float)commas / 3.0f;
    f[2] = (float)colons / 2.0f;
    f[3] = last == '?';
    f[4] = last == '!';
    f[5] = last == '.';
    f[6] = dots || last_ellipsis;
    f[7] = sn->dialogue != 0;
    f[8] = sn->hasSpeaker != 0;
    f[9] = quote;
    f[10] = dash;
    f[11] = upper && !small && words >= 2;
    // 64-bit: paraLen - 1 must not overflow for any 32-bit input.
    int64_t len = sn->paraLen, idx = sn->paraIndex;
    f[12] = idx == 0;
    f[13] = idx == len - 1;
    f[14] = (float)(len < 12 ? len : 12) / 6.0f;
    f[15] = len >= 2 ? (float)((double)idx / (double)(len - 1)) : 0.0f;
    f[16] = words < 5;
    f[17] = starts_with_heading(s, n);
}

// ---- encoder ----

void tv_director_encode(const tovantts_director *d, const char *text, const float *feat,
                        const float *genre, float *out) {
    uint16_t ids[TV_DIR_MAX_TOKENS];
    int32_t n = tv_director_tokens(text, ids);
    if (n == 0) ids[0] = 0, n = 1;
    float x[TV_DIR_MAX_WIDTH + TV_DIR_FEATURES + TV_DIR_GENRES];
    const int32_t B = d->B;
    for (int32_t b = 0; b < B; b++) x[b] = 0;
    for (int32_t k = 0; k < n; k++) {
        const int8_t *row = d->tokens + (size_t)ids[k] * (size_t)B;
        float sc = d->tok_scale[ids[k]];
        for (int32_t b = 0; b < B; b++) x[b] += sc * (float)row[b];
    }
    for (int32_t b = 0; b < B; b++) x[b] /= (float)n;
    memcpy(x + B, feat, TV_DIR_FEATURES * sizeof(float));
    memcpy(x + B + TV_DIR_FEATURES, genre, TV_DIR_GENRES * sizeof(float));
    matvec(&d->enc, x, out);
    for (int32_t h = 0; h < d->H; h++) out[h] = tanhf(out[h]);
}

// ---- loading ----

extern "C" tovantts_director *tovantts_director_from_memory(const void *bytes, size_t size,
                                                            char *err, size_t errlen) {
    const uint8_t *in = (const uint8_t *)bytes;
    if (!in || size < 32 || memcmp(in, "TVDR", 4) != 0) {
        fail(err, errlen, "not a director model (TVDR)");
        return NULL;
    }
    tovantts_director *d = (tovantts_director *)tv_calloc(sizeof *d);
    uint8_t *file = (uint8_t *)tv_malloc(size);
    if (!d || !file) {
        tv_free(d);
        tv_free(file);
        fail(err, errlen, "out of memory");
        return NULL;
    }
    memcpy(file, in, size);
    d->file = file;
    d->size = size;

    const char *msg = NULL;
    uint32_t version = rd_u32(file + 4);
    uint32_t A = rd_u32(file + 8), B = rd_u32(file + 12), H = rd_u32(file + 16);
    uint32_t F = rd_u32(file + 20), G = rd_u32(file + 24), P = rd_u32(file + 28), K = 0;
    uint64_t header = version == 2 ? 36 : 32;
    layout L;
    if (version != 1 && version != 2) {
        msg = "unsupported director model version";
    } else if (F != TV_DIR_FEATURES || G != TV_DIR_GENRES || P != TV_DIR_PLAN) {
        msg = "director model shape does not match this build";
    } else if (size < header) {
        msg = "director model file is truncated";
    } else if (K = version == 2 ? rd_u32(file + 32) : 0;
               B > TV_DIR_MAX_WIDTH || H > TV_DIR_MAX_WIDTH || K > TV_DIR_MAX_WIDTH ||
               A < TV_DIR_TOKEN_IDS) {
        // Token ids are 14-bit and index the table directly: a table with
        // fewer rows would be read past its end.
        msg = "director model shape is out of range";
    } else if (plan_layout(size, header, A, B, H, K > 0 ? 3 * H + 6 : 2 * H + 6, &L) != 0) {
        msg = "director model file is truncated";
    }
    if (msg) {
        tovantts_director_free(d);
        fail(err, errlen, "%s", msg);
        return NULL;
    }

    d->version = version;
    d->A = A;
    d->B = (int32_t)B;
    d->H = (int32_t)H;
    d->K = (int32_t)K;
    d->I = (int32_t)(K > 0 ? 3 * H + 6 : 2 * H + 6);
    const int32_t Hi = d->H, H3 = 3 * Hi;

    size_t nfloats = (size_t)A + 2 * (size_t)Hi + 4 * (size_t)H3 + 2 * TV_DIR_PLAN;
    size_t npanels = ((size_t)panels_of(Hi) * (size_t)(d->B + 28) +
                      (size_t)panels_of(H3) * (size_t)(d->I + Hi) +
                      (size_t)panels_of(TV_DIR_PLAN) * (size_t)(2 * Hi)) * 8;
    d->floats = (float *)tv_malloc(nfloats * sizeof(float));
    d->panels = (float *)tv_malloc(npanels * sizeof(float));
    if (!d->floats || !d->panels) {
        tovantts_director_free(d);
        fail(err, errlen, "out of memory");
        return NULL;
    }
    float *fp = d->floats;
    auto floats = [&](uint64_t at, size_t count) {
        float *dst = fp;
        for (size_t i = 0; i < count; i++) dst[i] = rd_f32(file + at + 4 * i);
        fp += count;
        return dst;
    };
    float *pp = d->panels;
    auto mat = [&](tv_dir_mat *m, uint64_t w, int32_t rows, int32_t cols, const float *scale,
                   const float *bias) {
        m->rows = rows;
        m->cols = cols;
        m->panels = panels_of(rows);
        m->scale = scale;
        m->bias = bias;
        to_panels((const int8_t *)(file + w), rows, cols, pp);
        m->w = pp;
        pp += (size_t)m->panels * (size_t)cols * 8;
    };
    d->tok_scale = floats(L.tok_scale, A);
    d->tokens = (const int8_t *)(file + L.tokens);
    const float *enc_scale = floats(L.enc_scale, Hi);
    const float *enc_b = floats(L.enc_b, Hi);
    const float *ig_scale = floats(L.ig_scale, H3);
    const float *hg_scale = floats(L.hg_scale, H3);
    const float *ig_b = floats(L.ig_b, H3);
    const float *hg_b = floats(L.hg_b, H3);
    const float *out_scale = floats(L.out_scale, TV_DIR_PLAN);
    const float *out_b = floats(L.out_b, TV_DIR_PLAN);
    mat(&d->enc, L.enc_w, Hi, d->B + 28, enc_scale, enc_b);
    mat(&d->ig, L.ig_w, H3, d->I, ig_scale, ig_b);
    mat(&d->hg, L.hg_w, H3, Hi, hg_scale, hg_b);
    mat(&d->out, L.out_w, TV_DIR_PLAN, 2 * Hi, out_scale, out_b);

    if (size - L.end >= TV_DIR_CAL_BYTES && memcmp(file + L.end, "CAL1", 4) == 0) {
        d->has_cal = 1;
        for (int i = 0; i < 25; i++) d->cal[i] = rd_f32(file + L.end + 4 + 4 * i);
    }
    return d;
}

extern "C" tovantts_director *tovantts_director_load(const char *path, char *err,
                                                     size_t errlen) {
    if (!path || !*path) {
        fail(err, errlen, "no director path");
        return NULL;
    }
    // The joined path is never cut: a cut path could name some other file.
    size_t n = strlen(path);
    bool is_file = n >= 5 && strcmp(path + n - 4, ".bin") == 0;
    const char *tail = is_file ? "" : path[n - 1] == '/' ? "director.bin" : "/director.bin";
    char *file = (char *)tv_malloc(n + strlen(tail) + 1);
    if (!file) {
        fail(err, errlen, "cannot read the director model");
        return NULL;
    }
    memcpy(file, path, n);
    memcpy(file + n, tail, strlen(tail) + 1);
    FILE *fh = fopen(file, "rb");
    if (!fh) {
        fail(err, errlen, "cannot open %s", file);
        tv_free(file);
        return NULL;
    }
    tv_free(file);
    // Read to the end rather than trusting a seek: works for any readable file.
    uint8_t *buf = NULL;
    size_t len = 0, cap = 0;
    bool bad = false;
    for (;;) {
        if (len == cap) {
            size_t ncap = cap ? cap * 2 : 1 << 16;
            uint8_t *nb = ncap > cap ? (uint8_t *)tv_malloc(ncap) : NULL;
            if (!nb) {
                bad = true;
                break;
            }
            if (len) memcpy(nb, buf, len);
            tv_free(buf);
            buf = nb;
            cap = ncap;
        }
        size_t got = fread(buf + len, 1, cap - len, fh);
        len += got;
        if (got == 0) {
            bad = ferror(fh) != 0;
            break;
        }
    }
    fclose(fh);
    if (bad || len == 0) {
        tv_free(buf);
        fail(err, errlen, "cannot read the director model");
        return NULL;
    }
    tovantts_director *d = tovantts_director_from_memory(buf, len, err, errlen);
    tv_free(buf);
    return d;
}

extern "C" void tovantts_director_free(tovantts_director *d) {
    if (!d) return;
    tv_free(d->file);
    tv_free(d->floats);
    tv_free(d->panels);
    tv_free(d);
}

extern "C" const char *tovantts_director_genre(uint32_t index) {
    return index < TV_DIR_GENRES ? GENRES[index] : NULL;
}

// ---- reading ----

extern "C" tovantts_reading *tovantts_reading_begin(const tovantts_director *d,
                                                    const char *genre) {
    if (!d) return NULL;
    tovantts_reading *r = (tovantts_reading *)tv_calloc(sizeof *r);
    if (!r) return NULL;
    r->d = d;
    for (int g = 0; genre && g < TV_DIR_GENRES; g++)
        if (strcmp(genre, GENRES[g]) == 0) r->genre[g] = 1.0f;
    return r;
}

extern "C" void tovantts_reading_free(tovantts_reading *r) {
    if (!r) return;
    tv_free(r->cache_text);
    tv_free(r);
}

namespace {

// Keeps the look-ahead encoding for the next call; on no memory the cache
// just stays empty and the next call encodes again.
void cache_store(tovantts_reading *r, const char *text, const float *feat, const float *enc) {
    size_t n = strlen(text) + 1;
    if (n > r->cache_cap) {
        tv_free(r->cache_text);
        r->cache_text = (char *)tv_malloc(n);
        r->cache_cap = r->cache_text ? n : 0;
        if (!r->cache_text) return;
    }
    memcpy(r->cache_text, text, n);
    memcpy(r->cache_feat, feat, sizeof r->cache_feat);
    memcpy(r->cache_enc, enc, (size_t)r->d->H * sizeof(float));
    r->cache_valid = 1;
}

}  // namespace

extern "C" int32_t tovantts_reading_next(tovantts_reading *r, const tovantts_sentence *s,
                                         const tovantts_sentence *next, float *out) {
    if (!r || !s || !s->text || !out) {
        tv_seterr("tovantts_reading_next: NULL state, sentence, text or plan");
        return 1;
    }
    const tovantts_director *d = r->d;
    const int32_t H = d->H;
    bool has_next = next && next->text;
    float feat[TV_DIR_FEATURES], next_feat[TV_DIR_FEATURES];
    tv_director_features(s, feat);
    if (has_next) tv_director_features(next, next_feat);

    float cur[TV_DIR_MAX_WIDTH], nxt[TV_DIR_MAX_WIDTH];
    if (r->cache_valid && strcmp(r->cache_text, s->text) == 0 &&
        memcmp(r->cache_feat, feat, sizeof feat) == 0)
        memcpy(cur, r->cache_enc, (size_t)H * sizeof(float));
    else
        tv_director_encode(d, s->text, feat, r->genre, cur);
    r->cache_valid = 0;
    if (has_next) {
        tv_director_encode(d, next->text, next_feat, r->genre, nxt);
        cache_store(r, next->text, next_feat, nxt);
    } else {
        for (int32_t h = 0; h < H; h++) nxt[h] = 0;
    }

    // GRU input: current, next, [context], previous plan.
    float x[3 * TV_DIR_MAX_WIDTH + TV_DIR_PLAN];
    float *xp = x;
    memcpy(xp, cur, (size_t)H * sizeof(float)), xp += H;
    memcpy(xp, nxt, (size_t)H * sizeof(float)), xp += H;
    if (d->K > 0) {
        // Mean of the filled rows, each column summed in row order; rows are
        // 64 wide with zeros past H, so whole 4-wide groups can be added.
        v4f sum[TV_DIR_MAX_WIDTH / 4] = {};
        for (int32_t k = 0; k < r->ring_fill; k++) {
            const v4f *row = (const v4f *)(r->ring + k * TV_DIR_MAX_WIDTH);
            for (int32_t q = 0; q < TV_DIR_MAX_WIDTH / 4; q++) sum[q] += row[q];
        }
        for (int32_t h = 0; h < H; h++)
            xp[h] = r->ring_fill ? sum[h / 4][h % 4] / (float)r->ring_fill : 0.0f;
        xp += H;
    }
    memcpy(xp, r->prev, sizeof r->prev);

    float gi[3 * TV_DIR_MAX_WIDTH], gh[3 * TV_DIR_MAX_WIDTH];
    matvec(&d->ig, x, gi);
    matvec(&d->hg, r->h, gh);
    for (int32_t h = 0; h < H; h++) {
        float rr = sigmoid(gi[h] + gh[h]);
        float z = sigmoid(gi[H + h] + gh[H + h]);
        float nn = tanhf(gi[2 * H + h] + rr * gh[2 * H + h]);
        r->h[h] = (1.0f - z) * nn + z * r->h[h];
    }

    float y[2 * TV_DIR_MAX_WIDTH];
    memcpy(y, r->h, (size_t)H * sizeof(float));
    memcpy(y + H, cur, (size_t)H * sizeof(float));
    matvec(&d->out, y, out);
    memcpy(r->prev, out, sizeof r->prev);

    if (d->K > 0) {
        memcpy(r->ring + r->ring_pos * TV_DIR_MAX_WIDTH, cur, (size_t)H * sizeof(float));
        r->ring_pos = (r->ring_pos + 1) % d->K;
        if (r->ring_fill < d->K) r->ring_fill++;
    }
    return 0;
}

extern "C" int32_t tovantts_director_plan(const tovantts_director *d,
                                          const tovantts_sentence *sentences, int32_t count,
                                          const char *genre, float *out, char *err,
                                          size_t errlen) {
    if (!d || (count > 0 && (!sentences || !out))) {
        fail(err, errlen, "tovantts_director_plan: NULL director, sentences or plans");
        return 1;
    }
    if (count < 0) {
        fail(err, errlen, "tovantts_director_plan: negative sentence count");
        return 1;
    }
    tovantts_reading *r = tovantts_reading_begin(d, genre);
    if (!r) {
        fail(err, errlen, "out of memory");
        return 1;
    }
    for (int32_t i = 0; i < count; i++) {
        if (!sentences[i].text) {
            tovantts_reading_free(r);
            fail(err, errlen, "tovantts_director_plan: a sentence without text");
            return 1;
        }
        const tovantts_sentence *next = i + 1 < count ? &sentences[i + 1] : NULL;
        tovantts_reading_next(r, &sentences[i], next, out + (size_t)i * TV_DIR_PLAN);
    }
    tovantts_reading_free(r);
    return 0;
}
