"""The edge networks in torch, parameter for parameter the engine's.

Every parameter is named exactly like its tensor in the model directory, and
every step follows the engine's computation (the float64 numpy reference in
engine/tests/data/reference/make-golden.py is the same computation written
plainly; check_nets.py holds the two side by side). Training adds only what a
batch needs: sequences of different lengths are zero-padded and every
convolution sees zeros past a sequence's end, as the engine does with one
sequence; attention masks the padding.

Also here: the engine's log-mel recipe, the inverse STFT, and reading and
writing the model directory's safetensors files (fp32 or the int8 layout).
"""
import json
import math
import os
import struct

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

N_SYMBOLS = 118
N_TAGS = 20
N_FFT, HOP, SR, BANDS = 1024, 256, 24000, 100

# ---------------------------------------------------------------------------
# signal processing: the engine's recipe


def hann(n, dtype=torch.float32):
    return 0.5 - 0.5 * torch.cos(2.0 * math.pi * torch.arange(n, dtype=torch.float64) / n).to(dtype)


def mel_filters(dtype=torch.float32):
    f = np.arange(N_FFT // 2 + 1) * SR / N_FFT
    mel_max = 2595.0 * math.log10(1.0 + (SR / 2) / 700.0)
    pts = 700.0 * (10.0 ** (np.linspace(0.0, mel_max, BANDS + 2) / 2595.0) - 1.0)
    fb = np.zeros((BANDS, len(f)))
    for b in range(BANDS):
        up = (f - pts[b]) / (pts[b + 1] - pts[b])
        down = (pts[b + 2] - f) / (pts[b + 2] - pts[b + 1])
        fb[b] = np.maximum(0.0, np.minimum(up, down))
    return torch.tensor(fb, dtype=dtype)


class LogMel(nn.Module):
    """x: (B, N) samples -> (B, N // 256 + 1, 100) natural-log magnitudes."""

    def __init__(self):
        super().__init__()
        self.register_buffer("fb", mel_filters(), persistent=False)
        self.register_buffer("win", hann(N_FFT), persistent=False)

    def forward(self, x):
        spec = torch.stft(x, N_FFT, HOP, window=self.win, center=True, pad_mode="reflect", return_complex=True)
        mag = spec.abs().transpose(1, 2)  # B T F
        return torch.log(torch.clamp(mag @ self.fb.T, min=1e-7))


def istft(spec, win):
    """spec: (B, T, F) complex -> (B, (T - 1) * 256) samples, window-square normalised."""
    T = spec.shape[1]
    return torch.istft(spec.transpose(1, 2), N_FFT, HOP, window=win, center=True, length=(T - 1) * HOP)


# ---------------------------------------------------------------------------
# vocoder


class ConvNeXt(nn.Module):
    def __init__(self, dim, inter):
        super().__init__()
        self.dwconv = nn.Conv1d(dim, dim, 7, padding=3, groups=dim)
        self.norm = nn.LayerNorm(dim, eps=1e-6)
        self.pwconv1 = nn.Linear(dim, inter)
        self.pwconv2 = nn.Linear(inter, dim)
        self.gamma = nn.Parameter(torch.full((dim,), 0.1))

    def forward(self, x):  # B T C
        y = self.dwconv(x.transpose(1, 2)).transpose(1, 2)
        y = self.pwconv2(F.gelu(self.pwconv1(self.norm(y.float()))))  # LayerNorm in float under bf16 autocast
        return x + self.gamma * y


class Backbone(nn.Module):
    def __init__(self, dim, inter, layers):
        super().__init__()
        self.embed = nn.Conv1d(BANDS, dim, 7, padding=3)
        self.norm = nn.LayerNorm(dim, eps=1e-6)
        self.convnext = nn.ModuleList([ConvNeXt(dim, inter) for _ in range(layers)])
        self.final_layer_norm = nn.LayerNorm(dim, eps=1e-6)


class Head(nn.Module):
    def __init__(self, dim):
        super().__init__()
        self.out = nn.Linear(dim, N_FFT + 2)


class Vocoder(nn.Module):
    def __init__(self, dim=384, inter=896, layers=8):
        super().__init__()
        self.cfg = {"dim": dim, "inter": inter, "layers": layers}
        self.backbone = Backbone(dim, inter, layers)
        self.head = Head(dim)
        self.register_buffer("win", hann(N_FFT), persistent=False)
        with torch.no_grad():
            self.head.out.bias[:N_FFT // 2 + 1].fill_(-3.0)

    def forward(self, mel):  # B T 100 -> B (T-1)*256
        b = self.backbone
        x = b.embed(mel.transpose(1, 2)).transpose(1, 2)
        x = b.norm(x.float())
        for blk in b.convnext:
            x = blk(x)
        h = self.head.out(b.final_layer_norm(x.float())).float()  # the spectrum in float under bf16 autocast
        Fb = N_FFT // 2 + 1
        mag = torch.exp(torch.clamp(h[..., :Fb], max=math.log(100.0)))
        ph = h[..., Fb:]
        return istft(torch.complex(mag * torch.cos(ph), mag * torch.sin(ph)), self.win)


# ---------------------------------------------------------------------------
# acoustic model


class Lin(nn.Linear):
    pass


class Proj(nn.Module):
    """An AdaLN: only its projection of g; the scale half gets 1 added."""

    def __init__(self, d, g_dim):
        super().__init__()
        self.proj = nn.Linear(g_dim, 2 * d)
        with torch.no_grad():
            self.proj.weight.mul_(0.1)
            self.proj.bias.zero_()

    def forward(self, x, g):  # x B L d, g B g_dim
        m = self.proj(g)
        d = x.shape[-1]
        # layer_norm is the engine's normalisation (biased variance, eps 1e-5), fused.
        return F.layer_norm(x, (d,), eps=1e-5) * (1.0 + m[:, None, :d]) + m[:, None, d:]


class ConvMat(nn.Module):
    """A convolution stored as a Cout x (Cin k) matrix (column c k + j = channel c, tap j)."""

    def __init__(self, cin, cout, k):
        super().__init__()
        self.k = k
        self.weight = nn.Parameter(torch.empty(cout, cin * k))
        self.bias = nn.Parameter(torch.zeros(cout))
        nn.init.uniform_(self.weight, -math.sqrt(1.0 / (cin * k)), math.sqrt(1.0 / (cin * k)))

    def forward(self, x, mask=None):  # B L Cin, mask B L (1 = real)
        if mask is not None:
            x = x * mask[..., None]
        w = self.weight.view(self.weight.shape[0], -1, self.k)
        return F.conv1d(x.transpose(1, 2), w, self.bias, padding=(self.k - 1) // 2).transpose(1, 2)


class Attention(nn.Module):
    def __init__(self, d, heads):
        super().__init__()
        self.heads = heads
        self.in_proj_weight = nn.Parameter(torch.empty(3 * d, d))
        self.in_proj_bias = nn.Parameter(torch.zeros(3 * d))
        self.out_proj = nn.Linear(d, d)
        nn.init.xavier_uniform_(self.in_proj_weight)

    def forward(self, h, mask):
        B, L, d = h.shape
        H = self.heads
        qkv = F.linear(h, self.in_proj_weight, self.in_proj_bias)
        q, k, v = (t.view(B, L, H, d // H).transpose(1, 2) for t in qkv.split(d, dim=-1))
        s = q @ k.transpose(-1, -2) / math.sqrt(d // H)
        if mask is not None:
            s = s.masked_fill(mask[:, None, None, :] <= 0, float("-inf"))
        # softmax in float even when the scores come from bf16 products
        a = torch.softmax(s.float(), dim=-1).to(v.dtype) @ v
        return self.out_proj(a.transpose(1, 2).reshape(B, L, d))


class Layer(nn.Module):
    def __init__(self, d, heads, ffn, k, g_dim):
        super().__init__()
        self.n1 = Proj(d, g_dim)
        self.att = Attention(d, heads)
        self.n2 = Proj(d, g_dim)
        self.c1 = ConvMat(d, ffn, k)
        self.c2 = nn.Linear(ffn, d)


def positions(L, d, device):
    c = torch.tensor(-math.log(10000.0) / d, dtype=torch.float32)
    i = torch.arange(d // 2, dtype=torch.float32)
    freq = torch.exp(2.0 * i * c)
    ang = torch.arange(L, dtype=torch.float32)[:, None] * freq[None, :]
    pe = torch.zeros(L, d)
    pe[:, 0::2] = torch.sin(ang)
    pe[:, 1::2] = torch.cos(ang)
    return pe.to(device)


class Stack(nn.Module):
    def __init__(self, layers, d, heads, ffn, k, g_dim):
        super().__init__()
        self.layers = nn.ModuleList([Layer(d, heads, ffn, k, g_dim) for _ in range(layers)])
        self.out_norm = Proj(d, g_dim)

    def forward(self, x, g, mask):
        x = x + positions(x.shape[1], x.shape[2], x.device)
        for ly in self.layers:
            x = x + ly.att(ly.n1(x, g), mask)
            u = F.gelu(ly.c1(ly.n2(x, g), mask))
            x = x + ly.c2(u)
        return self.out_norm(x, g)


class VarPred(nn.Module):
    def __init__(self, d, g_dim):
        super().__init__()
        self.c1 = ConvMat(d, d, 3)
        self.c2 = ConvMat(d, d, 3)
        self.out = nn.Linear(d, 1)
        self.n1 = Proj(d, g_dim)
        self.n2 = Proj(d, g_dim)

    def forward(self, x, g, mask):
        u = self.n1(torch.relu(self.c1(x, mask)), g)
        u = self.n2(torch.relu(self.c2(u, mask)), g)
        return self.out(u)[..., 0]


class Cond(nn.Module):
    def __init__(self, cin, g_dim):
        super().__init__()
        self.add_module("0", nn.Linear(cin, 256))
        self.add_module("2", nn.Linear(256, g_dim))

    def forward(self, x):
        return getattr(self, "2")(F.silu(getattr(self, "0")(x)))


class Acoustic(nn.Module):
    def __init__(self, d=192, heads=2, ffn=384, k=3, g_dim=128, spk_dim=64, tag_dim=32, enc_layers=4,
                 dec_layers=4, n_speakers=2):
        super().__init__()
        self.arch = {"d": d, "heads": heads, "ffn": ffn, "k": k, "g_dim": g_dim, "spk_dim": spk_dim,
                     "tag_dim": tag_dim, "state_dim": 32, "spk_enc_dim": 512, "enc_layers": enc_layers,
                     "dec_layers": dec_layers, "enc_mixer": "attn", "dec_mixer": "attn", "n_symbols": N_SYMBOLS}
        self.emb = nn.Embedding(N_SYMBOLS, d)
        nn.init.normal_(self.emb.weight, 0.0, 0.3)
        self.tag = nn.Embedding(N_TAGS, tag_dim)
        # Maps a cloned speaker's 512-float vector onto the voice row; the
        # engine requires it. Untrained here: the corpus has no cloned voices.
        self.spk_proj = nn.Linear(512, spk_dim)
        self.cond = Cond(spk_dim + tag_dim + 24, g_dim)
        self.encoder = Stack(enc_layers, d, heads, ffn, k, g_dim)
        self.decoder = Stack(dec_layers, d, heads, ffn, k, g_dim)
        self.dur_pred = VarPred(d, g_dim)
        self.pitch_pred = VarPred(d, g_dim)
        self.energy_pred = VarPred(d, g_dim)
        self.pitch_emb = ConvMat(1, d, 3)
        self.energy_emb = ConvMat(1, d, 3)
        self.to_mel = nn.Linear(d, BANDS)
        with torch.no_grad():
            self.dur_pred.out.bias.fill_(math.log(7.0))
            self.to_mel.bias.fill_(-4.0)
        # One row per trained speaker (the female teacher first); the voice
        # table gives every voice its gender's row.
        self.speakers = nn.Parameter(torch.randn(n_speakers, spk_dim) * 0.5)

    def condition(self, B, spk=None, tag=None, ctrl=None, mask=None):
        """The engine's conditioning input: speaker row, tag row, controls times flags, flags."""
        dev = self.speakers.device
        spk = torch.zeros(B, dtype=torch.long, device=dev) if spk is None else spk
        tag = torch.zeros(B, dtype=torch.long, device=dev) if tag is None else tag
        ctrl = torch.zeros(B, 12, device=dev) if ctrl is None else ctrl
        mask = torch.zeros(B, 12, device=dev) if mask is None else mask
        inp = torch.cat([self.speakers[spk], self.tag(tag), ctrl * mask, mask], dim=1)
        return self.cond(inp)

    def encode(self, ids, g, mask):
        x = self.encoder(self.emb(ids), g, mask)
        return x, self.dur_pred(x, g, mask), self.pitch_pred(x, g, mask), self.energy_pred(x, g, mask)

    def decode(self, x, pitch, energy, reps, g, mask):
        """reps: B n integer frames per symbol; returns mel B T 100 and the frame mask."""
        e = self.pitch_emb(pitch[..., None], mask) + self.energy_emb(energy[..., None], mask)
        h = x + e
        T = int(reps.sum(1).max())
        frames, fmask = [], []
        for b in range(h.shape[0]):
            f = torch.repeat_interleave(h[b], reps[b], dim=0)
            fm = torch.ones(f.shape[0], device=h.device)
            pad = T - f.shape[0]
            frames.append(F.pad(f, (0, 0, 0, pad)))
            fmask.append(F.pad(fm, (0, pad)))
        frames, fmask = torch.stack(frames), torch.stack(fmask)
        y = self.decoder(frames, g, fmask)
        return self.to_mel(y), fmask

    def forced(self, ids, reps, pitch, energy, g, mask):
        """The mel made with given durations, pitch and energy (the recording's): B T 100."""
        x, _, _, _ = self.encode(ids, g, mask)
        return self.decode(x, pitch, energy, reps, g, mask)[0]

    @torch.no_grad()
    def infer(self, ids, pace=1.0):
        """One sequence, no guidance or shifts: the engine's plain path."""
        ids = torch.as_tensor(ids, dtype=torch.long)[None]
        g = self.condition(1)
        x, dur, pitch, energy = self.encode(ids, g, None)
        f = torch.clamp(torch.exp(dur[0].double()) - 1.0, min=0.0) / pace
        r = torch.clamp(torch.round(f), min=0).long()  # torch.round: ties to even, as rint
        r[0] = max(int(r[0]), 1)
        mel, _ = self.decode(x, pitch, energy, r[None], g, None)
        return mel[0], r


# ---------------------------------------------------------------------------
# safetensors in the model directory's layout


def _write(path, tensors, meta):
    header, blobs, off = {}, [], 0
    codes = {np.dtype(np.float32): "F32", np.dtype(np.int8): "I8", np.dtype(np.int32): "I32"}
    for name, arr in tensors:
        b = np.ascontiguousarray(arr).tobytes()
        header[name] = {"dtype": codes[arr.dtype], "shape": list(arr.shape), "data_offsets": [off, off + len(b)]}
        blobs.append(b)
        off += len(b)
    if meta:
        header["__metadata__"] = meta
    h = json.dumps(header, separators=(",", ":")).encode()
    h += b" " * ((8 - len(h) % 8) % 8)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(struct.pack("<Q", len(h)) + h + b"".join(blobs))
    os.replace(tmp, path)


def _is_matrix(name, module):
    """The tensors the engine reads through matrix views (they take the quantised storage)."""
    if isinstance(module, Vocoder):
        return name in ("backbone.embed.weight", "head.out.weight") or name.endswith(("pwconv1.weight",
                                                                                       "pwconv2.weight"))
    return name.endswith(".weight") or name.endswith("in_proj_weight")


def state_arrays(module):
    out = {}
    for name, p in module.state_dict().items():
        a = p.detach().cpu().float().numpy()
        if name.endswith("embed.weight") or name.endswith("dwconv.weight"):
            a = a.reshape(a.shape[0], -1)  # Conv1d (Cout, Cin, k) -> Cout x (Cin k)
        out[name] = a
    return out


def save_safetensors(module, path, quant="fp32", skip=()):
    arrs = state_arrays(module)
    tensors, layout = [], {}
    for name in sorted(arrs):
        if name in skip:
            continue
        a = arrs[name].astype(np.float32)
        if not _is_matrix(name, module) or a.ndim != 2:
            tensors.append((name, a))
            continue
        if quant == "int8":
            m = np.abs(a).max(axis=1)
            s = np.where(m > 0, m / np.float32(127.0), np.float32(1.0)).astype(np.float32)
            q = np.clip(np.rint(a / s[:, None]), -127, 127).astype(np.int8)
            tensors += [(name + "::q", q), (name + "::s", s)]
            layout[name] = {"s": "int8", "shape": list(a.shape)}
        else:
            tensors.append((name, a))
            layout[name] = {"s": "raw", "shape": list(a.shape)}
    meta = {"tovantts_quant": json.dumps({"layout": layout}, separators=(",", ":"))}
    _write(path, tensors, meta)


def load_safetensors(path):
    """name -> float32 array, int8 dequantised."""
    with open(path, "rb") as f:
        data = f.read()
    n = struct.unpack("<Q", data[:8])[0]
    header = json.loads(data[8:8 + n])
    meta = header.pop("__metadata__", {})
    layout = json.loads(meta["tovantts_quant"])["layout"] if "tovantts_quant" in meta else {}
    dt = {"F32": np.float32, "I8": np.int8, "I32": np.int32}
    raw = {}
    for name, e in header.items():
        b, end = e["data_offsets"]
        raw[name] = np.frombuffer(data[8 + n + b:8 + n + end], dtype=dt[e["dtype"]]).reshape(e["shape"])
    out = {k: v.astype(np.float32) for k, v in raw.items() if not k.endswith(("::q", "::s"))}
    for name, e in layout.items():
        if e["s"] == "int8":
            out[name] = (raw[name + "::q"].astype(np.float32) * raw[name + "::s"][:, None]).reshape(e["shape"])
    return out


def load_into(module, arrays, strict=True):
    sd = module.state_dict()
    new = {}
    for name, p in sd.items():
        if name not in arrays:
            if strict:
                raise KeyError("missing tensor " + name)
            new[name] = p
            continue
        new[name] = torch.tensor(arrays[name]).reshape(p.shape)
    module.load_state_dict(new)


def load_model_dir(model_dir):
    """-> (Acoustic, Vocoder) with a model directory's weights (int8 dequantised); the speaker
    rows are the default female and male voices' rows."""
    cfg = json.load(open(os.path.join(model_dir, "config.json")))
    arch, vc = cfg["acoustic"]["arch"], cfg["vocoder"]
    ac = Acoustic(d=arch["d"], heads=arch["heads"], ffn=arch["ffn"], k=arch["k"], g_dim=arch["g_dim"],
               spk_dim=arch["spk_dim"], tag_dim=arch["tag_dim"], enc_layers=arch["enc_layers"],
               dec_layers=arch["dec_layers"])
    A = load_safetensors(os.path.join(model_dir, "acoustic.safetensors"))
    rows = load_safetensors(os.path.join(model_dir, "voices.safetensors"))["s"]
    names = [v["name"] for v in json.load(open(os.path.join(model_dir, "voices.json")))["voices"]]
    dv = cfg.get("default_voices", {})
    A["speakers"] = np.stack([rows[names.index(dv[g]) if dv.get(g) in names else 0] for g in ("female", "male")])
    load_into(ac, A)
    voc = Vocoder(vc["dim"], vc["inter"], vc["layers"])
    V = load_safetensors(os.path.join(model_dir, "vocoder.safetensors"))
    for k in list(V):
        if k.endswith("embed.weight"):
            V[k] = V[k].reshape(vc["dim"], 100, 7)
        elif k.endswith("dwconv.weight"):
            V[k] = V[k].reshape(vc["dim"], 1, 7)
    load_into(voc, V)
    return ac.eval(), voc.eval()


TAGS = ["none", "determined", "sadness", "apologetic", "anxiety", "irritation", "excited", "amusement",
        "happiness", "contentment", "whisper", "serenity", "confidence", "loud", "hesitant", "surprise", "distress",
        "tired", "anger", "mysterious"]
VOICES = [("voice_1688", "female", "mid", "average"), ("voice_2500", "male", "low", "average"),
          ("voice_0010", "female", "high", "fast"), ("voice_1469", "male", "mid", "slow"),
          ("voice_0185", "female", "low", "slow"), ("voice_0413", "male", "high", "fast"),
          ("voice_1226", "female", "mid", "fast"), ("voice_0213", "male", "mid", "average")]


def export_model(ac, voc, out_dir, quant="fp32"):
    """Writes a whole model directory: config.json, voices.json and the three weight files."""
    os.makedirs(out_dir, exist_ok=True)
    # Secondary stress never occurs in the corpus (the front end marks 0 or
    # 1): such vowels speak like their primary-stressed twins. Found by name:
    # the consonants sit between the vowels in the symbol table.
    from prep_data import SYM
    with torch.no_grad():
        saved = ac.emb.weight.clone()
        for name, i in SYM.items():
            if name.endswith("2") and name[:-1] + "1" in SYM:
                ac.emb.weight[i] = ac.emb.weight[SYM[name[:-1] + "1"]]
    save_safetensors(ac, os.path.join(out_dir, "acoustic.safetensors"), quant, skip=("speakers",))
    with torch.no_grad():
        ac.emb.weight.copy_(saved)
    save_safetensors(voc, os.path.join(out_dir, "vocoder.safetensors"), quant)
    spk = ac.speakers.detach().cpu().numpy().astype(np.float32)
    rows = np.stack([spk[0 if v[1] == "female" else min(1, len(spk) - 1)] for v in VOICES])
    _write(os.path.join(out_dir, "voices.safetensors"), [("s", rows)], None)
    cfg = {"model_type": "tovan-tts-edge", "default_voice": "voice_1688",
           "default_voices": {"female": "voice_1688", "male": "voice_2500"}, "tags": TAGS,
           "acoustic": {"file": "acoustic.safetensors", "arch": ac.arch},
           "vocoder": dict(file="vocoder.safetensors", **voc.cfg),
           "generator": {"size": "trained", "quant": quant, "seed": 0}}
    with open(os.path.join(out_dir, "config.json"), "w") as f:
        json.dump(cfg, f, indent=2)
    with open(os.path.join(out_dir, "voices.json"), "w") as f:
        f.write("{\"voices\": [\n" + ",\n".join(
            "  {\"name\": \"%s\", \"gender\": \"%s\", \"pitch_register\": \"%s\", \"pace\": \"%s\"}" % v
            for v in VOICES) + "\n]}\n")
