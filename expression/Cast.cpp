#include "Cast.h"

#include "Narration.h"

#include <algorithm>
#include <array>
#include <set>

#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace tovan {

const std::u16string_view Cast::QUOTE =
    uR"re(“([^”]+)”|"([^"]+)"|‘((?:[^’]|’(?=\p{L}))+)’(?!\p{L})|(?<![\p{L}\d])'((?:[^']|'(?=\p{L}))+?)'(?!\p{L}))re";

using Expression::Mood;
using Expression::MoodRef;

namespace {

using WordSet = std::set<std::u16string_view, std::less<>>;

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

bool holds(const WordSet& set, std::u16string_view w) { return set.find(w) != set.end(); }

// Capitalised words that start sentences or stand for no one.
const WordSet& NOT_NAMES() {
    static const WordSet set{u"The",  u"Then",  u"But",   u"And",   u"It",     u"They",     u"We",      u"You",
                             u"There", u"This", u"That",  u"What",  u"When",   u"Where",    u"Why",     u"How",
                             u"Yes",  u"No",    u"Oh",    u"Well",  u"So",     u"If",       u"As",      u"At",
                             u"In",   u"On",    u"Now",   u"Here",  u"Just",   u"All",      u"One",     u"His",
                             u"Her",  u"Its",   u"Our",   u"Their", u"My",     u"Your",     u"A",       u"An",
                             u"Nobody", u"Everyone", u"Someone", u"Somebody"};
    return set;
}

const WordSet& TITLES() {
    static const WordSet set{u"Mr", u"Mrs", u"Ms", u"Miss", u"Dr", u"Sir", u"Lady", u"Lord"};
    return set;
}

const WordSet& FEMALE() {
    static const WordSet set{
        u"alice",    u"mary",     u"anna",    u"emma",      u"elizabeth", u"jane",    u"lucy",     u"sarah",
        u"sophie",   u"grace",    u"mia",     u"olivia",    u"ava",       u"lily",    u"ella",     u"hannah",
        u"kate",     u"katie",    u"laura",   u"rose",      u"ruby",      u"amy",     u"beth",     u"meg",
        u"jo",       u"wendy",    u"dorothy", u"susan",     u"margaret",  u"helen",   u"clara",    u"heidi",
        u"matilda",  u"hermione", u"ginny",   u"luna",      u"molly",     u"petunia", u"anne",     u"diana",
        u"marianne", u"eleanor",  u"catherine", u"isabella", u"harriet",  u"fanny",   u"emily",    u"charlotte",
        u"maria",    u"nora",     u"zoe",     u"chloe",     u"julia",     u"rachel",  u"nancy",    u"betty",
        u"linda",    u"karen",    u"lisa",    u"amelia",    u"isla",      u"mother",  u"mum",      u"mom",
        u"mama",     u"grandma",  u"granny",  u"sister",    u"aunt",      u"queen",   u"princess", u"duchess",
        u"lady",     u"girl",     u"woman",   u"witch",     u"mrs",       u"miss",    u"ms",       u"madam",
        u"wife",     u"daughter", u"hen",     u"mrs."};
    return set;
}

const WordSet& MALE() {
    static const WordSet set{
        u"tom",     u"john",    u"james",      u"peter",    u"harry",      u"ron",         u"jack",    u"sam",
        u"ben",     u"george",  u"william",    u"henry",    u"charles",    u"edward",      u"robert",  u"david",
        u"michael", u"paul",    u"mark",       u"luke",     u"matthew",    u"oliver",      u"noah",    u"leo",
        u"max",     u"finn",    u"arthur",     u"frank",    u"fred",       u"bob",         u"jim",     u"joe",
        u"huck",    u"pip",     u"darcy",      u"bingley",  u"heathcliff", u"sherlock",    u"watson",  u"holmes",
        u"frodo",   u"bilbo",   u"gandalf",    u"aragorn",  u"merry",      u"pippin",      u"dumbledore", u"snape",
        u"hagrid",  u"draco",   u"neville",    u"father",   u"dad",        u"papa",        u"grandpa", u"grandfather",
        u"brother", u"uncle",   u"king",       u"prince",   u"duke",       u"lord",        u"sir",     u"boy",
        u"man",     u"wizard",  u"mr",         u"mr.",      u"husband",    u"son",         u"captain", u"rabbit",
        u"hatter",  u"caterpillar", u"mouse",  u"dodo",     u"gryphon",    u"knave"};
    return set;
}

// One family of speech verbs and the delivery it implies (null: none).
struct VerbFamily {
    std::u16string_view text;
    const MoodRef& (*mood)();
};

const MoodRef& noMood() {
    static const MoodRef none;
    return none;
}

const std::array<VerbFamily, 12>& VERBS() {
    static const std::array<VerbFamily, 12> families{{
        {u"whisper(ed|s)?|murmur(ed|s)?|breathed", &Cast::WHISPER},
        {u"shout(ed|s)?|yell(ed|s)?|scream(ed|s)?|roar(ed|s)?|bellow(ed|s)?|cried out|exclaim(ed|s)?|called out",
         &Cast::SHOUT},
        {u"sob(bed|s)?|wept|weep(s)?|wail(ed|s)?", &Expression::SAD},
        {u"laugh(ed|s)?|giggl(ed|es)|chuckl(ed|es)|grinn?ed", &Expression::AMUSED},
        {u"growl(ed|s)?|snarl(ed|s)?|snapp?ed|hiss(ed|es)?|thunder(ed|s)?", &Cast::GROWL},
        {u"mutter(ed|s)?|grumbl(ed|es)|mumbl(ed|es)", &Cast::MUTTER},
        {u"stammer(ed|s)?|stutter(ed|s)?|faltered", &Cast::STAMMER},
        {u"gasp(ed|s)?", &Cast::GASP},
        {u"plead(ed|s)?|pled|begg?ed|implor(ed|es)", &Cast::PLEAD},
        {u"sigh(ed|s)?", &Cast::SIGH},
        {u"ask(ed|s)?|enquir(ed|es)|inquir(ed|es)|wonder(ed|s)?", &Cast::ASK},
        {u"said|says|say|replied|replies|answered|added|continued|went on|told|remarked|repeated|agreed|"
         u"explained|began|called|cried|insisted|announced|declared|suggested|interrupted|thought|admitted|observed",
         &noMood},
    }};
    return families;
}

// The patterns built from the verb families, each compiled once.
struct Patterns {
    const Regex* afterVS;
    const Regex* afterSV;
    const Regex* afterSomeone;
    const Regex* beforeSV;
    std::array<const Regex*, 12> verb;
};

std::u16string noCaptures(std::u16string_view family) {
    std::u16string out;
    for (char16_t c : family) {
        out += c;
        if (c == u'(') out += u"?:";
    }
    return out;
}

const Patterns& patterns() {
    static const Patterns p = [] {
        std::u16string verb = u"(?:";
        for (size_t i = 0; i < VERBS().size(); i++) {
            if (i) verb += u'|';
            verb += noCaptures(VERBS()[i].text);
        }
        verb += u')';
        const std::u16string n =
            uR"((?:the |The )?(?:Mr\.|Mrs\.|Ms\.|Miss|Dr\.|Sir|Lady|Lord|Aunt|Uncle|Captain|King|Queen|Prince|Princess)?\s?\p{Lu}[\p{L}’'-]+(?: \p{Lu}[\p{L}’'-]+){0,2})";
        const std::u16string who =
            uR"((?:(?:old|young|little|poor|dear|kind|good|wise|tall|small|big)\s+)?()" + n + u"|he|she|He|She|I)";
        const std::u16string lead = uR"(^\s*[,.!?—–-]?\s*)";
        Patterns out{};
        out.afterVS = &rx(lead + u"(" + verb + uR"()\s+)" + who + uR"((?=[\s,.;!?]|$))");
        out.afterSV = &rx(lead + who + uR"(\s+(?:\w+ly\s+)?()" + verb + uR"()\b)");
        out.afterSomeone =
            &rx(lead + u"(" + verb + uR"()\s+(?:our|the|a|an|his|her|my|their|old|young)\s+\p{Ll})");
        out.beforeSV = &rx(who + uR"(\s+(?:\w+ly\s+)?()" + verb + uR"()[^.!?]{0,40}$)");
        for (size_t i = 0; i < VERBS().size(); i++)
            out.verb[i] = &rx(u"(?i)^(?:" + std::u16string(VERBS()[i].text) + u")$");
        return out;
    }();
    return p;
}

constexpr std::u16string_view P_TENSE =
    uR"((?i)\b(dark(ness)?|shadow|creep|crept|silence|silent|whisper|fear|afraid|terrif|horror|dread|ghost|cold|trembl|shiver|eerie|strange noise|footsteps)\w*)";
constexpr std::u16string_view P_SOMBRE =
    uR"((?i)\b(tears|wept|weeping|grief|griev|funeral|died|death|dead|mourn|lonely|alone|sorrow|sad)\w*)";
constexpr std::u16string_view P_BRIGHT =
    uR"((?i)\b(laugh|smil|joy|happ|delight|sunshine|cheer|merr|danced|sang|wonderful)\w*)";
constexpr std::u16string_view P_ACTION =
    uR"((?i)\b(ran|run|rushed|dashed|leapt|jumped|crash|suddenly|chased|fled|raced|grabbed|burst)\w*)";
constexpr std::u16string_view NAME_IN_TEXT =
    uR"((?<![.!?]\s)(?<!^)\b((?:(?:Mr|Mrs|Ms|Dr)\.|Miss|Sir|Lady|Lord)\s)?(\p{Lu}[a-z]{2,})\b)";
constexpr std::u16string_view PRONOUN = uR"(\b(she|he|She|He)\b)";

bool hasMark(const std::u16string& s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= u'\uE000' && c <= u'\uE002'; });
}

