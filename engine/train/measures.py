#!/usr/bin/python3
"""The twelve control measures of one utterance, from its audio and phone timings.

    measures.py WAV SEG [WAV SEG ...]      # prints the twelve raw values per file
    measures.py --self-check               # synthetic cases with pass/fail, and timing

The acoustic model is conditioned on these twelve controls, in this order:
rate, loud, f0_med, f0_iqr, f0_end, pause, tilt, voiced, flat, centroid,
cpps, h1h2. Here each gets its raw value per utterance; the per-speaker
z-normalisation over the corpus happens where the features are assembled.
Every measure grows with more of the quantity it names (faster, louder,
higher, wider, more rising end, more pause, duller, more voiced, noisier,
brighter, more periodic, breathier).

WAV is 24 kHz 16-bit mono; SEG has one phone a line, tab-separated, name and
end time in seconds first. Phones named pau, sil or h# are silence.

Frames are the engine's: 1024-point periodic Hann, hop 256, reflect padding,
frame i centred on sample 256 i (the same frames as the log-mel and the F0
tracker of prep_data.py). A frame is a speech frame when its centre lies in a
non-pause phone, so leading, trailing and internal pauses never count as
speech. Every value is finite: what cannot be measured gets a neutral value
(see measures()).
"""
import argparse
import math
import os
import sys
import time

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prep_data  # noqa: E402

NAMES = ["rate", "loud", "f0_med", "f0_iqr", "f0_end", "pause", "tilt", "voiced", "flat", "centroid", "cpps",
         "h1h2"]
SR, N_FFT, HOP = 24000, 1024, 256
PAUSES = {"pau", "sil", "h#"}
EPS = 1e-12  # power floor: digital silence reads as -120 dB, never -inf
LO, HI = 50.0, 8000.0  # band of flatness and centroid
END_S = 0.3  # the stretch before the trailing pause that f0_end reads
WIN = 0.5 - 0.5 * np.cos(2.0 * np.pi * np.arange(N_FFT) / N_FFT)  # periodic Hann, as tovan_nets.hann


