#!/usr/bin/python3
"""Reads sentences with flite's "rms" voice (male), with phone timings.

    synth_flite.py TEXTS SPEAKER_DIR [--first N] [--every K --offset J] [--jobs 4] [--prefix u] [--voice rms]

Takes lines J, J+K, J+2K, ... of TEXTS (at most N of them). For line i writes
SPEAKER_DIR/wav24/<prefix><i>.wav (flite's 16 kHz resampled to 24 kHz mono
16-bit with sox) and SPEAKER_DIR/seg/<prefix><i>.seg: one line per segment,
phone name and end time in seconds ("pau" for silence), from flite's -psdur.
Each utterance is delivered as delivery.choose() says: the rate through
flite's duration stretch (so the timings follow), pitch by Praat and level
by sox (delivery.render).
Finished utterances are skipped, so an interrupted run resumes.
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import delivery  # noqa: E402
from synth_festival import utterances  # noqa: E402


def one(a, i, text):
    u = "%s%05d" % (a.prefix, i)
    seg = os.path.join(a.data, "seg", u + ".seg")
    raw = os.path.join(a.data, "raw", u + ".wav")
    rate = delivery.choose(u)[1]
    r = subprocess.run(["nice", "-n", "10", "flite", "-voice", a.voice, "--setf", "duration_stretch=%.4f" % (1 / rate),
                        "-psdur", "-t", text, "-o", raw], capture_output=True, text=True)
    pairs = [p.rsplit(":", 1) for p in r.stdout.split()]
    if r.returncode != 0 or not pairs or any(len(p) != 2 for p in pairs):
        print("flite failed on %s: %s" % (u, r.stderr.strip()[:200]), flush=True)
        return 0
    delivery.render(raw, os.path.join(a.data, "wav24", u + ".wav"), u, os.path.dirname(raw))
    os.unlink(raw)
    with open(seg + ".part", "w") as f:
        for name, end in pairs:
            f.write("%s\t%s\n" % (name, end))
    os.replace(seg + ".part", seg)
    return 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--voice", default="rms")
    a, todo = utterances(ap)
    with concurrent.futures.ThreadPoolExecutor(a.jobs) as ex:
        n = sum(ex.map(lambda it: one(a, *it), todo))
    print("%d utterances written" % n)


if __name__ == "__main__":
    main()
