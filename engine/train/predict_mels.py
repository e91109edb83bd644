#!/usr/bin/python3
"""Writes the acoustic model's own mels of the training corpus, for fine-tuning the vocoder.

    predict_mels.py DATA_DIR [--acoustic CKPT] [--threads 8]

Runs the acoustic model (DATA_DIR/ckpt/acoustic.pt unless --acoustic names
another checkpoint) over every utterance of DATA_DIR/feats.pt with the
teacher's durations, pitch and energy and the utterance's speaker, tag and
measured controls (all flags on), so each predicted mel lines up frame for
frame with the recorded audio. The vocoder then learns to turn the
acoustic model's smoother mels into the teacher's waveform
(train_vocoder.py --pred). Writes DATA_DIR/pred.pt: one float16 mel per
item, in feats.pt's order. About a minute on 8 threads.
"""
import argparse
import os
import sys

import torch

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402
from train_acoustic import collate  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("data")
    ap.add_argument("--acoustic", help="acoustic checkpoint (default DATA_DIR/ckpt/acoustic.pt)")
    ap.add_argument("--threads", type=int, default=8)
    ap.add_argument("--batch", type=int, default=16)
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    ck = torch.load(a.acoustic or os.path.join(a.data, "ckpt", "acoustic.pt"))
    ac = tn.Acoustic(**ck["cfg"])
    ac.load_state_dict(ck["model"])
    ac.eval()
    items = torch.load(os.path.join(a.data, "feats.pt"))["items"]
    order = sorted(range(len(items)), key=lambda i: items[i]["mel"].shape[0])
    pred = [None] * len(items)
    with torch.no_grad(), torch.autocast("cpu", dtype=torch.bfloat16):
        for k in range(0, len(order), a.batch):
            idx = order[k:k + a.batch]
            ids, reps, pitch, energy, smask, mel, _, _, spk, tag, ctrl = collate(items, idx)
            g = ac.condition(ids.shape[0], spk, tag, ctrl, torch.ones(ids.shape[0], 12))
            out = ac.forced(ids, reps, pitch, energy, g, smask)
            for b, i in enumerate(idx):
                T = items[i]["mel"].shape[0]
                m = out[b, :min(T, int(items[i]["reps"].sum()))]  # past the item's own frames is batch padding
                if m.shape[0] < T:  # durations a frame short of the recording: hold the last frame
                    m = torch.cat([m, m[-1:].expand(T - m.shape[0], -1)])
                pred[i] = m.float().half()
    err = sum(float((p.float() - it["mel"].float()).abs().mean()) for p, it in zip(pred, items)) / len(items)
    torch.save({"step": ck.get("step"), "mels": pred}, os.path.join(a.data, "pred.pt.tmp"))
    os.replace(os.path.join(a.data, "pred.pt.tmp"), os.path.join(a.data, "pred.pt"))
    print("%d mels from acoustic step %s; mean L1 to the recorded mels %.4f" % (len(pred), ck.get("step"), err))


if __name__ == "__main__":
    main()
