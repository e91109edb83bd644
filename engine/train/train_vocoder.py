#!/usr/bin/python3
"""Trains the vocoder on ground-truth mels with multi-resolution spectral losses.

    train_vocoder.py DATA_DIR [--minutes 60] [--init MODEL_DIR] [--pred [--pred-share 0.5]]
                     [--adv [--adv-start 500]] [--dim 384 --inter 896 --layers 8]

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

--adv adds the adversarial stage: a multi-period discriminator (periods 2,
3, 5, 7, 11 on the waveform) and a multi-resolution one (on magnitude
spectrograms at the three STFT sizes), least-squares losses plus feature
matching. Spectral losses alone leave the predicted phase loosely tied
down, which is heard as a buzzy, slightly hoarse voice; the discriminators
judge the waveform itself. The generator's loss becomes 45 x mel L1 + 5 x
the STFT loss + the adversarial and feature-matching terms (the
multi-resolution ones weighted 0.1). For the first --adv-start steps only
the discriminators learn, so the generator is not pushed by judges that
cannot yet tell anything apart. Their weights go into the checkpoint
("disc"); the export never reads them.
"""
import argparse
import os
import random
import signal
import sys
import time

import torch
import torch.nn as nn
import torch.nn.functional as F
from torch.nn.utils import weight_norm

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402

RES = [(512, 128), (1024, 256), (2048, 512)]
ADV_CROP = 6144  # samples the discriminators judge per window
WIN = {n: torch.hann_window(n) for n, _ in RES}


def stft_loss(y, x):
    total = 0.0
    for n, h in RES:
        Y = torch.stft(y, n, h, window=WIN[n], return_complex=True).abs() + 1e-5
        X = torch.stft(x, n, h, window=WIN[n], return_complex=True).abs() + 1e-5
        sc = torch.norm(X - Y) / torch.norm(X)
        total = total + sc + F.l1_loss(torch.log(Y), torch.log(X))
    return total / len(RES)


def judge(convs, post, x):
    """A discriminator's stack: leaky-ReLU convolutions, then the logits; every layer's output is kept
    for feature matching."""
    feats = []
    for conv in convs:
        x = F.leaky_relu(conv(x), 0.1)
        feats.append(x)
    x = post(x)
    feats.append(x)
    return x.flatten(1), feats


class PeriodDisc(nn.Module):
    """Judges the waveform folded into rows of one period (a slimmed HiFi-GAN period discriminator)."""

    def __init__(self, period, ch=(16, 64, 128, 256)):
        super().__init__()
        self.period = period
        layers, cin = [], 1
        for i, c in enumerate(ch):
            layers.append(weight_norm(nn.Conv2d(cin, c, (5, 1), (3 if i < len(ch) - 1 else 1, 1), (2, 0))))
            cin = c
        self.convs = nn.ModuleList(layers)
        self.post = weight_norm(nn.Conv2d(cin, 1, (3, 1), 1, (1, 0)))

    def forward(self, x):  # B T -> logits, features
        b, t = x.shape
        if t % self.period:
            x = F.pad(x, (0, self.period - t % self.period), mode="reflect")
        return judge(self.convs, self.post, x.view(b, 1, -1, self.period))


class ResolutionDisc(nn.Module):
    """Judges one magnitude spectrogram (the multi-resolution discriminator's branch)."""

    def __init__(self, n_fft, hop, ch=16):
        super().__init__()
        self.n_fft, self.hop = n_fft, hop
        self.register_buffer("win", torch.hann_window(n_fft), persistent=False)
        self.convs = nn.ModuleList([
            weight_norm(nn.Conv2d(1, ch, (3, 9), padding=(1, 4))),
            weight_norm(nn.Conv2d(ch, ch, (3, 9), (1, 2), padding=(1, 4))),
            weight_norm(nn.Conv2d(ch, ch, (3, 9), (1, 2), padding=(1, 4))),
            weight_norm(nn.Conv2d(ch, ch, (3, 9), (1, 2), padding=(1, 4))),
            weight_norm(nn.Conv2d(ch, ch, (3, 3), padding=(1, 1))),
        ])
        self.post = weight_norm(nn.Conv2d(ch, 1, (3, 3), padding=(1, 1)))

    def forward(self, x):
        m = torch.stft(x, self.n_fft, self.hop, window=self.win, return_complex=True).abs()
        return judge(self.convs, self.post, m.transpose(1, 2)[:, None])  # B 1 T F


class Discriminators(nn.Module):
    def __init__(self):
        super().__init__()
        self.period = nn.ModuleList([PeriodDisc(p) for p in (2, 3, 5, 7, 11)])
        self.resolution = nn.ModuleList([ResolutionDisc(n, h) for n, h in RES])

    def forward(self, x):  # -> [(logits, feats, weight)]
        return [d(x) + (1.0,) for d in self.period] + [d(x) + (0.1,) for d in self.resolution]


