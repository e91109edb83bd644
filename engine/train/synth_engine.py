#!/usr/bin/python3
"""Reads the held-out sentences with the engine's networks.

    synth_engine.py DATA_DIR BUILD_DIR MODEL_DIR OUT_WAV_DIR [--first N] [--gt-mel]

For the first N held-out utterances of DATA_DIR/feats-test.pt (`prep_corpus.py
DATA_DIR BUILD MODEL --texts test.txt --prefix t --out feats-test.pt --stats
DATA_DIR/feats.pt`) runs BUILD_DIR/bin/tovan-netrun on their
symbol ids and writes 24 kHz wav files. With --gt-mel the vocoder reads the
true mel instead of the acoustic model's (the vocoder's share of the errors).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402


def write_wav(path, x):
    pcm = (np.clip(x, -1.0, 1.0) * 32767.0).astype(np.int16)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(24000)
        w.writeframes(pcm.tobytes())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("out")
    ap.add_argument("--first", type=int, default=100)
    ap.add_argument("--gt-mel", action="store_true")
    ap.add_argument("--threads", type=int, default=2)
    a = ap.parse_args()
    items = torch.load(os.path.join(a.data, "feats-test.pt"))["items"]
    os.makedirs(a.out, exist_ok=True)
    tool = os.path.join(a.build, "bin", "tovan-netrun")
    with tempfile.TemporaryDirectory() as tmp:
        inp, outp = os.path.join(tmp, "in.safetensors"), os.path.join(tmp, "out.safetensors")
        for it in items:
            if int(it["name"][1:]) >= a.first:
                continue
            t = [("ids", it["ids"].numpy().astype(np.float32))]
            if a.gt_mel:
                t.append(("mel", it["mel"].float().numpy()))
            tn._write(inp, t, None)
            subprocess.run([tool, "--threads", str(a.threads), a.model, inp, outp], check=True)
            write_wav(os.path.join(a.out, it["name"] + ".wav"), tn.load_safetensors(outp)["audio"])
    print("wrote", a.out)


if __name__ == "__main__":
    main()