bool speech(const JMatch& m) { return Narration::isDialogue(Cast::inner(m)); }

// The words of a name split at single blanks, sorted and unique, for the
// subset test of resolve().
std::vector<std::u16string> wordSet(const std::u16string& name) {
    std::vector<std::u16string> w = rx(u" ").split(name);
    std::sort(w.begin(), w.end());
    w.erase(std::unique(w.begin(), w.end()), w.end());
    return w;
}

// The pattern text of a literal: every ASCII character that is not a letter
// or a digit is quoted, so nothing in a name acts as an operator.
std::u16string escaped(const std::u16string& s) {
    std::u16string out;
    for (char16_t c : s) {
        bool plain = c > 0x7f || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!plain) out += u'\\';
        out += c;
    }
    return out;
}

}  // namespace

// ---- Moods -----------------------------------------------------------------

#define TOVAN_CAST_MOOD(fn, ...)                                 \
    const MoodRef& Cast::fn() {                                  \
        static const MoodRef mood = Mood::make(__VA_ARGS__);     \
        return mood;                                             \
    }

TOVAN_CAST_MOOD(WHISPER, u"whispered", u"whisper", u"whispered")
TOVAN_CAST_MOOD(SHOUT, u"shouted", u"loud", u"shouted: loud",
                {{u"loud", 1.4f}, {u"rate", 0.3f}, {u"f0_med", 0.6f}, {u"f0_iqr", 0.8f}})
