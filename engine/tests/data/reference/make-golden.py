#!/usr/bin/python3
"""Independent reference computation of the engine's edge networks.

Reads a model directory written by tovan-mkmodel (fp32, or int8 through the
"tovantts_quant" layout), computes in float64 with numpy:
  - the conditioning vectors of one voice, tag and set of controls,
  - the acoustic model's durations and mel for a fixed symbol sequence with
    word shifts, pace and guidance,
  - the vocoder's samples for that mel,
  - the log-mel analysis of a fixed test signal,
and writes them with their inputs to one small safetensors file that the C++
tests compare against. The file also records a fingerprint of the weight
files, so a change in the generator shows up as a stale golden file instead
of a numeric mismatch.

    make-golden.py MODEL_DIR OUT.safetensors

Typical use, from the repository root after a build:
    engine/tests/data/reference/make-golden.py build/engine/models/tiny \
        engine/tests/data/reference/tiny.safetensors
    build/bin/tovan-mkmodel --size tiny --quant int8 /tmp/tiny-int8
    engine/tests/data/reference/make-golden.py /tmp/tiny-int8 \
        engine/tests/data/reference/tiny-int8.safetensors
"""
import json
import math
import os
import struct
import sys

import numpy as np

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
        if name.endswith("::q") or name.endswith("::s"):
            continue
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
        elif e.get("s") in ("raw", "fp16", None):
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
    """FNV-1a 64 over the bytes of the three weight files, in this order."""
    h = 0xCBF29CE484222325
    for name in ("voices.safetensors", "acoustic.safetensors", "vocoder.safetensors"):
        with open(os.path.join(model_dir, name), "rb") as f:
            for byte in f.read():
                h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


# ---------------------------------------------------------------------------
# building blocks

erf = np.vectorize(math.erf)


def gelu(x):
    return 0.5 * x * (1.0 + erf(x / math.sqrt(2.0)))


def silu(x):
    return x / (1.0 + np.exp(-x))


def linear(W, name, x):
    return x @ W[name + ".weight"].T + W[name + ".bias"]


def conv1d(x, weight, bias, k, pad):
    """x: T x Cin; weight: Cout x (Cin k), column c k + j is channel c at tap j."""
    T, cin = x.shape
    xp = np.zeros((T + 2 * pad, cin))
    xp[pad:pad + T] = x
    cols = np.zeros((T, cin, k))
    for j in range(k):
        cols[:, :, j] = xp[j:j + T]
    return cols.reshape(T, cin * k) @ weight.T + bias


def layernorm(x, w, b, eps):
    mean = x.mean(axis=1, keepdims=True)
    var = ((x - mean) ** 2).mean(axis=1, keepdims=True)
    return (x - mean) / np.sqrt(var + eps) * w + b


def rmsnorm(x, w, eps):
    return x / np.sqrt((x * x).mean(axis=-1, keepdims=True) + eps) * w


# ---------------------------------------------------------------------------
# acoustic model


