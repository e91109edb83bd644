#!/usr/bin/env python3
"""Writes rx_expect.txt: what Python's re module finds for the front end's
patterns (and a set of patterns that exercise the engine's features) over a
corpus of sample texts. engine_tests compares the engine's regex with it.

Iteration, substitution and split follow the engine's rules, written here with
Python's own search(text, pos): after an empty match the next search starts one
further on, and an empty match never splits. For the patterns used here that
is what re.finditer / re.sub give as well (checked below where it must hold).

Run: python3 make_rx_expect.py > rx_expect.txt
"""
import re
import sys

ABBR = ["Dr", "Mr", "Mrs", "Ms", "Prof", "St", "Jr", "Sr", "vs", "No", "Fig", "Vol", "pp",
        "approx", "Jan", "Feb", "Mar", "Apr", "Jun", "Jul", "Aug", "Sep", "Sept", "Oct",
        "Nov", "Dec"]
SENTENCE = ("(?<=[.!?])" + "".join("(?<!\\b" + a + "\\.)" for a in ABBR) +
            r"(?<!\be\.g\.)(?<!\bi\.e\.)(?<!\b[ap]\.m\.)(?<!\b[A-Z]\.)\s+")

UNITS = ["km/hr", "km/h", "m/s", "mph", "lbs", "kHz", "km", "kg", "cm", "mm", "ft", "lb",
         "Hz", "GB", "MB"]
UNIT_PATTERNS = ["(\\d)\\s?" + u.replace("/", "[ /]") + "\\b" for u in UNITS]

TITLES = [
    r"\bDr\.?(?=\s+[A-Z])", r"\bMrs\.?(?=\s+[A-Z])", r"\bMr\.?(?=\s+[A-Z])",
    r"\bMs\.?(?=\s+[A-Z])", r"\bProf\.?(?=\s+[A-Z])", r"\bSt\.?(?=\s+[A-Z])", r"\bJr\.",
    r"\bSr\.", r"\bvs\.", r"\be\.g\.", r"\bi\.e\.", r"\betc\.(?=\s*[,;:!?)]|\s+[a-z])",
    r"\betc\.", r"\bapprox\.", r"\bNo\.(?=\s*[0-9])", r"\bFig\.(?=\s*[0-9])",
    r"\bVol\.(?=\s*[0-9])", r"\bpp\.(?=\s*[0-9])", r"\bJan\.", r"\bFeb\.",
    r"\bMar\.(?=\s*[0-9])", r"\bApr\.", r"\bJun\.(?=\s*[0-9])", r"\bJul\.(?=\s*[0-9])",
    r"\bAug\.", r"\bSept?\.", r"\bOct\.", r"\bNov\.", r"\bDec\.",
]

CHAIN = [
    '["“”‘’`]',
    r"(?<![0-9-])(?:\(([0-9]{3})\)\s?|([0-9]{3})[-.])([0-9]{3})[-.]([0-9]{4})(?![0-9-])",
    r"(?<![0-9:])\b([01]?[0-9]|2[0-3]):([0-5][0-9])(?!:[0-9])(?:\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z]))?",
    r"(?<=[0-9]):(?=[0-9])",
    r"\b([0-9]{1,2})\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z])",
    r"([0-9])\s?°\s?([CF])(?![A-Za-z])",
    r"([0-9])\s?°",
    r"\b([A-Z])\s?&\s?([A-Z])\b",
    r"\s*&\s*",
    r"~\s?(?=[0-9])",
    r"([$£€]\s?[0-9]+(?:\.[0-9]+)?)\s?([KkMmBb])n?\b",
    r"(?<![0-9])[0-9]+(?:\.[0-9]+){2,}(?![0-9])",
    r"\b(Chapter|Part|Book|Volume|Act|Scene|Section|Article|Phase|Season|Episode|Level|Stage|Round)\s+(?=[IVXLCDM])(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b",
    r"\bWW(II|I|1|2)\b",
    r"(?<![0-9/])([1-9])/(10|[2-9])(?![0-9/])",
    r"(\d)\s*[-–]\s*(\d)",
    r"(\d+)\s*[x×]\s*(\d+)",
    r"(?<=[A-Za-z0-9])[-‐/](?=[A-Za-z0-9])",
    r"([$£€])\s?(\d(?:[\d,]*\d)?(?:\.\d+)?)(?:\s*(million|billion|thousand)\b)?",
    r"(\d[\d,]*(?:\.\d+)?)\s?%",
    r"\b(\d+)(st|nd|rd|th)\b",
    r"\b\d{1,3}(?:,\d{3})+(?:\.\d+)?\b",
    r"\b\d+\.\d+\b",
    r"\b\d{5,}\b",
    r"(?<=[a-z])([A-Z]{2,5}s?)\b",
    r"\b[A-Z]{2,5}s?\b",
    r"(?<=[a-z])-(?=[a-z])",
    r"\b(thousand|million|billion|trillion),(?= [a-z])",
    r"\s+",
]

