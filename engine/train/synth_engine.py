#!/usr/bin/python3
"""Reads the held-out sentences with the engine's networks.

    synth_engine.py DATA_DIR BUILD_DIR MODEL_DIR OUT_WAV_DIR [--first N] [--gt-mel]
                    [--forced CKPT] [--feats feats-test.pt] [--speaker K]

For the first N held-out utterances of DATA_DIR/feats-test.pt (`prep_corpus.py
DATA_DIR BUILD MODEL --texts test.txt --prefix t --out feats-test.pt --stats
DATA_DIR/feats.pt`) runs BUILD_DIR/bin/tovan-netrun on their
symbol ids and writes 24 kHz wav files. With --gt-mel the vocoder reads the
true mel instead of the acoustic model's (the vocoder's share of the errors).
With --forced CKPT the vocoder reads the acoustic checkpoint's mel made
with the teacher's durations, pitch and energy (no controls set): what is
left once the predicted prosody is out of the way.
--feats names another held-out feature file (both speakers read every
held-out set, so their items share names: --speaker picks one).
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prep_data  # noqa: E402
import tovan_nets as tn  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("out")
    ap.add_argument("--first", type=int, default=100)
    ap.add_argument("--gt-mel", action="store_true")
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--feats", default="feats-test.pt")
    ap.add_argument("--speaker", type=int)
    ap.add_argument("--forced", help="acoustic checkpoint: vocode its teacher-forced mel")
    a = ap.parse_args()
    items = torch.load(os.path.join(a.data, a.feats))["items"]
    if a.speaker is not None:
        items = [it for it in items if int(it["spk"]) == a.speaker]
    os.makedirs(a.out, exist_ok=True)
    ac = None
    if a.forced:
        from train_acoustic import collate
        ck = torch.load(a.forced)
        ac = tn.Acoustic(**ck["cfg"])
        ac.load_state_dict(ck["model"])
        ac.eval()
    tool = os.path.join(a.build, "bin", "tovan-netrun")
    with tempfile.TemporaryDirectory() as tmp:
        inp, outp = os.path.join(tmp, "in.safetensors"), os.path.join(tmp, "out.safetensors")
        for it in items:
            if int(it["name"][1:]) >= a.first:
                continue
            t = [("ids", it["ids"].numpy().astype(np.float32))]
            if a.gt_mel:
                t.append(("mel", it["mel"].float().numpy()))
            elif ac is not None:
                ids, reps, pitch, energy, smask, _, _, _, spk, tag, _ = collate([it], [0])
                with torch.no_grad():
                    mel = ac.forced(ids, reps, pitch, energy, ac.condition(1, spk, tag), smask)
                t.append(("mel", mel[0].numpy()))
            tn._write(inp, t, None)
            subprocess.run([tool, "--threads", str(a.threads), a.model, inp, outp], check=True)
            prep_data.write_wav(os.path.join(a.out, it["name"] + ".wav"), tn.load_safetensors(outp)["audio"])
    print("wrote", a.out)


if __name__ == "__main__":
    main()
