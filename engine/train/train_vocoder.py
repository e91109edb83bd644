#!/usr/bin/python3
"""Trains the vocoder on ground-truth mels with multi-resolution spectral losses.

    train_vocoder.py DATA_DIR [--minutes 60] [--init MODEL_DIR] [--pred [--pred-share 0.5]]
                     [--dim 384 --inter 896 --layers 8]

Reads DATA_DIR/feats.pt (prep_corpus.py: both speakers), trains on random 48-frame windows
(batch 16) with an L1 log-mel loss by the engine's recipe plus log-magnitude
L1 and spectral convergence at three STFT resolutions. Checkpoints go to
DATA_DIR/ckpt/vocoder.pt every 100 steps and at the end; a rerun resumes from
there (sizes come from the checkpoint); without one, --init warm-starts from
a model directory's vocoder (int8 dequantised). Progress:
DATA_DIR/ckpt/vocoder.log.

--pred fine-tunes on the acoustic model's own mels as well
(DATA_DIR/pred.pt from predict_mels.py): that share of the windows takes
its input from the predicted mel and its target from the recording, so the
vocoder learns to make the teacher's waveform from what it will be given
at synthesis; the rest stay on ground-truth mels.
"""
import argparse
import os
import random
import signal
import sys
import time

import torch
import torch.nn.functional as F

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402

RES = [(512, 128), (1024, 256), (2048, 512)]
WIN = {n: torch.hann_window(n) for n, _ in RES}


def stft_loss(y, x):
    total = 0.0
    for n, h in RES:
        Y = torch.stft(y, n, h, window=WIN[n], return_complex=True).abs() + 1e-5
        X = torch.stft(x, n, h, window=WIN[n], return_complex=True).abs() + 1e-5
        sc = torch.norm(X - Y) / torch.norm(X)
        total = total + sc + F.l1_loss(torch.log(Y), torch.log(X))
    return total / len(RES)


def batch(items, B, frames, rng, pred=None, share=0.0):
    mels, auds = [], []
    while len(mels) < B:
        i = rng.randrange(len(items))
        it = items[i]
        T = it["mel"].shape[0]
        if T < frames + 2:
            continue
        a = rng.randrange(T - frames)
        src = pred[i] if pred is not None and pred[i] is not None and rng.random() < share else it["mel"]
        mels.append(src[a:a + frames].float())
        auds.append(it["audio"][a * tn.HOP:(a + frames - 1) * tn.HOP].float() / 32768.0)
    return torch.stack(mels), torch.stack(auds)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--dim", type=int, default=384)
    ap.add_argument("--inter", type=int, default=896)
    ap.add_argument("--layers", type=int, default=8)
    ap.add_argument("--lr", type=float, default=5e-4)
    ap.add_argument("--batch", type=int, default=16)
    ap.add_argument("--frames", type=int, default=48)
    ap.add_argument("--threads", type=int, default=8)
    ap.add_argument("--init", help="model directory to warm-start from when there is no checkpoint")
    ap.add_argument("--pred", action="store_true", help="also train on DATA_DIR/pred.pt, the acoustic model's mels")
    ap.add_argument("--pred-share", type=float, default=0.5)
    ap.add_argument("--fp32", action="store_true",
                    help="products in float32 (default: bfloat16 autocast, several times faster where the CPU has AMX)")
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    ck_dir = os.path.join(a.data, "ckpt")
    os.makedirs(ck_dir, exist_ok=True)
    ck_path, log_path = os.path.join(ck_dir, "vocoder.pt"), os.path.join(ck_dir, "vocoder.log")
    data = torch.load(os.path.join(a.data, "feats.pt"))
    items = data["items"]
    pred = None
    if a.pred:
        p = torch.load(os.path.join(a.data, "pred.pt"))
        pred = p["mels"]
        if len(pred) != len(items):
            sys.exit("pred.pt has %d mels for %d utterances: run predict_mels.py again" % (len(pred), len(items)))
        print("predicted mels of acoustic step %s, share %.2f" % (p["step"], a.pred_share), flush=True)
    step, cfg = 0, {"dim": a.dim, "inter": a.inter, "layers": a.layers}
    ck = torch.load(ck_path) if os.path.exists(ck_path) else None
    if ck:
        cfg = ck["cfg"]
    voc = tn.Vocoder(**cfg)
    if not ck and a.init:
        _, init = tn.load_model_dir(a.init)
        voc.load_state_dict(init.state_dict())
        print("warm start from %s" % a.init, flush=True)
    opt = torch.optim.AdamW(voc.parameters(), lr=a.lr, betas=(0.8, 0.99), weight_decay=0.01)
    if ck:
        voc.load_state_dict(ck["model"])
        opt.load_state_dict(ck["opt"])
        step = ck["step"]
    logmel = tn.LogMel()
    rng = random.Random(step)
    t_end = time.time() + a.minutes * 60
    t0, acc = time.time(), []

    def save():
        torch.save({"model": voc.state_dict(), "opt": opt.state_dict(), "step": step, "cfg": cfg}, ck_path + ".tmp")
        os.replace(ck_path + ".tmp", ck_path)

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))

    while time.time() < t_end and not stop:
        mel, aud = batch(items, a.batch, a.frames, rng, pred, a.pred_share)
        with torch.autocast("cpu", dtype=torch.bfloat16, enabled=not a.fp32):
            y = voc(mel)
        lm = F.l1_loss(logmel(y)[:, 2:-2], logmel(aud)[:, 2:-2])
        ls = stft_loss(y, aud)
        loss = lm + 2.0 * ls
        opt.zero_grad()
        loss.backward()
        torch.nn.utils.clip_grad_norm_(voc.parameters(), 5.0)
        opt.step()
        step += 1
        acc.append((lm.item(), ls.item()))
        if step % 25 == 0:
            m = [sum(v) / len(v) for v in zip(*acc)]
            line = "step %d  mel-L1 %.4f  stft %.4f  %.2f s/step" % (step, m[0], m[1], (time.time() - t0) / len(acc))
            print(line, flush=True)
            with open(log_path, "a") as f:
                f.write(line + "\n")
            acc, t0 = [], time.time()
        if step % 100 == 0:
            save()
    save()


if __name__ == "__main__":
    main()