TOVAN_CAST_MOOD(MUTTER, u"muttered", u"irritation", u"muttered: low",
                {{u"loud", -0.8f}, {u"f0_med", -0.4f}, {u"rate", 0.2f}})
TOVAN_CAST_MOOD(STAMMER, u"stammered", u"hesitant", u"hesitant", {{u"rate", -0.4f}, {u"pause", 0.6f}})
TOVAN_CAST_MOOD(GASP, u"gasped", u"surprise", u"surprised", {{u"f0_med", 0.8f}, {u"f0_iqr", 1.0f}})
TOVAN_CAST_MOOD(PLEAD, u"pleaded", u"distress", u"pleading",
                {{u"f0_med", 0.4f}, {u"f0_iqr", 0.6f}, {u"rate", -0.2f}})
TOVAN_CAST_MOOD(SIGH, u"sighed", u"tired", u"tired", {{u"rate", -0.4f}, {u"f0_iqr", -0.5f}, {u"loud", -0.4f}})
TOVAN_CAST_MOOD(GROWL, u"growled", u"anger", u"angry", {{u"loud", 0.8f}, {u"f0_med", -0.6f}, {u"f0_end", -0.8f}})
TOVAN_CAST_MOOD(ASK, u"asked", std::nullopt, u"a question", {{u"f0_end", 1.2f}})
TOVAN_CAST_MOOD(TENSE, u"tense", u"mysterious", u"a tense scene",
                {{u"rate", -0.15f}, {u"loud", -0.25f}, {u"f0_iqr", -0.2f}})
TOVAN_CAST_MOOD(SOMBRE, u"sombre", u"sadness", u"a sad scene",
                {{u"rate", -0.25f}, {u"f0_med", -0.25f}, {u"f0_iqr", -0.3f}})
TOVAN_CAST_MOOD(BRIGHT, u"bright", u"contentment", u"a happy scene", {{u"f0_iqr", 0.35f}, {u"f0_med", 0.15f}})
TOVAN_CAST_MOOD(ACTION, u"action", std::nullopt, u"action", {{u"rate", 0.3f}, {u"loud", 0.2f}})

