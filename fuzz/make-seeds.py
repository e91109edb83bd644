#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/: small,
valid inputs of each format (and a few near misses) for the fuzzer to start
from. The director seeds come from the project's own tool.

Run from this folder: python3 make-seeds.py [path of tovan-mkdirector]
"""
import json
import math
import os
import struct
import subprocess
import sys
import zipfile


def put(target, name, data):
    os.makedirs(os.path.join("corpus", target), exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join("corpus", target, name), "wb") as f:
        f.write(data)


def safetensors(tensors, meta=None, align=True):
    """tensors: list of (name, dtype, shape, bytes)."""
    header, offset, blob = {}, 0, b""
    if meta:
        header["__metadata__"] = meta
    for name, dtype, shape, data in tensors:
        if align and offset % 64:
            pad = 64 - offset % 64
            blob += b"\0" * pad
            offset += pad
        header[name] = {"dtype": dtype, "shape": shape, "data_offsets": [offset, offset + len(data)]}
        blob += data
        offset += len(data)
    h = json.dumps(header, separators=(",", ":")).encode()
    while (8 + len(h)) % 64:
        h += b" "
    return struct.pack("<Q", len(h)) + h + blob


def f32(*v):
    return struct.pack("<%df" % len(v), *v)


def wav(samples, rate=24000, tag=1, bits=16, channels=1, extra=b""):
    if tag == 3:
        data = struct.pack("<%df" % len(samples), *samples)
        bits = 32
    elif bits == 8:
        data = bytes(int(128 + 127 * s) for s in samples)
    elif bits == 24:
        data = b"".join(struct.pack("<i", int(s * 8388607))[:3] for s in samples)
    else:
        data = struct.pack("<%dh" % len(samples), *(int(s * 32767) for s in samples))
    align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + extra
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def zipped(files, compress=zipfile.ZIP_DEFLATED):
    """files: list of (name, text); a ZIP in memory with fixed dates."""
    import io
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_STORED if name == "mimetype" else compress
            z.writestr(info, data)
    return buf.getvalue()


def pdf(lines):
    """A one-page PDF with a line of Helvetica text per entry."""
    text = "BT /F1 12 Tf 72 720 Td 14 TL " + " ".join("(%s) '" % l for l in lines) + " ET"
    objs = ["<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
            "/Resources << /Font << /F1 5 0 R >> >> >>",
            "<< /Length %d >>\nstream\n%s\nendstream" % (len(text), text),
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    out, offsets = "%PDF-1.4\n", []
    for i, o in enumerate(objs):
        offsets.append(len(out))
        out += "%d 0 obj\n%s\nendobj\n" % (i + 1, o)
    xref = len(out)
    out += "xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    out += "".join("%010d 00000 n \n" % o for o in offsets)
    out += "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    return out.encode("latin-1")


def documents():
    put("zip", "deflated", zipped([("a.txt", "hello " * 20), ("dir/", ""), ("b.txt", "world")]))
    put("zip", "stored", zipped([("a.txt", "hello")], zipfile.ZIP_STORED))
    put("zip", "empty", zipped([]))

    chapter = ('<?xml version="1.0" encoding="utf-8"?><html><body><h1>Chapter One</h1>'
               '<p>It was a <em>dark</em> night.</p><p>[3] été [0]</p></body></html>')
    opf = ('<package><metadata><dc:title>Seed</dc:title><dc:creator>Nobody</dc:creator></metadata>'
           '<manifest><item id="c1" href="ch1.xhtml"/></manifest><spine><itemref idref="c1"/></spine></package>')
    container = ('<container><rootfiles><rootfile full-path="OEBPS/content.opf"/></rootfiles></container>')
    put("epub", "book", zipped([("mimetype", "application/epub+zip"), ("META-INF/container.xml", container),
                                ("OEBPS/content.opf", opf), ("OEBPS/ch1.xhtml", chapter)]))

    body = ('<w:document><w:body><w:p><w:r><w:t>First paragraph.</w:t></w:r></w:p>'
            '<w:p><w:r><w:tab/><w:t>42</w:t></w:r></w:p><w:p><w:r><w:t>a[0] &amp; b</w:t></w:r></w:p>'
            '</w:body></w:document>')
    core = '<cp:coreProperties><dc:title>Seed</dc:title></cp:coreProperties>'
    put("docx", "document", zipped([("word/document.xml", body), ("docProps/core.xml", core)]))

    put("html", "article", '<html><head><meta charset="utf-8"><title>Seed</title></head><body><article>'
        '<h1>Head</h1><p>The harbour was quiet in the early morning, and the boats lay still.</p>'
        '<p>By noon the market had filled with voices [1].</p><script>var a = 1;</script></article></body></html>')
    put("html", "latin1", b'<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">'
        b'<p>caf\xe9 cr\xe8me</p>')
    put("html", "utf16", "\ufeff<p>wide text</p>".encode("utf-16-le"))

    put("markdown", "doc", "# Title\n\nSome **bold** and *italic* text.\n\n- item one\n- item two\n\n"
        "```\nx = a[0]\n```\n\n> quoted [link](http://example.org)\n\n1. first\n")
    put("markdown", "latin1", b"caf\xe9 \xe9t\xe9\n\n12\n")

    put("pdf", "text", pdf(["The harbour was quiet.", "Boats lay still on the water.", "12"]))
    put("pdf", "empty-page", pdf([]))


def main():
    # JSON
    put("json", "object", '{"a": [1, 2.5, -3e-2, true, false, null], "b": {"c": "d\\u00e9\\n"}}')
    put("json", "numbers", "[0, -0, 1e308, 9007199254740993, 1.5E+3, NaN, Infinity, -Infinity]")
    put("json", "strings", '["\\ud83d\\ude00", "\\"quoted\\"", "tab\\t", "\\u0000"]')
    put("json", "nested", "[[[[[[[[[[{}]]]]]]]]]]")
    put("json", "repeated-key", '{"k": 1, "k": 2}')

    # Safetensors
    put("safetensors", "f32", safetensors([("w", "F32", [2, 3], f32(1, 2, 3, 4, 5, 6)),
                                           ("b", "F32", [3], f32(0.5, -0.5, 0))]))
    put("safetensors", "dtypes", safetensors([
        ("h", "F16", [2], struct.pack("<2H", 0x3C00, 0x8001)),
        ("bf", "BF16", [2], struct.pack("<2H", 0x3F80, 0x7F80)),
        ("i", "I32", [2], struct.pack("<2i", 7, -7)),
        ("l", "I64", [1], struct.pack("<q", 1 << 40)),
        ("d", "F64", [1], struct.pack("<d", math.pi)),
        ("u", "U8", [3], b"\1\2\3"),
        ("s", "F32", [], f32(2.0))], align=False))
    layout8 = {"layout": {"m": {"s": "int8", "shape": [2, 4]}}}
    put("safetensors", "int8", safetensors(
        [("m::q", "I8", [2, 4], bytes([1, 2, 3, 4, 255, 254, 253, 252])), ("m::s", "F32", [2], f32(0.5, 0.25))],
        {"tovantts_quant": json.dumps(layout8)}))
    layout4 = {"layout": {"m": {"s": "int4", "shape": [2, 3], "g": 2, "Kp": 4}}}
    put("safetensors", "int4", safetensors(
        [("m::q", "U8", [4], bytes([0x98, 0x7A, 0x19, 0x08])), ("m::s", "F32", [4], f32(1, 2, 3, 4))],
        {"tovantts_quant": json.dumps(layout4)}))

    # WAV
    tone = [0.5 * math.sin(0.3 * i) for i in range(64)]
    put("wav", "s16", wav(tone))
    put("wav", "u8-8k", wav(tone, rate=8000, bits=8))
    put("wav", "s24-stereo", wav(tone, rate=44100, bits=24, channels=2))
    put("wav", "f32-16k", wav(tone, rate=16000, tag=3))
    put("wav", "list-chunk", wav(tone[:8], extra=b"LIST" + struct.pack("<I", 5) + b"INFO!\0"))

    # Requests (edge model; a leading space streams)
    put("request", "plain", '{"text": "Hello there."}')
    put("request", "controls", '{"text": "It is 5 pm.", "voice": "voice_2500", "tag": "happiness", '
                               '"ctrl": {"rate": 1.5, "loud": -2}, "pace": 1.25, "guidance": 2.0}')
    put("request", "markup", ' {"text": "*Wait* [pause 200ms] <slow>what?</slow> [laugh]", "markup": true}')
    put("request", "word-shift", '{"text": "one two three", "word_shift": {"1": {"pitch": 2, "dur": 1.5}}}')
    put("request", "spk-vec", '{"text": "Hi.", "spk_vec": [' + ", ".join(["0.04"] * 512) + "]}")
    put("request", "numbers", '{"text": "On 12/03/2024 Dr. Smith paid $1,234.56 for 3 km of WWII rope at 10:30."}')
    # runs of digits too long for number words, read in digit groups
    put("request", "long-digits", '{"text": "Numbers ' + ",".join(str(i) for i in range(1, 26)) + ' drawn; *'
        + "9" * 110 + '* and 0.' + "0" * 320 + '5 and ' + "7" * 5000 + '.", "markup": true}')

    # Regex: pattern, NUL, text
    for i, (p, t) in enumerate([("(a|ab)(c|bcd)(d*)", "abcd"), ("(?<=\\d)x{2,3}?", "1xxxx"),
                                ("\\b(\\w+)\\s+\\1\\b", "the the cat"), ("[^\\s\\d]+|\\S", "ab 12 c."),
                                ("(a)??b", "aab"), ("straße", "STRASSE")]):
        put("regex", "p%d" % i, p.encode() + b"\0" + t.encode())

    # Model files: first byte 0 config.json, 1 voices.json, 2 voices.safetensors
    config = {"model_type": "tovan-tts-edge", "default_voice": "voice_1688", "tags": ["none", "happiness"],
              "acoustic": {"file": "acoustic.safetensors",
                           "arch": {"d": 32, "heads": 2, "ffn": 64, "k": 3, "g_dim": 16, "spk_dim": 8,
                                    "tag_dim": 8, "state_dim": 8, "spk_enc_dim": 512, "enc_layers": 1,
                                    "dec_layers": 1, "enc_mixer": "hybrid", "dec_mixer": "hybrid",
                                    "n_symbols": 118}},
              "vocoder": {"file": "vocoder.safetensors", "dim": 16, "inter": 32, "layers": 2}}
    put("model", "config", b"\0" + json.dumps(config).encode())
    voices = {"voices": [{"name": "voice_1688", "gender": "female"}, {"name": "voice_2500", "gender": "male"}]}
    put("model", "voices-json", b"\1" + json.dumps(voices).encode())
    rows = f32(*[0.1 * ((i * 7) % 5 - 2) for i in range(16)])
    put("model", "voices-safetensors", b"\2" + safetensors([("s", "F32", [2, 8], rows)]))

    documents()

    # Director files, from the project's tool
    tool = sys.argv[1] if len(sys.argv) > 1 else None
    if tool:
        os.makedirs("corpus/director", exist_ok=True)
        for name, args in [("v2-cal", ["--seed", "3", "--tokens", "64", "--width", "4", "--hidden", "4",
                                       "--context", "2", "--cal"]),
                           ("v1", ["--seed", "4", "--version", "1", "--tokens", "32", "--width", "2",
                                   "--hidden", "2", "--context", "0"])]:
            subprocess.run([tool, "corpus/director/" + name] + args, check=True)


main()