NUMWORDS = [
    r"^(\d+)(st|nd|rd|th)$", r"(\d)(\d)", r"(\d)$", r"(\S)\s+,", r"\s+,", r",\s*$", r"\s+",
    r", (\S+)\Z", r"(\w+)$", r"([0-9][0-9\,]+[0-9])", r"£([0-9\,]*[0-9]+)",
    r"\$([0-9\.\,]*[0-9]+)", r"([0-9]+\.[0-9]+)", r"[0-9]+(st|nd|rd|th)", r"[0-9]+",
]

G2P = [
    r"([^a-z0-9])\1{3,}",
    r"(?<!@)[a-z0-9]+(?:[.\-][a-z0-9]+){0,126}[.](?:[a-z]{2,13})\b/?(?!@)|[a-z](?:[a-z]|['\-_])+[a-z]|[a-z0-9_]+|\.(?:\s*\.)+|\S",
]

MARKUP = [
    (r"\*([^*\n]+)\*", 0),
    (r'(<\s*(/?)\s*([A-Za-z_]+)(?:\s+prompt\s*=\s*"([^"]*)")?\s*>)|(\[\s*([A-Za-z_]+)(?:\s+([\d.]+)\s*(ms|s)?)?\s*\])', 1),
    (r"\[\s*([A-Za-z_]+)\s*\]", 0),
    (SENTENCE, 0),
]

# Patterns beyond the front end's, one behaviour each (priorities, groups in
# repeats, empty iterations, look-around captures, back-references, folding).
FEATURES = [
    (r"a*?b", 0), (r"(a+?)(a*)", 0), (r"(a|ab)(c|bcd)(d*)", 0), (r"(a*)*b", 0),
    (r"(a|b|)*", 0), (r"(a?)+", 0), (r"(?:(a)|b)*", 0), (r"(?:(a)|(b))+", 0),
    (r"(a)(?:(b)c|bd)", 0), (r"(?=(\w+))\w", 0), (r"(?!(a))\w", 0), (r"(\w)\1", 0),
    (r"(\w+)\s+\1\b", 0), (r"(?<=(a))b", 0), (r"(?<!\d)\d{2,3}(?!\d)", 0),
    (r"x{2,3}?", 0), (r"(ab){2}", 0), (r"(?:ab){1,}?c", 0), (r"(a{0,2}){2}", 0),
    (r"^$", 0), (r"$", 0), (r"\Z", 0), (r"\B", 0), (r"\b", 0), (r"a|", 0), (r"|a", 0),
    (r".", 0), (r"[^\s\d]+", 0), (r"[\W\d]+", 0), (r"[a-c-]+", 0), (r"[]a]+", 0),
    (r"[^]a]+", 0), (r"a{2", 0), (r"a{,2}", 0), (r"a{}", 0), (r"]}", 0),
    (r"(?:(?:a|b)c?)*d", 0), (r"(?:\s*\.)+", 0), (r"(\d)(?:,\d{3})+", 0),
    (r"([a-z]+)\1{2,}", 0), (r"(?<=\b[ap]\.m\.)\s", 0), (r"((a)|(b))*c", 0),
    (r"(a*)+?b", 0), (r"(?:a*?)*b", 0), (r"(a|b)*?c", 0), (r"\w+@\w+\.(com|org)", 0),
    (r"(?:x|y)*z", 0), (r"[\d.]+|\S", 0),
    (r"(a)??", 0), (r"(a)??b", 0), (r"(?:ab)??(ab)?c", 0), (r"x(a|b)??(b)", 0), (r"(a)?\w", 0),
    (r"hello", 1), (r"[a-z]+", 1), (r"[A-Z]+", 1), (r"K", 1), (r"[é]", 1), (r"σ+", 1),
    (r"(\w)\1", 1), (r"[^a-z]+", 1), (r"straße", 1), (r"İ", 1), (r"i", 1), (r"[s]", 1),
    # Braces that are no repeat, escaped stars, repeated look-arounds.
    (r"a{}*", 0), (r"a*{", 0), (r"\**", 0), (r"\*+?\w", 0), (r"(?=a)*a", 0), (r"a{,}\}", 0),
    (r"[*{]{2}", 0), (r"\{\d+\}*", 0),
]

