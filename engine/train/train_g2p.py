#!/usr/bin/python3
"""Trains the front end's letter-to-sound model and writes gru.bin.

    train_g2p.py LEXICON_BIN OUT_DIR [--hidden 512] [--minutes 30] [--threads 8]

The words and pronunciations are read from the front end's own lexicon.bin
(written by tovan-mkfront from Debian's festlex-cmu), so keys and symbol ids
are exactly the ones the engine looks up. One word in twenty is held out by a
fixed hash of its spelling (32-bit FNV-1a modulo 20 equal to 7) and never
trained on; `heldout.tsv` lists them for eval_g2p.py. Another 3000 words
(hash modulo 20 equal to 11) are kept out as well to watch training: the
held-out words play no part in choosing what is exported.

The network is the engine's: a one-layer GRU reads the word's letters and an
end mark, then the same state runs a second GRU (the decoder) fed the
previous output phone, greedy, with a linear layer over the state picking
the next phone or the end. Input contributions (embedding times input
weights plus input bias) are tables, so they are exported as such; the
recurrent and output matrices are int8 with one scale per row, and the last
minutes train through that rounding so the exported file is what was
measured. Writes OUT_DIR/gru.bin (the export with the best exact accuracy
on the watch words), OUT_DIR/g2p.pt (checkpoint: the next run resumes from it) and
OUT_DIR/g2p.log.
"""
import argparse
import math
import os
import random
import struct
import sys
import time

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

V_IN = 29  # 1 other character, 2 end of word, 3..28 "a".."z"
START, END = 2, 3
MAX_OUT = 20


def fnv1a(s):
    h = 0x811C9DC5
    for b in s.encode():
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def held_out(word):
    return fnv1a(word) % 20 == 7


def read_lexicon(path):
    b = open(path, "rb").read()
    if b[:4] != b"TVLX" or struct.unpack_from("<I", b, 4)[0] != 1:
        sys.exit("%s: not a lexicon" % path)
    n, K, V = struct.unpack_from("<III", b, 8)
    ko = struct.unpack_from("<%dI" % (n + 1), b, 20)
    vo = struct.unpack_from("<%dI" % (n + 1), b, 24 + 4 * n)
    kb = 28 + 8 * n
    vb = kb + K
    out = []
    for i in range(n):
        key = b[kb + ko[i]:kb + ko[i + 1]].decode("latin-1")
        ids = list(b[vb + vo[i]:vb + vo[i + 1]])
        out.append((key, ids))
    return out


def encode_word(w):
    return [c - 94 if 97 <= c <= 122 else 1 for c in w.encode("latin-1")] + [2]


class G2P(nn.Module):
    def __init__(self, n_out, H):
        super().__init__()
        self.H = H
        self.enc_in = nn.Embedding(V_IN, 3 * H)   # exported as the encoder input table
        self.dec_in = nn.Embedding(n_out, 3 * H)  # decoder input table
        self.enc_w = nn.Parameter(torch.empty(3 * H, H))
        self.enc_b = nn.Parameter(torch.zeros(3 * H))
        self.dec_w = nn.Parameter(torch.empty(3 * H, H))
        self.dec_b = nn.Parameter(torch.zeros(3 * H))
        self.out = nn.Linear(H, n_out)
        for p in (self.enc_w, self.dec_w):
            nn.init.uniform_(p, -1 / math.sqrt(H), 1 / math.sqrt(H))
        nn.init.normal_(self.enc_in.weight, std=0.3)
        nn.init.normal_(self.dec_in.weight, std=0.3)
        self.quant = False

    def q(self, w):
        # Per-row int8 rounding with a straight-through gradient.
        if not self.quant:
            return w
        s = w.detach().abs().amax(dim=1, keepdim=True).clamp_min(1e-12) / 127.0
        return w + ((w / s).round().clamp(-127, 127) * s - w).detach()

    @staticmethod
    def cell(x, h, w, b):
        g = F.linear(h, w, b)
        H = h.shape[1]
        r = torch.sigmoid(x[:, :H] + g[:, :H])
        z = torch.sigmoid(x[:, H:2 * H] + g[:, H:2 * H])
        n = torch.tanh(x[:, 2 * H:] + r * g[:, 2 * H:])
        return z * h + (1 - z) * n

    def encode(self, src, src_len):
        B, T = src.shape
        h = src.new_zeros((B, self.H), dtype=torch.float32)
        x = self.enc_in(src)
        w = self.q(self.enc_w)
        for t in range(T):
            hn = self.cell(x[:, t], h, w, self.enc_b)
            m = (t < src_len).unsqueeze(1)
            h = torch.where(m, hn, h)
        return h

    def forward(self, src, src_len, dec_in):
        h = self.encode(src, src_len)
        x = self.dec_in(dec_in)
        w = self.q(self.dec_w)
        hs = []
        for t in range(dec_in.shape[1]):
            h = self.cell(x[:, t], h, w, self.dec_b)
            hs.append(h)
        hs = torch.stack(hs, 1)
        return F.linear(hs, self.q(self.out.weight), self.out.bias)

    @torch.no_grad()
    def greedy(self, src, src_len):
        h = self.encode(src, src_len)
        B = src.shape[0]
        prev = torch.full((B,), START, dtype=torch.long)
        w, ow = self.q(self.dec_w), self.q(self.out.weight)
        outs = []
        done = torch.zeros(B, dtype=torch.bool)
        for _ in range(MAX_OUT):
            h = self.cell(self.dec_in(prev), h, w, self.dec_b)
            o = F.linear(h, ow, self.out.bias).argmax(1)
            o = torch.where(done, torch.full_like(o, END), o)
            outs.append(o)
            done |= o == END
            prev = o
            if done.all():
                break
        return torch.stack(outs, 1)


