#!/usr/bin/python3
"""Builds the training and held-out sentence lists for the development voice.

    make_texts.py OUT_DIR [--prose N]

Writes OUT_DIR/train.txt and OUT_DIR/test.txt, one sentence a line. Sources:
prose sentences drawn from the README, NEWS and plain-text files under
/usr/share/doc (so only what Debian ships), plus generated sentences with
numbers, dates, amounts, questions and quoted dialogue. Everything is
deterministic (fixed seed, sorted file walk) so a rerun gives the same lists.
The held-out list takes every 50th candidate before shuffling, so no test
sentence appears in training.
"""
import gzip
import os
import random
import re
import sys

MIN_WORDS, MAX_WORDS = 5, 24


def doc_files():
    pat = re.compile(r"^(README|NEWS|FAQ|TODO|AUTHORS|THANKS|.*\.txt|.*\.md)(\.gz)?$", re.I)
    for root, dirs, files in sorted(os.walk("/usr/share/doc")):
        dirs.sort()
        for f in sorted(files):
            if pat.match(f):
                yield os.path.join(root, f)


def read(path):
    try:
        if path.endswith(".gz"):
            with gzip.open(path, "rt", errors="replace") as f:
                return f.read(400000)
        with open(path, errors="replace") as f:
            return f.read(400000)
    except OSError:
        return ""


GOOD = re.compile(r"^[A-Z][A-Za-z0-9 ,;:'\"()-]*[a-z][.?!]$")


def prose_sentences():
    seen = set()
    for path in doc_files():
        text = read(path)
        # Paragraphs: join wrapped lines, drop indented code and lists.
        for para in re.split(r"\n\s*\n", text):
            lines = [l for l in para.split("\n") if l.strip()]
            if not lines or any(l.startswith(("    ", "\t", "$", "#", "*", "-", ">", "|")) for l in lines):
                continue
            flat = " ".join(l.strip() for l in lines)
            for s in re.split(r"(?<=[.!?])\s+(?=[A-Z])", flat):
                s = s.strip()
                n = len(s.split())
                if not (MIN_WORDS <= n <= MAX_WORDS) or not GOOD.match(s):
                    continue
                if re.search(r"[A-Z]{4,}|\b\w+\.\w+|--|\(\)|e\.g|i\.e|etc", s):
                    continue
                key = s.lower()
                if key not in seen:
                    seen.add(key)
                    yield s


NAMES = ["Anna", "Ben", "Clara", "David", "Emma", "Frank", "Grace", "Henry", "Julia", "Mark", "Nora", "Oliver",
         "Paula", "Sam", "Tom", "Lucy", "Peter", "Rose", "Victor", "Helen"]
THINGS = ["book", "letter", "train", "window", "garden", "kitchen", "ticket", "report", "bridge", "river", "coffee",
          "meeting", "message", "computer", "umbrella", "bicycle", "picture", "library", "market", "doctor"]
PLACES = ["London", "the station", "the office", "the park", "Paris", "the school", "the hospital", "the harbour",
          "the museum", "Berlin", "the airport", "the village", "New York", "the castle", "the beach"]
VERBS = ["found", "opened", "wanted", "painted", "forgot", "carried", "lost", "brought", "cleaned", "checked",
         "finished", "described", "mentioned", "ordered", "repaired"]
ADJ = ["old", "small", "bright", "quiet", "heavy", "strange", "lovely", "empty", "broken", "warm", "yellow", "wooden"]
MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
          "November", "December"]
DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]


def generated(rng, n):
    c = rng.choice
    forms = [
        lambda: "%s %s the %s %s in %s." % (c(NAMES), c(VERBS), c(ADJ), c(THINGS), c(PLACES)),
        lambda: "Did %s really leave the %s at %s?" % (c(NAMES), c(THINGS), c(PLACES)),
        lambda: "Where is the %s %s that %s %s?" % (c(ADJ), c(THINGS), c(NAMES), c(VERBS)),
        lambda: "Why would anyone want a %s %s on %s?" % (c(ADJ), c(THINGS), c(DAYS)),
        lambda: "How many %ss did you see yesterday?" % c(THINGS),
        lambda: "\"I %s it this morning,\" said %s." % (c(VERBS), c(NAMES)),
        lambda: "\"Are you sure?\" %s asked. \"It looked %s to me.\"" % (c(NAMES), c(ADJ)),
        lambda: "\"Please bring the %s,\" %s whispered, \"before %s comes back.\"" % (c(THINGS), c(NAMES), c(NAMES)),
        lambda: "\"No, not the %s one!\" shouted %s." % (c(ADJ), c(NAMES)),
        lambda: "The train leaves at %d:%02d and arrives %d minutes later." % (rng.randint(1, 12),
                                                                             rng.choice([0, 5, 15, 30, 45]),
                                                                             rng.randint(5, 95)),
        lambda: "The %s costs %d dollars and %d cents." % (c(THINGS), rng.randint(2, 999), rng.randint(1, 99)),
        lambda: "There were %d people at %s on %s %d." % (rng.randint(2, 5000), c(PLACES), c(MONTHS),
                                                           rng.randint(1, 28)),
        lambda: "In %d the town had %d houses and %d shops." % (rng.randint(1800, 2024), rng.randint(20, 9000),
                                                               rng.randint(2, 300)),
        lambda: "Call me on %s at %d o'clock." % (c(DAYS), rng.randint(1, 12)),
        lambda: "About %d percent of the %ss were %s." % (rng.randint(2, 99), c(THINGS), c(ADJ)),
        lambda: "Chapter %d begins on page %d." % (rng.randint(1, 40), rng.randint(2, 600)),
        lambda: "We waited for %d hours, and then %s finally arrived." % (rng.randint(2, 12), c(NAMES)),
        lambda: "Yes, I think the %s %s is still in %s." % (c(ADJ), c(THINGS), c(PLACES)),
        lambda: "Oh, what a %s %s!" % (c(ADJ), c(THINGS)),
        lambda: "Well, %s never told me about the %s." % (c(NAMES), c(THINGS)),
    ]
    out = set()
    while len(out) < n:
        out.add(c(forms)())
    return sorted(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out_dir = sys.argv[1]
    n_prose = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--prose" else 6000
    rng = random.Random(17)
    prose = list(prose_sentences())
    rng.shuffle(prose)
    prose = prose[:n_prose]
    gen = generated(rng, n_prose // 2)
    cands = prose + gen
    rng.shuffle(cands)
    test = cands[::50]
    train = [s for i, s in enumerate(cands) if i % 50]
    os.makedirs(out_dir, exist_ok=True)
    for name, lines in (("train.txt", train), ("test.txt", test)):
        with open(os.path.join(out_dir, name), "w") as f:
            f.write("\n".join(lines) + "\n")
    print("%d prose + %d generated: %d train, %d test" % (len(prose), len(gen), len(train), len(test)))


if __name__ == "__main__":
    main()
