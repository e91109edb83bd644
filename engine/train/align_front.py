#!/usr/bin/python3
"""Matches Festival's symbols against the engine's front end, word by word.

    align_front.py DATA_DIR BUILD_DIR MODEL_DIR [--feats feats.pt] [--texts train.txt] [--min-share 0.6]

Runs `tovan-saylines --phonemes` (the engine's tovantts_phonemes) on the sentences
of the utterances in DATA_DIR/<feats> and lines up its ids with the ids
prep_data.py built from Festival's segments. Both sequences are cut into
units (a word's phones, or one separator: "<sp>" or punctuation) and the
units are matched in order (difflib); a word matches when it has the same
phones, a vowel allowed to stand for another vowel (Festival reduces "to" to
T AH0 where the lexicon has T UW1). The front end's ids replace Festival's
everywhere, so training sees what synthesis will see:
- matched units keep Festival's frames, pitch and energy, and count in the losses;
- a run of units that differs (an unknown word the front end guesses, a
  number read another way) gets the run's Festival frames spread evenly over
  the front end's symbols and is masked out of every loss ("sym_ok" 0).
An utterance is kept ("front_ok") when at least --min-share of its symbols
match. Rewrites <feats> in place and writes <feats>.front.json with the
shares. Rerunning is safe: Festival's own ids and frames are kept as
"fest_ids"/"fest_reps"/"fest_pitch"/"fest_energy" on the first run.
"""
import argparse
import difflib
import json
import os
import subprocess
import sys

import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prep_data  # noqa: E402

NAMES = {i: n for n, i in prep_data.SYM.items()}
FIRST_PHONE = 9  # ids below are <pad>, <sp> and punctuation


def base(i):
    n = NAMES.get(i, "?")
    return n[:-1] if n[-1:] in "012" and len(n) > 1 and n[:-1] in prep_data.VOWELS else n


def units(ids):
    """-> list of (key, start, end) over ids: one unit per word or separator."""
    out, i = [], 0
    while i < len(ids):
        if ids[i] < FIRST_PHONE:
            out.append((("S", ids[i]), i, i + 1))
            i += 1
            continue
        j = i
        while j < len(ids) and ids[j] >= FIRST_PHONE:
            j += 1
        key = tuple("V" if base(x) in prep_data.VOWELS else base(x) for x in ids[i:j])
        out.append((("W",) + key, i, j))
        i = j
    return out


def line_up(fest, reps, pitch, energy, front):
    """-> reps, pitch, energy, ok for the front end's symbols (lists)."""
    fu, gu = units(fest), units(front)
    n = len(front)
    r_out, p_out, e_out, ok = [0] * n, [0.0] * n, [0.0] * n, [0] * n
    extra = []  # (symbol, frames) added once every run is placed
    sm = difflib.SequenceMatcher(None, [u[0] for u in fu], [u[0] for u in gu], autojunk=False)
    for op, i1, i2, j1, j2 in sm.get_opcodes():
        if op == "equal":
            for a, b in zip(fu[i1:i2], gu[j1:j2]):
                for k in range(b[2] - b[1]):
                    r_out[b[1] + k], p_out[b[1] + k] = reps[a[1] + k], pitch[a[1] + k]
                    e_out[b[1] + k], ok[b[1] + k] = energy[a[1] + k], 1
            continue
        frames = sum(reps[fu[i1][1]:fu[i2 - 1][2]]) if i2 > i1 else 0
        if j2 > j1:
            s, e = gu[j1][1], gu[j2 - 1][2]
            q, rem = divmod(frames, e - s)
            for k in range(s, e):
                r_out[k] = q + (1 if k - s < rem else 0)
        elif frames:  # Festival spoke something the front end has no symbol for
            extra.append((gu[j1 - 1][2] - 1 if j1 > 0 else 0, frames))
    for k, frames in extra:
        r_out[k] += frames
        ok[k] = 0
    if r_out and r_out[0] < 1:  # the engine gives the first symbol at least one frame
        for k in range(1, n):
            if r_out[k] > 0:
                r_out[k] -= 1
                r_out[0] += 1
                ok[0] = 0
                break
    return r_out, p_out, e_out, ok


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("--feats", default="feats.pt")
    ap.add_argument("--texts", default="train.txt")
    ap.add_argument("--min-share", type=float, default=0.6)
    a = ap.parse_args()
    path = os.path.join(a.data, a.feats)
    data = torch.load(path)
    texts = [l.rstrip("\n") for l in open(os.path.join(a.data, a.texts))]
    lines = "".join("%s\t%s\n" % (it["name"], texts[int(it["name"][1:])]) for it in data["items"])
    out = subprocess.run([os.path.join(a.build, "bin", "tovan-saylines"), "--phonemes", a.model], input=lines,
                         capture_output=True, text=True)
    front = {}
    for line in out.stdout.splitlines():
        name, _, ids = line.partition("\t")
        front[name] = [int(x) for x in ids.split()]
    kept, whole, sym_all, sym_ok = 0, 0, 0, 0
    bad = []
    for it in data["items"]:
        for k in ("ids", "reps", "pitch", "energy"):
            if "fest_" + k not in it:
                it["fest_" + k] = it[k]
        f = front.get(it["name"])
        if not f:
            it["front_ok"] = False
            bad.append(it["name"])
            continue
        reps, pitch, energy, ok = line_up(it["fest_ids"].tolist(), it["fest_reps"].tolist(),
                                          it["fest_pitch"].tolist(), it["fest_energy"].tolist(), f)
        assert sum(reps) == int(it["fest_reps"].sum())
        share = sum(ok) / len(ok)
        sym_all += len(ok)
        sym_ok += sum(ok)
        whole += share == 1.0
        it["front_ok"] = share >= a.min_share
        it["ids"], it["reps"] = torch.tensor(f), torch.tensor(reps)
        it["pitch"], it["energy"] = torch.tensor(pitch), torch.tensor(energy)
        it["sym_ok"] = torch.tensor(ok, dtype=torch.float32)
        if it["front_ok"]:
            kept += 1
        else:
            bad.append(it["name"])
    torch.save(data, path + ".tmp")
    os.replace(path + ".tmp", path)
    n = len(data["items"])
    rep = {"utterances": n, "matched_whole": whole, "kept": kept, "left_out_share": (n - kept) / max(1, n),
           "symbols": sym_all, "symbols_matched_share": sym_ok / max(1, sym_all), "left_out": bad}
    with open(path + ".front.json", "w") as fo:
        json.dump(rep, fo, indent=1)
    print("%d of %d utterances match whole, %d kept (%.1f %% left out); %.1f %% of symbols match" % (
        whole, n, kept, 100.0 * (n - kept) / max(1, n), 100.0 * sym_ok / max(1, sym_all)))


if __name__ == "__main__":
    main()