def batches(items, bs, rng):
    items = sorted(items, key=lambda e: (len(e[0]), len(e[1]), rng.random()))
    groups = [items[i:i + bs] for i in range(0, len(items), bs)]
    rng.shuffle(groups)
    return groups


def tensors(group, out_of):
    B = len(group)
    S = max(len(e[0]) for e in group)
    T = max(len(e[1]) for e in group) + 1
    src = torch.zeros((B, S), dtype=torch.long)
    src_len = torch.zeros(B, dtype=torch.long)
    dec = torch.full((B, T), END, dtype=torch.long)
    tgt = torch.full((B, T), -100, dtype=torch.long)
    for i, (x, y) in enumerate(group):
        src[i, :len(x)] = torch.tensor(x)
        src_len[i] = len(x)
        ys = [out_of[s] for s in y]
        dec[i, 0] = START
        dec[i, 1:len(ys) + 1] = torch.tensor(ys)
        tgt[i, :len(ys)] = torch.tensor(ys)
        tgt[i, len(ys)] = END
    return src, src_len, dec, tgt


def edit(a, b):
    d = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        prev, d[0] = d[0], i
        for j in range(1, len(b) + 1):
            cur = min(d[j] + 1, d[j - 1] + 1, prev + (a[i - 1] != b[j - 1]))
            prev, d[j] = d[j], cur
    return d[len(b)]


def evaluate(model, items, out_of, sym_of):
    model.eval()

    right = errs = total = 0
    for i in range(0, len(items), 1024):
        g = items[i:i + 1024]
        src, src_len, _, _ = tensors(g, out_of)
        pred = model.greedy(src, src_len)
        for (x, y), p in zip(g, pred.tolist()):
            ids = []
            for o in p:
                if o == END:
                    break
                if o >= 4:
                    ids.append(sym_of[o])
            right += ids == y
            errs += edit(ids, y)
            total += len(y)
    model.train()
    return right / len(items), errs / total


