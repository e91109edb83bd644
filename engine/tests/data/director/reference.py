#!/usr/bin/env python3
"""Independent reference computation of the reading director.

Reads director files written by tovan-mkdirector and plans the sentences of
sentences.tsv with plain Python floats (double precision), hashing tokens
with zlib's CRC-32. Writes golden.txt, which engine_tests compares against.

    python3 reference.py build/bin/tovan-mkdirector > golden.txt
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# name, tool arguments, genre ("-" for none). Seeded fixtures cover both
# versions, odd widths, a context ring that wraps, and a calibration block.
FIXTURES = [
    ("v2cal", ["--seed", "11", "--version", "2", "--width", "16", "--hidden", "12",
               "--context", "3", "--cal"], "gothic"),
    ("v1odd", ["--seed", "5", "--version", "1", "--tokens", "16400", "--width", "7",
               "--hidden", "9"], "-"),
    ("v2wide", ["--seed", "23", "--version", "2", "--width", "64", "--hidden", "64",
                "--context", "64"], "poetry"),
    ("dev", ["--dev"], "-"),
]

GENRES = ["children", "adventure", "fantasy", "mystery", "scifi", "gothic", "literary",
          "humour", "nonfiction", "poetry"]


class Model:
    def __init__(self, data):
        u32 = lambda off: struct.unpack_from("<I", data, off)[0]
        assert data[:4] == b"TVDR"
        self.version = u32(4)
        self.A, self.B, self.H = u32(8), u32(12), u32(16)
        assert (u32(20), u32(24), u32(28)) == (18, 10, 6)
        self.K = u32(32) if self.version == 2 else 0
        off = 36 if self.version == 2 else 32
        A, B, H = self.A, self.B, self.H
        I = 3 * H + 6 if self.K > 0 else 2 * H + 6

        def floats(n):
            nonlocal off
            v = list(struct.unpack_from("<%df" % n, data, off))
            off += 4 * n
            return v

        def int8s(rows, cols):
            nonlocal off
            flat = struct.unpack_from("<%db" % (rows * cols), data, off)
            off += rows * cols
            return [list(flat[r * cols:(r + 1) * cols]) for r in range(rows)]

        self.tok_scale = floats(A)
        self.tokens = int8s(A, B)
        self.enc_scale = floats(H)
        self.enc_w = int8s(H, B + 28)
        self.enc_b = floats(H)
        self.ig_scale = floats(3 * H)
        self.ig_w = int8s(3 * H, I)
        self.hg_scale = floats(3 * H)
        self.hg_w = int8s(3 * H, H)
        self.ig_b = floats(3 * H)
        self.hg_b = floats(3 * H)
        self.out_scale = floats(6)
        self.out_w = int8s(6, 2 * H)
        self.out_b = floats(6)
        self.cal = None
        if len(data) - off >= 104 and data[off:off + 4] == b"CAL1":
            off += 4
            self.cal = floats(25)


def token_id(token, seed):
    # zlib's crc32(t, v) runs the register from ~v and inverts at the end, so
    # starting it from ~seed gives NOT(register update from seed).
    return zlib.crc32(token, seed ^ 0xFFFFFFFF) & 0x3FFF


def token_ids(text):
    words = []
    i, n = 0, len(text)
    while i < n and len(words) < 512:
        c = text[i]
        j = i
        if chr(c).isascii() and (chr(c).isalpha() or c == 0x27):
            while j < n and chr(text[j]).isascii() and (chr(text[j]).isalpha() or text[j] == 0x27):
                j += 1
        elif 0x30 <= c <= 0x39:
            while j < n and 0x30 <= text[j] <= 0x39:
                j += 1
        elif c in b"!?":
            j = i + 1
        elif text[i:i + 3] in ("\u2026".encode(), "\u2014".encode()):
            j = i + 3
        else:
            i += 1
            continue
        words.append(text[i:j][:63].lower())
        i = j
    ids = [token_id(w, 0x1854DB83) for w in words]
    for a, b in zip(words, words[1:]):
        if len(ids) >= 512:
            break
        ids.append(token_id(a + b"_" + b, 0x2FE13D97))
    return ids


def features(text, dialogue, has_speaker, para_len, para_index):
    space = b" \t\n\v\f\r"
    words = len(text.split())  # bytes.split() splits on exactly those six bytes
    end = text
    closers = [b" ", b"\t", b"\n", b"\v", b"\f", b"\r", b'"', b"'", b")",
               "\u2019".encode(), "\u201d".encode()]
    while True:
        for c in closers:
            if end.endswith(c):
                end = end[:-len(c)]
                break
        else:
            break
    last_ellipsis = end.endswith("\u2026".encode())
    last = b"" if last_ellipsis else end[-1:]
    f = [0.0] * 18
    f[0] = min(words, 60) / 20
    f[1] = text.count(b",") / 3
    f[2] = (text.count(b";") + text.count(b":")) / 2
    f[3] = float(last == b"?")
    f[4] = float(last == b"!")
    f[5] = float(last == b".")
    f[6] = float(text.rstrip(space).endswith(b"...") or last_ellipsis)
    f[7] = float(dialogue != 0)
    f[8] = float(has_speaker != 0)
    f[9] = float("\u201c".encode() in text or b'"' in text)
    f[10] = float("\u2014".encode() in text or b"--" in text)
    upper = any(65 <= c <= 90 for c in text)
    lower = any(97 <= c <= 122 for c in text)
    f[11] = float(upper and not lower and words >= 2)
    f[12] = float(para_index == 0)
    f[13] = float(para_index == para_len - 1)
    f[14] = min(para_len, 12) / 6
    f[15] = para_index / (para_len - 1) if para_len >= 2 else 0.0
    f[16] = float(words < 5)
    head = text.lower()
    f[17] = 0.0
    for w in (b"chapter", b"book", b"part", b"canto", b"stanza"):
        if head.startswith(w):
            rest = head[len(w):len(w) + 1]
            if not rest or not (rest.isalnum() and rest.isascii() or rest == b"_"):
                f[17] = 1.0
    return f


def affine(scale, rows, bias, x):
    return [scale[r] * sum(w * v for w, v in zip(rows[r], x)) + bias[r] for r in range(len(rows))]


def sigmoid(v):
    return 1 / (1 + math.exp(-v))


def encode(m, text, feats, genre):
    ids = token_ids(text) or [0]
    tv = [sum(m.tok_scale[i] * m.tokens[i][b] for i in ids) / len(ids) for b in range(m.B)]
    return [math.tanh(v) for v in affine(m.enc_scale, m.enc_w, m.enc_b, tv + feats + genre)]


def plan_all(m, sents, genre_name):
    genre = [1.0 if g == genre_name else 0.0 for g in GENRES]
    H = m.H
    h = [0.0] * H
    prev = [0.0] * 6
    ring = []  # the last K encodings
    plans, feats = [], []
    for k, s in enumerate(sents):
        f = features(*s)
        cur = encode(m, s[0], f, genre)
        if k + 1 < len(sents):
            n = sents[k + 1]
            nxt = encode(m, n[0], features(*n), genre)
        else:
            nxt = [0.0] * H
        x = cur + nxt
        if m.K > 0:
            x += [sum(r[j] for r in ring) / len(ring) if ring else 0.0 for j in range(H)]
        x += prev
        gi = affine(m.ig_scale, m.ig_w, m.ig_b, x)
        gh = affine(m.hg_scale, m.hg_w, m.hg_b, h)
        r = [sigmoid(gi[j] + gh[j]) for j in range(H)]
        z = [sigmoid(gi[H + j] + gh[H + j]) for j in range(H)]
        nn = [math.tanh(gi[2 * H + j] + r[j] * gh[2 * H + j]) for j in range(H)]
        h = [(1 - z[j]) * nn[j] + z[j] * h[j] for j in range(H)]
        p = affine(m.out_scale, m.out_w, m.out_b, h + cur)
        prev = p
        if m.K > 0:
            ring = (ring + [cur])[-m.K:]
        plans.append(p)
        feats.append(f)
    return plans, feats


def controls(m, p, strength):
    x = [p[0] * strength, p[1] * strength, p[2] * strength, p[3] * strength, 0.8 * p[4] * strength]
    if m.cal:
        y = [sum(x[j] * m.cal[5 * j + k] for j in range(5)) for k in range(5)]
    else:
        y = x
    return [max(-3.0, min(3.0, v)) for v in y]


def ctrl_text(values):
    out = []
    for name, v in zip(["rate", "loud", "f0_med", "f0_iqr", "f0_end"], values):
        c = int(math.floor(abs(v) * 100 + 0.5))
        out.append("%s=%s%d.%02d" % (name, "-" if v < 0 and c else "", c // 100, c % 100))
    return ",".join(out)


def pause_ms(p, pace):
    q = pace if pace > 0.25 else 1.0
    ms = (math.exp(p[5]) - 1) * 1000 / q
    return 80 if ms < 80 else 1500 if ms > 1500 else int(ms + 0.5)


def read_sentences():
    sents = []
    with open(os.path.join(HERE, "sentences.tsv"), "rb") as fh:
        for line in fh:
            if line.startswith(b"#"):
                continue
            d, sp, pl, pi, text = line.rstrip(b"\n").split(b"\t", 4)
            sents.append((text, int(d), int(sp), int(pl), int(pi)))
    return sents


def g(v):
    return "%.9g" % v


def main():
    tool = sys.argv[1]
    sents = read_sentences()
    print("# golden output of reference.py over sentences.tsv; lines:")
    print("# fixture NAME GENRE SIZE CRC32 ARGS...")
    print("# F index features[18]")
    print("# P index plan[6] controls(strength 0.8)[5] pause(pace 1) pause(pace 1.5) ctrl(strength 1)")
    with tempfile.TemporaryDirectory() as tmp:
        for name, args, genre in FIXTURES:
            path = os.path.join(tmp, name + ".bin")
            subprocess.run([tool, path] + args, check=True)
            data = open(path, "rb").read()
            m = Model(data)
            print("fixture %s %s %d %08x %s" % (name, genre, len(data), zlib.crc32(data), " ".join(args)))
            plans, feats = plan_all(m, sents, genre)
            for i, (p, f) in enumerate(zip(plans, feats)):
                if name == FIXTURES[0][0]:
                    print("F %d %s" % (i, " ".join(g(v) for v in f)))
                c = controls(m, p, 0.8)
                print("P %d %s %s %d %d %s" % (i, " ".join(g(v) for v in p), " ".join(g(v) for v in c),
                                               pause_ms(p, 1.0), pause_ms(p, 1.5),
                                               ctrl_text(controls(m, p, 1.0))))


if __name__ == "__main__":
    main()
