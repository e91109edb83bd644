// The director's matrix product on 8-wide registers (built with -mavx2).
// Same operations in the same order as the portable one, lane for lane, so
// both give the same bits; only used when tv_cpu_avx2() says so.
#include "api/director.h"

typedef float v8f __attribute__((vector_size(32)));

void tv_director_matvec_avx2(const tv_dir_mat *m, const float *x, float *y) {
    const int32_t cols = m->cols;
    auto finish = [&](int32_t p, v8f acc) {
        for (int32_t l = 0; l < 8; l++) {
            int32_t r = p * 8 + l;
            if (r < m->rows) y[r] = m->scale[r] * acc[l] + m->bias[r];
        }
    };
    int32_t p = 0;
    for (; p + 4 <= m->panels; p += 4) {
        const v8f *w0 = (const v8f *)(m->w + (size_t)p * (size_t)cols * 8);
        const v8f *w1 = w0 + cols, *w2 = w1 + cols, *w3 = w2 + cols;
        v8f a0 = {0}, a1 = {0}, a2 = {0}, a3 = {0};
        for (int32_t c = 0; c < cols; c++) {
            float xc = x[c];
            a0 += w0[c] * xc;
            a1 += w1[c] * xc;
            a2 += w2[c] * xc;
            a3 += w3[c] * xc;
        }
        finish(p, a0), finish(p + 1, a1), finish(p + 2, a2), finish(p + 3, a3);
    }
    for (; p < m->panels; p++) {
        const v8f *w0 = (const v8f *)(m->w + (size_t)p * (size_t)cols * 8);
        v8f a0 = {0};
        for (int32_t c = 0; c < cols; c++) a0 += w0[c] * x[c];
        finish(p, a0);
    }
}
