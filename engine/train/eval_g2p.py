#!/usr/bin/python3
"""Scores a gru.bin by the engine itself on the held-out words.

    eval_g2p.py BUILD MODEL_DIR GRU_BIN HELDOUT_TSV [--name trained]

Copies MODEL_DIR into a scratch directory whose lexicon.bin and oov.bin lack
every held-out word (so the engine has to predict them), puts GRU_BIN beside
them, and runs `tovan-saylines --phonemes` (tovantts_phonemes) on each word.
A word is right when its symbol ids equal the lexicon's exactly, stress
digits included; the phone error rate is the edit distance over the
reference length. Words the normaliser does not hand to the predictor as one
word (it spells some letter strings out) count with whatever it gives.
Prints one line: words, exact accuracy, phone error rate.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from train_g2p import edit, read_lexicon  # noqa: E402


def lexicon_bytes(entries):
    entries = sorted(entries, key=lambda e: e[0].encode("latin-1"))
    keys, vals, ko, vo = b"", b"", [0], [0]
    for k, ids in entries:
        keys += k.encode("latin-1")
        vals += bytes(ids)
        ko.append(len(keys))
        vo.append(len(vals))
    n = len(entries)
    return (b"TVLX" + struct.pack("<IIII", 1, n, len(keys), len(vals)) + struct.pack("<%dI" % (n + 1), *ko) +
            struct.pack("<%dI" % (n + 1), *vo) + keys + vals)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("gru")
    ap.add_argument("heldout")
    ap.add_argument("--name", default="trained")
    a = ap.parse_args()
    held = []
    for line in open(a.heldout):
        k, ids = line.rstrip("\n").split("\t")
        held.append((k, [int(x) for x in ids.split()]))
    drop = {k for k, _ in held}
    work = tempfile.mkdtemp(prefix="g2p-eval-")
    try:
        d = os.path.join(work, "model")
        shutil.copytree(a.model, d, symlinks=True)
        front = os.path.join(d, "native", "front")
        for name in ("lexicon.bin", "oov.bin"):
            p = os.path.join(front, name)
            kept = [e for e in read_lexicon(p) if e[0] not in drop]
            with open(p, "wb") as f:
                f.write(lexicon_bytes(kept))
        shutil.copy(a.gru, os.path.join(front, "gru.bin"))
        inp = "".join("%d\t%s\n" % (i, k) for i, (k, _) in enumerate(held))
        r = subprocess.run([os.path.join(a.build, "bin", "tovan-saylines"), "--phonemes", d], input=inp,
                           capture_output=True, text=True)
        got = {}
        for line in r.stdout.splitlines():
            i, ids = line.split("\t")
            got[int(i)] = [int(x) for x in ids.split()]
    finally:
        shutil.rmtree(work)
    phones = {s for _, ids in held for s in ids}
    right = errs = total = 0
    for i, (k, ref) in enumerate(held):
        hyp = [s for s in got.get(i, []) if s in phones]
        right += hyp == ref
        errs += edit(hyp, ref)
        total += len(ref)
    print("%s: %d held-out words, exact %.2f %%, phone error rate %.2f %%" %
          (a.name, len(held), 100.0 * right / len(held), 100.0 * errs / total))


if __name__ == "__main__":
    main()
