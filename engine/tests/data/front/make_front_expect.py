#!/usr/bin/env python3
"""Writes front_expect.txt: the front end's normalisation and number words
computed here with Python's own re module, for engine_tests to compare with.

Everything below is written straight from the rules (British cardinal and
ordinal words, the words of a double, the configurable word routine, the
number normaliser and the normalisation chain), so the engine's regex engine
and its C++ rules are checked against Python's. The acronym rule asks whether
a word is a key of the lexicon: the keys come from the CMU dictionary the
engine's lexicon is built from.

Lines (fields separated by tabs; \\t, \\n and \\\\ escaped):
  N  input  output        normalisation ("!" + message on failure)
  C  digits  words        British cardinal words
  O  digits  words        British ordinal words
  F  repr(x)  words       words of a double
  I  text  and  zero  group  words   the configurable routine
  M  input  output        the number normaliser alone

Run: python3 make_front_expect.py [cmudict-0.4.out] > front_expect.txt
"""
import re
import sys
import unicodedata


class Fail(Exception):
    pass


ONES = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten",
        "eleven", "twelve", "thirteen", "fourteen", "fifteen", "sixteen", "seventeen",
        "eighteen", "nineteen"]
TENS = ["", "", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"]
HIGH = ["m", "b", "tr", "quadr", "quint", "sext", "sept", "oct", "non", "dec", "undec",
        "duodec", "tredec", "quattuordec", "quindec", "sexdec", "septendec", "octodec",
        "novemdec", "vigint", "unvigint", "duovigint", "trevigint", "quattuorvigint",
        "quinvigint", "sexvigint", "septenvigint", "octovigint", "novemvigint", "trigint",
        "untrigint", "duotrigint"]
ORD_BRIT = dict(one="first", two="second", three="third", four="fourth", five="fifth",
                six="sixth", seven="seventh", eight="eighth", nine="ninth", ten="tenth",
                eleven="eleventh", twelve="twelfth")
IONES = [""] + ONES[1:10]
ITEENS = ONES[10:20]
IMILL = [" ", " thousand", " million", " billion", " trillion", " quadrillion",
         " quintillion", " sextillion", " septillion", " octillion", " nonillion", " decillion"]
ORD_CONF = dict(one="first", two="second", three="third", five="fifth", eight="eighth",
                nine="ninth", twelve="twelfth")


def py_int_digits(text):
    if text == "":
        return "0"
    for c in text:
        if unicodedata.decimal(c, -1) < 0:
            q = text.encode("utf-8")[:200].decode("utf-8", "ignore")
            raise Fail("ValueError: invalid literal for int() with base 10: '%s'" % q)
    d = "".join(str(unicodedata.decimal(c)) for c in text).lstrip("0")
    return d or "0"


BRITISH_MAX_DIGITS = 102
INFLECT_MAX_DIGITS = 36


def digit_groups(digits):
    """Digits one by one in groups of three; the last group has two to four
    (eight left are four and four)."""
    groups = []
    while len(digits) > 4:
        take = 4 if len(digits) == 8 else 3
        groups.append(digits[:take])
        digits = digits[take:]
    groups.append(digits)
    return ", ".join(" ".join(ONES[int(c)] for c in g) for g in groups if g)


def cardinal(digits):
    if len(digits) > BRITISH_MAX_DIGITS:
        return digit_groups(digits)
    if digits == "0":
        return "zero"
    groups = []
    d = digits
    while d:
        groups.append(int(d[-3:]))
        d = d[:-3]
    low_small = groups[0] < 100
    out = ""
    first = True
    for k in range(len(groups) - 1, -1, -1):
        g = groups[k]
        if g == 0:
            continue
        if not first:
            out += ", " if (k != 0 or not low_small) else " and "
        first = False
        h, r = divmod(g, 100)
        if h:
            out += ONES[h] + " hundred" + (" and " if r else "")
        if r > 19:
            out += TENS[r // 10] + ("-" + ONES[r % 10] if r % 10 else "")
        elif r >= 1:
            out += ONES[r]
        if k == 1:
            out += " thousand"
        elif k >= 2:
            out += " " + HIGH[k - 2] + "illion"
    return out


def ordinal(digits):
    w = cardinal(digits)
    start = w.rfind(" ") + 1
    h = w.rfind("-", start)
    if h >= 0:
        start = h + 1
    last = w[start:]
    if last in ORD_BRIT:
        return w[:start] + ORD_BRIT[last]
    if last.endswith("y"):
        last = last[:-1] + "ie"
    return w[:start] + last + "th"


def float_words(x):
    if x != x:
        raise Fail("ValueError: cannot convert float NaN to integer")
    if x in (float("inf"), float("-inf")):
        raise Fail("OverflowError: cannot convert float infinity to integer")
    if x == int(x):
        return ("minus " if x < 0 else "") + cardinal(str(abs(int(x))))
    for prec in range(17):
        s = "%.*e" % (prec, abs(x))
        if float(s) == abs(x):
            break
    mant, exp = s.split("e")
    p = len(mant.replace(".", "")) - 1 - int(exp)
    if p >= 309:
        raise Fail("OverflowError: int too large to convert to float")
    ax = abs(x)
    ip = int(ax)
    f = (ax - ip) * 10 ** p
    r = round(f)
    f = r if abs(f - r) < 0.01 else int(f)
    fd = str(int(f)).zfill(p)
    out = "minus " if x < 0 else ""
    out += cardinal(str(ip)) if ip else "zero"
    out += " point" + "".join(" " + ONES[int(c)] for c in fd)
    return out


def two_digit(t, u):
    if t == 1:
        return ITEENS[u] + " "
    return TENS[t] + ("-" if t and u else "") + IONES[u] + (" " if t or u else "")


def inflect(text, and_word, zero, group):
    m = re.search(r"^(\d+)(st|nd|rd|th)$", text)
    num, ordn = (m.group(1), True) if m else (text, False)
    spaced_and = " " + and_word + " " if and_word else " "
    if group == 2:
        def pair(mm):
            a, b = unicodedata.decimal(mm.group(1)), unicodedata.decimal(mm.group(2))
            if a == 0:
                return zero + " " + (IONES[b] if b else zero) + ", "
            return two_digit(a, b) + ", "
        w = re.sub(r"(\d)(\d)", pair, num)
        w = re.sub(r"(\d)$", lambda mm: (IONES[unicodedata.decimal(mm.group(1))] or zero) + ", ", w)
    else:
        d = py_int_digits(num)
        if d == "0":
            w = zero
        elif d == "1":
            w = "one"
        elif len(d) > INFLECT_MAX_DIGITS:
            w = digit_groups(d)
        else:
            n = len(d)
            mk = (n - 1) // 3
            first = n - 3 * mk
            chunks = [d[:first]] + [d[first + 3 * i:first + 3 * i + 3] for i in range(mk)]
            w = ""
            for i, c in enumerate(chunks):
                k = mk - i
                c = c.zfill(3)
                h, t, u = int(c[0]), int(c[1]), int(c[2])
                if not (h or t or u):
                    continue
                if h:
                    w += IONES[h] + " hundred" + (spaced_and if t or u else "")
                w += two_digit(t, u)
                w += IMILL[k] + ", "
    w = re.sub(r"(\S)\s+,", r"\1,", w)
    w = re.sub(r"\s+,", ",", w)
    w = re.sub(r",\s*$", "", w)
    w = re.sub(r"\s+", " ", w).strip()
    if group == 2:
        w = ", ".join(p.strip() for p in w.split(",") if p.strip())
    else:
        w = re.sub(r", (\S+)\Z", lambda mm: " " + and_word + " " + mm.group(1), w)
        w = re.sub(r"\s+", " ", w).strip()
    if ordn:
        m = re.search(r"(\w+)$", w)
        if m:
            last = m.group(1)
            if last in ORD_CONF:
                last = ORD_CONF[last]
            elif last.endswith("ty"):
                last = last[:-1] + "ieth"
            else:
                last += "th"
            w = w[:m.start()] + last + w[m.end():]
    return w


def dollars(amount):
    if amount.count(".") > 1:
        return amount + " dollars"
    parts = amount.split(".")
    d = py_int_digits(parts[0].replace(",", ""))
    c = py_int_digits(parts[1].replace(",", "")) if len(parts) > 1 else "0"
    if d == "0" and c == "0":
        return "zero dollars"
    if d == "0":
        return c + (" cent" if c == "1" else " cents")
    out = d + (" dollar" if d == "1" else " dollars")
    if c != "0":
        out += ", " + c + (" cent" if c == "1" else " cents")
    return out


def plain_number(m):
    d = py_int_digits(m.group(0))
    if len(d) == 4 and "1000" < d < "3000":
        if d == "2000":
            return "two thousand"
        if d.startswith("200"):
            return "two thousand " + inflect(d[3], "and", "zero", 0)
        if d.endswith("00"):
            return inflect(d[:2], "and", "zero", 0) + " hundred"
        return inflect(d, "", "oh", 2).replace(", ", " ")
    return inflect(d, "", "zero", 0)


def normalize_numbers(s):
    s = re.sub(r"([0-9][0-9\,]+[0-9])", lambda m: m.group(1).replace(",", ""), s)
    s = re.sub(r"£([0-9\,]*[0-9]+)", r"\1 pounds", s)
    s = re.sub(r"\$([0-9\.\,]*[0-9]+)", lambda m: dollars(m.group(1)), s)
    s = re.sub(r"([0-9]+\.[0-9]+)", lambda m: m.group(1).replace(".", " point "), s)
    s = re.sub(r"[0-9]+(st|nd|rd|th)", lambda m: inflect(m.group(0), "and", "zero", 0), s)
    s = re.sub(r"[0-9]+", plain_number, s)
    return s


TITLES = [
    (r"\bDr\.?(?=\s+[A-Z])", "Doctor"), (r"\bMrs\.?(?=\s+[A-Z])", "Missus"),
    (r"\bMr\.?(?=\s+[A-Z])", "Mister"), (r"\bMs\.?(?=\s+[A-Z])", "Mizz"),
    (r"\bProf\.?(?=\s+[A-Z])", "Professor"), (r"\bSt\.?(?=\s+[A-Z])", "Saint"),
    (r"\bJr\.", "Junior"), (r"\bSr\.", "Senior"), (r"\bvs\.", "versus"),
    (r"\be\.g\.", "for example"), (r"\bi\.e\.", "that is"),
    (r"\betc\.(?=\s*[,;:!?)]|\s+[a-z])", "et cetera"), (r"\betc\.", "et cetera."),
    (r"\bapprox\.", "approximately"), (r"\bNo\.(?=\s*[0-9])", "number"),
    (r"\bFig\.(?=\s*[0-9])", "figure"), (r"\bVol\.(?=\s*[0-9])", "volume"),
    (r"\bpp\.(?=\s*[0-9])", "pages"), (r"\bJan\.", "January"), (r"\bFeb\.", "February"),
    (r"\bMar\.(?=\s*[0-9])", "March"), (r"\bApr\.", "April"),
    (r"\bJun\.(?=\s*[0-9])", "June"), (r"\bJul\.(?=\s*[0-9])", "July"),
    (r"\bAug\.", "August"), (r"\bSept?\.", "September"), (r"\bOct\.", "October"),
    (r"\bNov\.", "November"), (r"\bDec\.", "December"),
]
UNITS = [("km/h", "kilometers per hour"), ("km/hr", "kilometers per hour"),
         ("m/s", "meters per second"), ("mph", "miles per hour"), ("km", "kilometers"),
         ("kg", "kilograms"), ("cm", "centimeters"), ("mm", "millimeters"), ("ft", "feet"),
         ("lbs", "pounds"), ("lb", "pounds"), ("kHz", "kilohertz"), ("Hz", "hertz"),
         ("GB", "gigabytes"), ("MB", "megabytes")]
UNITS_BY_LENGTH = [u for n in range(8, 0, -1) for u in UNITS if len(u[0]) == n]
FRAC1 = dict(zip(range(2, 11), "half third quarter fifth sixth seventh eighth ninth tenth".split()))
FRACN = dict(zip(range(2, 11),
                 "halves thirds quarters fifths sixths sevenths eighths ninths tenths".split()))

LEXICON = set()


def unpad(s):
    return s.lstrip("0") or "0"


def clock(m):
    h, mm, mer = m.group(1), m.group(2), m.group(3)
    out = unpad(h)
    if mm[0] != "0":
        out += " " + mm
    elif mm[1] != "0":
        out += " oh " + mm[1]
    elif not mer:
        out += " o'clock" if 1 <= int(h) <= 12 and not (len(h) == 2 and h[0] == "0") else " hundred"
    if mer:
        out += " ay em" if mer in "aA" else " pee em"
    return out


def roman(m):
    if m.group(2) == "":
        return m.group(0)
    v = dict(I=1, V=5, X=10, L=50, C=100, D=500, M=1000)
    s = m.group(2)
    total = 0
    for i, c in enumerate(s):
        if i + 1 < len(s) and v[s[i + 1]] > v[c]:
            total -= v[c]
        else:
            total += v[c]
    return m.group(1) + " " + str(total)


def words_cleaned(w):
    return w.replace(",", "").replace("-", " ")


def ascii_digits(s):
    return "".join(str(unicodedata.decimal(c)) if unicodedata.decimal(c, -1) >= 0 else c for c in s)


def int_words(s, ordn):
    d = py_int_digits(s.replace(",", ""))
    w = ordinal(d) if ordn else cardinal(d)
    # digit groups keep their commas as pauses
    return w if len(d) > BRITISH_MAX_DIGITS else words_cleaned(w)


def dbl_words(s):
    whole, frac = s.split(".", 1)
    # read as written when a double would change the whole part's digits or
    # cannot place the decimals
    if len(py_int_digits(whole.replace(",", "")).lstrip("0")) > 15 or len(frac) > 300:
        return int_words(whole, False) + " point" + "".join(
            " " + ONES[unicodedata.decimal(c)] for c in frac if unicodedata.decimal(c, -1) >= 0)
    return words_cleaned(float_words(float(ascii_digits(s.replace(",", "")))))


def acronym(m):
    w = m.group(0)
    if w.lower() in LEXICON:
        return w
    plural = w.endswith("s")
    caps = w[:-1] if plural else w
    out = " ".join("ay" if c == "A" else c for c in caps)
    if len(w) >= 3 and plural:
        out += "'s"
    return out


def normalize(s):
    s = re.sub(r'["“”‘’`]', lambda m: "'" if m.group(0) in "‘’`" else "", s)
    s = re.sub(r"(?<![0-9-])(?:\(([0-9]{3})\)\s?|([0-9]{3})[-.])([0-9]{3})[-.]([0-9]{4})(?![0-9-])",
               lambda m: ", ".join(" ".join(g) for g in m.groups() if g is not None), s)
    s = re.sub(r"(?<![0-9:])\b([01]?[0-9]|2[0-3]):([0-5][0-9])(?!:[0-9])(?:\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z]))?",
               clock, s)
    s = re.sub(r"(?<=[0-9]):(?=[0-9])", " ", s)
    s = re.sub(r"\b([0-9]{1,2})\s?([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z])",
               lambda m: unpad(m.group(1)) + (" ay em" if m.group(2) in "aA" else " pee em"), s)
    for p, w in TITLES:
        s = re.sub(p, w.replace("\\", "\\\\"), s)
    s = re.sub(r"([0-9])\s?°\s?([CF])(?![A-Za-z])",
               lambda m: m.group(1) + (" degrees Celsius" if m.group(2) == "C" else " degrees Fahrenheit"), s)
    s = re.sub(r"([0-9])\s?°", r"\1 degrees", s)
    s = re.sub(r"\b([A-Z])\s?&\s?([A-Z])\b",
               lambda m: " and ".join("ay" if g == "A" else g for g in m.groups()), s)
    s = re.sub(r"\s*&\s*", " and ", s)
    s = re.sub(r"~\s?(?=[0-9])", "about ", s)
    s = re.sub(r"([$£€]\s?[0-9]+(?:\.[0-9]+)?)\s?([KkMmBb])n?\b",
               lambda m: m.group(1) + {"k": " thousand", "m": " million", "b": " billion"}[m.group(2).lower()], s)
    s = re.sub(r"(?<![0-9])[0-9]+(?:\.[0-9]+){2,}(?![0-9])", lambda m: m.group(0).replace(".", " point "), s)
    s = re.sub(r"\b(Chapter|Part|Book|Volume|Act|Scene|Section|Article|Phase|Season|Episode|Level|Stage|Round)\s+(?=[IVXLCDM])(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b",
               roman, s)
    s = re.sub(r"\bWW(II|I|1|2)\b",
               lambda m: "World War 2" if len(m.group(1)) == 2 or m.group(1) == "2" else "World War 1", s)
    s = re.sub(r"(?<![0-9/])([1-9])/(10|[2-9])(?![0-9/])",
               lambda m: m.group(1) + " " + (FRAC1 if m.group(1) == "1" else FRACN)[int(m.group(2))], s)
    s = re.sub(r"(\d)\s*[-–]\s*(\d)", r"\1 to \2", s)
    s = re.sub(r"(\d+)\s*[x×]\s*(\d+)", r"\1 by \2", s)
    s = re.sub(r"(?<=[A-Za-z0-9])[-‐/](?=[A-Za-z0-9])", " ", s)
    s = re.sub(r"([$£€])\s?(\d(?:[\d,]*\d)?(?:\.\d+)?)(?:\s*(million|billion|thousand)\b)?",
               lambda m: m.group(2) + " " + (m.group(3) + " " if m.group(3) else "") +
               {"$": "dollars", "£": "pounds"}.get(m.group(1), "euros"), s)
    s = re.sub(r"(\d[\d,]*(?:\.\d+)?)\s?%", r"\1 percent", s)
    for u, w in UNITS_BY_LENGTH:
        s = re.sub("(\\d)\\s?" + u.replace("/", "[ /]") + "\\b", "\\1 " + w, s)
    s = re.sub(r"\b(\d+)(st|nd|rd|th)\b", lambda m: int_words(m.group(1), True), s)
    s = re.sub(r"\b\d{1,3}(?:,\d{3})+(?:\.\d+)?\b",
               lambda m: dbl_words(m.group(0)) if "." in m.group(0) else int_words(m.group(0), False), s)
    s = re.sub(r"\b\d+\.\d+\b", lambda m: dbl_words(m.group(0)), s)
    s = re.sub(r"\b\d{5,}\b", lambda m: int_words(m.group(0), False), s)
    s = re.sub(r"(?<=[a-z])([A-Z]{2,5}s?)\b", r" \1", s)
    s = re.sub(r"\b[A-Z]{2,5}s?\b", acronym, s)
    s = normalize_numbers(s)
    s = re.sub(r"(?<=[a-z])-(?=[a-z])", " ", s)
    s = re.sub(r"\b(thousand|million|billion|trillion),(?= [a-z])", r"\1", s)
    s = s.replace("\u2014", ", ").replace("\u2013", ", ").replace("\u2026", ". ")
    s = re.sub(r"\s+", " ", s)
    return s.strip()


def esc(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def run(f, *args):
    try:
        return f(*args)
    except Fail as e:
        return "!" + str(e)


SENTENCES = [
    "Dr. Smith paid $5M at 10:30 pm.",
    "Call (555) 123-4567 or 555.987.6543 now; not 1555-123-4567.",
    "Meet at 9:05, 12:00, 00:00, 09:00, 14:00 and 7:00 am.",
    "It opens at 7am and closes at 11 P.M. sharp, 3 a.m. at the latest.",
    "The score was 3:2 after 10:61.",
    "Mr. Brown, Mrs. Green, Ms. White and Prof. Plum met St. John.",
    "Martin Luther King Jr. and Sr. Smith; cats vs. dogs.",
    "Fruit, e.g. apples, i.e. food, etc. and more etc.",
    "See Fig. 3, Vol. 2, pp. 10-12 and No. 7 on Jan. 5, Mar. 3, Jun. 6, Jul. 8, Sept. 9.",
    "He arrived in Mar. and left on Dec. 24, approx. noon.",
    "Water boils at 100°C or 212 °F; it was 30° outside.",
    "AT&T and R & D, salt & pepper, A&B.",
    "It costs ~5 dollars, about ~ 10.",
    "Raised $2.5B, then £3bn and €40k, plus $7 m.",
    "Version 1.2.3 replaced 10.0.1.5 but not 1.2.",
    "Chapter XIV, Part IX, Book MCMXCIV, Level Crossing, Part Dance and Book Club.",
    "After WWII and WWI came WW2 and WW1.",
    "Add 1/2 cup, 3/4 spoon, 2/10 of it, 11/12 is left alone and 1/1 too.",
    "Pages 10-20, 5 – 6 and 3x4 or 1920 × 1080 screens.",
    "A self-driving car and/or a bike; input/output 4/4.",
    "It costs $1,000.50 or £3 or €2.50 or $5 million.",
    "Rates rose 5% then 12.5 % and 1,000%.",
    "Drive at 5km/h, 60 km/hr, 3 m/s, 70mph, 10 km, 5kg, 2 cm, 3mm, 6 ft, 2 lbs, 1 lb.",
    "Tune to 440 Hz or 2kHz; store 16 GB and 512MB.",
    "The 1st, 2nd, 3rd, 4th, 11th, 12th, 21st, 22nd, 100th, 101st and 0th.",
    "A crowd of 1,234,567 watched 12,345.678 people.",
    "Pi is 3.14159 and e is 2.718; 0.5 and 2.0.",
    "The number 123456789 and 10000 and 99999.",
    "The FBI, NASA, TVs, ABs, the US and IT.",
    "Her iPhone and myPC and theUSA.",
    "In 1984, 1905, 1900, 2000, 2001, 2005, 2010, 2024, 1000 and 3000.",
    "Count 1001, 999, 123, 7, 0, 007 and 42.",
    "Thousands: one thousand, two million, three billion, four trillion, five.",
    "Wait\u2014what\u2013now\u2026 really?",
    "\u201cCurly\u201d quotes and \u2018single\u2019 ones with `grave`.",
    "   Lots   of \t white\n space   ",
    "Fix the well-known state-of-the-art e-mail.",
    "A 4301-digit check is separate.",
    "I paid $0.05, $1, $1.5, $1.2.3 and $100.",
    "Numbers \u0661\u0662\u0663 and \u0967\u0968 and \uff15\uff16.",
    "Ordinals like \u0663rd and 5\u0663th.",
    "Call me at 10:30 a.m. or 5:45 P.M. or 23:59.",
    "",
    "   ",
    "It was the 3rd of May in the year 1776, at 6:00 pm.",
    "Section IV and Article LX and Round MMXXIV.",
    "Item 1.5.9 costs $3.99 and weighs 2.5 kg.",
    "He ran 26.2 miles in 3:45:10.",
    "The ratio 16:9 and 4:3.",
    "ABCDEF is long and ABCDEs are too.",
    "The UK's BBC aired it at 8pm.",
    "From 1,000 to 2,000,000 and 1,23 and 12,3456.",
    "Room 101, flat 4B, code 0042.",
]
SENTENCES.append("x " + "9" * 103 + " y")
SENTENCES.append("x " + "9" * 102 + " y")
SENTENCES.append("x " + "1" * 4301 + " y")
SENTENCES.append("a " + "1" * 4301 + " and " + "2" * 103)
# Runs too long for number words, read in digit groups: a comma-joined list,
# a run glued to letters, long ordinals and decimals too long for a double.
SENTENCES.append("Numbers " + ",".join(str(i) for i in range(1, 26)) + " drawn.")
SENTENCES.append("Code v" + "12345678" * 5 + " now.")
SENTENCES.append("The " + "1" * 110 + "th and " + "3" * 40 + "rd.")
SENTENCES.append("It is " + "9" * 150 + ".25 or 0." + "0" * 320 + "5 long.")
SENTENCES.append("Pay $12345678901234567890.25, not 123456789012345.5 or 3.14159265358979323846.")

CARDINALS = ["0", "1", "5", "10", "13", "20", "21", "99", "100", "101", "110", "115", "999",
             "1000", "1001", "1005", "1010", "1100", "1200", "1234", "10000", "10005", "100000",
             "100001", "1000000", "1000005", "2000000", "1000000001", "123456789012",
             "1" + "0" * 101, "9" * 102, "1" + "0" * 102]
FLOATS = [0.5, 2.0, 3.05, 1.5, 0.1, 0.01, 12.345, 1e-7, 123456.789, -0.5, -2.25, 1e300,
          2.5e-10, 0.30000000000000004, 1e-308, 5e-324, float("inf"), float("nan")]
INFLECTS = [("0", "and", "zero", 0), ("1", "and", "zero", 0), ("21st", "and", "zero", 0),
            ("12th", "and", "zero", 0), ("3rd", "and", "zero", 0), ("20th", "and", "zero", 0),
            ("0th", "and", "zero", 0), ("100th", "and", "zero", 0), ("101st", "and", "zero", 0),
            ("1000", "", "zero", 0), ("10005", "and", "zero", 0), ("10005", "", "zero", 0),
            ("123", "", "zero", 0), ("1000000", "", "zero", 0), ("100100", "and", "zero", 0),
            ("1905", "", "oh", 2), ("2024", "", "oh", 2), ("2010", "", "oh", 2),
            ("12345", "", "oh", 2), ("1005", "", "zero", 2), ("007", "", "zero", 0),
            ("9" * 36, "", "zero", 0), ("9" * 37, "", "zero", 0),
            ("1" * 37 + "th", "and", "zero", 0), ("1" * 41, "", "zero", 0),
            ("12345678", "", "zero", 0)]
NUMBER_TEXTS = ["$1.50", "$0.05", "$1", "$1.5", "$1.2.3", "$0.00", "$0.01", "$2,500",
                "£1,000", "3.14", "21st", "1984", "1905", "1900", "2000", "2005", "2010",
                "1000", "3000", "1001", "007", "123", "a1b22c333", "$,5",
                "9" * 36, "9" * 37, "1" * 100, ",".join(str(i) for i in range(1, 26)),
                "$" + "5" * 40 + ".25", "0" * 30 + "7" * 40]


def main():
    global LEXICON
    path = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/festival/dicts/cmu/cmudict-0.4.out"
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = re.match(r'\("([^"]*)"', line)
            if m and re.fullmatch(r"[a-z][a-z']*", m.group(1).lower()):
                LEXICON.add(m.group(1).lower())
    out = sys.stdout
    for s in SENTENCES:
        out.write("N\t%s\t%s\n" % (esc(s), esc(run(normalize, s))))
    for d in CARDINALS:
        out.write("C\t%s\t%s\n" % (d, run(cardinal, d)))
        out.write("O\t%s\t%s\n" % (d, run(ordinal, d)))
    for x in FLOATS:
        out.write("F\t%s\t%s\n" % (repr(x), run(float_words, x)))
    for t, a, z, g in INFLECTS:
        out.write("I\t%s\t%s\t%s\t%d\t%s\n" % (t, a, z, g, run(inflect, t, a, z, g)))
    for t in NUMBER_TEXTS:
        out.write("M\t%s\t%s\n" % (esc(t), esc(run(normalize_numbers, t))))


main()
