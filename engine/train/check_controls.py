#!/usr/bin/python3
"""Checks that the engine's controls and style tags are heard.

    check_controls.py BUILD MODEL_DIR [--out DIR] [--voices voice_1688,voice_2500]

Synthesises fixed everyday sentences through the engine's public interface
(`tovan-say -c NAME=Z` / `-t TAG`) and measures each result with
measures.py, the speech span found from the audio itself (frames within
40 dB of the loudest). For each voice:

- controls rate, loud, f0_med, f0_iqr, f0_end at -2, 0, +2: the measured
  quantity (speech duration for rate) must move in the named direction,
  monotonically, by a clear amount between 0 and +2: rate at least 15 %
  shorter, loud at least +3 dB, f0_med at least +2 semitones, f0_iqr and
  f0_end at least +0.5 semitones (and -2 must move the other way);
- every style tag must differ from "none" in at least two measures by more
  than: duration 5 %, loud 1.5 dB, f0 median, range and end 1 semitone,
  tilt, flatness and CPPS 1 dB, centroid 5 %, H1-H2 1.5 dB.

Prints a table per voice and PASS/FAIL lines; exits 1 when anything fails.
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measures  # noqa: E402
import prep_data  # noqa: E402
from tovan_nets import TAGS  # noqa: E402

SENTENCES = [
    "We walked down to the harbour after dinner and watched the boats come in.",
    "My sister called this morning to say the train would be late again.",
    "Could you pass me the bread and a little butter, please?",
    "The garden looks lovely now that the roses have opened.",
    "He left the keys on the kitchen table before he went out.",
    "It rained all weekend, so we stayed at home and read.",
]
CONTROLS = [("rate", "dur", -0.15, "relative"), ("loud", "loud", 3.0, "abs"), ("f0_med", "f0_med", 2.0, "abs"),
            ("f0_iqr", "f0_iqr", 0.5, "abs"), ("f0_end", "f0_end", 0.5, "abs")]
STYLE_THRESH = {"dur": (0.05, "relative"), "loud": (1.5, "abs"), "f0_med": (1.0, "abs"), "f0_iqr": (1.0, "abs"),
                "f0_end": (1.0, "abs"), "tilt": (1.0, "abs"), "flat": (1.0, "abs"), "centroid": (0.05, "relative"),
                "cpps": (1.0, "abs"), "h1h2": (1.5, "abs")}


def measure(path):
    x = prep_data.read_wav(path).astype(np.float32) / 32768.0
    n = len(x) // 256 + 1
    pad = np.pad(x, (512, 512))
    e = np.array([np.mean(pad[i * 256:i * 256 + 1024] ** 2) for i in range(n)]) + 1e-12
    db = 10 * np.log10(e)
    on = np.nonzero(db > db.max() - 40)[0]
    t0, t1 = on[0] * 256 / 24000.0, min(len(x), (on[-1] + 1) * 256) / 24000.0
    v = dict(zip(measures.NAMES, measures.measures(x, [("pau", t0), ("x", t1), ("pau", len(x) / 24000.0)])))
    v["dur"] = t1 - t0
    return v


def synth(build, model, voice, args, text, path):
    subprocess.run([os.path.join(build, "bin", "tovan-say"), "-m", model, "-v", voice, "-o", path, "--threads", "4"] +
                   args + [text], check=True, capture_output=True)


def mean_measures(build, model, voice, args, tmp):
    rows = []
    for k, s in enumerate(SENTENCES):
        p = os.path.join(tmp, "s%d.wav" % k)
        synth(build, model, voice, args, s, p)
        rows.append(measure(p))
    out = {}
    for key in rows[0]:
        vals = [r[key] for r in rows]
        # Durations add up; the rest are averaged.
        out[key] = float(np.sum(vals)) if key == "dur" else float(np.mean(vals))
    return out


def moved(a, b, kind):
    return (b - a) / a if kind == "relative" else b - a


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("model")
    ap.add_argument("--voices", default="voice_1688,voice_2500")
    a = ap.parse_args()
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        for voice in a.voices.split(","):
            base = mean_measures(a.build, a.model, voice, [], tmp)
            print("\n%s, plain: duration %.2f s, loud %.1f dB, f0_med %.2f st, f0_iqr %.2f st, f0_end %.2f st" % (
                voice, base["dur"], base["loud"], base["f0_med"], base["f0_iqr"], base["f0_end"]))
            print("%-8s %-8s %10s %10s %10s  %s" % ("control", "measure", "-2", "0", "+2", "result"))
            for name, key, need, kind in CONTROLS:
                vals = [mean_measures(a.build, a.model, voice, ["-c", "%s=%d" % (name, z)], tmp)[key]
                        for z in (-2, 0, 2)]
                up, down = moved(vals[1], vals[2], kind), moved(vals[1], vals[0], kind)
                sign = -1 if need < 0 else 1
                good = sign * up >= abs(need) and sign * down < 0
                ok &= good
                unit = "%" if kind == "relative" else ""
                print("%-8s %-8s %10.2f %10.2f %10.2f  %s (0 -> +2: %+.2f%s, 0 -> -2: %+.2f%s)" % (
                    name, key, vals[0], vals[1], vals[2], "PASS" if good else "FAIL",
                    up * (100 if unit else 1), unit, down * (100 if unit else 1), unit))
            print("%-12s %s" % ("style", "measures that differ from none"))
            for tag in TAGS[1:]:
                m = mean_measures(a.build, a.model, voice, ["-t", tag], tmp)
                diff = []
                for key, (th, kind) in STYLE_THRESH.items():
                    d = moved(base[key], m[key], kind)
                    if abs(d) > th:
                        diff.append("%s %+.2f%s" % (key, d * (100 if kind == "relative" else 1),
                                                    "%" if kind == "relative" else ""))
                good = len(diff) >= 2
                ok &= good
                print("%-12s %s  %s" % (tag, "PASS" if good else "FAIL", ", ".join(diff)))
    print("\nall checks %s" % ("pass" if ok else "FAIL"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