def export(model, sym_of, path):
    H = model.H
    n_out = len(sym_of)
    with torch.no_grad():
        def q8(w):
            w = w.detach().double()
            s = w.abs().amax(dim=1).clamp_min(1e-12) / 127.0
            return (w / s[:, None]).round().clamp(-127, 127).to(torch.int8).numpy(), s.float().numpy()
        parts = [b"TVGR", struct.pack("<IIII", 1, H, V_IN, n_out)]
        parts.append(model.enc_in.weight.detach().float().numpy().tobytes())
        parts.append(model.dec_in.weight.detach().float().numpy().tobytes())
        for w, b in ((model.enc_w, model.enc_b), (model.dec_w, model.dec_b)):
            qw, s = q8(w)
            parts += [qw.tobytes(), s.tobytes(), b.detach().float().numpy().tobytes()]
        qw, s = q8(model.out.weight)
        parts += [qw.tobytes(), s.tobytes(), model.out.bias.detach().float().numpy().tobytes()]
        parts.append(np.array([s if s >= 0 else -1 for s in sym_of], dtype="<i4").tobytes())
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(b"".join(parts))
    os.replace(tmp, path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lexicon")
    ap.add_argument("out")
    ap.add_argument("--hidden", type=int, default=512)
    ap.add_argument("--minutes", type=float, default=30)
    ap.add_argument("--quant-minutes", type=float, default=5, help="final minutes trained through int8 rounding")
    ap.add_argument("--threads", type=int, default=8)
    ap.add_argument("--batch", type=int, default=256)
    ap.add_argument("--lr", type=float, default=2e-3)
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    torch.manual_seed(5)
    rng = random.Random(5)
    os.makedirs(a.out, exist_ok=True)

    lex = read_lexicon(a.lexicon)
    syms = sorted({s for _, ids in lex for s in ids})
    sym_of = [-1, -1, -1, -1] + syms
    out_of = {s: i + 4 for i, s in enumerate(syms)}
    train, watch, heldout = [], [], []
    for key, ids in lex:
        if held_out(key):
            heldout.append((key, ids))
        elif ids and len(ids) < MAX_OUT:
            h = fnv1a(key) % 20
            (watch if h == 11 and len(watch) < 3000 else train).append((encode_word(key), ids))
    with open(os.path.join(a.out, "heldout.tsv"), "w") as f:
        for k, ids in heldout:
            f.write("%s\t%s\n" % (k, " ".join(map(str, ids))))
    print("%d words: %d train, %d watch, %d held out; %d output phones, H %d" %
          (len(lex), len(train), len(watch), len(heldout), len(syms), a.hidden), flush=True)

    model = G2P(len(sym_of), a.hidden)
    opt = torch.optim.Adam(model.parameters(), lr=a.lr)
    ck = os.path.join(a.out, "g2p.pt")
    epoch, best = 0, -1.0
    if os.path.exists(ck):
        st = torch.load(ck)
        if st["sym_of"] == sym_of and st["hidden"] == a.hidden:
            model.load_state_dict(st["model"])
            opt.load_state_dict(st["opt"])
            epoch, best = st["epoch"], st["best"]
            print("resumed at epoch %d (best %.4f)" % (epoch, best), flush=True)
    log = open(os.path.join(a.out, "g2p.log"), "a")
    t0 = time.time()
    end = t0 + 60 * a.minutes
    qstart = end - 60 * a.quant_minutes
    step = 0
    while time.time() < end:
        model.quant = time.time() >= qstart
        tl, tn = 0.0, 0
        for group in batches(train, a.batch, rng):
            if time.time() >= end:
                break
            # Cosine decay over the run's time.
            frac = min(1.0, (time.time() - t0) / max(1.0, end - t0))
            lr = a.lr * (0.05 + 0.95 * 0.5 * (1 + math.cos(math.pi * frac)))
            for g in opt.param_groups:
                g["lr"] = lr
            src, src_len, dec, tgt = tensors(group, out_of)
            logits = model(src, src_len, dec)
            loss = F.cross_entropy(logits.reshape(-1, logits.shape[-1]), tgt.reshape(-1), ignore_index=-100,
                                   label_smoothing=0.05)
            opt.zero_grad()
            loss.backward()
            nn.utils.clip_grad_norm_(model.parameters(), 1.0)
            opt.step()
            tl += loss.item()
            tn += 1
            step += 1
        epoch += 1
        model.quant = True
        acc, per = evaluate(model, watch, out_of, sym_of)
        line = "epoch %d  %.1f min  %d steps  loss %.4f  lr %.2e  watch words, int8: exact %.2f %%  PER %.2f %%" % (
            epoch, (time.time() - t0) / 60, tn, tl / max(1, tn), lr, 100 * acc, 100 * per)
        print(line, flush=True)
        log.write(line + "\n")
        log.flush()
        if acc > best:
            best = acc
            export(model, sym_of, os.path.join(a.out, "gru.bin"))
        torch.save({"model": model.state_dict(), "opt": opt.state_dict(), "epoch": epoch, "best": best,
                    "sym_of": sym_of, "hidden": a.hidden}, ck + ".tmp")
        os.replace(ck + ".tmp", ck)
    print("best exact accuracy on the watch words %.2f %%" % (100 * best))


if __name__ == "__main__":
    main()