#undef TOVAN_CAST_MOOD

// ---- Records ---------------------------------------------------------------

Cast::Line::Line(std::optional<std::u16string> speaker, std::optional<std::u16string> gender, MoodRef delivery,
                 MoodRef scene)
    : speaker(std::move(speaker)), gender(std::move(gender)), delivery(std::move(delivery)),
      scene(scene ? std::move(scene) : Expression::NEUTRAL()) {}

Cast::NamePattern::NamePattern() = default;
Cast::NamePattern::NamePattern(NamePattern&&) noexcept = default;
Cast::NamePattern::~NamePattern() = default;

Cast::Cast() = default;
Cast::~Cast() = default;

// ---- Static helpers --------------------------------------------------------

std::u16string Cast::inner(const JMatch& m) {
    for (int g = 1; g <= 4; g++)
        if (auto s = m.group(g)) return *s;
    return {};
}

bool Cast::hasDialogue(const std::u16string& text) {
    for (const JMatch& m : rx(QUOTE).all(text))
        if (speech(m)) return true;
    return false;
}

namespace {

std::u16string outsideOf(const std::u16string& text, const std::vector<JMatch>& quotes) {
    std::u16string out;
    int prev = 0;
    for (const JMatch& m : quotes) {
        out.append(text, prev, m.start(0) - prev);
        if (speech(m))
            out += u" \u00B6 ";
        else
            out.append(text, m.start(0), m.end(0) - m.start(0));
        prev = m.end(0);
    }
    out.append(text, prev, std::u16string::npos);
    return out;
}

}  // namespace

std::u16string Cast::outside(const std::u16string& text) { return outsideOf(text, rx(QUOTE).all(text)); }

MoodRef Cast::delivery(const std::optional<std::u16string>& verb) {
    if (!verb) return nullptr;
    const std::u16string v = jtrim(lower(*verb));
    const Patterns& p = patterns();
    for (size_t i = 0; i < VERBS().size(); i++)
        if (p.verb[i]->whole(v)) return VERBS()[i].mood();
    return nullptr;
}

std::optional<std::u16string> Cast::genderOf(const std::u16string& name) {
    std::u16string s = lower(name);
    for (size_t at; (at = s.find(u"the ")) != std::u16string::npos;) s.erase(at, 4);
    for (const std::u16string& piece : rx(uR"([\s.]+)").split(s)) {
        if (holds(FEMALE(), piece)) return u"female";
        if (holds(MALE(), piece)) return u"male";
    }
    return std::nullopt;
}

std::u16string Cast::canonical(const std::u16string& name) {
    std::u16string s = rx(uR"(^(the|The)\s+)").replaceFirst(name, u"");
    s = rx(uR"([’']s$)").replaceFirst(s, u"");
    return jtrim(s);
}

MoodRef Cast::scene(const std::u16string& text) {
    const size_t t = rx(P_TENSE).all(text).size();
    const size_t s = rx(P_SOMBRE).all(text).size();
    const size_t b = rx(P_BRIGHT).all(text).size();
    const size_t a = rx(P_ACTION).all(text).size();
    const size_t m = std::max({t, s, b, a});
    if (m < 2) return Expression::NEUTRAL();
    if (s == m) return SOMBRE();
    if (t == m) return TENSE();
    if (a == m) return ACTION();
    return BRIGHT();
}

std::vector<std::u16string> Cast::namesIn(const std::u16string& text) {
    std::vector<std::u16string> out;
    for (const JMatch& m : rx(NAME_IN_TEXT).all(text)) {
        std::u16string w = *m.group(2);
        if (holds(NOT_NAMES(), w) || holds(TITLES(), w)) continue;
        out.push_back(m.group(1).value_or(u"") + w);
    }
    return out;
}

// ---- The analysis ----------------------------------------------------------

std::u16string Cast::resolve(const std::u16string& name) const {
    const std::vector<std::u16string> mine = wordSet(name);
    for (size_t i = 0; i < characters_.size(); i++) {
        const auto& theirs = characterWords_[i];
        if (std::includes(mine.begin(), mine.end(), theirs.begin(), theirs.end()) ||
            std::includes(theirs.begin(), theirs.end(), mine.begin(), mine.end()))
            return characters_[i];
    }
    return name;
}

