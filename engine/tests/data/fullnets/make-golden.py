#!/usr/bin/python3
"""Independent reference computation of the full model's networks.

Reads a full-layout model directory written by tovan-mkmodel (any storage;
quantised matrices are expanded through the "tovantts_quant" layout) and
computes in float64 with numpy, straight from the formulas of each network:
  - the flow refiner: plain (two step counts, with and without noise) and
    prompted (no prompt, a prompt, a prompt with guidance);
  - the speaker encoder's x-vector of two 16 kHz clips (one short enough to
    be repeated);
  - the prompt encoder's token ids, sentence embedding and adapter outputs
    for a few texts.
Only what the engine specifies in single precision is done in float32 here
too: the solver's time grid and the sinusoid arguments of the time
embedding, and the relative-position buckets. The seeded noise comes from
the generator reference beside (../rng/make-randn.py). Inputs and outputs go
to one small safetensors file, with a fingerprint of the weight files.

    make-golden.py MODEL_DIR OUT.safetensors

Typical use, from the repository root after a build:
    engine/tests/data/fullnets/make-golden.py build/engine/models/tiny-full \\
        engine/tests/data/fullnets/golden.safetensors
"""
import importlib.util
import json
import math
import os
import struct
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("randn", os.path.join(HERE, "..", "rng", "make-randn.py"))
randn_ref = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(randn_ref)

f32 = np.float32

WEIGHT_FILES = ["refiner.safetensors", "prompted_flow.safetensors", "prompt_adapter.safetensors",
                "native/wavlm_sv.safetensors", "native/minilm.safetensors", "native/minilm_vocab.txt"]

# ---------------------------------------------------------------------------
# safetensors


