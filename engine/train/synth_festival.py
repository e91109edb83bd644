#!/usr/bin/python3
"""Reads sentences with Festival's US English HTS voice, with phone timings.

    synth_festival.py TEXTS DATA_DIR [--first N] [--jobs 4] [--prefix u]

For line i of TEXTS (first N lines) writes DATA_DIR/wav24/<prefix><i>.wav (24 kHz
mono 16-bit, resampled with sox) and DATA_DIR/seg/<prefix><i>.seg, one line per
Festival segment: phone, end time in seconds, syllable stress, word, next
phone in the syllable, next syllable in the word, the token's punctuation.
Utterances already done are skipped, so an interrupted run resumes. Festival
runs in JOBS processes at nice 10.
"""
import argparse
import os
import subprocess
import sys
import tempfile

SCHEME = r'''
(voice_cmu_us_slt_arctic_hts)
(define (dumpsegs utt fname)
  (let ((fd (fopen fname "w")))
    (mapcar
     (lambda (s)
       (format fd "%s\t%f\t%s\t%s\t%s\t%s\t%s\n"
               (item.name s) (item.feat s "end")
               (item.feat s "R:SylStructure.parent.stress")
               (item.feat s "R:SylStructure.parent.parent.name")
               (item.feat s "R:SylStructure.n.name")
               (item.feat s "R:SylStructure.parent.R:SylStructure.n.name")
               (item.feat s "R:SylStructure.parent.parent.R:Token.parent.punc")))
     (utt.relation.items utt 'Segment))
    (fclose fd)))
(define (one text wav seg)
  (let ((utt (SynthText text)))
    (utt.save.wave utt wav 'riff)
    (dumpsegs utt (string-append seg ".part"))))
'''


def esc(s):
    return s.replace("\\", "\\\\").replace('"', '\\"')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("texts")
    ap.add_argument("data")
    ap.add_argument("--first", type=int, default=1000000)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--prefix", default="u")
    a = ap.parse_args()
    lines = [l.strip() for l in open(a.texts)][:a.first]
    raw, seg, wav24 = (os.path.join(a.data, d) for d in ("raw", "seg", "wav24"))
    for d in (raw, seg, wav24):
        os.makedirs(d, exist_ok=True)
    todo = [(i, t) for i, t in enumerate(lines)
            if t and not os.path.exists(os.path.join(seg, "%s%05d.seg" % (a.prefix, i)))]
    print("%d of %d utterances to synthesise" % (len(todo), len(lines)), flush=True)
    procs = []
    for j in range(a.jobs):
        part = todo[j::a.jobs]
        if not part:
            continue
        fd, path = tempfile.mkstemp(suffix=".scm")
        with os.fdopen(fd, "w") as f:
            f.write(SCHEME)
            for i, t in part:
                u = "%s%05d" % (a.prefix, i)
                f.write('(one "%s" "%s/%s.wav" "%s/%s.seg")\n' % (esc(t), raw, u, seg, u))
        procs.append((subprocess.Popen(["nice", "-n", "10", "festival", "-b", path]), path))
    for p, path in procs:
        p.wait()
        os.unlink(path)
    # Resample and only then mark the utterance done (the .seg appears last).
    n = 0
    for i, t in todo:
        u = "%s%05d" % (a.prefix, i)
        src, part = os.path.join(raw, u + ".wav"), os.path.join(seg, u + ".seg.part")
        if not (os.path.exists(src) and os.path.exists(part)):
            continue
        dst = os.path.join(wav24, u + ".wav")
        subprocess.run(["sox", src, "-r", "24000", "-c", "1", "-b", "16", dst], check=True)
        os.unlink(src)
        os.rename(part, os.path.join(seg, u + ".seg"))
        n += 1
    print("%d utterances written" % n)


if __name__ == "__main__":
    main()
