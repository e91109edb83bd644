#!/usr/bin/python3
"""Trains the acoustic model on the teachers' symbols, durations, pitch and energy.

    train_acoustic.py DATA_DIR [--minutes 60] [--init MODEL_DIR] [--d 192 --enc 4 --dec 4 --ffn 384]

Reads DATA_DIR/feats.pt (prep_corpus.py: the engine's own symbols, only the
utterances the front end mostly reproduces; symbols it reads differently,
and their frames, are masked out of the losses). Losses: L1 on the mel, MSE
on the log durations log(1 + frames) (weight 0.5), on the per-symbol pitch
(0.3: at 0.1 the shared layers hardly learned the pitch controls) and on the
energy (0.1); the decoder is fed the true durations, pitch and energy. Batches
hold about 3000 mel frames of utterances of similar length.

Conditioning is the engine's: the utterance's speaker row, its style tag's
row, and its twelve measured controls (z values) with their flags. Flags
are dropped at random (all of them for a third of the utterances, else each
one half the time; a dropped control's value is zeroed as the engine does),
because at synthesis most controls are unset; styled utterances lose their
tag a fifth of the time so "none" also covers varied delivery.

Checkpoints go to DATA_DIR/ckpt/acoustic.pt every 50 steps and at the end;
a rerun resumes (sizes come from the checkpoint). Without a checkpoint,
--init warm-starts from a model directory's weights (int8 dequantised, the
speakers from its default female and male voices). Every --snapshot steps a
copy is kept as ckpt/acoustic-<step>.pt for choosing the best export by
held-out WER. Progress: DATA_DIR/ckpt/acoustic.log.
"""
import argparse
import math
import os
import random
import signal
import sys
import time

import torch
import torch.nn.functional as F

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tovan_nets as tn  # noqa: E402


def batches(items, max_frames, rng):
    order = sorted(range(len(items)), key=lambda i: items[i]["mel"].shape[0])
    groups, cur, cur_max = [], [], 0
    for i in order:
        T = items[i]["mel"].shape[0]
        if cur and max(cur_max, T) * (len(cur) + 1) > max_frames:
            groups.append(cur)
            cur, cur_max = [], 0
        cur.append(i)
        cur_max = max(cur_max, T)
    if cur:
        groups.append(cur)
    rng.shuffle(groups)
    return groups


def collate(items, idx):
    its = [items[i] for i in idx]
    n = max(len(it["ids"]) for it in its)
    T = max(int(it["reps"].sum()) for it in its)
    B = len(its)
    spk = torch.tensor([int(it.get("spk", 0)) for it in its])
    tag = torch.tensor([int(it.get("tag", 0)) for it in its])
    ctrl = torch.stack([it["ctrl"] if "ctrl" in it else torch.zeros(12) for it in its])
    ids = torch.zeros(B, n, dtype=torch.long)
    reps = torch.zeros(B, n, dtype=torch.long)
    pitch, energy, smask = torch.zeros(B, n), torch.zeros(B, n), torch.zeros(B, n)
    lmask, fok = torch.zeros(B, n), torch.zeros(B, T)
    mel = torch.zeros(B, T, 100)
    for b, it in enumerate(its):
        k = len(it["ids"])
        ids[b, :k], reps[b, :k] = it["ids"], it["reps"]
        pitch[b, :k], energy[b, :k], smask[b, :k] = it["pitch"], it["energy"], 1.0
        mel[b, :it["mel"].shape[0]] = it["mel"].float()
        ok = it["sym_ok"] if "sym_ok" in it else torch.ones(k)
        lmask[b, :k] = ok
        f = torch.repeat_interleave(ok, it["reps"])
        fok[b, :f.shape[0]] = f
    return ids, reps, pitch, energy, smask, mel, lmask, fok, spk, tag, ctrl


