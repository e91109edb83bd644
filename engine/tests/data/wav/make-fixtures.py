#!/usr/bin/python3
"""Makes the WAV fixtures of the engine tests with sox (no dither).

Every file holds the same 64-sample signal, 0.9 sin(0.3 i) at 8000 Hz, in one
sample layout; the multi-channel files hold it in channel 0, -0.5 times it in
channel 1 and 0.25 times it in channel 2, so their mono mix is known. Run from
anywhere; the files land beside this script.
"""
import math
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIG = [0.9 * math.sin(0.3 * i) for i in range(64)]


def raw(channels):
    gains = [1.0, -0.5, 0.25][:channels]
    return b"".join(struct.pack("<d", s * g) for s in SIG for g in gains)


def sox(name, channels, *fmt):
    with tempfile.NamedTemporaryFile(suffix=".f64") as f:
        f.write(raw(channels))
        f.flush()
        subprocess.run(["sox", "-D", "-t", "f64", "-r", "8000", "-c", str(channels), f.name,
                        *fmt, os.path.join(HERE, name)], check=True)


def chunks(data):
    """(id, body) pairs of a RIFF file, pad bytes dropped."""
    out, off = [], 12
    while off + 8 <= len(data):
        cid, size = data[off:off + 4], struct.unpack("<I", data[off + 4:off + 8])[0]
        out.append((cid, data[off + 8:off + 8 + size]))
        off += 8 + size + (size & 1)
    return out


def riff(parts):
    body = b"WAVE"
    for cid, b in parts:
        body += cid + struct.pack("<I", len(b)) + b + (b"\0" if len(b) & 1 else b"")
    return b"RIFF" + struct.pack("<I", len(body)) + body


sox("u8.wav", 1, "-b", "8", "-e", "unsigned-integer")
sox("s16.wav", 1, "-b", "16", "-e", "signed-integer")
sox("s24.wav", 1, "-b", "24", "-e", "signed-integer")
sox("s32.wav", 1, "-b", "32", "-e", "signed-integer")
sox("f32.wav", 1, "-b", "32", "-e", "floating-point")
sox("f64.wav", 1, "-b", "64", "-e", "floating-point")
sox("stereo16.wav", 2, "-b", "16", "-e", "signed-integer")
sox("three24.wav", 3, "-b", "24", "-e", "signed-integer")

# A LIST chunk of odd size (so with a pad byte) between "fmt " and "data".
with open(os.path.join(HERE, "s16.wav"), "rb") as f:
    parts = chunks(f.read())
info = b"INFO" + b"ICMT" + struct.pack("<I", 5) + b"hello\0"
parts.insert(1, (b"LIST", info[:-1]))
with open(os.path.join(HERE, "list16.wav"), "wb") as f:
    f.write(riff(parts))

# A file cut short: its "data" chunk promises 64 samples and holds 40.
with open(os.path.join(HERE, "s16.wav"), "rb") as f:
    whole = f.read()
with open(os.path.join(HERE, "truncated16.wav"), "wb") as f:
    f.write(whole[:len(whole) - 48])