def disc_loss(D, real, fake):
    """Least-squares loss of the judges; also returns their features of the real audio, detached,
    for the generator's feature matching."""
    total, ref = 0.0, []
    for (lr, fr, w), (lf, _, _) in zip(D(real), D(fake.detach())):
        total = total + w * (torch.mean((1.0 - lr.float()) ** 2) + torch.mean(lf.float() ** 2))
        ref.append([f.detach() for f in fr])
    return total, ref


def gen_adv_loss(D, ref, fake):
    """Least-squares adversarial loss and feature matching of the generator's output."""
    adv = fm = 0.0
    for (lf, ff, w), fr in zip(D(fake), ref):
        adv = adv + w * torch.mean((1.0 - lf.float()) ** 2)
        fm = fm + w * sum(F.l1_loss(a.float(), b.float()) for a, b in zip(ff, fr)) / len(ff)
    return adv, fm


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
    ap.add_argument("--adv", action="store_true", help="adversarial stage: period and resolution discriminators")
    ap.add_argument("--adv-start", type=int, default=500, help="steps the discriminators learn alone")
    ap.add_argument("--snapshot", type=int, default=0, help="keep ckpt/vocoder-<step>.pt every N steps (0: none)")
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
    for gr in opt.param_groups:  # the rate asked now, not the one saved with the moments
        gr["lr"] = a.lr
    disc = opt_d = None
    adv_from = step
    if a.adv:
        disc = Discriminators()
        opt_d = torch.optim.AdamW(disc.parameters(), lr=a.lr, betas=(0.8, 0.99), weight_decay=0.01)
        if ck and "disc" in ck:
            disc.load_state_dict(ck["disc"])
            opt_d.load_state_dict(ck["opt_d"])
            adv_from = ck["adv_from"]
        print("adversarial stage from step %d (generator judged from step %d)" % (adv_from, adv_from + a.adv_start),
              flush=True)
    logmel = tn.LogMel()
    rng = random.Random(step)
    t_end = time.time() + a.minutes * 60
    t0, acc = time.time(), []

    def save():
        ck = {"model": voc.state_dict(), "opt": opt.state_dict(), "step": step, "cfg": cfg}
        if disc is not None:
            ck.update(disc=disc.state_dict(), opt_d=opt_d.state_dict(), adv_from=adv_from)
        torch.save(ck, ck_path + ".tmp")
        os.replace(ck_path + ".tmp", ck_path)

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))

    while time.time() < t_end and not stop:
        mel, aud = batch(items, a.batch, a.frames, rng, pred, a.pred_share)
        with torch.autocast("cpu", dtype=torch.bfloat16, enabled=not a.fp32):
            y = voc(mel)
        y = y.float()
        lm = F.l1_loss(logmel(y)[:, 2:-2], logmel(aud)[:, 2:-2])
        ls = stft_loss(y, aud)
        ld = adv = fm = torch.zeros(())
        if disc is None:
            loss = lm + 2.0 * ls
        else:
            # The judges see one random crop of the batch's windows: half the cost, and
            # their receptive fields are far shorter than the crop anyway.
            c0 = rng.randrange(aud.shape[1] - ADV_CROP + 1)
            real, fake = aud[:, c0:c0 + ADV_CROP], y[:, c0:c0 + ADV_CROP]
            with torch.autocast("cpu", dtype=torch.bfloat16, enabled=not a.fp32):
                ld, ref = disc_loss(disc, real, fake)
            opt_d.zero_grad()
            ld.backward()
            torch.nn.utils.clip_grad_norm_(disc.parameters(), 5.0)
            opt_d.step()
            loss = 45.0 * lm + 5.0 * ls
            if step >= adv_from + a.adv_start:
                with torch.autocast("cpu", dtype=torch.bfloat16, enabled=not a.fp32):
                    adv, fm = gen_adv_loss(disc, ref, fake)
                loss = loss + adv + 2.0 * fm
        opt.zero_grad()
        loss.backward()
        # The adversarial loss scales the spectral terms by 45, so its clip is scaled alike.
        torch.nn.utils.clip_grad_norm_(voc.parameters(), 5.0 if disc is None else 100.0)
        opt.step()
        step += 1
        acc.append((lm.item(), ls.item(), float(ld), float(adv), float(fm)))
        if step % 25 == 0:
            m = [sum(v) / len(v) for v in zip(*acc)]
            line = "step %d  mel-L1 %.4f  stft %.4f  %.2f s/step" % (step, m[0], m[1], (time.time() - t0) / len(acc))
            if disc is not None:
                line += "  disc %.3f adv %.3f fm %.3f" % (m[2], m[3], m[4])
            print(line, flush=True)
            with open(log_path, "a") as f:
                f.write(line + "\n")
            acc, t0 = [], time.time()
        if step % 100 == 0:
            save()
        if a.snapshot and step % a.snapshot == 0:
            torch.save({"model": voc.state_dict(), "step": step, "cfg": cfg},
                       os.path.join(ck_dir, "vocoder-%d.pt" % step))
    save()


if __name__ == "__main__":
    main()
