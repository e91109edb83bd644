#!/usr/bin/python3
"""Reads sentences with Festival's US English HTS voice (female), with phone timings.

    synth_festival.py TEXTS SPEAKER_DIR [--first N] [--every K --offset J] [--jobs 4] [--prefix u]

Takes lines J, J+K, J+2K, ... of TEXTS (at most N of them). For line i writes
SPEAKER_DIR/wav24/<prefix><i>.wav (24 kHz mono 16-bit, resampled with sox)
and SPEAKER_DIR/seg/<prefix><i>.seg, one line per Festival segment: phone,
end time in seconds, syllable stress, word, next phone in the syllable, next
syllable in the word, the token's punctuation. Each utterance is delivered
as delivery.choose() says: its speaking rate is Festival's own speed
setting (so the timings follow), pitch is reshaped by Praat and level set by
sox (delivery.render). A .seg
appears only once its wav is done, so an interrupted run resumes. Festival
runs in JOBS processes at nice 10.
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import delivery  # noqa: E402

SCHEME = r'''
(voice_cmu_us_slt_arctic_hts)
(define base_params hts_engine_params)
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
(define (one text rate wav seg)
  (set! hts_engine_params (append base_params (list (list "-r" rate))))
  (let ((utt (SynthText text)))
    (utt.save.wave utt wav 'riff)
    (dumpsegs utt (string-append seg ".part"))))
'''


def esc(s):
    return s.replace("\\", "\\\\").replace('"', '\\"')


def pick(lines, first, every, offset):
    return [(i, lines[i]) for i in range(offset, len(lines), every)][:first]


def utterances(ap):
    """Both teachers' command line: -> (arguments, [(line number, text)] not yet read)."""
    ap.add_argument("texts")
    ap.add_argument("data")
    ap.add_argument("--first", type=int, default=1000000)
    ap.add_argument("--every", type=int, default=1)
    ap.add_argument("--offset", type=int, default=0)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--prefix", default="u")
    a = ap.parse_args()
    lines = [l.strip() for l in open(a.texts)]
    for d in ("raw", "seg", "wav24"):
        os.makedirs(os.path.join(a.data, d), exist_ok=True)
    todo = [(i, t) for i, t in pick(lines, a.first, a.every, a.offset)
            if t and not os.path.exists(os.path.join(a.data, "seg", "%s%05d.seg" % (a.prefix, i)))]
    print("%d utterances to synthesise" % len(todo), flush=True)
    return a, todo


def main():
    a, todo = utterances(argparse.ArgumentParser())
    raw, seg, wav24 = (os.path.join(a.data, d) for d in ("raw", "seg", "wav24"))
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
                rate = delivery.choose(u)[1]
                f.write('(one "%s" %.3f "%s/%s.wav" "%s/%s.seg")\n' % (esc(t), rate, raw, u, seg, u))
        procs.append((subprocess.Popen(["nice", "-n", "10", "festival", "-b", path]), path))
    for p, path in procs:
        p.wait()
        os.unlink(path)
    # Resample, apply the delivery's pitch and level, and only then mark the
    # utterance done (the .seg appears last).
    def finish(i):
        u = "%s%05d" % (a.prefix, i)
        src, part = os.path.join(raw, u + ".wav"), os.path.join(seg, u + ".seg.part")
        if not (os.path.exists(src) and os.path.exists(part)):
            return 0
        delivery.render(src, os.path.join(wav24, u + ".wav"), u, raw)
        os.unlink(src)
        os.rename(part, os.path.join(seg, u + ".seg"))
        return 1

    with concurrent.futures.ThreadPoolExecutor(a.jobs) as ex:
        n = sum(ex.map(finish, [i for i, _ in todo]))
    print("%d utterances written" % n)


if __name__ == "__main__":
    main()
