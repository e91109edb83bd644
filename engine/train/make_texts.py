#!/usr/bin/python3
"""Builds the training and held-out sentence lists for the development voice.

    make_texts.py OUT_DIR [--prose 6000] [--everyday 6000] [--generated 4000]

Writes, one sentence a line:
  OUT_DIR/train.txt          technical prose, everyday prose and generated
                             sentences, mixed and shuffled
  OUT_DIR/test.txt           technical held-out: every 50th technical candidate
  OUT_DIR/test-everyday.txt  everyday held-out: every 50th everyday candidate
                             (everyday prose and generated sentences)

The held-out lists are made once. When OUT_DIR already has them, they are
kept (less any sentence today's filter drops) and only train.txt is
rebuilt, without them: the committed weights were trained on earlier lists,
so a held-out set chosen afresh would mostly hold sentences they have
already learned. --new-held-out chooses them afresh.

Sources, all from what Debian ships:
  technical  README, NEWS and plain-text files under /usr/share/doc
  everyday   example sentences from the WordNet glosses (wordnet-base) and
             plain prose fortunes from the tame fortune files (fortunes-min,
             fortunes); files that are missing are skipped
  generated  templates about people, places, time, home, travel, food,
             weather, work, feelings, health, shopping, family, numbers in
             context, questions, exclamations and quoted dialogue

Every sentence is ASCII, 4-24 words (5-24 outside WordNet), unique across all
three files when lower-cased, and holds no word beginning "spec" (nor
"unspec...") and no "Part" followed by a number. Everything is deterministic (fixed
seed, sorted file walk) so a rerun gives the same lists.
"""
import argparse
import gzip
import os
import random
import re

MIN_WORDS, MAX_WORDS = 5, 24

GOOD = re.compile(r"^[A-Z][A-Za-z0-9 ,;:'\"()-]*[a-z][.?!]\"?$")
# Words beginning "spec" and numbered parts stay out of the project's
# files, the sentences it reads included.
BANNED = re.compile(r"spec(s\b|if|\b)|\bpart\s+\d", re.I)


def clean(s):
    """True if s is a plain ASCII sentence we are willing to read aloud."""
    if not s.isascii() or BANNED.search(s) or not GOOD.match(s):
        return False
    if re.search(r"[A-Z]{4,}|\b\w+\.\w+|--|\(\)|\be\.g|\bi\.e|\betc\b|www|http|@|_", s):
        return False
    # Balanced quotes and brackets, else the sentence was cut from a longer one.
    return s.count('"') % 2 == 0 and s.count("(") == s.count(")")


def read(path):
    try:
        if path.endswith(".gz"):
            with gzip.open(path, "rt", errors="replace") as f:
                return f.read(400000)
        with open(path, errors="replace") as f:
            return f.read(400000)
    except OSError:
        return ""


ABBREV = re.compile(r"(\b(Mr|Mrs|Ms|Dr|St|Mt|Jr|Sr|Prof|No|vs|Gen|Col|Capt|Rev)|\b[A-Z])\.$")


def split_sentences(flat):
    out = []
    for s in re.split(r"(?<=[.!?])\s+(?=[A-Z\"])", flat):
        s = s.strip()
        if out and ABBREV.search(out[-1]):      # "Mr. Grundy" is not two sentences
            out[-1] += " " + s
        elif s:
            out.append(s)
    return out


# --- technical prose ---------------------------------------------------------

def doc_files():
    pat = re.compile(r"^(README|NEWS|FAQ|TODO|AUTHORS|THANKS|.*\.txt|.*\.md)(\.gz)?$", re.I)
    for root, dirs, files in sorted(os.walk("/usr/share/doc")):
        dirs.sort()
        for f in sorted(files):
            if pat.match(f):
                yield os.path.join(root, f)


