// Writing director files: seeded weights for tests, and the development
// director the development model directory carries.
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "api/director.h"
#include "runtime/error.h"

namespace {

void wr_u32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16), p[3] = (uint8_t)(v >> 24);
}

void wr_f32(uint8_t *p, float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    wr_u32(p, u);
}

int32_t input_width(const tv_director_arrays *a) { return a->K > 0 ? 3 * a->H + 6 : 2 * a->H + 6; }

// Element counts of the arrays in file order; floats are 4 bytes, the rest 1.
struct part {
    size_t count;
    bool is_float;
};

void parts_of(const tv_director_arrays *a, part p[14]) {
    size_t A = (size_t)a->A, B = (size_t)a->B, H = (size_t)a->H, I = (size_t)input_width(a);
    const part all[14] = {{A, true},           {A * B, false},      {H, true},
                          {H * (B + 28), false}, {H, true},         {3 * H, true},
                          {3 * H * I, false},  {3 * H, true},       {3 * H * H, false},
                          {3 * H, true},       {3 * H, true},       {6, true},
                          {6 * 2 * H, false},  {6, true}};
    memcpy(p, all, sizeof all);
}

void array_slots(const tv_director_arrays *a, void *slots[14]) {
    void *all[14] = {a->tok_scale, a->tokens, a->enc_scale, a->enc_w,     a->enc_b,
                     a->ig_scale,  a->ig_w,   a->hg_scale,  a->hg_w,      a->ig_b,
                     a->hg_b,      a->out_scale, a->out_w,  a->out_b};
    memcpy(slots, all, sizeof all);
}

size_t bytes_of(const part &q) { return ((q.is_float ? 4 : 1) * q.count + 63) / 64 * 64; }

// splitmix64: the same numbers on every machine.
struct rng {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float unit() { return (float)(next() >> 40) * (1.0f / 16777216.0f); }  // [0, 1), exact
    int8_t weight() { return (int8_t)((int32_t)(next() % 255) - 127); }
};

}  // namespace

tv_director_arrays *tv_director_arrays_new(uint32_t version, int32_t A, int32_t B, int32_t H,
                                           int32_t K) {
    if ((version != 1 && version != 2) || A < 0 || A > (1 << 20) || B < 0 ||
        B > TV_DIR_MAX_WIDTH || H < 0 || H > TV_DIR_MAX_WIDTH || K < 0 ||
        K > TV_DIR_MAX_WIDTH || (version == 1 && K != 0)) {
        tv_seterr("director: shape is out of range");
        return NULL;
    }
    tv_director_arrays *a = (tv_director_arrays *)tv_calloc(sizeof *a);
    if (!a) return NULL;
    a->version = version, a->A = A, a->B = B, a->H = H, a->K = K;
    part p[14];
    parts_of(a, p);
    size_t total = 0;
    for (const part &q : p) total += bytes_of(q);
    uint8_t *block = (uint8_t *)tv_calloc(total);
    if (!block) {
        tv_free(a);
        return NULL;
    }
    a->block = block;
    size_t off = 0;
    int slot = 0;
    auto next = [&]() {
        uint8_t *q = block + off;
        off += bytes_of(p[slot++]);
        return q;
    };
    a->tok_scale = (float *)next();
    a->tokens = (int8_t *)next();
    a->enc_scale = (float *)next();
    a->enc_w = (int8_t *)next();
    a->enc_b = (float *)next();
    a->ig_scale = (float *)next();
    a->ig_w = (int8_t *)next();
    a->hg_scale = (float *)next();
    a->hg_w = (int8_t *)next();
    a->ig_b = (float *)next();
    a->hg_b = (float *)next();
    a->out_scale = (float *)next();
    a->out_w = (int8_t *)next();
    a->out_b = (float *)next();
    return a;
}

void tv_director_arrays_free(tv_director_arrays *a) {
    if (!a) return;
    tv_free(a->block);
    tv_free(a);
}

void tv_director_arrays_seed(tv_director_arrays *a, uint64_t seed, int32_t with_cal) {
    rng g{seed};
    const int32_t B = a->B, H = a->H, I = input_width(a);
    // Row scales keep each product near unit size whatever the width.
    auto scales = [&](float *s, int32_t rows, int32_t cols) {
        float norm = 127.0f * sqrtf((float)(cols > 0 ? cols : 1));
        for (int32_t r = 0; r < rows; r++) s[r] = (0.5f + g.unit()) / norm;
    };
    auto weights = [&](int8_t *w, size_t n) {
        for (size_t i = 0; i < n; i++) w[i] = g.weight();
    };
    auto biases = [&](float *b, int32_t n, float spread) {
        for (int32_t i = 0; i < n; i++) b[i] = (g.unit() - 0.5f) * spread;
    };
    for (int32_t r = 0; r < a->A; r++) a->tok_scale[r] = (0.5f + g.unit()) / 127.0f;
    weights(a->tokens, (size_t)a->A * (size_t)B);
    scales(a->enc_scale, H, B + 28);
    weights(a->enc_w, (size_t)H * (size_t)(B + 28));
    biases(a->enc_b, H, 0.4f);
    scales(a->ig_scale, 3 * H, I);
    weights(a->ig_w, (size_t)(3 * H) * (size_t)I);
    scales(a->hg_scale, 3 * H, H);
    weights(a->hg_w, (size_t)(3 * H) * (size_t)H);
    biases(a->ig_b, 3 * H, 0.4f);
    biases(a->hg_b, 3 * H, 0.4f);
    scales(a->out_scale, 6, 2 * H);
    weights(a->out_w, (size_t)6 * (size_t)(2 * H));
    biases(a->out_b, 6, 0.6f);
    a->has_cal = with_cal != 0;
    for (int i = 0; i < 25; i++)
        a->cal[i] = with_cal ? (i % 6 == 0 ? 1.0f : 0.0f) + (g.unit() - 0.5f) * 0.4f : 0.0f;
}