def control_flags(tag, rng):
    """Random flags (B x 12) and tags: what synthesis leaves unset, training must see unset."""
    B = tag.shape[0]
    mask = (torch.rand(B, 12, generator=rng) < 0.5).float()
    mask[torch.rand(B, generator=rng) < 1 / 3] = 0.0
    tag = torch.where(torch.rand(B, generator=rng) < 0.2, torch.zeros_like(tag), tag)
    return mask, tag


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("--minutes", type=float, default=60)
    ap.add_argument("--d", type=int, default=192)
    ap.add_argument("--ffn", type=int, default=384)
    ap.add_argument("--enc", type=int, default=4)
    ap.add_argument("--dec", type=int, default=4)
    ap.add_argument("--lr", type=float, default=1e-3)
    ap.add_argument("--max-frames", type=int, default=3000)
    ap.add_argument("--threads", type=int, default=8)
    ap.add_argument("--init", help="model directory to warm-start from when there is no checkpoint")
    ap.add_argument("--snapshot", type=int, default=2000)
    ap.add_argument("--fp32", action="store_true",
                    help="products in float32 (default: bfloat16 autocast, several times faster where the CPU has AMX)")
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    ck_dir = os.path.join(a.data, "ckpt")
    os.makedirs(ck_dir, exist_ok=True)
    ck_path, log_path = os.path.join(ck_dir, "acoustic.pt"), os.path.join(ck_dir, "acoustic.log")
    items = torch.load(os.path.join(a.data, "feats.pt"))["items"]
    for it in items:
        it.pop("audio", None)
    if any("front_ok" in it for it in items):  # align_front.py has run: only what the front end agrees with
        items = [it for it in items if it.get("front_ok")]
    print("%d utterances" % len(items), flush=True)
    cfg = {"d": a.d, "ffn": a.ffn, "enc_layers": a.enc, "dec_layers": a.dec}
    ck = torch.load(ck_path) if os.path.exists(ck_path) else None
    if ck:
        cfg = ck["cfg"]
    ac = tn.Acoustic(**cfg)
    if not ck and a.init:
        init, _ = tn.load_model_dir(a.init)
        ac.load_state_dict(init.state_dict())
        print("warm start from %s" % a.init, flush=True)
    opt = torch.optim.AdamW(ac.parameters(), lr=a.lr, betas=(0.9, 0.98), weight_decay=0.01)
    step, epoch = 0, 0
    if ck:
        ac.load_state_dict(ck["model"])
        try:
            opt.load_state_dict(ck["opt"])
        except ValueError:  # saved before a parameter was added: the moments start afresh
            print("optimiser state does not fit the model; starting it afresh", flush=True)
        step, epoch = ck["step"], ck["epoch"]
    t_start = time.time()
    t_end = t_start + a.minutes * 60
    t0, acc = time.time(), []

    def save():
        torch.save({"model": ac.state_dict(), "opt": opt.state_dict(), "step": step, "epoch": epoch, "cfg": cfg},
                   ck_path + ".tmp")
        os.replace(ck_path + ".tmp", ck_path)

    rng = torch.Generator().manual_seed(11)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))

    while time.time() < t_end and not stop:
        for idx in batches(items, a.max_frames, random.Random(epoch)):
            if time.time() >= t_end or stop:
                break
            ids, reps, pitch, energy, smask, mel, lmask, fok, spk, tag, ctrl = collate(items, idx)
            warm = min(1.0, (step + 1) / 300.0)
            # Cosine decay to a tenth over this run's time: each working
            # period ends on settled weights worth exporting.
            frac = min(1.0, (time.time() - t_start) / max(1.0, t_end - t_start))
            for gr in opt.param_groups:
                gr["lr"] = a.lr * warm * (0.1 + 0.9 * 0.5 * (1 + math.cos(math.pi * frac)))
            mask, tag = control_flags(tag, rng)
            with torch.autocast("cpu", dtype=torch.bfloat16, enabled=not a.fp32):
                g = ac.condition(ids.shape[0], spk, tag, ctrl, mask)
                x, dur, pp, ep = ac.encode(ids, g, smask)
                out, fmask = ac.decode(x, pitch, energy, reps, g, smask)
            out, dur, pp, ep = out.float(), dur.float(), pp.float(), ep.float()
            Tm = min(out.shape[1], mel.shape[1])
            fm = (fmask[:, :Tm] * fok[:, :Tm])[..., None]
            l_mel = ((out[:, :Tm] - mel[:, :Tm]).abs() * fm).sum() / (fm.sum() * 100)
            ns = lmask.sum()
            l_dur = (((dur - torch.log1p(reps.float())) ** 2) * lmask).sum() / ns
            l_p = (((pp - pitch) ** 2) * lmask).sum() / ns
            l_e = (((ep - energy) ** 2) * lmask).sum() / ns
            loss = l_mel + 0.5 * l_dur + 0.3 * l_p + 0.1 * l_e
            opt.zero_grad()
            loss.backward()
            torch.nn.utils.clip_grad_norm_(ac.parameters(), 1.0)
            opt.step()
            step += 1
            acc.append((l_mel.item(), l_dur.item(), l_p.item(), l_e.item()))
            if step % 10 == 0:
                m = [sum(v) / len(v) for v in zip(*acc)]
                line = "step %d epoch %d  mel %.4f dur %.4f pitch %.4f energy %.4f  %.2f s/step" % (
                    step, epoch, m[0], m[1], m[2], m[3], (time.time() - t0) / len(acc))
                print(line, flush=True)
                with open(log_path, "a") as f:
                    f.write(line + "\n")
                acc, t0 = [], time.time()
            if step % 50 == 0:
                save()
            if step % a.snapshot == 0:
                torch.save({"model": ac.state_dict(), "step": step, "cfg": cfg},
                           os.path.join(ck_dir, "acoustic-%d.pt" % step))
        else:
            epoch += 1
    save()


if __name__ == "__main__":
    main()
