#!/usr/bin/python3
"""How close the vocoder's waveform comes to the recording it was given the mel of.

    eval_vocoder.py DATA_DIR --speaker K WAV_DIR [WAV_DIR ...] [--feats feats-e.pt] [--first 200]

Each WAV_DIR holds the vocoder's renders of held-out recorded mels of
speaker K (`synth_engine.py DATA BUILD MODEL WAV_DIR --gt-mel --feats
feats-e.pt --speaker K`; both speakers' items share names, so one folder
holds one speaker). Each is compared with its recording (the audio in
DATA_DIR/FEATS) on what a listener hears of the excitation, which the
spectral losses tie down least:

  mel L1     mean |log-mel difference| (the engine's mel; the spectral envelope)
  f0 cents   median |pitch difference| over frames voiced in both
  voicing    share of speech frames voiced in one and not the other
  cpps, h1h2, flat
             the recordings' mean measure and the renders' (measures.py; with
             the teacher's phone timings): a buzzy or hoarse excitation reads
             as a lower cepstral peak and a flatter spectrum

One line per WAV_DIR. Run after the renders exist; needs no build.
"""
import argparse
import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measures as ms  # noqa: E402
import prep_data  # noqa: E402
import tovan_nets as tn  # noqa: E402

CENTS = 1200.0 / np.log(2.0)
KEEP = [ms.NAMES.index(n) for n in ("cpps", "h1h2", "flat")]


def compare(x, rec, phones, logmel):
    n = min(len(x), len(rec))
    x, rec = x[:n], rec[:n]
    with torch.no_grad():
        mx = logmel(torch.from_numpy(x)[None])[0]
        mr = logmel(torch.from_numpy(rec)[None])[0]
    l1 = float((mx - mr).abs().mean())
    fx, fr = prep_data.f0_track(x), prep_data.f0_track(rec)
    m = min(len(fx), len(fr))
    fx, fr = fx[:m], fr[:m]
    vx, vr = np.isfinite(fx), np.isfinite(fr)
    both = vx & vr
    cents = np.abs(fx[both] - fr[both]) * CENTS
    either = vx | vr
    return l1, cents, float((vx != vr)[either].sum()), float(either.sum()), ms.measures(x, phones)[KEEP]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("data")
    ap.add_argument("wavs", nargs="+")
    ap.add_argument("--feats", default="feats-e.pt")
    ap.add_argument("--first", type=int, default=200)
    ap.add_argument("--speaker", type=int, required=True)
    a = ap.parse_args()
    feats = torch.load(os.path.join(a.data, a.feats))
    items = feats["items"]
    speakers = feats["speakers"]
    logmel = tn.LogMel()
    print("%-28s %-4s %6s %8s %8s   %-14s %-14s %-14s" % ("renders", "spk", "mel L1", "f0 cents", "voicing",
                                                        "cpps rec/ren", "h1h2 rec/ren", "flat rec/ren"))
    k, spk = a.speaker, speakers[a.speaker]
    for d in a.wavs:
        l1s, cents, flips, voiced, rec_m, ren_m = [], [], 0.0, 0.0, [], []
        for it in items:
            if int(it["spk"]) != k or int(it["name"][1:]) >= a.first:
                continue
            path = os.path.join(d, it["name"] + ".wav")
            seg = os.path.join(a.data, spk, "seg", it["name"] + ".seg")
            if not os.path.exists(path) or not os.path.exists(seg):
                continue
            x = prep_data.read_wav(path).astype(np.float32) / 32768.0
            rec = np.asarray(it["audio"]).astype(np.float32) / 32768.0
            l1, c, f, v, mx = compare(x, rec, ms.read_seg(seg), logmel)
            mr = np.asarray(it["ctrl_raw"], dtype=np.float64)[KEEP]  # the recording's, measured by prep_corpus
            l1s.append(l1)
            cents.append(c)
            flips, voiced = flips + f, voiced + v
            rec_m.append(mr)
            ren_m.append(mx)
        if not l1s:
            continue
        rec_m, ren_m = np.mean(rec_m, 0), np.mean(ren_m, 0)
        print("%-28s %-4s %6.3f %8.1f %7.1f %%   %5.2f / %-6.2f %5.2f / %-6.2f %5.1f / %-6.1f  (%d)" % (
            os.path.basename(os.path.normpath(d)), spk, np.mean(l1s), np.median(np.concatenate(cents)),
            100.0 * flips / max(1.0, voiced), rec_m[0], ren_m[0], rec_m[1], ren_m[1], rec_m[2], ren_m[2],
            len(l1s)))


if __name__ == "__main__":
    main()
