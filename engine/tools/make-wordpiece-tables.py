#!/usr/bin/python3
"""Writes the WordPiece tokenizer's built-in Unicode tables.

    make-wordpiece-tables.py [-d /usr/share/unicode] OUT.cpp

Reads Debian's unicode-data (UnicodeData.txt, SpecialCasing.txt,
PropList.txt) and derives, per code point, what the uncased BERT basic
tokenizer does to it:
  - NORM: removal (control and format characters, private use, U+0000,
    U+FFFD, and nonspacing marks after decomposition), replacement by a space
    (white space), CJK ideographs set apart by spaces, and lower-casing with
    canonical decomposition and nonspacing marks removed; kinds
      0 remove, 1 space, 2 surround by spaces, 3 add value,
      4 add value on even offsets from the range start,
      5 sequence at POOL[value] (count, code points), 6 Hangul syllable;
  - POOL: the sequences of kind 5 rows;
  - REORDER: canonical combining classes, 255 for what NORM removes without
    it breaking a run of marks (controls, marks with a nonzero class);
  - PUNCT: ASCII punctuation and the Unicode punctuation categories;
  - SPACE: the White_Space property.
Unassigned code points are left unchanged (they have no entry) except inside
the CJK ranges, which are set apart as a whole.
"""
import os
import sys

CJK = [(0x4E00, 0x9FFF), (0x3400, 0x4DBF), (0x20000, 0x2A6DF), (0x2A700, 0x2B73F), (0x2B740, 0x2B81F),
       (0x2B820, 0x2CEAF), (0xF900, 0xFAFF), (0x2F800, 0x2FA1F)]
HANGUL_FIRST, HANGUL_LAST = 0xAC00, 0xD7A3


