#!/usr/bin/python3
"""Turns the teachers' audio and phone timings into training features.

    prep_corpus.py DATA_DIR BUILD MODEL_DIR [--speakers slt,rms] [--texts train.txt] [--prefix u]
                   [--out feats.pt] [--jobs 8]

Speaker k (in --speakers order: the female teacher first, then the male) has
DATA_DIR/<name>/wav24/<id>.wav and DATA_DIR/<name>/seg/<id>.seg (first two
fields of a line: phone and end time in seconds, "pau" for silence); line i
of DATA_DIR/<texts> is the sentence of <prefix><i>.

Per utterance:
- the log-mel by the engine's recipe (`LogMel` of tovan_nets.py);
- the engine's own symbols for the sentence (`tovan-saylines --phonemes`,
  i.e. tovantts_phonemes), so training sees exactly what synthesis sees,
  stress digits included;
- each symbol's frames: the teacher's phones are lined up with the front
  end's phones (difflib over phone names without stress; a vowel may stand
  for another vowel, as Festival reduces "to" to T AH0). Matched phones take
  the teacher's times; a run the two read differently (an unknown word, a
  number read otherwise) shares the time between its neighbours evenly.
  Separators ("<sp>" after a word, punctuation) take the time between the
  words, so pauses go to the last separator before them, and the first
  "<sp>" takes the leading silence. A word with any unmatched phone, and the
  separators beside it, are masked out of the losses ("sym_ok" 0); an
  utterance is used when at least 60 % of its symbols match ("front_ok");
- per-symbol pitch (median log F0 over its voiced frames, voiced phones
  only: the bursts of T and K read as voiced near the tracker's 500 Hz
  ceiling, and such a value taught the pitch predictor noise the size of an
  octave) and energy (mean log-mel), z-normalised over the whole corpus (both speakers
  together, so a pitch value means the same F0 for either);
- the twelve control measures of measures.py, z-normalised per speaker
  (so 0 is the speaker's usual delivery and 1 its standard deviation),
  with the mean and deviation taken after clipping each measure to its
  median +- 5 median absolute deviations: a few pitch-tracking slips at a
  creaky sentence end would otherwise blow the deviation of f0_end up
  fourfold and squash every other utterance's value towards 0, while the
  deliberate spread of the deliveries stays inside the clip; z is clipped
  to +-4;
- the speaker index and the style tag of its delivery (delivery.py).

Writes DATA_DIR/<out> (items and statistics) and <out>.manifest.json.
"""
import argparse
import difflib
import json
import multiprocessing
import os
import subprocess
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import delivery  # noqa: E402
import measures  # noqa: E402
import prep_data  # noqa: E402
import tovan_nets as tn  # noqa: E402

NAMES = {i: n for n, i in prep_data.SYM.items()}
FIRST_PHONE = 9  # ids below are <pad>, <sp> and punctuation
VOICELESS = {"P", "T", "K", "CH", "F", "TH", "S", "SH", "HH"}
HAS_PITCH = {i for n, i in prep_data.SYM.items() if i >= FIRST_PHONE and n.rstrip("012") not in VOICELESS}
SILENCE = {"pau", "sil", "h#", "#", "ssil"}


def base(i):
    n = NAMES.get(i, "?")
    return n[:-1] if n[-1:] in "012" else n


def teacher_base(name):
    n = name.upper()
    return "AH" if n == "AX" else n


def is_vowel(b):
    return b in prep_data.VOWELS