void Cast::remember(const std::u16string& name, const std::optional<std::u16string>& g) {
    if (std::find(characters_.begin(), characters_.end(), name) == characters_.end()) {
        characters_.push_back(name);
        characterWords_.push_back(wordSet(name));
    }
    if (g && !gender_.count(name)) gender_.emplace(name, *g);
}

int Cast::mention(const std::u16string& character, const std::u16string& text) {
    auto it = namePatterns_.find(character);
    if (it == namePatterns_.end()) {
        NamePattern np;
        const std::u16string p = u"\\b" + escaped(character) + u"\\b";
        UErrorCode status = U_ZERO_ERROR;
        UParseError where{};
        np.pattern.reset(icu::RegexPattern::compile(icu::UnicodeString(p.data(), static_cast<int32_t>(p.size())), 0,
                                                    where, status));
        if (U_SUCCESS(status) && np.pattern) np.matcher.reset(np.pattern->matcher(status));
        if (U_FAILURE(status)) np.matcher.reset();
        it = namePatterns_.emplace(character, std::move(np)).first;
    }
    icu::RegexMatcher* m = it->second.matcher.get();
    if (!m || text.size() > static_cast<size_t>(INT32_MAX)) return -1;
    // A read-only alias: the matcher reads the caller's text in place.
    const icu::UnicodeString in(false, text.data(), static_cast<int32_t>(text.size()));
    m->reset(in);
    UErrorCode status = U_ZERO_ERROR;
    int start = -1;
    if (m->find(status) && U_SUCCESS(status)) start = m->start(status);
    if (U_FAILURE(status)) start = -1;
    m->reset(icu::UnicodeString());  // drop the alias before the text goes away
    return start;
}

std::shared_ptr<Cast> Cast::analyze(const std::vector<std::u16string>& paragraphs) {
    std::shared_ptr<Cast> cast(new Cast());
    Cast& c = *cast;
    c.lines_.reserve(paragraphs.size());
    const Patterns& p = patterns();
    const Regex& quote = rx(QUOTE);
    const Regex& pronoun = rx(PRONOUN);

    std::optional<std::u16string> lastFemale, lastMale, current, previous;
    bool dialogue1 = false, dialogue2 = false;

    for (const std::u16string& paragraph : paragraphs) {
        std::u16string t = hasMark(paragraph) ? jtrim(Narration::strip(paragraph)) : jtrim(paragraph);
        MoodRef mood = scene(t);
        const std::vector<JMatch> quotes = quote.all(t);
        const bool anySpeech = std::any_of(quotes.begin(), quotes.end(), speech);

        if (!anySpeech) {
            for (const std::u16string& n : namesIn(t)) {
                auto known = c.gender_.find(n);
                std::optional<std::u16string> g =
                    known != c.gender_.end() ? std::optional<std::u16string>(known->second) : genderOf(n);
                if (g == u"female")
                    lastFemale = c.resolve(n);
                else if (g == u"male")
                    lastMale = c.resolve(n);
            }
            c.lines_.emplace_back(std::nullopt, std::nullopt, nullptr, std::move(mood));
            dialogue2 = dialogue1;
            dialogue1 = false;
            continue;
        }

        // Explicit attribution: a speech verb and a speaker right after a
        // spoken quotation, or a speaker and verb just before it.
        std::optional<std::u16string> verb, who;
        int boundary = 0;
        for (const JMatch& m : quotes) {
            if (!speech(m)) continue;
            const int end = m.end(0);
            // find() from `end` sees only the text after the quotation, as
            // if it were cut out, without copying it.
            if (auto a = p.afterVS->find(t, end)) {
                verb = a->group(1);
                who = a->group(2);
            } else if (auto b = p.afterSomeone->find(t, end)) {
                verb = b->group(1);
                who = u"?";
            } else if (auto d = p.afterSV->find(t, end)) {
                who = d->group(1);
                verb = d->group(2);
            } else if (auto e = p.beforeSV->find(jsub(t, boundary, m.start(0)))) {
                who = e->group(1);
                verb = e->group(2);
            }
            boundary = end;
            if (who) break;
        }

        std::optional<std::u16string> speaker;  // absent: unknown
        if (who) {
            const std::u16string w = jtrim(*who);
            const std::u16string lw = lower(w);
            if (w == u"?") {
            } else if (lw == u"she") {
                speaker = lastFemale;
            } else if (lw == u"he") {
                speaker = lastMale;
            } else if (w == u"I") {
                speaker = u"Narrator";
            } else if (!holds(NOT_NAMES(), rx(u" ").split(w).front())) {
                speaker = c.resolve(canonical(w));
            }
        } else {
            const std::u16string o = outsideOf(t, quotes);
            std::optional<std::u16string> candidate;
            bool decided = false;
            int best = -1;
            for (const std::u16string& ch : c.characters_) {
                int at = c.mention(ch, o);
                if (at >= 0 && (best < 0 || at < best)) {
                    best = at;
                    candidate = ch;
                }
            }
            decided = candidate.has_value();
            if (!decided) {
                if (auto m = pronoun.find(o)) {
                    candidate = lower(*m->group(1)) == u"she" ? lastFemale : lastMale;
                    decided = candidate.has_value();
                }
            }
            if (!decided) {
                if (!dialogue1)
                    candidate.reset();
                else if (dialogue2 && previous)
                    candidate = previous;
                else
                    candidate = current;
            }
            if (candidate && *candidate != u"?") speaker = candidate;
        }

        std::optional<std::u16string> g;
        if (speaker && *speaker != u"Narrator") {
            auto known = c.gender_.find(*speaker);
            if (known != c.gender_.end())
                g = known->second;
            else
                g = genderOf(*speaker);
            if (!g && who) {
                const std::u16string word = lower(*who);
                if (word == u"she")
                    g = u"female";
                else if (word == u"he")
                    g = u"male";
            }
            c.remember(*speaker, g);
            if (g == u"female")
                lastFemale = speaker;
            else if (g == u"male")
                lastMale = speaker;
        }

        const std::u16string x = speaker.value_or(u"?");
        if (!current) {
            current = x;
        } else if (x != *current) {
            previous = current;
            current = x;
        }

        c.lines_.emplace_back(speaker, g, delivery(verb), std::move(mood));
        dialogue2 = dialogue1;
        dialogue1 = true;
    }
    return cast;
}