CORPUS = [
    "",
    "a",
    "Hello, world.",
    "Dr. Smith met Mr. Jones and Mrs. Brown at St. Paul's; Ms. Lee and Prof. Kim came too.",
    "The meeting ended, i.e. it was over, e.g. at 10:30 pm or 9:05 a.m. and 12:00. Then 00:00 and 14:00!",
    "Call (555) 123-4567 or 555-123-4567 or 555.123.4567 now; not 1555-123-45678.",
    "It was 25°C or 77 °F outside, and 30° in the shade.",
    "AT&T and R & D and salt & pepper; Q&A.",
    "About ~5 people paid $5M, £3, €2.50, $1.2.3, $ 10 thousand and $1,234,567.89 in total.",
    "Version 1.2.3 and 10.0.1.5 were released; 3.14 is pi and 2.0 is two.",
    "Chapter XIV begins. Part IV, Book I, Volume MMXXIV, Act III, Scene II. Section CMXCIX and Level VI.",
    "WWII and WWI and WW1 and WW2 but not WWIII.",
    "1/2 cup, 3/4 mile, 3/10 of them, 11/12 no, 2/3/4 no.",
    "Pages 10-20 and 5 – 7, a 3x4 grid, 1920 × 1080 screen, well-known and/or A/B.",
    "Growth of 50% and 12.5 % and 1,000% this year.",
    "He ran 5km/h then 10 km/hr, 3 m/s, 60mph, 5 lbs, 2lb, 44 kHz, 50Hz, 16GB, 512 MB, 30 cm, 2mm, 6 ft, 70kg.",
    "The 1st, 2nd, 3rd and 21st of May; the 100th time.",
    "Population 1,234,567 and 12,345.67 and 1234567 and 12345.",
    "The NASA and FBI and TVs and ABs and iPhone and macOS and the NATOs.",
    "twenty-one thousand, two hundred and five-year-old million, three billion, and trillion, done",
    "Wait\u2014what\u2013now\u2026 yes.",
    "\u201cQuoted\u201d and \u2018single\u2019 and `grave` and \"straight\".",
    "Visit www.example.com or https://tovantts.org/path?q=1 or mail bob.smith@example.co.uk.",
    "hello world!!!! what???? ---- .... ok",
    "this is e.g. a test... and i.e. another . . . one",
    "state-of-the-art don't rock'n'roll snake_case x.y.z a.b.c.example.com @mention foo@bar.com",
    "Say *this* with *emphasis* and *not\nthis*.",
    "<emph>Hi</emph> < slow >there</slow> <style prompt=\"a calm voice\">calm</style> [pause] [PAUSE 2 S] [pause 250ms] [laugh] [Pause 1.5s]",
    "<STYLE PROMPT = \"Loud\" > [ sigh ] [cough 3] <Foo_Bar> </ x >",
    "He said [laugh] hello [ Sigh ] then [not a tag] [123] ok",
    "One. Two! Three? Four.  Five\tSix. Dr. Who? No. 5 is here. E. Smith went. At 5 p.m. he left. Jan. 5 came.",
    "1984 and 1905 and 1900 and 2024 and 2000 and 2005 and 1000 and 3000 and 007 and 0th.",
    "$0.05 and $1 and $1.5 and £1,000 and 1,234 and 12.34 and 3rd",
    "  leading and trailing  ,  spaces , ",
    "word , , and ,",
    "12345678901234567890",
    "a\nb\n",
    "line one\nline two\n",
    "abxd",
    "aaab",
    "ab ab ab abab",
    "the the cat cat sat",
    "Mississippi",
    "HELLO hello HeLLo",
    "\u212a kelvin k K",
    "caf\u00e9 CAF\u00c9 na\u00efve",
    "\u03a3\u03c3\u03c2 \u03a3\u039f\u03a3",
    "STRASSE stra\u00dfe STRA\u1e9eE",
    "\u0130stanbul istanbul \u0131",
    "\u017fun sun SUN",
    "\u0661\u0662\u0663 and \uff11\uff12 digits",
    "x\u00a0y\u2003z\u3000w",
    "xxx yy x xxxx",
    "ccc abab aaa aaaa",
    "a.b..c...d .. .",
    "12:30:45 and 9:5 and 23:59",
    "10 am, 3PM, 11 p.m., 4a.m., 12 Am",
    "e.g. i.e. a.m. p.m.",
    "UN's and US and E.U.",
    "ababc abc aabbc xyxyz",
    "aaa bab baab",
]

