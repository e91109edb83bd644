"""How each training utterance is delivered: plain, with a random spread, or in a style.

    delivery.py NAME...        # prints the delivery of each utterance name
    delivery.py --self-check   # renders a synthetic utterance plain and reshaped (needs sox, praat)

The teachers speak every sentence the same way, so on their own they would
teach the acoustic model nothing about rate, pitch or level. Part of the
corpus is therefore rendered differently, chosen per utterance by a fixed
hash of its name (so regenerating the data gives the same choice):

- plain (35 %): the teacher's own delivery;
- spread (45 %): a random speaking rate (0.7-1.45 times), mean pitch (-3 to +3
  semitones), pitch range (0.5-2 times), end-of-sentence pitch (-4 to +4
  semitones over the last half second of speech) and level (-6 to +6 dB)
  around the teacher's;
- styled (20 %): one of the style tags with its fixed preset below, so every tag's
  row learns a consistent delivery.

Rate is the teacher's own setting (Festival's speed, flite's duration
stretch), so the timings follow. Pitch is reshaped afterwards with Praat's
overlap-add resynthesis, which keeps the durations and the formants (the
teachers have no setting for pitch range or sentence endings); level comes
last, with sox. The measured controls of every utterance come from its
audio, so a spread utterance teaches the controls and a styled one teaches
its tag.

Every render ends with a 20 Hz high-pass. Praat's resynthesis removes the
mean of the whole sound, and voiced speech is not symmetric about zero, so
its silences came out at a constant offset of about -54 dB (full scale)
where the teacher's are at -76: the model learned that offset with every
control and tag and spoke its pauses with it, which read as speech to an
energy-based silence trim (at rate +2 the whole padding counted) and left a
step at every sentence join. Plain renders are filtered the same way, so the
lowest mel band means the same for every delivery.
"""
import argparse
import hashlib
import os
import random
import subprocess
import sys
import tempfile
import threading

import numpy as np

import prep_data
from tovan_nets import TAGS  # the model directory's tag names, in order


# tag -> (rate factor, pitch shift in semitones, level in dB, pitch range factor, end pitch in semitones)
PRESETS = {
    "determined": (0.92, -1.0, 4.0, 1.1, -3.0),
    "sadness": (0.84, -2.0, -4.0, 0.6, -1.5),
    "apologetic": (0.9, -0.5, -3.0, 0.8, 1.0),
    "anxiety": (1.15, 2.0, -1.0, 1.3, 1.5),
    "irritation": (1.1, 0.5, 3.0, 1.2, -2.5),
    "excited": (1.16, 3.0, 3.0, 1.6, 1.0),
    "amusement": (1.08, 2.0, 1.0, 1.4, 0.5),
    "happiness": (1.08, 2.5, 2.0, 1.4, 0.0),
    "contentment": (0.9, 0.0, -3.0, 0.85, -2.0),
    "whisper": (0.92, -1.0, -10.0, 0.6, 0.0),
    "serenity": (0.88, -1.0, -3.0, 0.7, -1.0),
    "confidence": (0.93, -0.5, 3.0, 1.2, -2.5),
    "loud": (0.95, 2.5, 6.0, 1.3, 0.0),
    "hesitant": (0.84, 0.0, -2.0, 0.8, 2.5),
    "surprise": (1.04, 4.0, 3.0, 1.7, 3.0),
    "distress": (1.12, 3.0, 1.0, 1.5, 2.0),
    "tired": (0.84, -2.5, -5.0, 0.6, -2.0),
    "anger": (1.1, 1.0, 5.0, 1.3, -3.0),
    "mysterious": (0.85, -2.0, -6.0, 0.7, 1.5),
}

# Bands of the hash's range [0, 1): spread below 0.25 and from 0.45 to 0.65,
# styled between. With a quarter spread, the model followed the controls by
# half: a plain utterance's measures also vary with its sentence (a z spread
# of about 0.6), which the text already tells the model, so that variation
# dilutes what a control value teaches. The styled band stayed where it was
# when the spread grew, so only spread utterances had to be rendered again.
SPREAD = ((0.0, 0.25), (0.45, 0.65))
STYLED = (0.25, 0.45)
RATE_LO, RATE_HI = 0.7, 1.45
RANGE_LO, RANGE_HI = 0.5, 2.0
HIGHPASS = ["highpass", "20"]


def choose(name):
    """-> (tag, rate, semitones, db, pitch range factor, end semitones) for the utterance called name:
    "u00042" is training line 42; other prefixes are held-out sets."""
    h = int.from_bytes(hashlib.sha1(("delivery:" + name).encode()).digest()[:8], "little")
    rng = random.Random(h)
    u = rng.random()
    if name.startswith("u") and any(lo <= u < hi for lo, hi in SPREAD):
        return "none", round(RATE_LO * (RATE_HI / RATE_LO) ** rng.random(), 3), round(rng.uniform(-3, 3), 2), \
            round(rng.uniform(-6, 6), 1), round(RANGE_LO * (RANGE_HI / RANGE_LO) ** rng.random(), 3), \
            round(rng.uniform(-4, 4), 2)
    if name.startswith("u") and STYLED[0] <= u < STYLED[1]:
        tag = TAGS[1 + rng.randrange(len(TAGS) - 1)]
        return (tag,) + PRESETS[tag]
    return "none", 1.0, 0.0, 0.0, 1.0, 0.0  # plain, and every held-out sentence


