#!/usr/bin/python3
"""How far an acoustic checkpoint's predictors follow the controls, in torch.

    ctrl_response.py CKPT FEATS [--n 40] [--threads 1]

For the first N utterances of each speaker in FEATS (a held-out feats file
from prep_corpus.py, e.g. feats-e.pt), sets one control at a time to -2, 0
and +2 (its flag on, the others off, tag "none") and prints what the
duration and pitch predictors make of it: total frames (rate), and over the
voiced symbols the median, interquartile range and end (last two voiced
symbols minus the median) of the predicted pitch in semitones.

This separates the model from the engine and the vocoder: check_controls.py
measures the engine's audio, this only the predictors, so a control that
fails there but moves here is lost in the decoder or the measure, and one
that does not move here was never learned. Cheap enough (one thread, under
a minute) to run on a snapshot while training goes on.
"""
import argparse
import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402

CONTROLS = [(0, "rate"), (1, "loud"), (2, "f0_med"), (3, "f0_iqr"), (4, "f0_end")]


def response(ac, its, spk, ci, z, st):
    frames, med, iqr, end = 0.0, [], [], []
    for it in its:
        ctrl, mask = torch.zeros(1, 12), torch.zeros(1, 12)
        ctrl[0, ci], mask[0, ci] = z, 1.0
        with torch.no_grad():
            g = ac.condition(1, torch.tensor([spk]), torch.tensor([0]), ctrl, mask)
            x, dur, pp, _ = ac.encode(it["ids"][None], g, None)
        frames += float(torch.clamp(torch.exp(dur[0]) - 1, min=0).sum())
        voiced = (it["pitch"] != 0).numpy()  # symbols the recording gave a pitch
        p = pp[0].numpy()[voiced] * st
        if p.size < 3:
            continue
        m = np.median(p)
        med.append(m)
        iqr.append(np.subtract(*np.percentile(p, [75, 25])))
        end.append(p[-2:].mean() - m)
    return frames, np.mean(med), np.mean(iqr), np.mean(end)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("ckpt")
    ap.add_argument("feats")
    ap.add_argument("--n", type=int, default=40)
    ap.add_argument("--threads", type=int, default=1)
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    ck = torch.load(a.ckpt)
    ac = tn.Acoustic(**ck["cfg"])
    ac.load_state_dict(ck["model"])
    ac.eval()
    data = torch.load(a.feats)
    st = data["stats"]["pitch_std"] * 12 / np.log(2)  # pitch z -> semitones
    print("step %s" % ck.get("step", "?"))
    for spk in sorted({int(it["spk"]) for it in data["items"]}):
        its = [it for it in data["items"] if int(it["spk"]) == spk][:a.n]
        print("speaker %d (%d utterances)    values at -2 / 0 / +2" % (spk, len(its)))
        for ci, name in CONTROLS:
            r = [response(ac, its, spk, ci, z, st) for z in (-2, 0, 2)]
            print("  %-7s frames %s   pitch median %s   iqr %s   end %s" % (
                name, " ".join("%6.0f" % v[0] for v in r), " ".join("%5.2f" % v[1] for v in r),
                " ".join("%4.2f" % v[2] for v in r), " ".join("%5.2f" % v[3] for v in r)))
            print("  %-7s frames %+5.1f %%  median %+5.2f st  iqr %+5.2f st  end %+5.2f st   (0 -> +2)" % (
                "", 100 * (r[2][0] / r[1][0] - 1), r[2][1] - r[1][1], r[2][2] - r[1][2], r[2][3] - r[1][3]))


if __name__ == "__main__":
    main()