tv_director_arrays *tv_director_arrays_dev(void) {
    // Neutral prosody: the five control plans stay 0. The pause plan is
    // ln(1 + seconds): 0.35 s between sentences, 0.70 s at a paragraph's end,
    // 1.0 s after a heading line, 0.2 s more after an ellipsis. The encoder
    // turns each cue into a unit of one hidden value; the output row adds it.
    const int32_t B = 4, H = 3;
    tv_director_arrays *a = tv_director_arrays_new(2, TV_DIR_TOKEN_IDS, B, H, 0);
    if (!a) return NULL;
    const int32_t cues[H] = {13, 17, 6};  // paragraph end, heading, ellipsis
    const double unit = tanh(2.0);
    const double base = log(1.35);
    const double extra[H] = {log(1.70) - base, log(2.00) - log(1.70), log(1.55) - base};
    const float out_scale = 0.002f;
    for (int32_t h = 0; h < H; h++) {
        a->enc_w[h * (B + 28) + B + cues[h]] = 127;
        a->enc_scale[h] = 2.0f / 127.0f;
        double w = extra[h] / (unit * out_scale);
        a->out_w[5 * 2 * H + H + h] = (int8_t)lround(w < 127 ? w : 127);
    }
    a->out_scale[5] = out_scale;
    a->out_b[5] = (float)base;
    return a;
}

int32_t tv_director_serialize(const tv_director_arrays *a, uint8_t **bytes, size_t *size) {
    *bytes = NULL;
    *size = 0;
    part p[14];
    void *slots[14];
    parts_of(a, p);
    array_slots(a, slots);
    size_t header = a->version == 2 ? 36 : 32, total = header;
    for (const part &q : p) total += (q.is_float ? 4 : 1) * q.count;
    if (a->has_cal) total += TV_DIR_CAL_BYTES;
    uint8_t *out = (uint8_t *)tv_malloc(total);
    if (!out) return -1;
    memcpy(out, "TVDR", 4);
    const uint32_t head[8] = {a->version, (uint32_t)a->A, (uint32_t)a->B, (uint32_t)a->H,
                              TV_DIR_FEATURES, TV_DIR_GENRES, TV_DIR_PLAN, (uint32_t)a->K};
    for (size_t i = 0; i < (header - 4) / 4; i++) wr_u32(out + 4 + 4 * i, head[i]);
    size_t off = header;
    for (int i = 0; i < 14; i++) {
        if (p[i].is_float) {
            const float *f = (const float *)slots[i];
            for (size_t k = 0; k < p[i].count; k++) wr_f32(out + off + 4 * k, f[k]);
            off += 4 * p[i].count;
        } else {
            memcpy(out + off, slots[i], p[i].count);
            off += p[i].count;
        }
    }
    if (a->has_cal) {
        memcpy(out + off, "CAL1", 4);
        for (int i = 0; i < 25; i++) wr_f32(out + off + 4 + 4 * i, a->cal[i]);
    }
    *bytes = out;
    *size = total;
    return 0;
}

int32_t tv_director_save(const tv_director_arrays *a, const char *path) {
    uint8_t *bytes;
    size_t size;
    if (tv_director_serialize(a, &bytes, &size) != 0) return -1;
    std::string tmp = std::string(path) + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        tv_seterr("director: cannot write %s: %s", path, strerror(errno));
        tv_free(bytes);
        return -1;
    }
    fchmod(fd, 0644);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (size_t)n;
    }
    bool ok = done == size && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    tv_free(bytes);
    if (!ok || rename(tmp.c_str(), path) != 0) {
        tv_seterr("director: cannot write %s: %s", path, strerror(errno));
        unlink(tmp.c_str());
        return -1;
    }
    return 0;
}

int32_t tv_director_write_dev(const char *path) {
    tv_director_arrays *a = tv_director_arrays_dev();
    if (!a) return -1;
    int32_t rc = tv_director_save(a, path);
    tv_director_arrays_free(a);
    return rc;
}
