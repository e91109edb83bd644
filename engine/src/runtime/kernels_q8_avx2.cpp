// The 8-bit product and the row quantiser on AVX2 registers; compiled with
// -mavx2 -mfma and only entered after the run-time check. Plain AVX2 has no
// exact 8-bit dot product (the saturating one would clip u8 x s8 pairs), so
// each group of 4 bytes is split into its even and odd bytes as 16-bit values
// and summed with the 16-bit multiply-add, which is exact. Processors with
// the VEX-encoded 8-bit dot product (AVX-VNNI) take it instead
// (tv_q8_tile_avxvnni, enabled for those functions alone).
#include <immintrin.h>
#include <string.h>

#include "runtime/kernels_simd.h"

#define GROUP 64

// The byte-order-independent tail of a tile: the integer sums of one row and
// 16 columns into floats.
static inline void store16(__m256i lo, __m256i hi, int32_t z, const int32_t *sums, float s, const float *sw,
                           const float *bias, int nr, float *y) {
  const __m256i zz = _mm256_set1_epi32(z);
  lo = _mm256_sub_epi32(lo, _mm256_mullo_epi32(zz, _mm256_loadu_si256((const __m256i *)sums)));
  hi = _mm256_sub_epi32(hi, _mm256_mullo_epi32(zz, _mm256_loadu_si256((const __m256i *)(sums + 8))));
  alignas(32) float sc[16], b[16], out[16];
  for (int j = 0; j < 16; j++) {
    sc[j] = j < nr ? sw[j] : 0.0f;
    b[j] = bias && j < nr ? bias[j] : 0.0f;
  }
  const __m256 ss = _mm256_set1_ps(s);
  __m256 v0 = _mm256_mul_ps(_mm256_cvtepi32_ps(lo), _mm256_mul_ps(ss, _mm256_load_ps(sc)));
  __m256 v1 = _mm256_mul_ps(_mm256_cvtepi32_ps(hi), _mm256_mul_ps(ss, _mm256_load_ps(sc + 8)));
  if (bias) {
    v0 = _mm256_add_ps(v0, _mm256_load_ps(b));
    v1 = _mm256_add_ps(v1, _mm256_load_ps(b + 8));
  }
  if (nr == 16) {
    _mm256_storeu_ps(y, v0);
    _mm256_storeu_ps(y + 8, v1);
    return;
  }
  _mm256_store_ps(out, v0);
  _mm256_store_ps(out + 8, v1);
  memcpy(y, out, sizeof(float) * (size_t)nr);
}

// MR rows x one panel of 16 columns over all groups.
template <int MR>
static void rows16(int nr, int32_t groups, const uint8_t *A, int64_t lda, const float *scale, const int32_t *zero,
                   const int8_t *P, const int32_t *sums, const float *sw, const float *bias, float *Y, int64_t ldy) {
  __m256i acc[MR][2];
#pragma GCC unroll 4
  for (int i = 0; i < MR; i++) acc[i][0] = acc[i][1] = _mm256_setzero_si256();
  const __m256i low = _mm256_set1_epi16(0x00ff);
  for (int32_t g = 0; g < groups; g++) {
    const __m256i b0 = _mm256_load_si256((const __m256i *)(P + (int64_t)g * GROUP));
    const __m256i b1 = _mm256_load_si256((const __m256i *)(P + (int64_t)g * GROUP + 32));
    // Weights: even bytes and odd bytes of each 16-bit lane, sign-extended.
    const __m256i e0 = _mm256_srai_epi16(_mm256_slli_epi16(b0, 8), 8), o0 = _mm256_srai_epi16(b0, 8);
    const __m256i e1 = _mm256_srai_epi16(_mm256_slli_epi16(b1, 8), 8), o1 = _mm256_srai_epi16(b1, 8);
#pragma GCC unroll 4
    for (int i = 0; i < MR; i++) {
      int32_t w;
      memcpy(&w, A + i * lda + 4 * g, 4);
      const __m256i a = _mm256_set1_epi32(w);
      const __m256i ae = _mm256_and_si256(a, low), ao = _mm256_srli_epi16(a, 8);
      acc[i][0] = _mm256_add_epi32(acc[i][0], _mm256_add_epi32(_mm256_madd_epi16(ae, e0), _mm256_madd_epi16(ao, o0)));
      acc[i][1] = _mm256_add_epi32(acc[i][1], _mm256_add_epi32(_mm256_madd_epi16(ae, e1), _mm256_madd_epi16(ao, o1)));
    }
  }
#pragma GCC unroll 4
  for (int i = 0; i < MR; i++) store16(acc[i][0], acc[i][1], zero[i], sums, scale[i], sw, bias, nr, Y + i * ldy);
}