class Acoustic:
    def __init__(self, W, arch):
        self.W = W
        self.d = arch.get("d", 192)
        self.heads = arch.get("heads", 2)
        self.k = arch.get("k", 3)
        self.S = arch.get("state_dim", 32)
        self.enc_layers = arch.get("enc_layers", 4)
        self.dec_layers = arch.get("dec_layers", 4)
        self.enc_hybrid = arch.get("enc_mixer", "attn") == "hybrid"
        self.dec_hybrid = arch.get("dec_mixer", "attn") == "hybrid"

    def condition(self, voice_row, tag, ctrl, mask):
        W = self.W
        vals = np.where(np.isnan(ctrl), 0.0, ctrl) * mask
        inp = np.concatenate([voice_row, W["tag.weight"][tag], vals, mask])
        h = silu(linear(W, "cond.0", inp))
        return linear(W, "cond.2", h)

    def modulations(self, g):
        """Every AdaLN's row, by the AdaLN's name: proj g + bias, 1 added to the scale half."""
        rows = {}
        for name in self.W:
            if name.endswith(".proj.weight"):
                p = name[:-len(".proj.weight")]
                r = linear(self.W, p + ".proj", g)
                r[:self.d] += 1.0
                rows[p] = r
        return rows

    def adaln(self, x, m):
        d = self.d
        mean = x.mean(axis=1, keepdims=True)
        var = ((x - mean) ** 2).mean(axis=1, keepdims=True)
        return (x - mean) / np.sqrt(var + 1e-5) * m[:d] + m[d:]

    def positions(self, x):
        L, d = x.shape
        c = np.float32(-math.log(10000.0) / d)
        t = np.arange(L, dtype=np.float32)
        for i in range(d // 2):
            freq = np.float32(np.exp(np.float32(2 * i) * c, dtype=np.float32))
            ang = (t * freq).astype(np.float64)
            x[:, 2 * i] += np.sin(ang)
            x[:, 2 * i + 1] += np.cos(ang)

    def attention(self, h, p):
        W, d, H = self.W, self.d, self.heads
        D = d // H
        qkv = h @ W[p + ".att.in_proj_weight"].T + W[p + ".att.in_proj_bias"]
        q, k, v = qkv[:, :d], qkv[:, d:2 * d], qkv[:, 2 * d:]
        out = np.zeros_like(q)
        for hh in range(H):
            sl = slice(hh * D, (hh + 1) * D)
            s = q[:, sl] @ k[:, sl].T / math.sqrt(D)
            s = np.exp(s - s.max(axis=1, keepdims=True))
            s /= s.sum(axis=1, keepdims=True)
            out[:, sl] = s @ v[:, sl]
        return linear(W, p + ".att.out_proj", out)

    def seqmix(self, h, m, backward):
        W, d, S = self.W, self.d, self.S
        H, DV = d // 32, 32
        L = h.shape[0]
        xn = rmsnorm(h, W[m + ".norm.weight"], 2.0 ** -23)
        gate = linear(W, m + ".in_proj", xn)
        keys = linear(W, m + ".k_proj", xn).reshape(L, H, S)
        queries = linear(W, m + ".q_proj", xn).reshape(L, H, S)
        values = linear(W, m + ".v_proj", xn).reshape(L, H, DV)
        step = linear(W, m + ".step_proj", xn)
        angles = linear(W, m + ".rot_proj", xn).reshape(L, H, S // 2)
        mix = linear(W, m + ".mix_proj", xn)
        keys = rmsnorm(keys, W[m + ".k_norm.weight"], 2.0 ** -23) + W[m + ".k_bias"].reshape(H, S)
        queries = rmsnorm(queries, W[m + ".q_norm.weight"], 2.0 ** -23) + W[m + ".q_bias"].reshape(H, S)
        step = np.where(step > 20.0, step, np.log1p(np.exp(np.minimum(step, 20.0))))
        mix = 1.0 / (1.0 + np.exp(-mix))
        angles = angles * step[:, :, None]
        decay = np.exp(W[m + ".decay_log"])
        y = np.zeros((L, H, DV))
        order = range(L - 1, -1, -1) if backward else range(L)
        for hh in range(H):
            state, prev = None, None
            for t in order:
                delta, mu = step[t, hh], mix[t, hh]
                a = math.exp(-decay[hh] * delta)
                beta, gamma = delta * mu, delta * (1.0 - mu) * a
                cur = beta * np.outer(keys[t, hh], values[t, hh])
                if state is None:
                    state = cur
                else:
                    A = a * state + gamma * np.outer(keys[prev, hh], values[prev, hh])
                    c, s = np.cos(angles[t, hh]), np.sin(angles[t, hh])
                    rot = np.empty_like(A)
                    rot[0::2] = c[:, None] * A[0::2] - s[:, None] * A[1::2]
                    rot[1::2] = s[:, None] * A[0::2] + c[:, None] * A[1::2]
                    state = rot + cur
                y[t, hh] = queries[t, hh] @ state
                prev = t
        y = y.reshape(L, d) * silu(gate)
        return linear(W, m + ".out_proj", y)

    def stack(self, name, x, layers, hybrid, M):
        W, k = self.W, self.k
        x = x.copy()
        self.positions(x)
        for i in range(layers):
            p = "%s.layers.%d" % (name, i)
            x = x + self.attention(self.adaln(x, M[p + ".n1"]), p)
            if hybrid:
                h = self.adaln(x, M[p + ".n_seq"])
                x = x + self.seqmix(h, p + ".seq.fwd", False)
                x = x + self.seqmix(h, p + ".seq.bwd", True)
            h = self.adaln(x, M[p + ".n2"])
            u = gelu(conv1d(h, W[p + ".c1.weight"], W[p + ".c1.bias"], k, (k - 1) // 2))
            x = x + linear(W, p + ".c2", u)
        return self.adaln(x, M[name + ".out_norm"])

    def varpred(self, name, x, M):
        W = self.W
        u = np.maximum(conv1d(x, W[name + ".c1.weight"], W[name + ".c1.bias"], 3, 1), 0)
        u = self.adaln(u, M[name + ".n1"])
        u = np.maximum(conv1d(u, W[name + ".c2.weight"], W[name + ".c2.bias"], 3, 1), 0)
        u = self.adaln(u, M[name + ".n2"])
        return linear(self.W, name + ".out", u)[:, 0]

    def encode_predict(self, ids, M):
        x = self.stack("encoder", self.W["emb.weight"][ids], self.enc_layers, self.enc_hybrid, M)
        return x, [self.varpred(p, x, M) for p in ("dur_pred", "pitch_pred", "energy_pred")]

    def decode(self, xe, r, M):
        frames = np.repeat(xe, r, axis=0)
        frames = self.stack("decoder", frames, self.dec_layers, self.dec_hybrid, M)
        return linear(self.W, "to_mel", frames)

    def infer(self, ids, words, g, g_ref, shifts, w, pace):
        W = self.W
        M = self.modulations(g)
        x, (dur, pitch, energy) = self.encode_predict(ids, M)
        if g_ref is not None:
            Mr = self.modulations(g_ref)
            xr, (dr, pr, er) = self.encode_predict(ids, Mr)
            dur, pitch, energy = dr + w * (dur - dr), pr + w * (pitch - pr), er + w * (energy - er)
        pitch, energy = pitch.copy(), energy.copy()
        r = np.zeros(len(ids), dtype=np.int64)
        for i in range(len(ids)):
            f = max(0.0, math.exp(dur[i]) - 1.0) / pace
            wi = words[i]
            if 0 <= wi < len(shifts):
                pitch[i] += shifts[wi][0]
                energy[i] += shifts[wi][1]
                f *= shifts[wi][2]
            frac = f - math.floor(f)
            if abs(frac - 0.5) < 0.02:
                sys.exit("symbol %d: duration %.4f is too close to a rounding tie; pick other inputs" % (i, f))
            r[i] = max(int(np.rint(f)), 0)
            if i == 0:
                r[i] = max(r[i], 1)
        e = conv1d(pitch[:, None], W["pitch_emb.weight"], W["pitch_emb.bias"], 3, 1) + \
            conv1d(energy[:, None], W["energy_emb.weight"], W["energy_emb.bias"], 3, 1)
        mel = self.decode(x + e, r, M)
        if g_ref is not None:
            mel_r = self.decode(xr + e, r, Mr)
            mel = mel_r + w * (mel - mel_r)
        return mel, r


# ---------------------------------------------------------------------------
# vocoder and signal processing


def hann(n):
    return 0.5 - 0.5 * np.cos(2.0 * np.pi * np.arange(n) / n)


def istft(spec, n_fft, hop):
    T = spec.shape[0]
    L = (T - 1) * hop
    win = hann(n_fft)
    sig = np.zeros(L + n_fft)
    wsq = np.zeros(L + n_fft)
    for t in range(T):
        frame = np.fft.irfft(spec[t], n_fft) * win
        sig[t * hop:t * hop + n_fft] += frame
        wsq[t * hop:t * hop + n_fft] += win * win
    return sig[n_fft // 2:n_fft // 2 + L] / wsq[n_fft // 2:n_fft // 2 + L]


def vocoder(W, cfg, mel):
    dim, layers, n_fft, hop = cfg["dim"], cfg["layers"], 1024, 256
    F = n_fft // 2 + 1
    x = conv1d(mel, W["backbone.embed.weight"], W["backbone.embed.bias"], 7, 3)
    x = layernorm(x, W["backbone.norm.weight"], W["backbone.norm.bias"], 1e-6)
    T = x.shape[0]
    for b in range(layers):
        p = "backbone.convnext.%d." % b
        taps = W[p + "dwconv.weight"].reshape(dim, 7)
        xp = np.zeros((T + 6, dim))
        xp[3:3 + T] = x
        y = W[p + "dwconv.bias"] + sum(taps[:, k] * xp[k:k + T] for k in range(7))
        y = layernorm(y, W[p + "norm.weight"], W[p + "norm.bias"], 1e-6)
        y = linear(W, p + "pwconv2", gelu(linear(W, p + "pwconv1", y)))
        x = x + W[p + "gamma"] * y
    x = layernorm(x, W["backbone.final_layer_norm.weight"], W["backbone.final_layer_norm.bias"], 1e-6)
    h = linear(W, "head.out", x)
    mag = np.minimum(np.exp(h[:, :F]), 100.0)
    spec = mag * np.exp(1j * h[:, F:])
    return istft(spec, n_fft, hop)


def mel_spectrogram(x):
    n_fft, hop, bands, sr = 1024, 256, 100, 24000
    n = len(x)
    T = n // hop + 1
    f = np.arange(n_fft // 2 + 1) * sr / n_fft
    mel_max = 2595.0 * math.log10(1.0 + (sr / 2) / 700.0)
    pts = 700.0 * (10.0 ** (np.linspace(0.0, mel_max, bands + 2) / 2595.0) - 1.0)
    fb = np.zeros((bands, len(f)))
    for b in range(bands):
        up = (f - pts[b]) / (pts[b + 1] - pts[b])
        down = (pts[b + 2] - f) / (pts[b + 2] - pts[b + 1])
        fb[b] = np.maximum(0.0, np.minimum(up, down))
    padded = np.pad(x.astype(np.float64), n_fft // 2, mode="reflect")
    win = hann(n_fft)
    out = np.zeros((T, bands))
    for t in range(T):
        mag = np.abs(np.fft.rfft(padded[t * hop:t * hop + n_fft] * win))
        out[t] = np.log(np.maximum(fb @ mag, 1e-7))
    return out


# ---------------------------------------------------------------------------


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    model_dir, out_path = sys.argv[1], sys.argv[2]
    with open(os.path.join(model_dir, "config.json")) as f:
        cfg = json.load(f)
    A = read_safetensors(os.path.join(model_dir, "acoustic.safetensors"))
    V = read_safetensors(os.path.join(model_dir, "vocoder.safetensors"))
    voices = read_safetensors(os.path.join(model_dir, "voices.safetensors"))["s"]
    ac = Acoustic(A, cfg["acoustic"]["arch"])

    # One segment: 9 symbols in 3 words, voice 2, tag 3, three controls (one
    # of them a flagged NaN), guidance 1.5 against the plain conditioning,
    # pace 1.1, and shifts for words 0 and 2 (word 7 does not exist).
    ids = np.array([5, 17, 42, 3, 99, 64, 8, 117, 0], dtype=np.int32)
    words = np.array([0, 0, 0, 1, 1, 2, 2, 7, -1], dtype=np.int32)
    shifts = np.array([[0.3, -0.2, 1.4], [0.0, 0.0, 1.0], [-0.5, 0.4, 0.8]], dtype=np.float32)
    ctrl = np.zeros(12, dtype=np.float32)
    mask = np.zeros(12, dtype=np.float32)
    ctrl[0], mask[0] = 0.8, 1.0
    ctrl[2], mask[2] = -1.25, 1.0
    ctrl[5], mask[5] = np.nan, 1.0
    ctrl[7] = 2.0  # not flagged: contributes nothing
    voice, tag, w, pace = 2, 3, np.float32(1.5), np.float32(1.1)

    g = ac.condition(voices[voice], tag, ctrl.astype(np.float64), mask.astype(np.float64))
    g_ref = ac.condition(voices[voice], 0, np.zeros(12), np.zeros(12))
    # The C++ side conditions in float32 itself; the network is fed the
    # float32 rounding of g so both start from the same vector.
    g32, gr32 = g.astype(np.float32), g_ref.astype(np.float32)
    mel, durs = ac.infer(ids, words, g32.astype(np.float64), gr32.astype(np.float64),
                         shifts.astype(np.float64), float(w), float(pace))
    mel32 = mel.astype(np.float32)
    audio = vocoder(V, cfg["vocoder"], mel32.astype(np.float64))

    # Test signal for the log-mel analysis: two tones and a little
    # deterministic noise, 3000 samples (12 frames).
    i = np.arange(3000)
    noise = ((i * 1103515245 + 12345) % 65536) / 65536.0 - 0.5
    sig = (0.4 * np.sin(2 * np.pi * 440.0 * i / 24000.0) + 0.2 * np.sin(2 * np.pi * 3100.0 * i / 24000.0)
           + 0.05 * noise).astype(np.float32)
    logmel = mel_spectrogram(sig.astype(np.float64))

    tensors = {
        "in.ids": ids, "in.words": words, "in.shifts": shifts, "in.ctrl": ctrl, "in.mask": mask,
        "in.voice": np.array([voice], dtype=np.int32), "in.tag": np.array([tag], dtype=np.int32),
        "in.w": np.array([w], dtype=np.float32), "in.pace": np.array([pace], dtype=np.float32),
        "out.g": g32, "out.g_ref": gr32, "out.mel": mel32, "out.durs": durs.astype(np.int32),
        "out.audio": audio.astype(np.float32),
        "in.signal": sig, "out.logmel": logmel.astype(np.float32),
    }
    meta = {"fingerprint": fingerprint(model_dir), "model": cfg.get("generator", {}).get("quant", "")}
    write_safetensors(out_path, tensors, meta)
    print("%s: %d frames, %d samples, fingerprint %s" % (out_path, mel.shape[0], audio.size, meta["fingerprint"]))


if __name__ == "__main__":
    main()
