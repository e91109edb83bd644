#!/usr/bin/python3
"""Turns Festival's audio and phone timings into training features.

    prep_data.py DATA_DIR [--prefix u] [--out feats.pt]

For every DATA_DIR/seg/<id>.seg with its DATA_DIR/wav24/<id>.wav: the log-mel
by the engine's recipe, the symbol ids (the engine's 118-symbol table), the
frames of every symbol, and per-symbol pitch (log F0 from a plain
autocorrelation tracker) and energy (mean log-mel), both normalised over the
corpus. Writes DATA_DIR/<out> and a manifest DATA_DIR/<out>.manifest.json
(utterances, frames, hours, what was left out and why).

Symbols follow the front end's assembly: "<sp>" first, a word's phones, then
"<sp>" after each word, punctuation as its own symbol with no "<sp>" after
it. Festival's pauses go to the punctuation before them, else to the "<sp>".
Festival's schwa "ax" is AH0; its stress is 0 or 1, written as the digit.
"""
import argparse
import json
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


def parse_seg(path):
    rows = []
    for line in open(path):
        f = line.rstrip("\n").split("\t")
        if len(f) >= 7:
            rows.append(f)
    return rows


def symbols(rows, n_frames):
    """-> ids, reps (frames per symbol, summing to n_frames), or raises ValueError."""
    ids, ends = [SYM["<sp>"]], [0.0]  # end time of each symbol in seconds
    i = 0
    while i < len(rows) and rows[i][0] == "pau":
        ends[-1] = float(rows[i][1])
        i += 1
    while i < len(rows):
        name, end, stress, word, nseg, nsyl, punc = rows[i][:7]
        if name == "pau":
            ends[-1] = float(end)  # the pause lengthens the symbol before it
            i += 1
            continue
        p = "AH" if name == "ax" else name.upper()
        if p not in PHONES:
            raise ValueError("phone %s" % name)
        ids.append(SYM[p + ("1" if stress not in ("0", "") else "0")] if p in VOWELS else SYM[p])
        ends.append(float(end))
        if nseg == "0" and nsyl == "0":  # word-final phone
            ids.append(SYM["<sp>"])
            ends.append(float(end))
            for ch in punc if punc != "0" else "":
                if ch in PUNCT:
                    ids.append(SYM[ch])
                    ends.append(float(end))
        i += 1
    b = np.rint(np.array(ends) * tn.SR / tn.HOP).astype(np.int64)
    b = np.minimum(np.maximum(np.maximum.accumulate(b), 1), n_frames)  # the first symbol keeps a frame
    b[-1] = n_frames
    reps = np.diff(np.concatenate([[0], b]))
    return np.array(ids, dtype=np.int64), reps


def f0_track(x):
    """Per mel frame: log F0 or NaN (unvoiced), by normalised autocorrelation."""
    x = torch.tensor(x, dtype=torch.float32)
    pad = torch.nn.functional.pad(x[None, None], (512, 512), mode="reflect")[0, 0]
    fr = pad.unfold(0, 1024, tn.HOP) * tn.hann(1024)
    spec = torch.fft.rfft(fr, 2048)
    r = torch.fft.irfft(spec.abs() ** 2, 2048)[:, :400]
    lo, hi = 24000 // 500, 24000 // 75
    norm = r[:, lo:hi] / torch.clamp(r[:, :1], min=1e-9)
    best, lag = norm.max(1)
    lag = (lag + lo).float()
    f0 = torch.log(24000.0 / lag)
    loud = r[:, 0] > 1e-4 * r[:, 0].max()
    return torch.where((best > 0.5) & loud, f0, torch.full_like(f0, float("nan"))).numpy()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("--prefix", default="u")
    ap.add_argument("--out", default="feats.pt")
    a = ap.parse_args()
    torch.set_num_threads(4)
    logmel = tn.LogMel()
    segdir = os.path.join(a.data, "seg")
    names = sorted(f[:-4] for f in os.listdir(segdir) if f.endswith(".seg") and f.startswith(a.prefix))
    items, left = [], {}
    for u in names:
        wav = os.path.join(a.data, "wav24", u + ".wav")
        if not os.path.exists(wav):
            continue
        pcm = read_wav(wav)
        x = pcm.astype(np.float32) / 32768.0
        with torch.no_grad():
            mel = logmel(torch.tensor(x)[None])[0].numpy()
        T = mel.shape[0]
        try:
            ids, reps = symbols(parse_seg(os.path.join(segdir, u + ".seg")), T)
        except ValueError as e:
            left[str(e).split()[0]] = left.get(str(e).split()[0], 0) + 1
            continue
        f0 = f0_track(x)[:T]
        energy = mel.mean(1)
        starts = np.concatenate([[0], np.cumsum(reps)[:-1]])
        pitch_s = np.full(len(ids), np.nan, dtype=np.float32)
        energy_s = np.zeros(len(ids), dtype=np.float32)
        for j, (s, r) in enumerate(zip(starts, reps)):
            if r > 0:
                energy_s[j] = energy[s:s + r].mean()
                v = f0[s:s + r]
                v = v[~np.isnan(v)]
                if v.size and ids[j] >= 9:
                    pitch_s[j] = np.median(v)
        items.append({"name": u, "audio": torch.tensor(pcm.copy()), "mel": torch.tensor(mel).half(),
                      "ids": torch.tensor(ids), "reps": torch.tensor(reps), "pitch": pitch_s, "energy": energy_s})
    allp = np.concatenate([it["pitch"] for it in items])
    alle = np.concatenate([it["energy"][it["reps"].numpy() > 0] for it in items])
    pm, ps = float(np.nanmean(allp)), float(np.nanstd(allp))
    em, es = float(alle.mean()), float(alle.std())
    for it in items:
        p = (it["pitch"] - pm) / ps
        it["pitch"] = torch.tensor(np.where(np.isnan(p), 0.0, p).astype(np.float32))
        e = np.where(it["reps"].numpy() > 0, (it["energy"] - em) / es, 0.0)
        it["energy"] = torch.tensor(e.astype(np.float32))
    frames = sum(int(it["mel"].shape[0]) for it in items)
    stats = {"pitch_mean": pm, "pitch_std": ps, "energy_mean": em, "energy_std": es}
    torch.save({"items": items, "stats": stats}, os.path.join(a.data, a.out))
    man = {"utterances": len(items), "left_out": left, "left_out_share": sum(left.values()) / max(1, len(names)),
           "frames": frames, "hours": frames * tn.HOP / tn.SR / 3600.0, "stats": stats,
           "names": [it["name"] for it in items]}
    with open(os.path.join(a.data, a.out + ".manifest.json"), "w") as f:
        json.dump(man, f, indent=1)
    print("%d utterances, %.2f h, left out %s; pitch %.3f+-%.3f energy %.3f+-%.3f" % (
        len(items), man["hours"], left, pm, ps, em, es))


if __name__ == "__main__":
    main()
