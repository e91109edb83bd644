#!/usr/bin/env python3
"""Writes rx_lead_expect.txt: what Python's re module finds for generated
patterns that begin with a repeat of one character test (maybe after one
test, maybe inside groups), over texts made of runs of a few characters.

The engine skips the later starts of a run once a search failed at its first
start; these cases show it never skips a real match. Each pattern mixes a
leading run with what follows it: literals, classes, look-around, anchors,
alternation, back-references, lazy repeats, and groups around the run.

The format is rx_expect.txt's (T, P and M lines); engine_tests reads both.
Run: python3 make_rx_lead_expect.py > rx_lead_expect.txt
"""
import random
import re
import sys

from make_rx_expect import esc, matches, spans

# One character tests a run is made of.
ATOMS = [r"\d", r"[0-9]", r"[1-5]", "a", "[ab]", ".", r"\w", r"\D", "[^x]", "(?:a)",
         r"[\d,]", "[a-z]", r"\s", "[^ab]"]
# A first character before the run.
FIRSTS = ["a", "x", r"\d", "5", "[ab]", ".", r"\w", " ", "[0-4]"]
# What may follow the run.
TAILS = ["", "x", r"\d", "5", "a", "b", "(?<=5)x", r"(?<=a\d)", r"(?!\d)", r"\b", r"\B", "$",
         "(?=x)", "(?:b|x)", "(a|5)", r"\d{2}x", "[ab]+?b", "x?b", "(?<!1)", r"\s", "(?=5)",
         r"(?<=\d\d)a", "x|b", r"\Z", "(?<= )", "A", "[^0-9]", r"(?:\d\d)+x", r"\.\d",
         r"\d*?5", "(?!a)b", "x*", r"(?<![0-9])"]
REPEATS = ["+", "*", "{2,}", "+?", "*?", "{1,}", "{3,}?"]


def run(rng):
    a = rng.choice(ATOMS)
    return a + rng.choice(REPEATS), a


def pattern(rng):
    r, atom = run(rng)
    t = rng.choice(TAILS)
    u = rng.choice(TAILS)
    f = rng.choice(FIRSTS)
    shapes = [
        lambda: r + t,
        lambda: r + t + u,
        lambda: f + r + t,
        lambda: "(" + r + ")" + t,
        lambda: "(?:" + r + ")" + t + u,
        lambda: "((" + f + r + ")" + t + ")",
        lambda: "(" + r + t + "|" + u + "y)",
        lambda: r + t + "|" + f + u,
        lambda: "(" + atom + ")+" + t,
        lambda: "(?:" + f + atom + ")+" + t,
        lambda: "(" + r + ")" + t + r"\1",
        lambda: "(" + atom + ")" + r + r"\1",
        lambda: r"\b" + r + t,
        lambda: "^" + r + t,
        lambda: "(?=" + atom + ")" + r + t,
        lambda: "(?<=" + f + ")" + r + t,
        lambda: "(?=" + r + t + ")" + atom + u,
        lambda: "(?!" + r + t + ")" + atom + u,
        lambda: "(?:" + r + t + ")?" + u,
        lambda: "(?:" + r + t + ")*b",
        lambda: f + "?" + r + t,
        lambda: r + "(" + t + ")?" + u,
    ]
    return rng.choice(shapes)()


def text(rng):
    pieces = "0123456789" + "aabbx" + " ,.AB%5"
    out = ""
    while len(out) < rng.randint(4, 22):
        out += rng.choice(pieces) * rng.choice([1, 1, 2, 3, 5])
    return out


def main():
    rng = random.Random(20261210)
    # No empty text: Python before 3.14 refuses \B there.
    texts = ["5", "12345", "123 45x", "aaab", "abab x", "9999x", "1,2 3,4% 5",
             "AB cD!", "12.345", "x12x", "aa\nab", "1a2b3c5x"]
    while len(texts) < 40:
        t = text(rng)
        if t not in texts:
            texts.append(t)
    pats, seen = [], set()
    while len(pats) < 400:
        p = pattern(rng)
        flags = 1 if rng.random() < 0.15 else 0
        if (p, flags) in seen:
            continue
        try:
            c = re.compile(p, re.I if flags else 0)
        except re.error:
            continue
        seen.add((p, flags))
        pats.append((c, flags))
    w = sys.stdout.write
    w("# Expected regex results made by make_rx_lead_expect.py with Python %s; do not edit.\n"
      % sys.version.split()[0])
    for t in texts:
        w("T %s\n" % esc(t))
    for p, flags in pats:
        w("P %d %d -1 %s\n" % (flags, p.groups, esc(p.pattern)))
        for i, t in enumerate(texts):
            ms = matches(p, t)
            if ms:
                w("M %d %s\n" % (i, " ".join(" ".join(map(str, spans(m, p.groups))) for m in ms)))


if __name__ == "__main__":
    main()