def read_safetensors(path):
    with open(path, "rb") as f:
        data = f.read()
    n = struct.unpack("<Q", data[:8])[0]
    header = json.loads(data[8:8 + n])
    base = 8 + n
    meta = header.pop("__metadata__", {})
    dtypes = {"F32": np.float32, "F16": np.float16, "I8": np.int8, "U8": np.uint8, "I32": np.int32}
    raw = {}
    for name, e in header.items():
        b, end = e["data_offsets"]
        arr = np.frombuffer(data[base + b:base + end], dtype=dtypes[e["dtype"]])
        raw[name] = arr.reshape(e["shape"]) if e["shape"] else arr.reshape(())
    layout = json.loads(meta["tovantts_quant"])["layout"] if "tovantts_quant" in meta else {}
    out = {}
    for name, arr in raw.items():
        if not (name.endswith("::q") or name.endswith("::s")):
            out[name] = arr.astype(np.float64)
    for name, e in layout.items():
        shape = e.get("shape")
        rows = shape[0]
        cols = int(np.prod(shape[1:])) if len(shape) > 1 else 1
        if e.get("s") == "int8":
            q = raw[name + "::q"].astype(np.float64).reshape(rows, cols)
            s = raw[name + "::s"].astype(np.float64).reshape(rows, 1)
            out[name] = (q * s).reshape(shape)
        elif e.get("s") == "int4":
            g, kp = e.get("g", 32), e.get("Kp", cols)
            q = raw[name + "::q"].reshape(-1).astype(np.uint8)
            nib = np.empty(q.size * 2, dtype=np.float64)
            nib[0::2] = q & 15
            nib[1::2] = q >> 4
            nib = nib[:rows * kp].reshape(rows, kp)[:, :cols] - 8
            s = raw[name + "::s"].astype(np.float64).reshape(rows, kp // g)
            out[name] = (nib * np.repeat(s, g, axis=1)[:, :cols]).reshape(shape)
        else:
            out[name] = raw[name].astype(np.float64).reshape(shape)
    return out


def write_safetensors(path, tensors, meta):
    header, blobs, off = {}, [], 0
    for name in sorted(tensors):
        arr = tensors[name]
        code = {np.dtype(np.float32): "F32", np.dtype(np.int32): "I32"}[arr.dtype]
        b = arr.tobytes()
        header[name] = {"dtype": code, "shape": list(arr.shape), "data_offsets": [off, off + len(b)]}
        blobs.append(b)
        off += len(b)
    header["__metadata__"] = meta
    h = json.dumps(header, separators=(",", ":")).encode()
    h += b" " * ((8 - len(h) % 8) % 8)
    with open(path, "wb") as f:
        f.write(struct.pack("<Q", len(h)) + h + b"".join(blobs))


def fingerprint(model_dir):
    """FNV-1a 64 over the bytes of the weight files, in the order listed."""
    h = 0xCBF29CE484222325
    for name in WEIGHT_FILES:
        with open(os.path.join(model_dir, name), "rb") as f:
            for byte in f.read():
                h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


# ---------------------------------------------------------------------------
# building blocks

erf = np.vectorize(math.erf)


def gelu(x):
    return 0.5 * x * (1.0 + erf(x / math.sqrt(2.0)))


def gelu_as(x):
    """GELU with the five-term rational approximation of erf."""
    z = x / math.sqrt(2.0)
    a = np.abs(z)
    t = 1.0 / (1.0 + 0.3275911 * a)
    poly = ((((1.0614054 * t - 1.4531521) * t + 1.4214138) * t - 0.28449672) * t + 0.2548296) * t
    e = 1.0 - poly * np.exp(-a * a)
    return 0.5 * x * (1.0 + np.sign(z) * e)


def silu(x):
    return x / (1.0 + np.exp(-x))


def sigmoid(x):
    return 1.0 / (1.0 + np.exp(-x))


def linear(W, name, x):
    w = W[name + ".weight"]
    return x @ w.reshape(w.shape[0], -1).T + W[name + ".bias"]


def layernorm(x, w=None, b=None, eps=1e-5):
    mean = x.mean(axis=-1, keepdims=True)
    var = ((x - mean) ** 2).mean(axis=-1, keepdims=True)
    y = (x - mean) / np.sqrt(var + eps)
    if w is not None:
        y = y * w + b
    return y


def conv1d_pad1(x, weight, bias):
    """Kernel-3 convolution, zero padding 1: weight (Cout, Cin, 3) or (Cout, 3 Cin) with column 3c + j."""
    T, cin = x.shape
    w = weight.reshape(weight.shape[0], cin, 3)
    xp = np.zeros((T + 2, cin))
    xp[1:1 + T] = x
    y = np.zeros((T, w.shape[0])) + bias
    for j in range(3):
        y += xp[j:j + T] @ w[:, :, j].T
    return y


def attention(q, k, v, heads, bias=None):
    T, d = q.shape
    D = d // heads
    out = np.zeros_like(q)
    for h in range(heads):
        sl = slice(h * D, (h + 1) * D)
        s = q[:, sl] @ k[:, sl].T / math.sqrt(D)
        if bias is not None:
            s = s + bias[h]
        s = np.exp(s - s.max(axis=1, keepdims=True))
        s /= s.sum(axis=1, keepdims=True)
        out[:, sl] = s @ v[:, sl]
    return out


# ---------------------------------------------------------------------------
# flow refiner


def time_grid(steps):
    r = f32(1.0) / f32(steps)
    t = []
    for i in range(steps + 1):
        if i < (steps + 1) // 2:
            t.append(f32(float(i) * float(r)))
        else:
            t.append(f32(1.0 - float(steps - i) * float(r)))
    return t


def flow_sample(W, cfg, mel, g, steps, seed, prompt, noise_scale, guidance):
    d, L = cfg.get("d", 384), cfg.get("n_layers", 12)
    prompted, mu_cmn = cfg.get("prompt", 0) != 0, cfg.get("mu_cmn", 0) != 0
    dils = cfg.get("dils") or [1, 2, 4] * 4
    attn_at = set(a for a in cfg.get("attn_at", [3, 7, 11]) if 0 <= a < L) if prompted else set()
    mean, std = W["mean"].reshape(-1)[0], W["std"].reshape(-1)[0]
    P = 0 if prompt is None else len(prompt)
    T = len(mel)
    N = P + T
    src = mel if P == 0 else np.concatenate([prompt, mel])
    mu = (src.astype(np.float64) - mean) / std
    if mu_cmn:
        mu = mu - mu[P:].mean(axis=0)
    ctx = np.zeros((N, 100))
    mask = np.zeros((N, 1))
    if P:
        ctx[:P] = (prompt - mean) / std
        mu[:P] = ctx[:P]
        mask[:P] = 1.0
    e = linear(W, "net.gemb.2", silu(linear(W, "net.gemb.0", g)))
    e_free = None
    if prompted:
        e_free = e + W["net.ctx_out.bias"]
        if P:
            c2 = conv1d_pad1(silu(conv1d_pad1(ctx, W["net.ctx_enc.0.weight"], W["net.ctx_enc.0.bias"])),
                             W["net.ctx_enc.2.weight"], W["net.ctx_enc.2.bias"])
            e = e + linear(W, "net.ctx_out", c2[:P].mean(axis=0))
        else:
            e = e_free
    grid = time_grid(steps)
    tp = []
    for i in range(steps):
        tp += [grid[i], f32(grid[i] + f32(0.5) * f32(grid[i + 1] - grid[i]))]
    half = d // 2
    freq = np.array([f32(math.exp(-9.2103405 * j / half)) for j in range(half)], dtype=np.float32)

    def tables(e):
        emb = np.zeros((len(tp), d))
        for k, t in enumerate(tp):
            a = (f32(f32(1000.0) * t) * freq).astype(np.float64)
            emb[k, :half] = np.sin(a)
            emb[k, half:] = np.cos(a)
        c = linear(W, "net.temb.mlp.2", silu(linear(W, "net.temb.mlp.0", emb))) + e
        blk = [linear(W, "net.blocks.%d.mod" % b, c) for b in range(L)]
        att = {a: linear(W, "net.attn.%d.mod" % a, c) for a in attn_at}
        return blk, att

    sets = [(tables(e), ctx, mask)]
    if prompted and P and guidance != 0:
        sets.append((tables(e_free), np.zeros_like(ctx), np.zeros_like(mask)))

    def velocity(x, k, tabs, ctx, mask):
        blk, att = tabs
        inp = [x, mu] + ([ctx, mask] if prompted else [])
        h = conv1d_pad1(np.concatenate(inp, axis=1), W["net.inp.weight"], W["net.inp.bias"])
        for b in range(L):
            m = blk[b][k]
            scale, shift, gate = m[:d], m[d:2 * d], m[2 * d:]
            dil = dils[b % len(dils)]
            taps = W["net.blocks.%d.dw.weight" % b].reshape(d, 7)
            u = np.zeros_like(h) + W["net.blocks.%d.dw.bias" % b]
            for j in range(7):
                off = (j - 3) * dil
                lo, hi = max(0, -off), min(N, N - off)
                if lo < hi:
                    u[lo:hi] += taps[:, j] * h[lo + off:hi + off]
            u = layernorm(u) * (1 + scale) + shift
            u = linear(W, "net.blocks.%d.pw2" % b, gelu_as(linear(W, "net.blocks.%d.pw1" % b, u)))
            h = h + gate * u
            if b in attn_at:
                m = att[b][k]
                u = layernorm(h) * (1 + m[:d]) + m[d:2 * d]
                qkv = u @ W["net.attn.%d.att.in_proj_weight" % b].T + W["net.attn.%d.att.in_proj_bias" % b]
                o = attention(qkv[:, :d], qkv[:, d:2 * d], qkv[:, 2 * d:], 6)
                h = h + m[2 * d:] * linear(W, "net.attn.%d.att.out_proj" % b, o)
        return linear(W, "net.out", layernorm(h))

    def F(x, k):
        v = velocity(x, k, *sets[0])
        if len(sets) > 1:
            vf = velocity(x, k, *sets[1])
            v = v + guidance * (v - vf)
        return v

    noise = np.array(randn_ref.randn(seed, N * 100), dtype=np.float64).reshape(100, N).T
    x = float(f32(noise_scale)) * noise
    for i in range(steps):
        h = float(f32(grid[i + 1] - grid[i]))
        v1 = F(x, 2 * i)
        xm = x + (h * 0.5) * v1
        v2 = F(xm, 2 * i + 1)
        x = x + h * v2
    return x[P:] * std + mean


# ---------------------------------------------------------------------------
# speaker encoder

WAVLM_KERNEL = [10, 3, 3, 3, 3, 2, 2]
WAVLM_STRIDE = [5, 2, 2, 2, 2, 2, 2]
TDNN_DIL = [1, 2, 3, 1, 1]


def wavlm_xvector16(W, x):
    x = np.asarray(x, dtype=np.float64)[:128000]
    n = len(x)
    if n < 8000:
        x = np.tile(x, -(-8000 // n))
    pre = "wavlm.feature_extractor.conv_layers."
    h = x[:, None]
    for i in range(7):
        w = W[pre + "%d.conv.weight" % i]  # Cout, Cin, k
        k, s = WAVLM_KERNEL[i], WAVLM_STRIDE[i]
        Tn = (len(h) - k) // s + 1
        y = np.zeros((Tn, w.shape[0]))
        for j in range(k):
            y += h[j:j + s * (Tn - 1) + 1:s] @ w[:, :, j].T
        if i == 0:
            m = y.mean(axis=0)
            v = ((y - m) ** 2).mean(axis=0)
            y = (y - m) / np.sqrt(v + 1e-5) * W[pre + "0.layer_norm.weight"] + W[pre + "0.layer_norm.bias"]
        h = gelu(y)
    h = layernorm(h, W["wavlm.feature_projection.layer_norm.weight"], W["wavlm.feature_projection.layer_norm.bias"])
    h = linear(W, "wavlm.feature_projection.projection", h)
    T, D = h.shape
    pw = W["wavlm.encoder.pos_conv_embed.conv.weight"]  # D, D/G, K
    Dg, K = pw.shape[1], pw.shape[2]
    G = D // Dg
    hp = np.zeros((T + K, D))
    hp[K // 2:K // 2 + T] = h
    pos = np.zeros((T, D)) + W["wavlm.encoder.pos_conv_embed.conv.bias"]
    for g in range(G):
        sl = slice(g * Dg, (g + 1) * Dg)
        for j in range(K):
            pos[:, sl] += hp[j:j + T, sl] @ pw[sl, :, j].T
    h = layernorm(h + gelu(pos), W["wavlm.encoder.layer_norm.weight"], W["wavlm.encoder.layer_norm.bias"])
    L = 0
    while "wavlm.encoder.layers.%d.attention.q_proj.weight" % L in W:
        L += 1
    lw = W["layer_weights"]
    lw = np.exp(lw - lw.max())
    lw /= lw.sum()
    acc = lw[0] * h
    emb = W["wavlm.encoder.layers.0.attention.rel_attn_embed.weight"]  # B x H
    B, H = emb.shape
    half, exact = B // 2, B // 4
    table = np.zeros((H, T, T))
    for t in range(T):
        for s in range(T):
            rel = s - t
            a = abs(rel)
            if a >= exact:
                v = f32(math.log(float(f32(a) / f32(exact))))  # ln in single precision
                v = f32(v / f32(math.log(800.0 / exact)))
                v = f32(f32(exact) + f32(v * f32(half - exact)))
                a = min(half - 1, int(v))
            bucket = a + (half if rel > 0 else 0)
            table[:, t, s] = emb[bucket]
    hd = D // H
    for l in range(L):
        p = "wavlm.encoder.layers.%d." % l
        q = linear(W, p + "attention.q_proj", h)
        k = linear(W, p + "attention.k_proj", h)
        v = linear(W, p + "attention.v_proj", h)
        gw, gb = W[p + "attention.gru_rel_pos_linear.weight"], W[p + "attention.gru_rel_pos_linear.bias"]
        const = W[p + "attention.gru_rel_pos_const"].reshape(-1)
        bias = np.zeros((H, T, T))
        for hh in range(H):
            gg = h[:, hh * hd:(hh + 1) * hd] @ gw.T + gb  # T x 8
            ga = sigmoid(gg[:, :4].sum(axis=1))
            gb2 = sigmoid(gg[:, 4:].sum(axis=1))
            gate = ga * (gb2 * const[hh] - 1.0) + 2.0
            bias[hh] = gate[:, None] * table[hh]
        o = attention(q, k, v, H, bias)
        h = layernorm(h + linear(W, p + "attention.out_proj", o), W[p + "layer_norm.weight"], W[p + "layer_norm.bias"])
        f = linear(W, p + "feed_forward.output_dense", gelu(linear(W, p + "feed_forward.intermediate_dense", h)))
        h = layernorm(h + f, W[p + "final_layer_norm.weight"], W[p + "final_layer_norm.bias"])
        acc = acc + lw[l + 1] * h
    x = linear(W, "projector", acc)
    kernels = []
    for t in range(5):
        w = W["tdnn.%d.kernel.weight" % t]
        k = w.shape[1] // x.shape[1]
        dil = TDNN_DIL[t]
        Tn = len(x) - (k - 1) * dil
        win = np.concatenate([x[j * dil:j * dil + Tn] for j in range(k)], axis=1)
        x = np.maximum(win @ w.T + W["tdnn.%d.kernel.bias" % t], 0.0)
        kernels.append(k)
    stats = np.concatenate([x.mean(axis=0), x.std(axis=0, ddof=1)])
    out = linear(W, "feature_extractor", stats)
    return out / max(np.linalg.norm(out), 1e-12)


# ---------------------------------------------------------------------------
# prompt encoder


def wordpiece(vocab, text):
    """Token ids of ASCII text: lower case, punctuation split, greedy longest pieces."""
    ids = {t: i for i, t in reversed(list(enumerate(vocab)))}
    words, cur = [], ""
    for ch in text.lower():
        if ch.isspace():
            if cur:
                words.append(cur)
            cur = ""
        elif 33 <= ord(ch) <= 47 or 58 <= ord(ch) <= 64 or 91 <= ord(ch) <= 96 or 123 <= ord(ch) <= 126:
            if cur:
                words.append(cur)
            words.append(ch)
            cur = ""
        else:
            cur += ch
    if cur:
        words.append(cur)
    out = [ids["[CLS]"]]
    for w in words:
        if len(w) > 100:
            out.append(ids["[UNK]"])
            continue
        pieces, start = [], 0
        while start < len(w):
            end = len(w)
            while end > start:
                piece = ("##" if start else "") + w[start:end]
                if piece in ids:
                    pieces.append(ids[piece])
                    break
                end -= 1
            if end == start:
                pieces = [ids["[UNK]"]]
                break
            start = end
        out += pieces
    return out[:255] + [ids["[SEP]"]]


def minilm_embed(M, ids):
    n = len(ids)
    x = M["embeddings.word_embeddings.weight"][ids] + M["embeddings.position_embeddings.weight"][:n] + \
        M["embeddings.token_type_embeddings.weight"][0]
    x = layernorm(x, M["embeddings.LayerNorm.weight"], M["embeddings.LayerNorm.bias"], 1e-12)
    for l in range(6):
        p = "encoder.layer.%d." % l
        q = linear(M, p + "attention.self.query", x)
        k = linear(M, p + "attention.self.key", x)
        v = linear(M, p + "attention.self.value", x)
        o = linear(M, p + "attention.output.dense", attention(q, k, v, 12))
        x = layernorm(x + o, M[p + "attention.output.LayerNorm.weight"], M[p + "attention.output.LayerNorm.bias"],
                      1e-12)
        h = gelu(linear(M, p + "intermediate.dense", x))
        x = layernorm(x + linear(M, p + "output.dense", h), M[p + "output.LayerNorm.weight"],
                      M[p + "output.LayerNorm.bias"], 1e-12)
    e = x.mean(axis=0)
    return e / max(np.linalg.norm(e), 1e-12)


def adapter(A, e):
    h = gelu(linear(A, "body.3", gelu(linear(A, "body.0", e))))
    logits = linear(A, "tag", h)
    p = np.exp(logits - logits.max())
    return p / p.sum(), linear(A, "spec", h), linear(A, "val", h)


# ---------------------------------------------------------------------------


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    model_dir, out_path = sys.argv[1], sys.argv[2]
    with open(os.path.join(model_dir, "config.json")) as f:
        cfg = json.load(f)
    out = {}
    rng = np.random.RandomState(20240607)

    # ---- refiners
    R = read_safetensors(os.path.join(model_dir, "refiner.safetensors"))
    PF = read_safetensors(os.path.join(model_dir, "prompted_flow.safetensors"))
    rcfg, pcfg = cfg["refiner"]["cfg"], cfg["prompted_flow"]["cfg"]
    T, P = 23, 9
    mel = (rng.standard_normal((T, 100)) * 1.5 - 4.0).astype(np.float32)
    prompt = (rng.standard_normal((P, 100)) * 1.5 - 3.0).astype(np.float32)
    g = rng.standard_normal(rcfg["g_dim"]).astype(np.float32)
    out["flow.mel"], out["flow.prompt"], out["flow.g"] = mel, prompt, g
    cases = {
        # name: (weights, cfg, steps, seed, prompt, noise, guidance)
        "flow.plain4": (R, rcfg, 4, 1234, None, 0.4, 0.0),
        "flow.plain1_quiet": (R, rcfg, 1, 77, None, 0.0, 0.0),
        "flow.prompted_none": (PF, pcfg, 3, 5, None, 0.4, 0.0),
        "flow.prompted": (PF, pcfg, 3, 5, prompt, 0.4, 0.0),
        "flow.prompted_guided": (PF, pcfg, 2, 9, prompt, 0.4, 0.7),
    }
    for name, (Wt, c, steps, seed, pr, noise, guid) in cases.items():
        out[name] = flow_sample(Wt, c, mel.astype(np.float64), g.astype(np.float64), steps, seed,
                                None if pr is None else pr.astype(np.float64), noise, guid).astype(np.float32)
        out[name + ".args"] = np.array([steps, seed, noise, guid, 0 if pr is None else P], dtype=np.float32)

    # ---- speaker encoder
    S = read_safetensors(os.path.join(model_dir, "native", "wavlm_sv.safetensors"))
    t = np.arange(9000) / 16000.0
    clip = (0.3 * np.sin(2 * np.pi * 220 * t) * np.sin(2 * np.pi * 3 * t) + 0.05 * rng.standard_normal(9000))
    clip = clip.astype(np.float32)
    out["wavlm.clip"] = clip
    out["wavlm.xvec"] = wavlm_xvector16(S, clip.astype(np.float64)).astype(np.float32)
    out["wavlm.xvec_short"] = wavlm_xvector16(S, clip[:3000].astype(np.float64)).astype(np.float32)

    # ---- prompt encoder
    M = read_safetensors(os.path.join(model_dir, "native", "minilm.safetensors"))
    A = read_safetensors(os.path.join(model_dir, "prompt_adapter.safetensors"))
    with open(os.path.join(model_dir, "native", "minilm_vocab.txt"), encoding="utf-8") as f:
        vocab = f.read().split("\n")[:-1]
    texts = ["Speak very softly, with a warm voice.", "", "ANGRY and fast!!", "a calm story"]
    for i, text in enumerate(texts):
        ids = wordpiece(vocab, text)
        e = minilm_embed(M, ids)
        prob, spec, val = adapter(A, e)
        p = "prompt.%d" % i
        out[p + ".text"] = np.frombuffer(text.encode() + b"\0", dtype=np.uint8).astype(np.int32)
        out[p + ".ids"] = np.array(ids, dtype=np.int32)
        out[p + ".embed"] = e.astype(np.float32)
        out[p + ".prob"] = prob.astype(np.float32)
        out[p + ".spec"] = spec.astype(np.float32)
        out[p + ".val"] = val.astype(np.float32)

    write_safetensors(out_path, out, {"fingerprint": fingerprint(model_dir), "model": os.path.basename(model_dir)})


if __name__ == "__main__":
    main()