// ---- Character voices ------------------------------------------------------

namespace {

// The name's Java-style hash over its units lower-cased one by one (a unit
// whose lower case is not a single BMP character stays as it is).
int32_t nameHash(const std::u16string& name) {
    uint32_t h = 0;
    for (char16_t c : name) {
        char16_t u = c;
        if (!U16_IS_SURROGATE(c)) {
            UChar out[4];
            UErrorCode status = U_ZERO_ERROR;
            int32_t n = u_strToLower(out, 4, &c, 1, "", &status);
            if (U_SUCCESS(status) && n == 1 && !U16_IS_SURROGATE(out[0])) u = out[0];
        }
        h = h * 31u + u;
    }
    return static_cast<int32_t>(h);
}

}  // namespace

std::optional<std::u16string> Cast::voiceFor(const std::optional<std::u16string>& speaker,
                                             const std::optional<std::u16string>& narrator,
                                             const std::vector<std::u16string>& female,
                                             const std::vector<std::u16string>& male) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!speaker) return std::nullopt;
    if (*speaker == u"Narrator") return narrator;
    if (auto given = voices_.find(*speaker); given != voices_.end()) return given->second;

    auto g = gender_.find(*speaker);
    const bool isMale = g != gender_.end() && g->second == u"male";
    std::vector<std::u16string> pool;
    if (g == gender_.end()) {
        pool = female;
        pool.insert(pool.end(), male.begin(), male.end());
    } else {
        pool = isMale ? male : female;
    }
    if (narrator) {
        auto it = std::find(pool.begin(), pool.end(), *narrator);
        if (it != pool.end()) pool.erase(it);
    }
    std::set<std::u16string_view> used;
    for (const auto& [who, voice] : voices_) used.insert(voice);
    pool.erase(std::remove_if(pool.begin(), pool.end(), [&](const std::u16string& v) { return used.count(v) > 0; }),
               pool.end());
    // Once a gender's voices are all taken, speakers share them; when no
    // voice of that gender was passed at all, the other list stands in.
    if (pool.empty()) pool = isMale ? male : female;
    if (pool.empty()) pool = isMale ? female : male;
    // No voice at all: nothing to give, and nothing to divide by.
    if (pool.empty()) return std::nullopt;

    const int64_t h = nameHash(*speaker);
    const int64_t n = static_cast<int64_t>(pool.size());
    const int64_t index = (h % n + n) % n;
    const std::u16string& voice = pool[static_cast<size_t>(index)];
    voices_.emplace(*speaker, voice);
    return voice;
}

}  // namespace tovan