def doc_sentences():
    for path in doc_files():
        text = read(path)
        # Paragraphs: join wrapped lines, drop indented code and lists.
        for para in re.split(r"\n\s*\n", text):
            lines = [l for l in para.split("\n") if l.strip()]
            if not lines or any(l.startswith(("    ", "\t", "$", "#", "*", "-", ">", "|")) for l in lines):
                continue
            for s in split_sentences(" ".join(l.strip() for l in lines)):
                if MIN_WORDS <= len(s.split()) <= MAX_WORDS and clean(s):
                    yield s


# --- everyday prose ----------------------------------------------------------

WORDNET = "/usr/share/wordnet"
# A gloss example counts as a sentence when it has a subject pronoun or an
# auxiliary and does not open with a participle; "a fast car",
# "contributed to the war effort" do not.
SUBJECTS = {"i", "he", "she", "we", "they", "you", "it", "it's", "there's"}
FINITE = set("i he she we they you it is are was were am has have had will would can could shall should "
             "may might must do does did don't doesn't didn't isn't wasn't can't won't it's there's".split())


def wordnet_sentences():
    for part in ("noun", "verb", "adj", "adv"):
        text = _read_all(os.path.join(WORDNET, "data." + part))
        for line in text.split("\n"):
            if line.startswith(" ") or "|" not in line:
                continue
            gloss = line.split("|", 1)[1]
            for m in re.finditer(r'"([^"]+)"\s*(-?)', gloss):
                if m.group(2):          # followed by "- Author": a quotation
                    continue
                s = m.group(1).strip()
                s = re.sub(r"\bi\b", "I", s)
                words = s.split()
                if not 4 <= len(words) <= MAX_WORDS:
                    continue
                low = [w.strip(",;:!?.").lower() for w in words]
                if not any(w in FINITE for w in low) or low[0].endswith(("ed", "ing")):
                    continue
                if low[0] in FINITE - SUBJECTS and not s.endswith("?"):     # "was behindhand with the rent"
                    continue
                s = s[0].upper() + s[1:]
                if s[-1] not in ".?!":
                    s += "."
                if clean(s):
                    yield s