def read_ucd(d):
    cat, ccc, dec, lower = {}, {}, {}, {}
    first = None
    with open(os.path.join(d, "UnicodeData.txt"), encoding="utf-8") as f:
        for line in f:
            p = line.rstrip("\n").split(";")
            cp = int(p[0], 16)
            rows = [cp]
            if p[1].endswith(", First>"):
                first = cp
                continue
            if p[1].endswith(", Last>"):
                rows = range(first, cp + 1)
            for c in rows:
                cat[c] = p[2]
                ccc[c] = int(p[3])
                if p[5] and not p[5].startswith("<"):
                    dec[c] = [int(x, 16) for x in p[5].split()]
                if p[13]:
                    lower[c] = [int(p[13], 16)]
    with open(os.path.join(d, "SpecialCasing.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            p = [x.strip() for x in line.split(";")]
            if len(p) >= 5 and p[4]:
                continue  # conditional mappings (final sigma, languages) are not applied
            lower[int(p[0], 16)] = [int(x, 16) for x in p[1].split()]
    space = []
    with open(os.path.join(d, "PropList.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            r, prop = [x.strip() for x in line.split(";")]
            if prop != "White_Space":
                continue
            a, _, b = r.partition("..")
            space.append((int(a, 16), int(b or a, 16)))
    merged = []
    for a, b in sorted(space):
        if merged and merged[-1][1] + 1 == a:
            merged[-1] = (merged[-1][0], b)
        else:
            merged.append((a, b))
    return cat, ccc, dec, lower, merged


def main():
    args = sys.argv[1:]
    d = "/usr/share/unicode"
    if len(args) == 3 and args[0] == "-d":
        d, args = args[1], args[2:]
    if len(args) != 1:
        sys.exit(__doc__)
    cat, ccc, dec, lower, space = read_ucd(d)

    def nfd(c):
        if HANGUL_FIRST <= c <= HANGUL_LAST:
            s = c - HANGUL_FIRST
            out = [0x1100 + s // 588, 0x1161 + (s % 588) // 28]
            if s % 28:
                out.append(0x11A7 + s % 28)
            return out
        if c in dec:
            return [x for y in dec[c] for x in nfd(y)]
        return [c]

    def reorder(seq):
        # canonical ordering: stable sort of each run of non-starters
        out, run = [], []
        for c in seq:
            if ccc.get(c, 0) == 0:
                out += sorted(run, key=lambda x: ccc[x])
                run = []
                out.append(c)
            else:
                run.append(c)
        return out + sorted(run, key=lambda x: ccc[x])

    def is_cjk(c):
        return any(a <= c <= b for a, b in CJK)

    def removed_by_clean(c):
        if c in (9, 10, 13):
            return False
        return c == 0 or c == 0xFFFD or cat.get(c, "Cn")[0] == "C" and c in cat

    def is_space(c):
        return c in (9, 10, 13, 32) or cat.get(c) in ("Zs", "Zl", "Zp")

    def norm(c):
        """('keep'|'remove'|'space'|'cjk'|'hangul'|'seq', sequence)"""
        if 0xD800 <= c <= 0xDFFF:
            return "keep", None
        if removed_by_clean(c):
            return "remove", []
        if is_space(c):
            return "space", [32]
        if HANGUL_FIRST <= c <= HANGUL_LAST:
            return "hangul", None
        low = lower.get(c, [c])
        seq = reorder([x for y in low for x in nfd(y)])
        seq = [x for x in seq if cat.get(x) != "Mn"]
        if is_cjk(c):
            if seq == [c]:
                return "cjk", None
            return "seq", [32] + seq + [32]
        if seq == [c]:
            return "keep", None
        if not seq:
            return "remove", []
        return "seq", seq

    MAXCP = 0x10FFFF
    info = [norm(c) for c in range(MAXCP + 1)]

    # ---- NORM rows
    rows, pool, pool_at = [], [], {}
    c = 0
    while c <= MAXCP:
        kind, seq = info[c]
        if kind == "keep":
            c += 1
            continue
        if kind in ("remove", "space", "cjk", "hangul"):
            k = {"remove": 0, "space": 1, "cjk": 2, "hangul": 6}[kind]
            e = c
            while e + 1 <= MAXCP and info[e + 1][0] == kind:
                e += 1
            rows.append((c, e, 0, k))
            c = e + 1
            continue
        if len(seq) == 1:
            v = seq[0] - c

            def delta(x):
                k2, s2 = info[x]
                return s2[0] - x if k2 == "seq" and len(s2) == 1 else None

            e = c
            while e + 1 <= MAXCP and delta(e + 1) == v:
                e += 1
            if e > c:
                rows.append((c, e, v, 3))
                c = e + 1
                continue
            # alternating: mapped, unchanged, mapped, ...
            e = c
            while e + 2 <= MAXCP and info[e + 1][0] == "keep" and delta(e + 2) == v:
                e += 2
            rows.append((c, e, v, 4 if e > c else 3))
            c = e + 1
            continue
        assert len(seq) <= 3, (hex(c), seq)
        key = tuple(seq)
        if key not in pool_at:
            pool_at[key] = len(pool)
            pool += [len(seq)] + seq
        e = c
        while e + 1 <= MAXCP and info[e + 1][0] == "seq" and tuple(info[e + 1][1]) == key:
            e += 1
        rows.append((c, e, pool_at[key], 5))
        c = e + 1

    # ---- REORDER rows (above U+007F)
    def rclass(c):
        kind, _ = info[c]
        if kind == "remove" and (removed_by_clean(c) or ccc.get(c, 0) != 0):
            return 255
        return ccc.get(c, 0)

    reorder_rows = []
    c = 0x80
    while c <= MAXCP:
        k = rclass(c)
        if k == 0:
            c += 1
            continue
        e = c
        while e + 1 <= MAXCP and rclass(e + 1) == k:
            e += 1
        reorder_rows.append((c, e, k))
        c = e + 1

    # ---- PUNCT rows
    def is_punct(c):
        return 33 <= c <= 47 or 58 <= c <= 64 or 91 <= c <= 96 or 123 <= c <= 126 or cat.get(c, "")[:1] == "P"

    punct = []
    c = 0
    while c <= MAXCP:
        if not is_punct(c):
            c += 1
            continue
        e = c
        while e + 1 <= MAXCP and is_punct(e + 1):
            e += 1
        punct.append((c, e))
        c = e + 1

    version = "?"
    with open(os.path.join(d, "SpecialCasing.txt"), encoding="utf-8") as f:
        first = f.readline()
        if "-" in first:
            version = first.split("-")[1].split(".txt")[0]

    out = []
    out.append("// Generated by engine/tools/make-wordpiece-tables.py from the Unicode")
    out.append("// character database %s; do not edit." % version)
    out.append('#include "nn/wordpiece.h"')
    out.append("")
    out.append("namespace wordpiece {")
    out.append("")
    out.append("const tv_uni_norm_row NORM[] = {")
    for a, b, v, k in rows:
        out.append("    {0x%04X, 0x%04X, %d, %d}," % (a, b, v, k))
    out.append("};")
    out.append("const int32_t NORM_COUNT = %d;" % len(rows))
    out.append("")
    out.append("const uint32_t POOL[] = {")
    for i in range(0, len(pool), 12):
        out.append("    " + " ".join("0x%04X," % x for x in pool[i:i + 12]))
    out.append("};")
    out.append("const int32_t POOL_COUNT = %d;" % len(pool))
    out.append("")
    out.append("const tv_uni_class_row REORDER[] = {")
    for a, b, k in reorder_rows:
        out.append("    {0x%04X, 0x%04X, %d}," % (a, b, k))
    out.append("};")
    out.append("const int32_t REORDER_COUNT = %d;" % len(reorder_rows))
    out.append("")
    out.append("const tv_uni_range PUNCT[] = {")
    for a, b in punct:
        out.append("    {0x%04X, 0x%04X}," % (a, b))
    out.append("};")
    out.append("const int32_t PUNCT_COUNT = %d;" % len(punct))
    out.append("")
    out.append("const tv_uni_range SPACE[] = {")
    for a, b in space:
        out.append("    {0x%04X, 0x%04X}," % (a, b))
    out.append("};")
    out.append("const int32_t SPACE_COUNT = %d;" % len(space))
    out.append("")
    out.append("}  // namespace wordpiece")
    tmp = args[0] + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(out) + "\n")
    os.replace(tmp, args[0])
    print("NORM %d, POOL %d, REORDER %d, PUNCT %d, SPACE %d" % (len(rows), len(pool), len(reorder_rows), len(punct),
                                                                len(space)), file=sys.stderr)


if __name__ == "__main__":
    main()
