#!/usr/bin/python3
"""What the feature scripts share: the engine's symbol table, WAV reading, the F0 tracker.

The symbol table is the front end's (ids 0-77: "<pad>", "<sp>", seven
punctuation marks, then the 39 phones, vowels with stress 0, 1 and 2; the
acoustic model's embedding has room for 118).
"""
import math
import os
import sys
import wave

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402

PHONES = ["AA", "AE", "AH", "AO", "AW", "AY", "B", "CH", "D", "DH", "EH", "ER", "EY", "F", "G", "HH", "IH", "IY",
          "JH", "K", "L", "M", "N", "NG", "OW", "OY", "P", "R", "S", "SH", "T", "TH", "UH", "UW", "V", "W", "Y", "Z",
          "ZH"]
VOWELS = set("AA AE AH AO AW AY EH ER EY IH IY OW OY UH UW".split())


def symbol_table():
    names = ["<pad>", "<sp>", ",", ".", "?", "!", ";", ":", "-"]
    for p in PHONES:
        names += [p + d for d in "012"] if p in VOWELS else [p]
    return {n: i for i, n in enumerate(names)}


SYM = symbol_table()
PUNCT = ",.?!;:-"


def read_wav(path):
    with wave.open(path) as w:
        assert w.getframerate() == 24000 and w.getnchannels() == 1 and w.getsampwidth() == 2
        return np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16)


def write_wav(path, x, rate=24000):
    """Writes float samples x (clipped to [-1, 1]) as mono 16-bit."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes((np.clip(x, -1.0, 1.0) * 32767.0).astype("<i2").tobytes())


FMIN, FMAX = 60.0, 500.0


def f0_track(x):
    """Per mel frame: log F0 or NaN (unvoiced), by normalised autocorrelation.

    The frame's autocorrelation is divided by its window's, as the window
    alone makes a periodic frame correlate less at longer lags: uncorrected,
    a male voice's low endings (70-85 Hz) correlated about 0.4 and read as
    unvoiced, so a lowered ending measured as no lowering at all. The
    period is the shortest-lag peak within 15 % of the best one, so a
    frame's correlation at two periods never wins over one period.

    Two kinds of frame read as voiced by the correlation alone are not: a
    maximum at either end of the lag range is no peak (the burst of a T or
    K correlates most at the shortest lag, and read as 500 Hz), and a voiced
    run whose median lies more than an octave from the utterance's median
    is a tracking slip (a final stop's release after a low ending). Both
    sat in the last 0.3 s that f0_end reads, so a sentence ending in "out."
    measured an ending 25 semitones up."""
    x = torch.tensor(x, dtype=torch.float32)
    pad = torch.nn.functional.pad(x[None, None], (512, 512), mode="reflect")[0, 0]
    w = tn.hann(1024)
    fr = pad.unfold(0, 1024, tn.HOP) * w
    lo, hi = int(24000 // FMAX), int(24000 // FMIN)
    r = torch.fft.irfft(torch.fft.rfft(fr, 2048).abs() ** 2, 2048)[:, :hi + 1]
    rw = torch.fft.irfft(torch.fft.rfft(w, 2048).abs() ** 2, 2048)[:hi + 1]
    # lags lo-1 .. hi, so that a peak at lo or hi-1 can be told from a slope running off the range
    norm = (r[:, lo - 1:] / torch.clamp(r[:, :1], min=1e-9)) / (rw[lo - 1:] / rw[0])
    mid = norm[:, 1:-1]
    peak = (mid >= norm[:, :-2]) & (mid > norm[:, 2:])
    best = torch.where(peak, mid, torch.full_like(mid, -1.0)).max(1).values
    n = mid.shape[1]
    cand = peak & (mid >= 0.85 * best[:, None])
    first = torch.where(cand, torch.arange(n).expand_as(mid), torch.full_like(mid, n, dtype=torch.long)).min(1).values
    lag = torch.clamp(first, max=n - 1)
    strength = mid.gather(1, lag[:, None])[:, 0]
    f0 = torch.log(24000.0 / (lag + lo).float())
    loud = r[:, 0] > 1e-4 * r[:, 0].max()
    f0 = torch.where((first < n) & (strength > 0.5) & loud, f0, torch.full_like(f0, float("nan"))).numpy()
    voiced = ~np.isnan(f0)
    if voiced.any():
        med = np.median(f0[voiced])
        # runs of voiced frames: [start, end) pairs
        d = np.diff(np.concatenate([[0], voiced.astype(np.int8), [0]]))
        for s, e in zip(np.flatnonzero(d == 1), np.flatnonzero(d == -1)):
            if abs(np.median(f0[s:e]) - med) > math.log(2.0):
                f0[s:e] = np.nan
    return f0