def _read_all(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


FORTUNES = "/usr/share/games/fortunes"
# Files of plain wit and wisdom; the ones full of code, ASCII art, chat logs,
# foreign text, jokes about groups of people or anything under "off" are left out.
FORTUNE_FILES = ["cookie", "education", "food", "fortunes", "humorists", "kids", "law", "literature", "love",
                 "magic", "medicine", "miscellaneous", "news", "people", "pets", "platitudes", "politics",
                 "pratchett", "riddles", "science", "sports", "tao", "wisdom", "work"]


def fortune_sentences():
    for name in FORTUNE_FILES:
        text = _read_all(os.path.join(FORTUNES, name))
        for entry in re.split(r"\n%\n", text):
            lines = [l for l in entry.split("\n") if l.strip()]
            if not lines:
                continue
            # Attributed quotes, verse, dialogue set out line by line and lists.
            if any(re.match(r"\s*--", l) or l.lstrip().startswith(("-", "*", "#", "[", "Q:", "A:")) for l in lines):
                continue
            if any(l.startswith(("\t", "  ")) for l in lines[1:]) or any(re.search(r"\S(\t|   )", l) for l in lines):
                continue
            # A short line without a stop before a capital is a heading or verse.
            if any(len(l) < 50 and not re.search(r"[.,;:!?'\"-]$", l.rstrip()) and n[:1].isupper()
                   for l, n in zip(lines, lines[1:])):
                continue
            flat = re.sub(r"\s+", " ", " ".join(l.strip() for l in lines))
            if re.search(r"[{}<>\\|~`^=*+#$%&/\[\]]|[!?]{2}|\.\.", flat):
                continue
            for s in split_sentences(flat):
                if re.match(r"[A-Z][\w.' ]{0,25}: ", s):     # "Charlie Brown: ..." speaker labels
                    continue
                if MIN_WORDS <= len(s.split()) <= MAX_WORDS and clean(s):
                    yield s


# --- generated everyday sentences ---------------------------------------------

FIRST = ["Anna", "Ben", "Clara", "David", "Emma", "Frank", "Grace", "Henry", "Julia", "Mark", "Nora", "Oliver",
         "Paula", "Sam", "Tom", "Lucy", "Peter", "Rose", "Victor", "Helen", "Amir", "Fatima", "Hiroshi", "Yuki",
         "Carlos", "Sofia", "Mateo", "Lucia", "Kwame", "Ama", "Priya", "Ravi", "Wei", "Mei", "Olga", "Ivan",
         "Sean", "Siobhan", "Lars", "Ingrid", "Giulia", "Marco", "Aisha", "Omar", "Chloe", "Daniel", "Hannah",
         "James", "Margaret", "Nadia", "Pierre", "Elena", "Jonas", "Leila", "Tariq", "Rosa", "Kenji", "Maya"]
SURNAMES = ["Smith", "Brown", "Taylor", "Wilson", "Evans", "Murphy", "O'Brien", "Garcia", "Martinez", "Rossi",
            "Bianchi", "Schmidt", "Weber", "Dubois", "Moreau", "Novak", "Kowalski", "Petrov", "Tanaka", "Sato",
            "Chen", "Wang", "Kim", "Park", "Patel", "Singh", "Khan", "Hassan", "Okafor", "Mensah", "Larsen",
            "Jensen", "Silva", "Costa", "Fischer", "Campbell", "Walsh", "Nguyen", "Cohen", "Lindqvist"]
TITLES = ["Mr", "Mrs", "Ms", "Dr"]
CITIES = ["London", "Paris", "Berlin", "Madrid", "Rome", "Lisbon", "Dublin", "Edinburgh", "Vienna", "Prague",
          "Warsaw", "Stockholm", "Oslo", "Helsinki", "Athens", "Istanbul", "Cairo", "Nairobi", "Lagos", "Accra",
          "Cape Town", "Mumbai", "Delhi", "Tokyo", "Osaka", "Seoul", "Beijing", "Shanghai", "Bangkok", "Sydney",
          "Melbourne", "Auckland", "Toronto", "Montreal", "Chicago", "Boston", "Denver", "New York", "Mexico City",
          "Lima", "Buenos Aires", "Santiago", "Manchester", "Glasgow", "Amsterdam", "Brussels", "Copenhagen"]
COUNTRIES = ["France", "Spain", "Italy", "Germany", "Portugal", "Ireland", "Scotland", "Norway", "Sweden",
             "Poland", "Greece", "Turkey", "Egypt", "Kenya", "Ghana", "Nigeria", "India", "Japan", "Korea",
             "China", "Thailand", "Vietnam", "Australia", "New Zealand", "Canada", "Mexico", "Peru", "Chile",
             "Argentina", "Brazil", "Morocco", "Iceland"]
SPOTS = ["the station", "the office", "the park", "the school", "the hospital", "the harbour", "the museum",
         "the airport", "the village", "the castle", "the beach", "the library", "the market", "the bakery",
         "the post office", "the bus stop", "the corner shop", "the town hall", "the cinema", "the church",
         "the swimming pool", "the garden centre", "the farm", "the bridge", "the cafe on the square"]
THINGS = ["book", "letter", "ticket", "report", "umbrella", "bicycle", "picture", "key", "coat", "suitcase",
          "lamp", "chair", "clock", "kettle", "notebook", "scarf", "basket", "parcel", "photograph", "map",
          "radio", "blanket", "mirror", "wallet", "guitar", "teapot", "vase", "hat", "jacket", "candle"]
ADJ = ["old", "small", "bright", "quiet", "heavy", "strange", "lovely", "empty", "broken", "warm", "yellow",
       "wooden", "new", "tiny", "enormous", "shabby", "elegant", "dusty", "shiny", "blue", "red", "green",
       "familiar", "curious", "cheap", "expensive", "borrowed", "little", "battered", "clean"]
ROOMS = ["kitchen", "living room", "bedroom", "hall", "attic", "cellar", "bathroom", "garden", "garage", "porch"]
CHORES = ["washed the dishes", "cleaned the windows", "painted the fence", "watered the plants",
          "tidied the cupboard", "mended the gate", "swept the floor", "hung out the washing",
          "fixed the dripping tap", "made the beds", "mowed the lawn", "sorted the old letters"]
FOODS = ["soup", "bread", "rice", "pasta", "curry", "salad", "cake", "porridge", "stew", "pancakes",
         "roast chicken", "fish pie", "apple crumble", "vegetable soup", "lemon tart", "fried eggs", "dumplings",
         "noodles", "tomato sauce", "chocolate biscuits"]
DRINKS = ["tea", "coffee", "orange juice", "hot chocolate", "lemonade", "mint tea", "cold water", "milk"]
MEALS = ["breakfast", "lunch", "dinner", "supper"]
WEATHER = ["it rained all morning", "the sun came out at last", "a cold wind blew from the north",
           "snow fell quietly through the night", "the fog did not lift until noon", "a storm broke over the hills",
           "the air was warm and still", "heavy clouds gathered over the town", "it was the hottest day of the year",
           "a light drizzle kept falling", "the frost made the grass crunch underfoot", "thunder rolled in the distance"]
FEELINGS = ["happy", "tired", "nervous", "relieved", "proud", "worried", "excited", "lonely", "grateful", "cross",
            "calm", "homesick", "cheerful", "sad", "surprised", "embarrassed", "hopeful", "restless"]
JOBS = ["teacher", "nurse", "baker", "farmer", "plumber", "doctor", "lawyer", "pilot", "gardener", "engineer",
        "librarian", "chef", "carpenter", "journalist", "shopkeeper", "postman", "dentist", "musician", "painter"]
WORK = ["finished the report", "answered all the letters", "met the new manager", "worked late again",
        "asked for a day off", "trained two new colleagues", "missed the morning meeting",
        "signed the contract", "moved to a bigger office", "got a small pay rise", "started a new job"]
AILMENTS = ["a cold", "a headache", "a sore throat", "a cough", "a sprained ankle", "a bad back",
            "a high temperature", "an earache", "a stiff neck", "a toothache"]
SHOP_ITEMS = [("loaf of bread", "loaves of bread"), ("pair of shoes", "pairs of shoes"), ("bag of apples",
              "bags of apples"), ("box of tea", "boxes of tea"), ("bunch of flowers", "bunches of flowers"),
              ("jar of honey", "jars of honey"), ("bottle of milk", "bottles of milk"), ("dozen eggs", "dozen eggs"),
              ("winter coat", "winter coats"), ("pot of jam", "pots of jam"), ("newspaper", "newspapers")]
KIN = ["mother", "father", "sister", "brother", "aunt", "uncle", "grandmother", "grandfather", "cousin",
       "daughter", "son", "niece", "nephew"]
TRANSPORT = ["train", "bus", "plane", "coach", "night train", "early train", "last bus"]
SAY = ["said", "asked", "whispered", "replied", "called", "muttered", "laughed", "answered", "sighed"]
VERBS = ["found", "opened", "wanted", "painted", "forgot", "carried", "lost", "brought", "cleaned", "checked",
         "finished", "described", "mentioned", "ordered", "repaired", "wrapped", "borrowed", "sold", "hid", "dropped"]
MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
          "November", "December"]
DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]
PARTS_OF_DAY = ["in the morning", "in the afternoon", "in the evening", "at night", "at dawn", "after lunch",
                "before breakfast", "at midnight"]
SEASONS = ["spring", "summer", "autumn", "winter"]
NUMWORDS = ["two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "twelve", "twenty"]


def an(word):
    return ("an " if word[0] in "aeiou" else "a ") + word


def ordinal(n):
    suffix = "th" if 10 <= n % 100 <= 20 else {1: "st", 2: "nd", 3: "rd"}.get(n % 10, "th")
    return "%d%s" % (n, suffix)


def everyday_forms(rng):
    """Sentence makers, one per form; each returns one sentence."""
    c, r = rng.choice, rng.randint
    person = lambda: c(FIRST)
    full = lambda: "%s %s" % (c(FIRST), c(SURNAMES))
    formal = lambda: "%s %s" % (c(TITLES), c(SURNAMES))
    clock = lambda: "%d:%02d" % (r(1, 12), c([0, 5, 10, 15, 20, 30, 40, 45, 50]))
    date = lambda: c(["%s %d" % (c(MONTHS), r(1, 28)), "the %s of %s" % (ordinal(r(1, 28)), c(MONTHS))])
    two = lambda pool: tuple(rng.sample(pool, 2))
    price = lambda: c(["%d dollars" % r(2, 40), "%d pounds" % r(2, 40), "%d euros and %d cents" % (r(1, 30), r(1, 99)),
                       "%d dollars and %d cents" % (r(1, 30), r(1, 99))])
    return [
        # people and places
        lambda: "%s grew up in %s and moved to %s at the age of %d." % ((c(FIRST),) + two(CITIES) + (r(12, 40),)),
        lambda: "%s has lived in the same house in %s for %d years." % (full(), c(CITIES), r(3, 60)),
        lambda: "%s is %s from %s who now works in %s." % (full(), an(c(JOBS)), c(COUNTRIES), c(CITIES)),
        lambda: "We met %s outside %s and walked together to %s." % ((person(),) + two(SPOTS)),
        lambda: "%s said that %s was the most beautiful city in the world." % (person(), c(CITIES)),
        # time
        lambda: "The %s to %s leaves at %s and arrives %d minutes later." % (c(TRANSPORT), c(CITIES), clock(), r(5, 95)),
        lambda: "The meeting was moved from %s to %s at %s." % (two(DAYS) + (clock(),)),
        lambda: "%s was born on %s, %d." % (person(), date(), r(1930, 2020)),
        lambda: "It took us %s hours to drive to %s." % (c(NUMWORDS), c(CITIES)),
        lambda: "By %s %s, the shop had been closed for %d weeks." % (c(DAYS), c(["morning", "afternoon", "evening"]),
                                                                              r(2, 30)),
        lambda: "Every %s %s, %s walks the dog along the river." % (c(DAYS), c(PARTS_OF_DAY), person()),
        # home
        lambda: "On %s %s %s and then sat down with a cup of %s." % (c(DAYS), person(), c(CHORES), c(DRINKS)),
        lambda: "The %s %s was left in the %s for weeks." % (c(ADJ), c(THINGS), c(ROOMS)),
        lambda: "Someone had left the light on in the %s again." % c(ROOMS),
        lambda: "%s %s the %s %s and put it back in the %s." % (person(), c(["found", "cleaned", "mended", "dusted",
                                                                         "polished", "checked", "wrapped"]),
                                                                c(ADJ), c(THINGS), c(ROOMS)),
        # travel
        lambda: "Next %s we are taking the %s from %s to %s." % ((c(SEASONS), c(TRANSPORT)) + two(CITIES)),
        lambda: "%s spent %d days in %s and sent us a postcard from %s." % (person(), r(3, 40), c(COUNTRIES), c(CITIES)),
        lambda: "Our %s was delayed, so we missed the connection in %s." % (c(TRANSPORT), c(CITIES)),
        lambda: "The hotel was only %d minutes from %s." % (r(2, 30), c(SPOTS)),
        # food
        lambda: "For %s we had %s, followed by %s." % ((c(MEALS),) + two(FOODS)),
        lambda: "%s makes the best %s I have ever tasted." % (person(), c(FOODS)),
        lambda: "Would you like some more %s, or a glass of %s?" % (c(FOODS), c(DRINKS)),
        lambda: "The recipe needs %d grams of flour and %s eggs." % (c([100, 150, 200, 250, 300, 500]), c(NUMWORDS[:5])),
        # weather
        lambda: "On %s %s, so we stayed at home." % (c(DAYS), c(WEATHER)),
        lambda: "The forecast says it will be %d degrees in %s tomorrow." % (r(-5, 35), c(CITIES)),
        lambda: "When we reached %s, %s." % (c(SPOTS), c(WEATHER)),
        # work
        lambda: "Yesterday %s %s before lunch." % (person(), c(WORK)),
        lambda: "%s has been %s for %d years and still loves the work." % (person(), an(c(JOBS)), r(2, 40)),
        lambda: "%s asked whether the new %s could start on %s." % (formal(), c(JOBS), c(DAYS)),
        # feelings
        lambda: "%s felt %s when the letter from %s finally arrived." % (person(), c(FEELINGS), c(CITIES)),
        lambda: "I was so %s that I could hardly say a word." % c(FEELINGS),
        lambda: "After the long week, %s was tired but %s." % (person(), c(FEELINGS)),
        # health
        lambda: "%s stayed in bed on %s with %s." % (person(), c(DAYS), c(AILMENTS)),
        lambda: "The doctor told %s to rest for %s days and drink plenty of water." % (person(), c(NUMWORDS[:6])),
        lambda: "If you still have %s on %s, you should see a doctor." % (c(AILMENTS), c(DAYS)),
        # shopping and prices
        lambda: "%s bought %s %s for %s at %s." % (person(), c(NUMWORDS[:5]), c(SHOP_ITEMS)[1], price(),
                                                             c(["the market", "the bakery", "the corner shop"])),
        lambda: "A %s costs %s at the market these days." % (c(SHOP_ITEMS)[0], price()),
        lambda: "The %s %s was reduced to %s in the sale." % (c(ADJ), c(THINGS), price()),
        # family and ages
        lambda: "My %s turned %d last %s." % c([("grandmother", r(60, 99), c(MONTHS)), ("grandfather", r(60, 99), c(MONTHS)),
                                                 (c(KIN[:6]), r(30, 80), c(MONTHS)), (c(KIN[8:]), r(2, 40), c(MONTHS))]),
        lambda: "%s's %s has lived in %s since %d." % (person(), c(KIN), c(CITIES), r(1950, 2022)),
        lambda: "We visit my %s in %s every %s." % (c(KIN), c(COUNTRIES), c(SEASONS)),
        # numbers in context
        lambda: "The village is %d kilometres from %s." % (r(2, 400), c(CITIES)),
        lambda: "About %d percent of the people in %s voted on %s." % (r(20, 95), c(CITIES), c(DAYS)),
        lambda: "There were %s people at %s on %s." % (format(r(20, 50000), ","), c(SPOTS), date()),
        lambda: "In %d the town had %d houses and %d shops." % (r(1800, 2024), r(20, 9000), r(2, 300)),
        lambda: "Chapter %d begins on page %d." % (r(1, 40), r(2, 600)),
        lambda: "The bridge is %d metres long and %d years old." % (r(20, 2000), r(5, 400)),
        # questions and exclamations
        lambda: "Did %s really leave the %s at %s?" % (person(), c(THINGS), c(SPOTS)),
        lambda: "Where did you put my %s %s?" % (c(ADJ), c(THINGS)),
        lambda: "Have you ever been to %s?" % c(COUNTRIES),
        lambda: "What time does %s close on %s?" % (c(SPOTS), c(DAYS)),
        lambda: "Is it true that %s is moving to %s?" % (person(), c(CITIES)),
        lambda: "How long does the %s to %s take?" % (c(TRANSPORT), c(CITIES)),
        lambda: "Oh, what %s %s!" % (c(["a lovely", "a strange", "an odd", "a beautiful", "a sad", "a happy"]),
                                      c(["day", "surprise", "story", "idea", "evening", "house", "garden"])),
        lambda: "What a %s morning it is!" % c(["beautiful", "cold", "grey", "wonderful", "windy", "quiet"]),
        lambda: "Well, %s never told me about the %s." % (person(), c(THINGS)),
        # quoted dialogue
        lambda: "\"I %s it this morning,\" %s %s." % (c(VERBS), c(SAY[:5]), person()),
        lambda: "\"Are you sure?\" %s asked. \"It looked %s to me.\"" % (person(), c(ADJ)),
        lambda: "\"Please bring the %s,\" %s whispered, \"before %s comes back.\"" % ((c(THINGS),) + two(FIRST)),
        lambda: "\"No, not the %s one!\" shouted %s." % (c(ADJ), person()),
        lambda: "\"Shall we meet at %s at %s?\" %s asked." % (c(SPOTS), clock(), person()),
        lambda: "\"I have never been so %s in my life,\" %s %s." % (c(FEELINGS), c(SAY), formal()),
        lambda: "\"Don't forget your %s,\" said %s, \"it may rain later.\"" % (c(["umbrella", "coat", "scarf", "hat"]),
                                                                           person()),
        lambda: "\"The %s is running late again,\" %s %s." % (c(TRANSPORT), c(SAY), person()),
    ]


def generated(rng, n):
    forms = everyday_forms(rng)
    out = set()
    while len(out) < n:
        s = rng.choice(forms)()
        if clean(s):
            out.add(s)
    return sorted(out)


def take(it, n, seen, rng):
    """All unique sentences of a source, shuffled, cut to n; marks them seen."""
    got = []
    for s in it:
        key = s.lower()
        if key not in seen:
            seen.add(key)
            got.append(s)
    rng.shuffle(got)
    for s in got[n:]:           # what we do not use may come back from another source
        seen.discard(s.lower())
    return got[:n], len(got)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out_dir")
    ap.add_argument("--prose", type=int, default=6000, help="technical prose candidates")
    ap.add_argument("--everyday", type=int, default=6000, help="everyday prose candidates")
    ap.add_argument("--generated", type=int, default=4000, help="generated everyday candidates")
    ap.add_argument("--new-held-out", action="store_true", help="choose the held-out lists afresh")
    a = ap.parse_args()
    rng = random.Random(17)
    seen = set()
    tech, n_doc = take(doc_sentences(), a.prose, seen, rng)
    # Everyday prose: half from each source where both can give that much.
    wn_all, n_wn = take(wordnet_sentences(), a.everyday, seen, rng)
    fo_all, n_fo = take(fortune_sentences(), a.everyday, seen, rng)
    n_fo_use = min(len(fo_all), a.everyday // 2)
    n_wn_use = min(len(wn_all), a.everyday - n_fo_use)
    n_fo_use = min(len(fo_all), a.everyday - n_wn_use)
    wn, fo = wn_all[:n_wn_use], fo_all[:n_fo_use]
    gen = []
    for s in generated(rng, a.generated * 2):
        if len(gen) < a.generated and s.lower() not in seen:
            seen.add(s.lower())
            gen.append(s)
    rng.shuffle(gen)
    everyday = wn + fo + gen
    rng.shuffle(everyday)
    kept = [os.path.join(a.out_dir, n) for n in ("test.txt", "test-everyday.txt")]
    if not a.new_held_out and all(os.path.exists(p) for p in kept):
        test, test_ev = ([s for s in (l.strip() for l in open(p)) if s and clean(s)] for p in kept)
        held = {s.lower() for s in test + test_ev}
        train = [s for s in tech + everyday if s.lower() not in held]
    else:
        test, test_ev = tech[::50], everyday[::50]
        train = [s for i, s in enumerate(tech) if i % 50] + [s for i, s in enumerate(everyday) if i % 50]
        held = {s.lower() for s in test + test_ev}
    rng.shuffle(train)
    assert not held & {s.lower() for s in train}, "held-out sentence in training list"
    os.makedirs(a.out_dir, exist_ok=True)
    for name, lines in (("train.txt", train), ("test.txt", test), ("test-everyday.txt", test_ev)):
        with open(os.path.join(a.out_dir, name), "w") as f:
            f.write("\n".join(lines) + "\n")
    print("sources: doc prose %d of %d, wordnet %d of %d, fortunes %d of %d, generated %d"
          % (len(tech), n_doc, len(wn), n_wn, len(fo), n_fo, len(gen)))
    print("files: train.txt %d, test.txt %d, test-everyday.txt %d" % (len(train), len(test), len(test_ev)))


if __name__ == "__main__":
    main()