# A plain English passage, repeated into a longer text.
PASSAGE = ("The river ran quietly past the old mill, where the miller's children played "
           "among the sacks of flour. In the evening, when the light turned gold and the "
           "swallows came down low over the water, their mother called them in for supper. "
           "Nobody in the village could remember a time when the mill had not been there; "
           "it was older than the church, older than the bridge, and some said older than "
           "the river itself. ")
CORPUS.append(PASSAGE * 3)
# Braces and stars that are literals.
CORPUS.append("a{}} a{2} aa** {{a* **b {12}}")


def esc(s):
    return s.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t").replace("\r", "\\r")


def spans(m, groups):
    v = [m.start(), m.end()]
    for g in range(1, groups + 1):
        v += list(m.span(g)) if m.group(g) is not None else [-1, -1]
    return v


class Empty:
    """An empty match at 0 of an empty text, with no groups."""
    def start(self, g=0): return 0
    def end(self, g=0): return 0
    def span(self, g=0): return (0, 0)
    def group(self, g=0): return ""


def matches(p, t):
    # \B holds on an empty text (neither side is a word character); Python
    # before 3.14 refuses it there.
    if p.pattern == r"\B" and t == "":
        return [Empty()]
    out, pos = [], 0
    while pos <= len(t):
        m = p.search(t, pos)
        if not m:
            break
        out.append(m)
        pos = m.end() + 1 if m.end() == m.start() else m.end()
    return out


def replacement(m, groups):
    s = "<" + m.group(0)
    for g in range(1, groups + 1):
        s += "|" + (m.group(g) if m.group(g) is not None else "~")
    return s + ">"


def sub(p, t, ms):
    out, c = [], 0
    for m in ms:
        out.append(t[c:m.start()])
        out.append(replacement(m, p.groups))
        if m.end() == m.start() and m.start() < len(t):
            out.append(t[m.start()])
            c = m.start() + 1
        else:
            c = m.end()
    out.append(t[c:])
    return "".join(out)


def split(p, t):
    res, piece, s = [], 0, 0
    while True:
        m = (Empty() if p.pattern == r"\B" and t == "" else p.search(t, s)) if s <= len(t) else None
        if not m:
            break
        if m.end() == m.start():
            if m.start() >= len(t):
                break
            s = m.start() + 1
            continue
        res.append((piece, m.start()))
        for g in range(1, p.groups + 1):
            res.append(m.span(g) if m.group(g) is not None else (0, 0))
        piece = s = m.end()
        if piece > len(t):
            break
    res.append((piece, len(t)))
    return res


def main():
    front = [(p, f, False) for p, f in [(p, 0) for p in CHAIN + TITLES + UNIT_PATTERNS + NUMWORDS + G2P] + MARKUP]
    pats = front + [(p, f, True) for p, f in FEATURES]
    w = sys.stdout.write
    w("# Expected regex results made by make_rx_expect.py with Python %s; do not edit.\n"
      % sys.version.split()[0])
    for i, t in enumerate(CORPUS):
        w("T %s\n" % esc(t))
    for pat, flags, feature in pats:
        p = re.compile(pat, re.I if flags else 0)
        # Fields: flags, groups, longest text covered (-1: all), pattern.
        w("P %d %d %d %s\n" % (flags, p.groups, 60 if feature else -1, esc(pat)))
        for i, t in enumerate(CORPUS):
            # Feature patterns run over the short texts only, to keep this
            # file small; the front end's patterns run over all of them.
            if feature and len(t) > 60:
                continue
            ms = matches(p, t)
            if not any(m.end() == m.start() for m in ms) and not flags:
                # Without empty matches the engine's rules are Python's own.
                assert [m.span() for m in ms] == [m.span() for m in p.finditer(t)]
                assert sub(p, t, ms) == p.sub(lambda m: replacement(m, p.groups), t)
            a = p.match(t, len(t) // 2)
            if p.pattern == r"\B" and t == "":
                a = Empty()
            if not ms and not a:
                continue
            w("M %d %s\n" % (i, " ".join(" ".join(map(str, spans(m, p.groups))) for m in ms)))
            w("A %d %s\n" % (len(t) // 2, " ".join(map(str, spans(a, p.groups))) if a else "-"))
            if len(t) <= 200:
                w("S %s\n" % esc(sub(p, t, ms)))
                w("L %s\n" % " ".join("%d %d" % sp for sp in split(p, t)))


if __name__ == "__main__":
    main()
