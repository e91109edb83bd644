// Kernel and pool benchmarks: GEMM GFLOP/s on every path and thread count,
// the element-wise kernels, the quantised linear layer, attention, the pool's
// hand-over cost, and the core's measured AVX2 FMA peak for comparison.
// engine/bench/gemm_vs_openblas.py runs the GEMM rows beside numpy on OpenBLAS.
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"
#include "runtime/pool.h"
#include "runtime/stwriter.h"

namespace {

std::vector<float> noise(size_t n, uint32_t seed) {
  std::vector<float> v(n);
  uint32_t s = seed * 2654435761u + 1;
  for (float &x : v) {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    x = (float)(s >> 8) / 8388608.0f - 1.0f;
  }
  return v;
}

using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;
Pool make_pool(int threads) { return Pool(tv_pool_create(threads), tv_pool_destroy); }

const char *path_name(int path) {
  return path == TV_PATH_AVX512 ? "avx512" : path == TV_PATH_AVX2 ? "avx2" : "portable";
}

// Takes the path for one benchmark; false (and the row skipped) when this
// processor or the environment does not allow it.
bool take_path(benchmark::State &st, int path) {
  tv_cpu_path_cap(path);
  if (tv_cpu_path() == path) return true;
  tv_cpu_path_cap(TV_PATH_AVX512);
  st.SkipWithError((std::string(path_name(path)) + " path not available").c_str());
  return false;
}

// Arguments: M, N, K, path (0 portable, 1 AVX2, 2 AVX-512), threads.
void BM_Gemm(benchmark::State &st) {
  int M = (int)st.range(0), N = (int)st.range(1), K = (int)st.range(2);
  int path = (int)st.range(3), threads = (int)st.range(4);
  if (!take_path(st, path)) return;
  Pool pool = make_pool(threads);
  std::vector<float> A = noise((size_t)M * K, 1), B = noise((size_t)N * K, 2), Y((size_t)M * N);
  for (auto _ : st) {
    tv_gemm_nt(pool.get(), M, N, K, A.data(), K, B.data(), K, Y.data(), N, nullptr, 0);
    benchmark::ClobberMemory();
  }
  st.counters["GFLOP/s"] = benchmark::Counter(2.0 * M * N * K * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
  st.SetLabel(std::string(path_name(path)) + " x" + std::to_string(threads));
  tv_cpu_path_cap(TV_PATH_AVX512);
}

void GemmArgs(benchmark::internal::Benchmark *b) {
  for (int path : {TV_PATH_AVX512, TV_PATH_AVX2, TV_PATH_PORTABLE})
    for (int threads : {1, 4}) {
      b->Args({256, 256, 256, path, threads});
      b->Args({1000, 1536, 384, path, threads});
    }
}
BENCHMARK(BM_Gemm)->Apply(GemmArgs)->ArgNames({"M", "N", "K", "path", "thr"})->UseRealTime()->Unit(benchmark::kMillisecond);

// The element-wise kernels over 1000 rows of 1536 (GELU) or 384 (layer norm)
// values, and 500 x 500 softmax rows, on one thread. Arguments: kernel, path.
void BM_Elementwise(benchmark::State &st) {
  int kernel = (int)st.range(0), path = (int)st.range(1);
  if (!take_path(st, path)) return;
  static const int widths[] = {1536, 384, 500};
  int rows = kernel == 2 ? 500 : 1000, n = widths[kernel];
  std::vector<float> X0 = noise((size_t)rows * n, 9), X = X0, gamma = noise(n, 1), beta = noise(n, 2);
  for (auto _ : st) {
    st.PauseTiming();
    memcpy(X.data(), X0.data(), X.size() * sizeof(float));
    st.ResumeTiming();
    if (kernel == 0) tv_gelu(X.data(), X.size());
    else if (kernel == 1) tv_layernorm(X.data(), rows, n, n, gamma.data(), beta.data(), 1e-5f);
    else tv_softmax_rows(X.data(), rows, n, n);
    benchmark::ClobberMemory();
  }
  static const char *names[] = {"gelu", "layernorm", "softmax"};
  st.counters["Melem/s"] = benchmark::Counter(rows * (double)n * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
  st.SetLabel(std::string(names[kernel]) + " " + path_name(path));
  tv_cpu_path_cap(TV_PATH_AVX512);
}
BENCHMARK(BM_Elementwise)
    ->ArgsProduct({{0, 1, 2}, {TV_PATH_AVX512, TV_PATH_AVX2, TV_PATH_PORTABLE}})
    ->ArgNames({"kernel", "path"})
    ->Unit(benchmark::kMicrosecond);

// The linear layer over quantised weights (1000 rows x 1536 outputs x 384 inputs).
void BM_LinearQuant(benchmark::State &st) {
  int storage = (int)st.range(0), threads = (int)st.range(1);
  const int n = 1000, N = 1536, K = 384;
  std::string path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/tovantts-bench-" +
                     std::to_string(getpid()) + ".safetensors";
  std::vector<float> w = noise((size_t)N * K, 3);
  int64_t d[2] = {N, K};
  tv_stwriter *sw = tv_stwriter_create();
  tv_stwriter_add_mat(sw, "w", storage, 2, d, w.data(), 32, 0);
  tv_stwriter_save(sw, path.c_str());
  tv_stwriter_free(sw);
  tv_weights *ws = tv_weights_open(path.c_str());
  unlink(path.c_str());
  const tv_mat *W = ws ? tv_weights_mat(ws, "w", N, K) : nullptr;
  if (!W) {
    st.SkipWithError(tv_geterr());
    tv_weights_close(ws);
    return;
  }
  Pool pool = make_pool(threads);
  std::vector<float> X = noise((size_t)n * K, 4), Y((size_t)n * N);
  for (auto _ : st) {
    tv_linear(pool.get(), X.data(), n, K, W, nullptr, Y.data(), N, 0);
    benchmark::ClobberMemory();
  }
  st.counters["GFLOP/s"] = benchmark::Counter(2.0 * n * N * K * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
  static const char *names[] = {"f32", "fp16", "int8", "int4"};
  st.SetLabel(std::string(names[storage]) + " x" + std::to_string(threads));
  tv_weights_close(ws);
}
BENCHMARK(BM_LinearQuant)
    ->ArgsProduct({{TV_ST_INT8, TV_ST_INT4}, {1, 4}})
    ->ArgNames({"storage", "thr"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The 8-bit product (activation rows quantised, int8 weights relaid) at the
// refiner's two shapes over 10 s of frames: 938 x 384 -> 1152 and back.
// Arguments: the depth K (N is the other of 384 and 1152), path, threads. The
// rows are quantised once outside the loop; BM_QuantRows measures that.
void BM_LinearQ8(benchmark::State &st) {
  const int n = 938, K = (int)st.range(0), N = K == 384 ? 1152 : 384;
  const int path = (int)st.range(1), threads = (int)st.range(2);
  if (!take_path(st, path)) return;
  std::vector<float> w = noise((size_t)N * K, 3), sw(N, 0.01f), X = noise((size_t)n * K, 4), Y((size_t)n * N);
  std::vector<int8_t> q(w.size());
  for (size_t i = 0; i < w.size(); i++) q[i] = (int8_t)(w[i] * 127);
  tv_mat W;
  memset(&W, 0, sizeof W);
  W.storage = TV_MAT_I8, W.rows = N, W.cols = K, W.i8 = q.data(), W.scales = sw.data();
  tv_q8mat M;
  if (tv_q8mat_make(&W, &M) != 0) {
    st.SkipWithError(tv_geterr());
    return;
  }
  const int64_t ldq = tv_q8_depth(K);
  std::vector<uint8_t> Q((size_t)n * ldq);
  std::vector<float> scale(n);
  std::vector<int32_t> zero(n);
  tv_quant_rows(X.data(), n, K, K, Q.data(), ldq, scale.data(), zero.data());
  Pool pool = make_pool(threads);
  for (auto _ : st) {
    tv_linear_q8(pool.get(), Q.data(), ldq, scale.data(), zero.data(), n, &M, sw.data(), Y.data(), N);
    benchmark::ClobberMemory();
  }
  st.counters["GOP/s"] = benchmark::Counter(2.0 * n * N * K * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
  const char *dot = path == TV_PATH_AVX512 && tv_cpu_vnni()                     ? " vnni"
                    : path >= TV_PATH_AVX2 && !tv_cpu_vnni() && tv_cpu_has_avxvnni() ? " avx-vnni"
                    : path >= TV_PATH_AVX2                                           ? " madd"
                                                                                     : "";
  st.SetLabel(std::string(path_name(path)) + dot + " x" + std::to_string(threads));
  tv_q8mat_free(&M);
  tv_cpu_path_cap(TV_PATH_AVX512);
}
BENCHMARK(BM_LinearQ8)
    ->ArgsProduct({{384, 1152}, {TV_PATH_AVX512, TV_PATH_AVX2, TV_PATH_PORTABLE}, {1, 4}})
    ->ArgNames({"K", "path", "thr"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Quantising 48 rows of 1152 values to bytes (in cache, as the refiner
// quantises its chunks), per path.
void BM_QuantRows(benchmark::State &st) {
  const int n = 48, K = 1152, path = (int)st.range(0);
  if (!take_path(st, path)) return;
  std::vector<float> X = noise((size_t)n * K, 5), scale(n);
  std::vector<uint8_t> Q((size_t)n * K);
  std::vector<int32_t> zero(n);
  for (auto _ : st) {
    tv_quant_rows(X.data(), n, K, K, Q.data(), K, scale.data(), zero.data());
    benchmark::ClobberMemory();
  }
  st.counters["values/s"] = benchmark::Counter((double)n * K, benchmark::Counter::kIsIterationInvariantRate);
  st.SetLabel(path_name(path));
  tv_cpu_path_cap(TV_PATH_AVX512);
}
BENCHMARK(BM_QuantRows)->Arg(TV_PATH_AVX512)->Arg(TV_PATH_AVX2)->Arg(TV_PATH_PORTABLE)->ArgName("path")->Unit(benchmark::kMicrosecond);

// Self-attention over T frames, 4 heads of 64.
void BM_Attention(benchmark::State &st) {
  int T = (int)st.range(0), threads = (int)st.range(1), H = 4, D = 64, HD = H * D;
  Pool pool = make_pool(threads);
  std::vector<float> Q = noise((size_t)T * HD, 1), K = noise((size_t)T * HD, 2), V = noise((size_t)T * HD, 3);
  std::vector<float> O((size_t)T * HD);
  for (auto _ : st) {
    tv_attention(pool.get(), Q.data(), HD, K.data(), HD, V.data(), HD, O.data(), HD, T, T, H, D, nullptr, nullptr, 0);
    benchmark::ClobberMemory();
  }
  st.counters["GFLOP/s"] = benchmark::Counter(4.0 * T * T * HD * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Attention)->ArgsProduct({{500}, {1, 4}})->ArgNames({"T", "thr"})->UseRealTime()->Unit(benchmark::kMillisecond);

void empty_item(void *, int32_t, int32_t) {}

// Hand-over cost of an empty job on a warm pool: publish, every worker passes
// through, the caller sees them all done.
void BM_PoolHandover(benchmark::State &st) {
  int threads = (int)st.range(0);
  Pool pool = make_pool(threads);
  for (int i = 0; i < 1000; i++) tv_parallel_for(pool.get(), threads, empty_item, nullptr);
  for (auto _ : st) tv_parallel_for(pool.get(), threads, empty_item, nullptr);
}
BENCHMARK(BM_PoolHandover)->Arg(4)->ArgName("thr")->UseRealTime()->Unit(benchmark::kMicrosecond);

// The core's AVX2 FMA throughput: 12 independent accumulators, enough to
// cover the latency of two FMA pipes; 16 FLOP per instruction.
__attribute__((target("avx2,fma"), noinline)) double fma_loop(long iters, float seed) {
  // Distinct starting values and an empty asm per step keep the compiler from
  // merging or removing the chains.
  __m256 a0 = _mm256_set1_ps(seed), a1 = _mm256_set1_ps(seed + 1), a2 = _mm256_set1_ps(seed + 2);
  __m256 a3 = _mm256_set1_ps(seed + 3), a4 = _mm256_set1_ps(seed + 4), a5 = _mm256_set1_ps(seed + 5);
  __m256 a6 = _mm256_set1_ps(seed + 6), a7 = _mm256_set1_ps(seed + 7), a8 = _mm256_set1_ps(seed + 8);
  __m256 a9 = _mm256_set1_ps(seed + 9), a10 = _mm256_set1_ps(seed + 10), a11 = _mm256_set1_ps(seed + 11);
  const __m256 m = _mm256_set1_ps(0.999999f), c = _mm256_set1_ps(1e-7f);
  for (long n = 0; n < iters; n++) {
    a0 = _mm256_fmadd_ps(a0, m, c), a1 = _mm256_fmadd_ps(a1, m, c), a2 = _mm256_fmadd_ps(a2, m, c);
    a3 = _mm256_fmadd_ps(a3, m, c), a4 = _mm256_fmadd_ps(a4, m, c), a5 = _mm256_fmadd_ps(a5, m, c);
    a6 = _mm256_fmadd_ps(a6, m, c), a7 = _mm256_fmadd_ps(a7, m, c), a8 = _mm256_fmadd_ps(a8, m, c);
    a9 = _mm256_fmadd_ps(a9, m, c), a10 = _mm256_fmadd_ps(a10, m, c), a11 = _mm256_fmadd_ps(a11, m, c);
    __asm__ volatile("" : "+x"(a0), "+x"(a1), "+x"(a2), "+x"(a3), "+x"(a4), "+x"(a5), "+x"(a6), "+x"(a7),
                     "+x"(a8), "+x"(a9), "+x"(a10), "+x"(a11));
  }
  __m256 s = _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(a0, a1), _mm256_add_ps(a2, a3)),
                           _mm256_add_ps(_mm256_add_ps(a4, a5), _mm256_add_ps(a6, a7)));
  s = _mm256_add_ps(s, _mm256_add_ps(_mm256_add_ps(a8, a9), _mm256_add_ps(a10, a11)));
  float out[8];
  _mm256_storeu_ps(out, s);
  return out[0];
}

void BM_FmaPeak(benchmark::State &st) {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
    st.SkipWithError("no AVX2/FMA");
    return;
  }
  const long iters = 1 << 20;
  float seed = 0;
  for (auto _ : st) benchmark::DoNotOptimize(fma_loop(iters, seed += 1));
  st.counters["GFLOP/s"] = benchmark::Counter(iters * 12.0 * 16 * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FmaPeak)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  // The nominal peak from the processor's own description: two 256-bit FMA
  // pipes per core x 8 lanes x 2 FLOP = 32 FLOP per cycle at the reported clock.
  double mhz = 0;
  if (FILE *f = fopen("/proc/cpuinfo", "r")) {
    char line[256];
    while (fgets(line, sizeof line, f))
      if (sscanf(line, "cpu MHz : %lf", &mhz) == 1) break;
    fclose(f);
  }
  // The reported clock is the base clock; under boost the core runs faster,
  // which BM_FmaPeak shows (its GFLOP/s / 32 is the clock in GHz).
  printf("kernel path: %s; reported clock %.0f MHz; AVX2 FMA peak at that clock %.1f GFLOP/s per core "
         "(2 FMA pipes x 8 lanes x 2 FLOP x clock; BM_FmaPeak measures the real one)\n",
         path_name(tv_cpu_path()), mhz, mhz * 32e-3);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
