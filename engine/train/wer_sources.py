#!/usr/bin/python3
"""Word errors of the everyday held-out set split by where each sentence came from.

    wer_sources.py EVAL_DIR TEXTS [--set e]

Reads every EVAL_DIR/wer-*-<set>.txt that wer.py wrote (per utterance:
name, errors, words, ...) and sorts its utterances by the source of their
sentence in TEXTS (the held-out list, line i = utterance <set><i>):
WordNet's gloss examples, fortunes, or the generated everyday sentences
(make_texts.py). One line per system. The split shows where a recogniser's
errors come from: rare words and names cost every voice, the teachers too.
"""
import argparse
import glob
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_texts  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("eval_dir")
    ap.add_argument("texts")
    ap.add_argument("--set", default="e")
    a = ap.parse_args()
    wordnet = {s.lower() for s in make_texts.wordnet_sentences()}
    fortunes = {s.lower() for s in make_texts.fortune_sentences()}
    lines = open(a.texts).read().split("\n")

    def source(name):
        s = lines[int(name[len(a.set):])].lower()
        return "wordnet" if s in wordnet else "fortunes" if s in fortunes else "generated"

    order = ["generated", "fortunes", "wordnet"]
    print("%-22s %s" % ("system", "  ".join("%-22s" % k for k in order)))
    for path in sorted(glob.glob(os.path.join(a.eval_dir, "wer-*-%s.txt" % a.set))):
        agg = {k: [0, 0, 0] for k in order}
        for row in open(path):
            f = row.rstrip("\n").split("\t")
            if len(f) < 3 or not f[0].startswith(a.set):
                continue
            g = agg[source(f[0])]
            g[0], g[1], g[2] = g[0] + int(f[1]), g[1] + int(f[2]), g[2] + 1
        name = os.path.basename(path)[4:-4]
        print("%-22s %s" % (name, "  ".join("%5.1f %% (%3d sent.)     " % (100.0 * g[0] / max(1, g[1]), g[2])
                                            for g in (agg[k] for k in order))))


if __name__ == "__main__":
    main()
