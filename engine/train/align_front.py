#!/usr/bin/python3
"""Matches Festival's symbols against the engine's front end, sentence by sentence.

    align_front.py DATA_DIR BUILD_DIR MODEL_DIR [--feats feats.pt] [--texts train.txt]

Runs `tovan-saylines --phonemes` (the engine's tovantts_phonemes) on the sentences
of the utterances in DATA_DIR/<feats> and compares its ids with the ids
prep_data.py built from Festival's segments. An utterance matches when both
give the same symbols, except that a vowel may stand for another vowel
(Festival reduces "to" to T AH0 where the lexicon has T UW1); the front end's ids
(with its stress digits) then replace Festival's in the features, keeping
Festival's frame counts, so training sees what synthesis will see. Utterances
that do not match are marked and left out of training. Rewrites <feats> in
place (adding "front_ok" to each item) and writes <feats>.front.json with
the share left out.
"""
import argparse
import json
import os
import subprocess
import sys

import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prep_data  # noqa: E402

NAMES = {i: n for n, i in prep_data.SYM.items()}


def base(i):
    n = NAMES.get(i, "?")
    return n[:-1] if n[-1:] in "012" and len(n) > 1 and n[:-1] in prep_data.VOWELS else n


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("--feats", default="feats.pt")
    ap.add_argument("--texts", default="train.txt")
    a = ap.parse_args()
    path = os.path.join(a.data, a.feats)
    data = torch.load(path)
    texts = [l.rstrip("\n") for l in open(os.path.join(a.data, a.texts))]
    lines = "".join("%s\t%s\n" % (it["name"], texts[int(it["name"][1:])]) for it in data["items"])
    out = subprocess.run([os.path.join(a.build, "engine", "tovan-saylines"), "--phonemes", a.model], input=lines,
                         capture_output=True, text=True)
    front = {}
    for line in out.stdout.splitlines():
        name, _, ids = line.partition("\t")
        front[name] = [int(x) for x in ids.split()]
    ok = 0
    bad = []
    for it in data["items"]:
        f = front.get(it["name"])
        mine = it["ids"].tolist()
        it["front_ok"] = bool(f) and len(f) == len(mine) and all(
            base(x) == base(y) or (base(x) in prep_data.VOWELS and base(y) in prep_data.VOWELS)
            for x, y in zip(f, mine))
        if it["front_ok"]:
            it["ids"] = torch.tensor(f)
            ok += 1
        else:
            bad.append(it["name"])
    torch.save(data, path + ".tmp")
    os.replace(path + ".tmp", path)
    n = len(data["items"])
    rep = {"utterances": n, "matched": ok, "left_out_share": (n - ok) / max(1, n), "left_out": bad}
    with open(path + ".front.json", "w") as fo:
        json.dump(rep, fo, indent=1)
    print("%d of %d utterances match the front end; %.1f %% left out" % (ok, n, 100.0 * (n - ok) / max(1, n)))


if __name__ == "__main__":
    main()
