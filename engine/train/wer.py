#!/usr/bin/python3
"""Word error rate of a voice by a pocketsphinx round trip.

    wer.py REF_DIR SYSTEM WAV_DIR [--first N] [--prefix t] [--out DIR]

Transcribes WAV_DIR/<prefix><i>.wav (any rate; resampled to 16 kHz) for the
first N held-out utterances with pocketsphinx (en-us model, batch mode so the
model loads once) and scores them against the words Festival read for the
same sentences (REF_DIR/seg/<prefix><i>.seg, the female teacher's folder, so
numbers count as the words spoken and every system is scored against the
same words). Writes <out>/wer-SYSTEM.txt (per utterance: errors, words,
reference, hypothesis; out defaults to REF_DIR) and prints the total.
SYSTEM is a label: festival, flite, espeak, engine-female, ...
"""
import argparse
import os
import subprocess
import tempfile

MODEL = "/usr/share/pocketsphinx/model/en-us"
# The recogniser's dictionary writes these spoken words as their abbreviations
# ("dr", "ms") where Festival's word list has what was said; both sides are
# scored in one spelling so a word heard right does not count as an error.
SAME = {"dr": "doctor", "ms": "mizz"}


def ref_words(seg):
    words = []
    for line in open(seg):
        f = line.rstrip("\n").split("\t")
        if len(f) >= 7 and f[0] != "pau" and f[4] == "0" and f[5] == "0":
            words.append(SAME.get(f[3].lower(), f[3].lower()))
    return words


def edits(a, b):
    d = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        prev, d[0] = d[0], i
        for j in range(1, len(b) + 1):
            cur = d[j]
            d[j] = min(d[j] + 1, d[j - 1] + 1, prev + (a[i - 1] != b[j - 1]))
            prev = cur
    return d[len(b)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("data")
    ap.add_argument("system")
    ap.add_argument("wavs")
    ap.add_argument("--first", type=int, default=100)
    ap.add_argument("--prefix", default="t")
    ap.add_argument("--out")
    a = ap.parse_args()
    names = ["%s%05d" % (a.prefix, i) for i in range(a.first)
             if os.path.exists(os.path.join(a.wavs, "%s%05d.wav" % (a.prefix, i)))
             and os.path.exists(os.path.join(a.data, "seg", "%s%05d.seg" % (a.prefix, i)))]
    with tempfile.TemporaryDirectory() as tmp:
        # -D: sox dithers by default with a fresh random seed, so the same audio
        # would score differently from one run to the next.
        for u in names:
            subprocess.run(["sox", "-V1", "-D", os.path.join(a.wavs, u + ".wav"), "-r", "16000", "-c", "1", "-b", "16",
                            os.path.join(tmp, u + ".wav")], check=True)
        ctl, hyp = os.path.join(tmp, "list.ctl"), os.path.join(tmp, "hyp.txt")
        with open(ctl, "w") as f:
            f.write("\n".join(names) + "\n")
        subprocess.run(["pocketsphinx_batch", "-ctl", ctl, "-cepdir", tmp, "-cepext", ".wav",
                        "-adcin", "yes", "-adchdr", "44", "-hmm", MODEL + "/en-us", "-lm", MODEL + "/en-us.lm.bin",
                        "-dict", MODEL + "/cmudict-en-us.dict", "-hyp", hyp, "-logfn", os.devnull], check=True)
        got = {}
        for line in open(hyp):
            line = line.strip()
            if line.endswith(")") and "(" in line:
                text, u = line[:line.rindex("(")].strip(), line[line.rindex("(") + 1:-1].split()[0]
                got[u] = [SAME.get(w, w) for w in text.split() if not w.startswith("<") and not w.startswith("[")]
    errs = words = 0
    rows = []
    for u in names:
        ref = ref_words(os.path.join(a.data, "seg", u + ".seg"))
        h = got.get(u, [])
        e = edits(ref, h)
        errs, words = errs + e, words + len(ref)
        rows.append("%s\t%d\t%d\t%s\t%s" % (u, e, len(ref), " ".join(ref), " ".join(h)))
    out = os.path.join(a.out or a.data, "wer-%s.txt" % a.system)
    with open(out, "w") as f:
        f.write("\n".join(rows) + "\n")
    print("%s: WER %.1f %% (%d errors / %d words, %d utterances)" % (a.system, 100.0 * errs / max(1, words), errs,
                                                                      words, len(names)))


if __name__ == "__main__":
    main()