def frames(x):
    """x -> (len(x) // 256 + 1, 1024) unwindowed frames, centred, reflect-padded."""
    pad = np.pad(x.astype(np.float64), (N_FFT // 2, N_FFT // 2), mode="reflect")
    n = len(x) // HOP + 1
    return np.lib.stride_tricks.as_strided(pad, (n, N_FFT), (pad.strides[0] * HOP, pad.strides[0]), writeable=False)


def rfft(a, n):
    """numpy rfft through torch's FFT, in float64: a few times faster here."""
    return torch.fft.rfft(torch.from_numpy(np.ascontiguousarray(a)), n).numpy()


def semitones(logf0):
    return 12.0 * (logf0 - math.log(100.0)) / math.log(2.0)


def speech_frames(phones, n):
    """-> (speech mask over n frames, non-pause phone count, non-pause time, internal pause time, span)."""
    names = [str(p[0]).lower() for p in phones]
    ends = np.array([float(p[1]) for p in phones], dtype=np.float64)
    starts = np.concatenate([[0.0], ends[:-1]]) if len(ends) else ends
    is_pau = np.array([nm in PAUSES for nm in names], dtype=bool)
    talk = np.flatnonzero(~is_pau)
    if talk.size == 0:
        return np.zeros(n, dtype=bool), 0, 0.0, 0.0, 0.0
    first, last = talk[0], talk[-1]
    dur = np.maximum(ends - starts, 0.0)
    inner = np.arange(len(phones))
    internal = is_pau & (inner > first) & (inner < last)
    t = np.arange(n) * HOP / SR
    k = np.searchsorted(ends, t, side="right")  # phone whose [start, end) holds the frame centre
    mask = np.zeros(n, dtype=bool)
    ok = k < len(phones)
    mask[ok] = ~is_pau[k[ok]]
    span = max(ends[last] - starts[first], 0.0)
    return mask, int(talk.size), float(dur[~is_pau].sum()), float(dur[internal].sum()), span


def measures(x, phones, f0=None):
    """x: float32 samples at 24 kHz in [-1, 1]; phones: [(name, end_s), ...] from 0; f0: log-F0 per frame
    (NaN unvoiced) or None to track it. -> float64 array of the twelve measures in NAMES order.

    Neutral values when a measure cannot be read: no non-pause phone (or no speech frame) -> every frame
    counts as speech, rate and pause 0; no voiced speech frame -> f0_med, f0_iqr, f0_end, voiced, h1h2 0
    and cpps over all speech frames; a frame with no power in a band is left out of tilt and centroid
    (all out -> tilt 0, centroid the band's middle)."""
    x = np.asarray(x, dtype=np.float32).reshape(-1)
    if len(x) < N_FFT + 1:  # reflect padding needs more samples than half a frame; pad short input with silence
        x = np.concatenate([x, np.zeros(N_FFT + 1 - len(x), dtype=np.float32)])
    fr = frames(x)
    n = fr.shape[0]
    if f0 is None:
        f0 = prep_data.f0_track(x)
    f0 = np.asarray(f0, dtype=np.float64).reshape(-1)[:n]
    f0 = np.concatenate([f0, np.full(n - len(f0), np.nan)])

    mask, n_ph, talk_s, pause_s, span = speech_frames(phones, n)
    out = np.zeros(12, dtype=np.float64)
    out[0] = n_ph / talk_s if talk_s > 0 else 0.0
    out[5] = pause_s / span if span > 0 else 0.0
    if not mask.any():
        mask = np.ones(n, dtype=bool)
    sp = fr[mask]
    vmask = mask & ~np.isnan(f0)
    out[7] = vmask[mask].mean()

    # loudness: power averaged over speech frames, then dB
    ms = (sp * sp).mean(1)
    out[1] = 10.0 * math.log10(max(ms.mean(), EPS))

    # pitch
    if vmask.any():
        st = semitones(f0[vmask])
        q25, med, q75 = np.percentile(st, [25, 50, 75])
        out[2], out[3] = med, q75 - q25
        idx = np.flatnonzero(vmask)
        t_end = np.flatnonzero(mask)[-1] * HOP / SR
        tail = idx[idx * HOP / SR >= t_end - END_S]
        if tail.size < 3:
            tail = idx[-5:]
        out[4] = np.median(semitones(f0[tail])) - med

    # spectral shape over the speech frames
    Pall = np.abs(rfft(fr * WIN, N_FFT)) ** 2
    P = Pall[mask]
    freq = np.arange(N_FFT // 2 + 1) * SR / N_FFT
    low = P[:, (freq >= LO) & (freq < 1000.0)].sum(1)
    high = P[:, (freq >= 1000.0) & (freq < 4000.0)].sum(1)
    ok = (low > EPS) & (high > EPS)
    out[6] = float(np.mean(10.0 * np.log10(low[ok] / high[ok]))) if ok.any() else 0.0
    band = (freq >= LO) & (freq <= HI)
    Pb = P[:, band] + EPS
    out[8] = float(np.mean(10.0 * (np.log(Pb).mean(1) - np.log(Pb.mean(1))) / math.log(10.0)))
    tot = P[:, band].sum(1)
    ok = tot > EPS * band.sum()
    out[9] = float(np.mean((P[ok][:, band] @ freq[band]) / tot[ok])) if ok.any() else 0.5 * (LO + HI)

    # smoothed cepstral peak prominence: cepstrum of the dB spectrum on every frame (time smoothing
    # needs the neighbours), in dB, averaged over 7 frames and 3 quefrency bins
    cep = torch.fft.irfft(torch.from_numpy(10.0 * np.log10(Pall + EPS)), N_FFT)[:, :N_FFT // 2].numpy()
    cdb = 20.0 * np.log10(np.abs(cep) + 1e-9)
    c = np.cumsum(np.pad(cdb, ((3, 3), (0, 0)), mode="edge"), axis=0)
    cdb = (c[6:] - np.concatenate([np.zeros((1, c.shape[1])), c[:-7]])) / 7.0
    c = np.cumsum(np.pad(cdb, ((0, 0), (1, 1)), mode="edge"), axis=1)
    cdb = (c[:, 2:] - np.concatenate([np.zeros((n, 1)), c[:, :-3]], axis=1)) / 3.0
    q = np.arange(N_FFT // 2) / SR
    fit = (q >= 0.001) & (q <= 0.020)
    qf = q[fit]
    A = np.stack([qf, np.ones_like(qf)], 1)
    slope, icpt = np.linalg.lstsq(A, cdb[:, fit].T, rcond=None)[0]
    pk = (q >= 1.0 / 400.0) & (q <= 1.0 / 75.0)
    j = np.argmax(cdb[:, pk], axis=1)
    qpk = q[pk][j]
    prom = cdb[:, pk][np.arange(n), j] - (slope * qpk + icpt)
    out[10] = float(prom[vmask].mean()) if vmask.any() else float(prom[mask].mean())

    # H1-H2 on a finer grid, read near f0 and 2 f0
    if vmask.any():
        n_big = 4096
        M = 20.0 * np.log10(np.abs(rfft(fr[vmask] * WIN, n_big)) + 1e-9)
        fb = np.arange(n_big // 2 + 1) * SR / n_big
        hz = np.exp(f0[vmask])[:, None]

        def peak(h):
            inside = (fb[None] >= 0.9 * h * hz) & (fb[None] <= 1.1 * h * hz)
            return np.where(inside, M, -np.inf).max(1)

        d = peak(1) - peak(2)
        d = d[np.isfinite(d)]
        out[11] = float(np.median(d)) if d.size else 0.0
    out[~np.isfinite(out)] = 0.0
    return out


def read_seg(path):
    rows = []
    for line in open(path):
        f = line.rstrip("\n").split("\t")
        if len(f) >= 2 and f[0]:
            rows.append((f[0], float(f[1])))
    return rows


# ---------------------------------------------------------------------------
# self-check


def harmonic(f0_hz, seconds, amp=0.5, slope=1.0):
    """Sum of the harmonics of f0_hz(t) below 11 kHz with 1/k**slope amplitudes, peak-scaled to amp."""
    t = np.arange(int(seconds * SR)) / SR
    f = np.broadcast_to(np.asarray(f0_hz, dtype=np.float64), t.shape)
    ph = 2.0 * np.pi * np.cumsum(f) / SR
    K = int(11000 // f.max())
    y = sum(np.sin(k * ph) / k ** slope for k in range(1, K + 1))
    return (amp * y / np.abs(y).max()).astype(np.float32)


def even_phones(t0, t1, n, lead=True):
    ends = [("p%d" % i, t0 + (t1 - t0) * (i + 1) / n) for i in range(n)]
    return ([("pau", t0)] if lead and t0 > 0 else []) + ends


def self_check():
    rng = np.random.RandomState(0)
    ph2 = even_phones(0.1, 1.9, 9) + [("pau", 2.0)]
    base = measures(harmonic(120.0, 2.0), ph2)
    m = {k: v for k, v in zip(NAMES, base)}
    rows = []

    def row(case, what, value, ok):
        rows.append((case, what, value, bool(ok)))

    row("harmonic 120 Hz", "f0_med (3.16 st)", m["f0_med"], abs(m["f0_med"] - 12 * math.log2(1.2)) < 0.3)
    row("harmonic 120 Hz", "rate (9/1.8 = 5)", m["rate"], abs(m["rate"] - 5.0) < 1e-9)
    row("harmonic 120 Hz", "voiced (1)", m["voiced"], m["voiced"] > 0.95)
    row("harmonic 120 Hz", "h1h2 (1/k: 6.02 dB)", m["h1h2"], abs(m["h1h2"] - 6.02) < 0.5)
    row("harmonic 120 Hz", "f0_iqr, f0_end (0)", max(abs(m["f0_iqr"]), abs(m["f0_end"])),
        abs(m["f0_iqr"]) < 0.3 and abs(m["f0_end"]) < 0.3)
    half = measures(harmonic(120.0, 2.0, amp=0.25), ph2)
    row("amplitude x0.5", "loud change (-6.02 dB)", half[1] - base[1], abs(half[1] - base[1] + 6.0206) < 0.05)
    others = np.abs(np.delete(half - base, 1)).max()
    row("amplitude x0.5", "max change of the others", others, others < 0.05)
    octave = measures(harmonic(240.0, 2.0), ph2)
    row("harmonic 240 Hz", "f0_med change (+12 st)", octave[2] - base[2], abs(octave[2] - base[2] - 12.0) < 0.3)
    slow = measures(harmonic(120.0, 4.0), [(nm, 2 * e) for nm, e in ph2])
    row("phones x2 longer", "rate ratio (0.5)", slow[0] / base[0], abs(slow[0] / base[0] - 0.5) < 1e-9)
    noise = measures((0.1 * rng.randn(2 * SR)).astype(np.float32), ph2)
    row("white noise", "flat (near 0 dB)", noise[8], noise[8] > -4.0)
    row("white noise", "flat - harmonic's flat", noise[8] - base[8], noise[8] - base[8] > 10.0)
    row("white noise", "voiced (near 0)", noise[7], noise[7] < 0.1)
    row("white noise", "cpps below harmonic's", noise[10] - base[10], noise[10] < base[10] - 5.0)
    row("white noise", "centroid (~4 kHz)", noise[9], abs(noise[9] - 4025.0) < 300.0)
    glide = np.linspace(100.0, 200.0, 2 * SR)
    up = measures(harmonic(glide, 2.0), ph2)
    down = measures(harmonic(glide[::-1], 2.0), ph2)
    row("glide 100->200 Hz", "f0_end (> 0)", up[4], up[4] > 1.0)
    row("glide 200->100 Hz", "f0_end (< 0)", down[4], down[4] < -1.0)
    row("glide 100->200 Hz", "f0_iqr (> 3 st)", up[3], up[3] > 3.0)
    # A low male voice: its pitch, and an ending that falls to 65 Hz, must read as voiced, at one period.
    low = measures(harmonic(70.0, 2.0), ph2)
    row("harmonic 70 Hz", "f0_med (-6.17 st)", low[2], abs(low[2] - 12 * math.log2(0.7)) < 0.3)
    row("harmonic 70 Hz", "voiced (1)", low[7], low[7] > 0.95)
    fall = np.concatenate([np.full(int(1.4 * SR), 100.0), np.linspace(100.0, 65.0, int(0.6 * SR))])
    fell = measures(harmonic(fall, 2.0), ph2)
    row("100 Hz, falling to 65", "f0_end (-4.0 st)", fell[4], abs(fell[4] + 4.0) < 0.4)
    row("100 Hz, falling to 65", "voiced (1)", fell[7], fell[7] > 0.95)
    # A final stop's burst: noise whose correlation falls slowly from lag 0,
    # so its largest value in the lag range sits at the 500 Hz end. It must
    # count as unvoiced, not as an ending far up.
    burst = np.zeros(int(0.2 * SR))
    e = rng.randn(burst.size)
    for i in range(1, burst.size):
        burst[i] = 0.995 * burst[i - 1] + e[i]
    stop = np.concatenate([harmonic(120.0, 1.7), (0.3 * burst / np.abs(burst).max()).astype(np.float32),
                           np.zeros(int(0.1 * SR), np.float32)])  # the burst ends the speech, then the pause
    stopped = measures(stop, ph2)
    row("tone, then a stop burst", "f0_end (0, not far up)", stopped[4], abs(stopped[4]) < 0.5)
    sil = lambda s: np.zeros(int(s * SR), dtype=np.float32)  # noqa: E731
    x = np.concatenate([sil(0.3), harmonic(120.0, 1.0), sil(0.5), harmonic(120.0, 1.0), sil(0.3)])
    ph = even_phones(0.3, 1.3, 5) + [("pau", 1.8)] + even_phones(1.8, 2.8, 5, lead=False) + [("sil", 3.1)]
    gap = measures(x, ph)
    row("0.5 s internal pause", "pause (0.5/2.5 = 0.2)", gap[5], abs(gap[5] - 0.2) < 1e-9)
    row("0.5 s internal pause", "rate (10/2.0 = 5)", gap[0], abs(gap[0] - 5.0) < 1e-9)
    row("0.5 s internal pause", "loud change vs 2 s tone", gap[1] - base[1], abs(gap[1] - base[1]) < 0.3)
    dull = measures(harmonic(120.0, 2.0, slope=2.0), ph2)
    row("1/k^2 harmonics", "tilt change (> +10 dB)", dull[6] - base[6], dull[6] - base[6] > 10.0)
    row("1/k^2 harmonics", "centroid change (< 0)", dull[9] - base[9], dull[9] < base[9])
    row("1/k^2 harmonics", "h1h2 (1/k^2: 12.04 dB)", dull[11], abs(dull[11] - 12.04) < 0.5)
    clip = measures(np.clip(8.0 * harmonic(120.0, 2.0), -1, 1), ph2)
    odd = [measures(np.zeros(2 * SR, np.float32), ph2), measures(np.zeros(10, np.float32), [("a", 0.1)]),
           measures(harmonic(120.0, 0.02), []), measures(harmonic(120.0, 1.0), [("pau", 1.0)]),
           measures(np.ones(SR, np.float32), [("a", 0.0), ("b", 1.0)])]
    odd.append(clip)
    row("clip/silent/short/empty", "all values finite", float(len(odd)), all(np.isfinite(v).all() for v in odd))
    long = harmonic(120.0 + 30.0 * np.sin(np.arange(10 * SR) / SR), 10.0)
    long = (long + 0.01 * rng.randn(len(long))).astype(np.float32)
    ph10 = even_phones(0.2, 9.8, 100) + [("pau", 10.0)]
    measures(long, ph10)
    t0 = time.perf_counter()
    for _ in range(3):
        measures(long, ph10)
    dt = (time.perf_counter() - t0) / 3
    row("10 s utterance", "seconds per call (< 0.2)", dt, dt < 0.2)

    print("%-22s %-28s %10s  %s" % ("case", "measure (expected)", "value", "result"))
    for case, what, value, ok in rows:
        print("%-22s %-28s %10.4f  %s" % (case, what, value, "pass" if ok else "FAIL"))
    print("\nharmonic 120 Hz:", " ".join("%s=%.3f" % kv for kv in zip(NAMES, base)))
    print("white noise:    ", " ".join("%s=%.3f" % kv for kv in zip(NAMES, noise)))
    return all(r[3] for r in rows)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("files", nargs="*", help="WAV SEG pairs")
    ap.add_argument("--self-check", action="store_true")
    a = ap.parse_args()
    torch.set_num_threads(1)
    if a.self_check:
        sys.exit(0 if self_check() else 1)
    if len(a.files) % 2:
        ap.error("give WAV SEG pairs")
    print("file\t" + "\t".join(NAMES))
    for wav, seg in zip(a.files[::2], a.files[1::2]):
        x = prep_data.read_wav(wav).astype(np.float32) / 32768.0
        v = measures(x, read_seg(seg))
        print(os.path.basename(wav) + "\t" + "\t".join("%.3f" % e for e in v))


if __name__ == "__main__":
    main()
