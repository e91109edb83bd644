#!/usr/bin/python3
"""Writes the model directory from the training checkpoints.

    export.py DATA_DIR OUT_DIR [--quant int8|fp32] [--acoustic CKPT] [--vocoder CKPT]

Takes DATA_DIR/ckpt/acoustic.pt and DATA_DIR/ckpt/vocoder.pt (or the given
checkpoints, e.g. a snapshot ckpt/acoustic-<step>.pt; either may be
missing: that network then keeps freshly initialised weights, which only makes
sense for checking the plumbing) and writes config.json, voices.json and the
three weight files in the engine's layout. It then checks that every symbol
of DATA_DIR/feats.pt kept its own embedding row (within the int8 rounding)
and fails when one did not.
"""
import argparse
import os
import sys

import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402


def check_symbol_rows(ac, out, quant, feats):
    """Every symbol the corpus holds must keep its own embedding row in the export: a row
    taken from another symbol makes the voice say the wrong sound wherever it occurs."""
    if not os.path.exists(feats):
        print("no %s: symbol rows not checked" % feats)
        return
    seen = set()
    for it in torch.load(feats)["items"]:
        seen.update(int(i) for i in it["ids"])
    got = torch.tensor(tn.load_safetensors(os.path.join(out, "acoustic.safetensors"))["emb.weight"])
    want = ac.emb.weight.detach()
    tol = want.abs().max(1).values / 127.0 * 0.51 if quant == "int8" else torch.full((want.shape[0],), 1e-6)
    bad = [i for i in sorted(seen) if (got[i] - want[i]).abs().max() > tol[i]]
    if bad:
        sys.exit("export: the rows of symbols %s are not their own" % bad)
    print("symbol rows: the %d symbols of the corpus keep their own" % len(seen))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("out")
    ap.add_argument("--quant", default="int8", choices=("int8", "fp32"))
    ap.add_argument("--acoustic")
    ap.add_argument("--vocoder")
    a = ap.parse_args()
    ck = os.path.join(a.data, "ckpt")
    ac_path = a.acoustic or os.path.join(ck, "acoustic.pt")
    voc_path = a.vocoder or os.path.join(ck, "vocoder.pt")
    ac_ck = torch.load(ac_path) if os.path.exists(ac_path) else None
    voc_ck = torch.load(voc_path) if os.path.exists(voc_path) else None
    ac = tn.Acoustic(**(ac_ck["cfg"] if ac_ck else {}))
    voc = tn.Vocoder(**(voc_ck["cfg"] if voc_ck else {}))
    if ac_ck:
        ac.load_state_dict(ac_ck["model"])
    if voc_ck:
        voc.load_state_dict(voc_ck["model"])
    tn.export_model(ac, voc, a.out, a.quant)
    if ac_ck:
        check_symbol_rows(ac, a.out, a.quant, os.path.join(a.data, "feats.pt"))
    size = sum(os.path.getsize(os.path.join(a.out, f)) for f in os.listdir(a.out))
    print("%s: acoustic step %s, vocoder step %s, %s, %.1f MB" % (
        a.out, ac_ck["step"] if ac_ck else "-", voc_ck["step"] if voc_ck else "-", a.quant, size / 1e6))


if __name__ == "__main__":
    main()