def level_effects(db):
    """sox effect arguments for a delivery's level."""
    if db > 0:  # louder: with sox's limiter, so the peaks do not clip
        return ["vol", "%.1f" % db, "dB", "0.05"]
    if db < 0:
        return ["vol", "%.1f" % db, "dB"]
    return []


# Pitch reshaping: every pitch point p (semitones) becomes
#   med + (p - med) * range + shift + end * ramp(t),
# ramp rising from 0 to 1 over the first half of the last END_RAMP seconds before the last voiced point
# and holding there, so the stretch a listener hears as the ending carries the whole step.
END_RAMP = 0.6
PRAAT = """form Reshape
  sentence Src
  sentence Dst
  real Shift_st 0
  real Range_k 1
  real End_st 0
  real Ramp_s 0.5
endform
snd = Read from file: src$
man = To Manipulation: 0.01, 60, 500
selectObject: snd
pit = To Pitch: 0, 60, 500
med = Get quantile: 0, 0, 0.5, "Hertz"
selectObject: man
tier = Extract pitch tier
n = Get number of points
if n > 2 and med > 0
  t_last = Get time from index: n
  med_st = 12 * log2(med)
  Formula: "2 ^ ((med_st + (12 * log2(self) - med_st) * range_k + shift_st + end_st * max(0, min(1, 2 * (x - t_last + ramp_s) / ramp_s))) / 12)"
  selectObject: man, tier
  Replace pitch tier
endif
selectObject: man
out = Get resynthesis (overlap-add)
Save as WAV file: dst$
"""


def render(src, dst, name, tmpdir):
    """Writes dst (24 kHz mono 16-bit) from the teacher's audio src, delivered as choose(name) says."""
    _, _, semis, db, k, end = choose(name)
    if not semis and k == 1.0 and not end:
        subprocess.run(["sox", "-V1", src, "-r", "24000", "-c", "1", "-b", "16", dst] + HIGHPASS + level_effects(db),
                       check=True)
        return
    # Named by its text, so a changed script never meets a stale copy left in tmpdir.
    script = os.path.join(tmpdir, "reshape-%s.praat" % hashlib.sha1(PRAAT.encode()).hexdigest()[:10])
    if not os.path.exists(script):
        part = "%s.%d.%d" % (script, os.getpid(), threading.get_ident())  # both teachers render from threads
        with open(part, "w") as f:
            f.write(PRAAT)
        os.replace(part, script)
    a, b = os.path.join(tmpdir, name + ".a.wav"), os.path.join(tmpdir, name + ".b.wav")
    subprocess.run(["sox", "-V1", src, "-r", "24000", "-c", "1", "-b", "16", a], check=True)
    subprocess.run(["praat", "--run", "--no-pref-files", script, a, b, str(semis), str(k), str(end), str(END_RAMP)],
                   check=True, capture_output=True)
    subprocess.run(["sox", "-V1", b, "-b", "16", dst] + HIGHPASS + level_effects(db), check=True)
    os.unlink(a)
    os.unlink(b)


def self_check():
    """Renders a synthetic utterance (silence, a voiced stretch that is not symmetric about zero, silence) the
    plain way and the reshaped way, and checks that the silences stay silent and the length is kept."""
    rate, sil, voiced = 16000, 0.4, 1.2
    t = np.arange(int(voiced * rate)) / rate
    f0 = 180 - 40 * t / voiced
    ph = 2 * np.pi * np.cumsum(f0) / rate
    v = sum(np.cos(k * ph) / k for k in range(1, 12)) * 0.2 + 0.02  # a raised waveform, like voiced speech
    v *= np.minimum(1, np.minimum(t, voiced - t) / 0.02)
    x = np.concatenate([np.zeros(int(sil * rate)), v, np.zeros(int(sil * rate))])
    names = {"plain": next(n for n in ("u%05d" % i for i in range(1000)) if choose(n) == ("none", 1.0, 0.0, 0.0, 1.0, 0.0)),
             "reshaped": next(n for n in ("u%05d" % i for i in range(1000)) if choose(n)[0] == "none" and choose(n)[2])}
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src.wav")
        prep_data.write_wav(src, x, rate)
        for kind, name in names.items():
            dst = os.path.join(tmp, kind + ".wav")
            render(src, dst, name, tmp)
            y, r = prep_data.read_wav(dst) / 32768.0, 24000
            # The middle of each silence: the high-pass settles within a few tens of ms of the speech.
            a, b = int(0.05 * r), int((sil - 0.1) * r)
            edge = np.concatenate([y[a:b], y[len(y) - b:len(y) - a]])
            db = 10 * np.log10(np.mean(edge ** 2) + 1e-20)
            good_sil, good_len = db < -70, abs(len(y) / r - len(x) / rate) < 0.01
            ok &= good_sil and good_len
            print("%-9s %s %s: silence %.1f dB (< -70) %s, length %.3f s (%.3f) %s" % (
                kind, name, choose(name)[1:], db, "pass" if good_sil else "FAIL", len(y) / r, len(x) / rate,
                "pass" if good_len else "FAIL"))
    return ok


def main():
    ap = argparse.ArgumentParser(description="delivery choices; --self-check renders a synthetic utterance")
    ap.add_argument("--self-check", action="store_true")
    ap.add_argument("names", nargs="*", help="utterance names whose delivery to print")
    a = ap.parse_args()
    if a.self_check:
        sys.exit(0 if self_check() else 1)
    for n in a.names:
        print(n, choose(n))


if __name__ == "__main__":
    main()
