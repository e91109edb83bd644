"""How each training utterance is delivered: plain, with a random spread, or in a style.

The teachers speak every sentence the same way, so on their own they would
teach the acoustic model nothing about rate, pitch or level. Part of the
corpus is therefore rendered differently, chosen per utterance by a fixed
hash of its name (so regenerating the data gives the same choice):

- plain (most utterances): the teacher's own delivery;
- spread: a random speaking rate (0.8-1.25 times), mean pitch (-3 to +3
  semitones) and level (-6 to +6 dB) around the teacher's;
- styled: one of the style tags with its fixed preset below, so every tag's
  row learns a consistent delivery.

Rate is the teacher's own setting (Festival's speed, flite's duration
stretch); pitch and level are applied afterwards with sox (pitch keeps the
tempo). The measured controls of every utterance come from its audio, so a
spread utterance teaches the controls and a styled one teaches its tag.
"""
import hashlib
import random

from tovan_nets import TAGS  # the model directory's tag names, in order


# tag -> (rate factor, pitch shift in semitones, level in dB)
PRESETS = {
    "determined": (1.0, -1.0, 4.0),
    "sadness": (0.84, -2.0, -4.0),
    "apologetic": (0.9, -0.5, -3.0),
    "anxiety": (1.15, 2.0, -1.0),
    "irritation": (1.1, 0.5, 3.0),
    "excited": (1.16, 3.0, 3.0),
    "amusement": (1.08, 2.0, 1.0),
    "happiness": (1.08, 2.5, 2.0),
    "contentment": (0.94, 0.5, -1.5),
    "whisper": (0.92, -1.0, -10.0),
    "serenity": (0.88, -1.0, -3.0),
    "confidence": (1.0, -0.5, 3.0),
    "loud": (1.0, 1.0, 6.0),
    "hesitant": (0.84, 0.0, -2.0),
    "surprise": (1.04, 4.0, 3.0),
    "distress": (1.12, 3.0, 1.0),
    "tired": (0.84, -2.5, -5.0),
    "anger": (1.1, 1.0, 5.0),
    "mysterious": (0.85, -2.0, -6.0),
}

SPREAD_SHARE, STYLED_SHARE = 0.25, 0.2


def choose(name):
    """-> (tag, rate, semitones, db) for the utterance called name: "u00042" is training line 42;
    other prefixes are held-out sets."""
    h = int.from_bytes(hashlib.sha1(("delivery:" + name).encode()).digest()[:8], "little")
    rng = random.Random(h)
    u = rng.random()
    if not name.startswith("u") or u >= SPREAD_SHARE + STYLED_SHARE:  # held-out sentences: always plain
        return "none", 1.0, 0.0, 0.0
    if u < SPREAD_SHARE:
        return "none", round(0.8 * (1.25 / 0.8) ** rng.random(), 3), round(rng.uniform(-3, 3), 2), \
            round(rng.uniform(-6, 6), 1)
    tag = TAGS[1 + rng.randrange(len(TAGS) - 1)]
    return (tag,) + PRESETS[tag]


def sox_effects(semitones, db):
    """sox effect arguments for a delivery's pitch and level."""
    fx = []
    if semitones:
        fx += ["pitch", "%d" % round(100 * semitones)]
    if db > 0:  # louder: with sox's limiter, so the peaks do not clip
        fx += ["vol", "%.1f" % db, "dB", "0.05"]
    elif db < 0:
        fx += ["vol", "%.1f" % db, "dB"]
    return fx