// A tile as blocks of up to MR rows by 16 columns; rows[m - 1] takes m rows.
typedef void (*rows_fn)(int nr, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                        const int32_t *zero, const int8_t *P, const int32_t *sums, const float *sw, const float *bias,
                        float *Y, int64_t ldy);

static void tile_by(int MR, const rows_fn *rows_of, int32_t rows, int32_t nc, int32_t groups, const uint8_t *A,
                    int64_t lda, const float *scale, const int32_t *zero, const int8_t *panels, int64_t pstride,
                    const int32_t *sums, const float *sw, const float *bias, float *Y, int64_t ldy) {
  for (int32_t r = 0; r < rows; r += MR) {
    const int mr = rows - r < MR ? rows - r : MR;
    for (int32_t c0 = 0; c0 < nc; c0 += 16)
      rows_of[mr - 1](nc - c0 < 16 ? nc - c0 : 16, groups, A + r * lda, lda, scale + r, zero + r,
                      panels + c0 / 16 * pstride, sums + c0, sw + c0, bias ? bias + c0 : NULL, Y + r * ldy + c0, ldy);
  }
}

void tv_q8_tile_avx2(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                     const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums, const float *sw,
                     const float *bias, float *Y, int64_t ldy) {
  static const rows_fn rows_of[] = {rows16<1>, rows16<2>, rows16<3>, rows16<4>};
  tile_by(4, rows_of, rows, nc, groups, A, lda, scale, zero, panels, pstride, sums, sw, bias, Y, ldy);
}

// ---- the same with the 8-bit dot product of AVX-VNNI (the attribute, not a
// target pragma, so that clang's sanitizer and fuzzing builds take it too)

template <int MR>
__attribute__((target("avxvnni"))) static void rows16_vnni(int nr, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                        const int32_t *zero, const int8_t *P, const int32_t *sums, const float *sw, const float *bias,
                        float *Y, int64_t ldy) {
  __m256i acc[MR][2];
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) acc[i][0] = acc[i][1] = _mm256_setzero_si256();
  for (int32_t g = 0; g < groups; g++) {
    const __m256i b0 = _mm256_load_si256((const __m256i *)(P + (int64_t)g * GROUP));
    const __m256i b1 = _mm256_load_si256((const __m256i *)(P + (int64_t)g * GROUP + 32));
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
      int32_t w;
      memcpy(&w, A + i * lda + 4 * g, 4);
      const __m256i a = _mm256_set1_epi32(w);
      acc[i][0] = _mm256_dpbusd_avx_epi32(acc[i][0], a, b0);
      acc[i][1] = _mm256_dpbusd_avx_epi32(acc[i][1], a, b1);
    }
  }
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) store16(acc[i][0], acc[i][1], zero[i], sums, scale[i], sw, bias, nr, Y + i * ldy);
}

void tv_q8_tile_avxvnni(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                        const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums,
                        const float *sw, const float *bias, float *Y, int64_t ldy) {
  static const rows_fn rows_of[] = {rows16_vnni<1>, rows16_vnni<2>, rows16_vnni<3>,
                                    rows16_vnni<4>, rows16_vnni<5>, rows16_vnni<6>};
  tile_by(6, rows_of, rows, nc, groups, A, lda, scale, zero, panels, pstride, sums, sw, bias, Y, ldy);
}