def line_up(phones, ids, total):
    """phones: [(name, end)] of the teacher; ids: front-end symbol ids; total: seconds.
    -> (end time of every symbol, ok flag of every symbol)."""
    tp = []  # teacher phones: (base, start, end)
    t = 0.0
    for name, end in phones:
        end = float(end)
        if name not in SILENCE:
            tp.append((teacher_base(name), t, end))
        t = end
    fp = [k for k, i in enumerate(ids) if i >= FIRST_PHONE]  # positions of front phones
    fb = [base(ids[k]) for k in fp]
    match = [None] * len(fp)
    sm = difflib.SequenceMatcher(None, [p[0] for p in tp], fb, autojunk=False)
    for op, i1, i2, j1, j2 in sm.get_opcodes():
        if op == "equal":
            for k in range(i2 - i1):
                match[j1 + k] = i1 + k
        elif op == "replace" and i2 - i1 == j2 - j1 and all(
                is_vowel(tp[i1 + k][0]) and is_vowel(fb[j1 + k]) for k in range(i2 - i1)):
            for k in range(i2 - i1):
                match[j1 + k] = i1 + k
    # Start and end of every front phone: matched ones from the teacher,
    # the others share the gap between their matched neighbours.
    start, end = [0.0] * len(fp), [0.0] * len(fp)
    first_t = tp[0][1] if tp else 0.0
    last_t = tp[-1][2] if tp else total
    j = 0
    while j < len(fp):
        if match[j] is not None:
            start[j], end[j] = tp[match[j]][1], tp[match[j]][2]
            j += 1
            continue
        k = j
        while k < len(fp) and match[k] is None:
            k += 1
        lo = end[j - 1] if j > 0 else first_t
        hi = tp[match[k]][1] if k < len(fp) else last_t
        hi = max(hi, lo)
        step = (hi - lo) / (k - j)
        for m in range(j, k):
            start[m], end[m] = lo + step * (m - j), lo + step * (m - j + 1)
        j = k
    # Symbol end times: phones end where they end; a run of separators ends
    # where the next phone starts (its last member takes the gap).
    n = len(ids)
    ends = [0.0] * n
    pos = {k: m for m, k in enumerate(fp)}
    next_start = total
    for k in range(n - 1, -1, -1):
        if k in pos:
            ends[k] = end[pos[k]]
            next_start = start[pos[k]]
        else:
            ends[k] = next_start if (k + 1 == n or ids[k + 1] >= FIRST_PHONE) else None
    for k in range(n):  # separators before the last of their run end where the run begins
        if ends[k] is None:
            ends[k] = ends[k - 1] if k > 0 else 0.0
    ends[-1] = total
    # A word is good when every phone matched; separators when their neighbours are.
    ok = [1] * n
    k = 0
    while k < n:
        if ids[k] < FIRST_PHONE:
            k += 1
            continue
        e = k
        while e < n and ids[e] >= FIRST_PHONE:
            e += 1
        if any(match[pos[m]] is None for m in range(k, e)):
            for m in range(max(0, k - 1), min(n, e + 2)):
                ok[m] = 0
        k = e
    return ends, ok


def frames_of(ends, n_frames):
    b = np.rint(np.array(ends) * tn.SR / tn.HOP).astype(np.int64)
    b = np.minimum(np.maximum(np.maximum.accumulate(b), 1), n_frames)  # the first symbol keeps a frame
    b[-1] = n_frames
    return np.diff(np.concatenate([[0], b]))


_logmel = None


