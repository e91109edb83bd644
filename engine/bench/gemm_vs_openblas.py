#!/usr/bin/python3
"""The engine's GEMM beside numpy's matmul on Debian's OpenBLAS, in one run.

    engine/bench/gemm_vs_openblas.py [--bench build/bin/kernels_bench]
        [--repeat 3] [--cpus 0-3] [--min-time 1]

Y (M x N) = A (M x K) x B^T (B is N x K) in float32, for 1000 x 1536 x 384 and
256 x 256 x 256, on 1 and 4 threads. Each repeat times, back to back and so
under the same machine load: OpenBLAS with the kernel it picks for this
processor's flags (SkylakeX for AVX-512, Haswell for AVX2), the engine on its
best path, OpenBLAS held to its Haswell (AVX2) kernel and the engine capped
at AVX2 (TOVANTTS_NO_AVX512), which is what a processor without AVX-512 gets.
It prints GFLOP/s, the engine / OpenBLAS ratio per pair and the load average
(uptime) before each repeat; --cpus pins both sides to the same cores with
taskset.

Needs python3-numpy and libopenblas0-pthread (scripts/setup-deps installs
them); numpy must be linked to OpenBLAS (check with --show-config).
"""
import argparse
import json
import os
import subprocess
import sys

SHAPES = [(1000, 1536, 384), (256, 256, 256)]
THREADS = [1, 4]

NUMPY_TIMER = r"""
import sys, time, numpy as np
M, N, K, min_time = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
rng = np.random.default_rng(1)
A = rng.uniform(-1, 1, (M, K)).astype(np.float32)
B = rng.uniform(-1, 1, (N, K)).astype(np.float32)
Y = np.empty((M, N), np.float32)
for _ in range(5):
    np.matmul(A, B.T, out=Y)
# As the benchmark library reports it: the median of three repetitions, each
# the mean time of the calls made within min_time, by the wall clock and by
# the process's CPU time.
wall, cpu = [], []
for _ in range(3):
    calls, start, cstart = 0, time.perf_counter(), time.process_time()
    while time.perf_counter() - start < min_time:
        np.matmul(A, B.T, out=Y)
        calls += 1
    wall.append((time.perf_counter() - start) / calls)
    cpu.append((time.process_time() - cstart) / calls)
flop = 2.0 * M * N * K
print(flop / sorted(wall)[1] * 1e-9, flop / sorted(cpu)[1] * 1e-9)
"""


def pinned(cmd, cpus):
    return ["taskset", "-c", cpus] + cmd if cpus else cmd


def native_coretype():
    # OpenBLAS 0.3.21 does not know every newer processor by its model number
    # and may fall back to an SSE3 kernel; name the kernel the flags allow.
    flags = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("flags"):
                flags = line.split()
                break
    if all(x in flags for x in ("avx512f", "avx512dq", "avx512bw", "avx512vl")):
        return "SkylakeX"
    if "avx2" in flags and "fma" in flags:
        return "Haswell"
    return None


def openblas(shape, threads, cpus, min_time, coretype=None):
    env = dict(os.environ, OPENBLAS_NUM_THREADS=str(threads), OMP_NUM_THREADS=str(threads))
    env.pop("OPENBLAS_CORETYPE", None)
    if coretype:
        env["OPENBLAS_CORETYPE"] = coretype
    cmd = pinned([sys.executable, "-c", NUMPY_TIMER] + [str(v) for v in shape] + [str(min_time)], cpus)
    out = subprocess.run(cmd, env=env, check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1])


def engine(bench, shape, threads, path, cpus, min_time, cap_env=False):
    env = dict(os.environ)
    env.pop("TOVANTTS_NO_SIMD", None)
    env.pop("TOVANTTS_NO_AVX512", None)
    if cap_env:
        env["TOVANTTS_NO_AVX512"] = "1"
    M, N, K = shape
    flt = "^BM_Gemm/M:%d/N:%d/K:%d/path:%d/thr:%d/" % (M, N, K, path, threads)
    cmd = pinned([bench, "--benchmark_filter=" + flt, "--benchmark_format=json",
                  "--benchmark_min_time=%g" % min_time, "--benchmark_repetitions=3",
                  "--benchmark_report_aggregates_only=true"], cpus)
    out = subprocess.run(cmd, env=env, check=True, capture_output=True, text=True).stdout
    rows = [b for b in json.loads(out[out.index("{"):])["benchmarks"]
            if b.get("aggregate_name") == "median" and not b.get("error_occurred")]
    if not rows:
        return None
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[rows[0]["time_unit"]]
    flop = 2.0 * M * N * K
    return (flop / (rows[0]["real_time"] * scale) * 1e-9, flop / (rows[0]["cpu_time"] * scale) * 1e-9)


def uptime():
    return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bench", default=os.path.join(here, "..", "..", "build", "bin", "kernels_bench"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--cpus", default="", help="taskset core list for both sides, e.g. 0-3")
    ap.add_argument("--min-time", type=float, default=1.0, help="seconds per figure")
    ap.add_argument("--show-config", action="store_true", help="print numpy's BLAS configuration and stop")
    args = ap.parse_args()
    if args.show_config:
        subprocess.run([sys.executable, "-c", "import numpy; numpy.show_config()"], check=True)
        return
    if not os.access(args.bench, os.X_OK):
        sys.exit("gemm_vs_openblas: no kernels_bench at %s (build it, or pass --bench)" % args.bench)
    try:
        import numpy  # noqa: F401
    except ImportError:
        sys.exit("gemm_vs_openblas: numpy is missing (apt-get install python3-numpy libopenblas0-pthread)")

    native = native_coretype()
    print("OpenBLAS kernels: %s (best), Haswell (AVX2)" % (native or "its own choice"))
    print("GFLOP/s by the wall clock; on one thread also by CPU time (cpu), which a loaded machine")
    print("disturbs far less. ratio = engine / OpenBLAS.")
    print("%-14s %3s %5s  %8s %8s %6s   %8s %8s %6s" % ("M x N x K", "thr", "clock", "engine", "OpenBLAS",
                                                      "ratio", "eng AVX2", "OB AVX2", "ratio"))
    for rep in range(args.repeat):
        print("# repeat %d, %s" % (rep + 1, uptime()), flush=True)
        for shape in SHAPES:
            for t in THREADS:
                ob = openblas(shape, t, args.cpus, args.min_time, coretype=native)
                en = engine(args.bench, shape, t, 2, args.cpus, args.min_time)
                if en is None:  # no AVX-512 here: the best path is AVX2
                    en = engine(args.bench, shape, t, 1, args.cpus, args.min_time)
                ob2 = openblas(shape, t, args.cpus, args.min_time, coretype="Haswell")
                en2 = engine(args.bench, shape, t, 1, args.cpus, args.min_time, cap_env=True)
                for c, clock in enumerate(("wall", "cpu") if t == 1 else ("wall",)):
                    print("%-14s %3d %5s  %8.1f %8.1f %6.2f   %8.1f %8.1f %6.2f" % (
                        "%dx%dx%d" % shape, t, clock, en[c], ob[c], en[c] / ob[c], en2[c], ob2[c],
                        en2[c] / ob2[c]), flush=True)

if __name__ == "__main__":
    main()