// ---- quantising rows

static inline float hmin(__m256 v) {
  __m128 s = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  s = _mm_min_ps(s, _mm_movehl_ps(s, s));
  return _mm_cvtss_f32(_mm_min_ss(s, _mm_shuffle_ps(s, s, 1)));
}

static inline float hmax(__m256 v) {
  __m128 s = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  s = _mm_max_ps(s, _mm_movehl_ps(s, s));
  return _mm_cvtss_f32(_mm_max_ss(s, _mm_shuffle_ps(s, s, 1)));
}

void tv_quant_rows_avx2(const float *X, int32_t rows, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq, float *scale,
                        int32_t *zero) {
  const int64_t kq = ((int64_t)K + 3) / 4 * 4;
  for (int32_t r = 0; r < rows; r++) {
    const float *x = X + r * ldx;
    uint8_t *q = Q + r * ldq;
    // Extremes lane-wise (a NaN operand leaves the lane as it was; min and
    // max are exact, so the order does not matter), NaN seen apart.
    // Four sets of lanes, so the chains of min and max overlap.
    __m256 lo8[4], hi8[4], nan8[4];
    for (int i = 0; i < 4; i++) lo8[i] = hi8[i] = nan8[i] = _mm256_setzero_ps();
    int32_t k = 0;
    for (; k + 32 <= K; k += 32)
#pragma GCC unroll 4
      for (int i = 0; i < 4; i++) {
        const __m256 v = _mm256_loadu_ps(x + k + 8 * i);
        lo8[i] = _mm256_min_ps(v, lo8[i]);
        hi8[i] = _mm256_max_ps(v, hi8[i]);
        nan8[i] = _mm256_or_ps(nan8[i], _mm256_cmp_ps(v, v, _CMP_UNORD_Q));
      }
    for (; k + 8 <= K; k += 8) {
      const __m256 v = _mm256_loadu_ps(x + k);
      lo8[0] = _mm256_min_ps(v, lo8[0]);
      hi8[0] = _mm256_max_ps(v, hi8[0]);
      nan8[0] = _mm256_or_ps(nan8[0], _mm256_cmp_ps(v, v, _CMP_UNORD_Q));
    }
    for (int i = 1; i < 4; i++) {
      lo8[0] = _mm256_min_ps(lo8[i], lo8[0]);
      hi8[0] = _mm256_max_ps(hi8[i], hi8[0]);
      nan8[0] = _mm256_or_ps(nan8[i], nan8[0]);
    }
    float lo = hmin(lo8[0]), hi = hmax(hi8[0]);
    int nan = _mm256_movemask_ps(nan8[0]) != 0;
    tv_q8_extremes(x, k, K, &lo, &hi, &nan);
    float inv;
    if (tv_q8_row_params(lo, hi, nan, &scale[r], &inv, &zero[r])) {
      memset(q, 0, (size_t)kq);
      continue;
    }
    const __m256 vi = _mm256_set1_ps(inv);
    const __m256i z = _mm256_set1_epi32(zero[r]), top = _mm256_set1_epi32(255), none = _mm256_setzero_si256();
    for (k = 0; k + 8 <= K; k += 8) {
      __m256i b = _mm256_add_epi32(_mm256_cvtps_epi32(_mm256_mul_ps(_mm256_loadu_ps(x + k), vi)), z);
      b = _mm256_min_epi32(_mm256_max_epi32(b, none), top);
      const __m128i w = _mm_packus_epi32(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));
      _mm_storel_epi64((__m128i *)(q + k), _mm_packus_epi16(w, w));
    }
    tv_q8_bytes(x, k, K, kq, inv, zero[r], q);
  }
}