def one(job):
    global _logmel
    if _logmel is None:
        torch.set_num_threads(1)
        _logmel = tn.LogMel()
    spk_dir, spk, name, ids = job
    wav = os.path.join(spk_dir, "wav24", name + ".wav")
    seg = os.path.join(spk_dir, "seg", name + ".seg")
    pcm = prep_data.read_wav(wav)
    x = pcm.astype(np.float32) / 32768.0
    with torch.no_grad():
        mel = _logmel(torch.tensor(x)[None])[0].numpy()
    T = mel.shape[0]
    phones = [l.split("\t")[:2] for l in open(seg) if "\t" in l]
    ends, ok = line_up(phones, ids, len(x) / tn.SR)
    reps = frames_of(ends, T)
    f0 = prep_data.f0_track(x)[:T]
    energy = mel.mean(1)
    starts = np.concatenate([[0], np.cumsum(reps)[:-1]])
    pitch_s = np.full(len(ids), np.nan, dtype=np.float32)
    energy_s = np.full(len(ids), np.nan, dtype=np.float32)
    for j, (s, r) in enumerate(zip(starts, reps)):
        if r > 0:
            energy_s[j] = energy[s:s + r].mean()
            v = f0[s:s + r]
            v = v[~np.isnan(v)]
            if v.size and ids[j] in HAS_PITCH:
                pitch_s[j] = np.median(v)
    ctrl = measures.measures(x, [(p, float(e)) for p, e in phones], f0=f0)
    tag = delivery.TAGS.index(delivery.choose(name)[0])
    # Plain arrays back to the parent: torch tensors would travel as file
    # descriptors, thousands of them.
    return {"name": name, "spk": spk, "tag": tag, "audio": pcm.copy(), "mel": mel.astype(np.float16),
            "ids": np.array(ids, dtype=np.int64), "reps": reps, "pitch": pitch_s, "energy": energy_s,
            "ctrl_raw": ctrl, "sym_ok": np.array(ok, dtype=np.float32), "front_ok": sum(ok) / len(ok) >= 0.6,
            "share": sum(ok) / len(ok)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("--speakers", default="slt,rms")
    ap.add_argument("--texts", default="train.txt")
    ap.add_argument("--prefix", default="u")
    ap.add_argument("--out", default="feats.pt")
    ap.add_argument("--jobs", type=int, default=8)
    ap.add_argument("--stats", help="normalise with the statistics of this feats file (held-out sets)")
    a = ap.parse_args()
    texts = [l.rstrip("\n") for l in open(os.path.join(a.data, a.texts))]
    speakers = a.speakers.split(",")
    names = {}
    for k, s in enumerate(speakers):
        seg = os.path.join(a.data, s, "seg")
        names[k] = sorted(f[:-4] for f in os.listdir(seg) if f.endswith(".seg") and f.startswith(a.prefix))
    lines = sorted({int(n[len(a.prefix):]) for v in names.values() for n in v})
    inp = "".join("%d\t%s\n" % (i, texts[i]) for i in lines)
    r = subprocess.run([os.path.join(a.build, "bin", "tovan-saylines"), "--phonemes", a.model], input=inp,
                       capture_output=True, text=True)
    front = {}
    for line in r.stdout.splitlines():
        i, _, ids = line.partition("\t")
        front[int(i)] = [int(x) for x in ids.split()]
    jobs = [(os.path.join(a.data, s), k, n, front[int(n[len(a.prefix):])])
            for k, s in enumerate(speakers) for n in names[k] if front.get(int(n[len(a.prefix):]))]
    print("%d utterances of %d speakers" % (len(jobs), len(speakers)), flush=True)
    with multiprocessing.Pool(a.jobs) as pool:
        items = pool.map(one, jobs, chunksize=16)
    for it in items:
        for k in ("audio", "mel", "ids", "reps", "sym_ok"):
            it[k] = torch.from_numpy(it[k])
    if a.stats:
        stats = torch.load(a.stats)["stats"]
    else:
        allp = np.concatenate([it["pitch"] for it in items])
        alle = np.concatenate([it["energy"] for it in items])
        stats = {"pitch_mean": float(np.nanmean(allp)), "pitch_std": float(np.nanstd(allp)),
                 "energy_mean": float(np.nanmean(alle)), "energy_std": float(np.nanstd(alle)), "ctrl": {}}
        for k in range(len(speakers)):
            c = np.stack([it["ctrl_raw"] for it in items if it["spk"] == k])
            med = np.median(c, 0)
            mad = np.median(np.abs(c - med), 0)
            c = np.clip(c, med - 5 * mad, med + 5 * mad)
            stats["ctrl"][k] = {"mean": c.mean(0).tolist(), "std": np.maximum(c.std(0), 1e-6).tolist()}
    for it in items:
        p = (it["pitch"] - stats["pitch_mean"]) / stats["pitch_std"]
        it["pitch"] = torch.tensor(np.where(np.isnan(p), 0.0, p).astype(np.float32))
        e = (it["energy"] - stats["energy_mean"]) / stats["energy_std"]
        it["energy"] = torch.tensor(np.where(np.isnan(e), 0.0, e).astype(np.float32))
        cs = stats["ctrl"][it["spk"]]
        z = (it["ctrl_raw"] - np.array(cs["mean"])) / np.array(cs["std"])
        it["ctrl"] = torch.tensor(np.clip(z, -4, 4).astype(np.float32))
        it["ctrl_raw"] = torch.tensor(it["ctrl_raw"])
    torch.save({"items": items, "stats": stats, "speakers": speakers}, os.path.join(a.data, a.out))
    frames = [sum(int(it["mel"].shape[0]) for it in items if it["spk"] == k) for k in range(len(speakers))]
    man = {"utterances": len(items), "speakers": speakers,
           "hours": [f * tn.HOP / tn.SR / 3600.0 for f in frames],
           "kept": sum(bool(it["front_ok"]) for it in items),
           "symbols_matched_share": float(np.mean([it["share"] for it in items])), "stats": stats,
           "left_out": [it["name"] + "/" + speakers[it["spk"]] for it in items if not it["front_ok"]]}
    with open(os.path.join(a.data, a.out + ".manifest.json"), "w") as f:
        json.dump(man, f, indent=1)
    print("%d utterances (%s h), %d kept, %.1f %% of symbols match" % (
        len(items), " + ".join("%.2f" % h for h in man["hours"]), man["kept"], 100 * man["symbols_matched_share"]))


if __name__ == "__main__":
    main()
