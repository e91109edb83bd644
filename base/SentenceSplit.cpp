#include "SentenceSplit.h"

#include <algorithm>
#include <unordered_set>

#include "TextMarkers.h"
#include "Utf16.h"

namespace tovan::TextClean {

namespace {

using Utf16::isWhitespace;

bool isMark(char16_t c) { return c == u'.' || c == u'!' || c == u'?'; }

bool isCloser(char16_t c) {
    switch (c) {
    case u'.': case u'!': case u'?': case u'"': case u'\'':
    case u'\u201D': case u'\u2019': case u')': case u']':
        return true;
    default:
        return false;
    }
}

bool isOpener(char16_t c) {
    switch (c) {
    case u'"': case u'\'': case u'\u201C': case u'\u2018': case u'(':
        return true;
    default:
        return false;
    }
}

// Words that end in a full stop without ending the sentence (stored without
// that full stop, lower-cased).
const std::unordered_set<std::u16string>& abbrev() {
    static const std::unordered_set<std::u16string> set = {
        u"mr", u"mrs", u"ms", u"dr", u"prof", u"sr", u"jr", u"st", u"mt", u"vs", u"etc", u"e.g",
        u"i.e", u"fig", u"figs", u"no", u"nos", u"vol", u"vols", u"pp", u"p", u"ch", u"sec", u"ed",
        u"eds", u"inc", u"ltd", u"co", u"corp", u"dept", u"est", u"approx", u"u.s", u"u.k", u"a.m", u"p.m",
        u"jan", u"feb", u"mar", u"apr", u"jun", u"jul", u"aug", u"sep", u"sept", u"oct", u"nov", u"dec",
        u"mon", u"tue", u"wed", u"thu", u"fri", u"sat", u"sun", u"gen", u"gov", u"sen", u"rep", u"rev",
        u"capt", u"col", u"lt", u"sgt", u"ave", u"blvd", u"rd", u"al", u"cf", u"ibid", u"op", u"ca",
    };
    return set;
}

// No abbreviation is longer than this; lower-casing never shortens a word, so
// a longer word needs no look-up.
constexpr std::int64_t longestAbbrev = 12;

Range trimmed(std::u16string_view text, std::int64_t a, std::int64_t b) {
    while (a < b && isWhitespace(text[a])) ++a;
    while (b > a && isWhitespace(text[b - 1])) --b;
    return {a, b};
}

// Whether a quotation opened since the start of the current sentence is still
// open. The counters are carried forward as the candidate position moves on
// and start again with each sentence, so the sentence is read once however
// many marks it holds (one stray quote must not make splitting quadratic).
class QuoteScan {
public:
    explicit QuoteScan(std::u16string_view text) : text_(text) {}

    bool inside(std::int64_t from, std::int64_t to) {
        if (from != from_) {
            from_ = from;
            pos_ = from;
            count_ = curly_ = single_ = 0;
        }
        const std::int64_t n = static_cast<std::int64_t>(text_.size());
        for (; pos_ < to; ++pos_) {
            const char16_t c = text_[pos_];
            const bool prevLetter = pos_ >= 1 && Utf16::isLetter(text_[pos_ - 1]);
            const bool nextLetter = pos_ + 1 < n && Utf16::isLetter(text_[pos_ + 1]);
            switch (c) {
            case u'\u2018':
                if (!prevLetter) ++curly_;
                break;
            case u'\u201C':
                ++curly_;
                break;
            case u'\u2019':
                if (curly_ > 0 && !nextLetter) --curly_;
                break;
            case u'\u201D':
                --curly_;
                break;
            case u'"':
                ++count_;
                break;
            case u'\'':
                if (prevLetter) {
                    if (single_ > 0 && !nextLetter) --single_;
                } else if (nextLetter) {
                    ++single_;
                } else if (single_ > 0) {
                    --single_;
                }
                break;
            default:
                break;
            }
        }
        return count_ % 2 != 0 || curly_ > 0 || single_ > 0;
    }

private:
    std::u16string_view text_;
    std::int64_t from_ = -1, pos_ = 0;
    std::int64_t count_ = 0, curly_ = 0, single_ = 0;
};

// The word before a full stop (from the last white space, leading openers
// removed), found by one forward pass over the text instead of a walk back
// from every candidate.
class WordScan {
public:
    explicit WordScan(std::u16string_view text) : text_(text) {}

    // Start of the word ending at i, openers skipped; i when it is all openers.
    std::int64_t strippedStart(std::int64_t i) {
        for (; pos_ < i; ++pos_) {
            const char16_t c = text_[pos_];
            if (isWhitespace(c)) {
                firstNonOpener_ = -1;
            } else if (firstNonOpener_ < 0 && !isOpener(c)) {
                firstNonOpener_ = pos_;
            }
        }
        return firstNonOpener_ < 0 ? i : firstNonOpener_;
    }

private:
    std::u16string_view text_;
    std::int64_t pos_ = 0;
    std::int64_t firstNonOpener_ = -1;
};

bool abbreviationOrInitial(std::u16string_view word) {
    if (word.empty() || static_cast<std::int64_t>(word.size()) > longestAbbrev) return false;
    const std::u16string w = Utf16::lowercased(word);
    if (w.size() == 1 && w[0] >= u'a' && w[0] <= u'z') return true;
    return abbrev().count(w) != 0;
}

bool isDigitUnit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A section or list number: digit groups joined by single full stops
// ("1.1", "2.3.4"), or one group of at most three digits ("7", "12").
bool sectionNumber(std::u16string_view word) {
    if (word.empty() || !isDigitUnit(word.front()) || !isDigitUnit(word.back())) return false;
    size_t groups = 1, run = 0, longest = 0;
    for (size_t i = 0; i < word.size(); ++i) {
        if (isDigitUnit(word[i])) {
            longest = std::max(longest, ++run);
        } else if (word[i] == u'.' && run > 0) {
            run = 0;
            ++groups;
        } else {
            return false;
        }
    }
    return groups > 1 || longest <= 3;
}

// Whether the full stop at i ends a number that opens its sentence, as in
// "1.1. Introduction" or "3. Mix well": the number is read with what follows.
bool leadingNumber(std::u16string_view text, std::int64_t start, std::int64_t w, std::int64_t i) {
    auto lead = [](char16_t c) { return c == TextMarkers::on || c == TextMarkers::head || isOpener(c); };
    while (w < i && lead(text[w])) ++w;
    if (!sectionNumber(text.substr(w, i - w))) return false;
    for (std::int64_t p = start; p < w; ++p)
        if (!isWhitespace(text[p]) && !lead(text[p])) return false;
    return true;
}

std::vector<Range> splitParagraph(std::u16string_view text, const Progress& progress) {
    std::vector<Range> out;
    const std::int64_t n = static_cast<std::int64_t>(text.size());
    std::int64_t start = 0, i = 0;
    constexpr std::int64_t reportEvery = 1 << 16;
    std::int64_t nextReport = reportEvery;
    QuoteScan quotes(text);
    WordScan words(text);
    // j, k and m depend only on where the run of closers after a mark ends;
    // every mark inside that run shares them, so a long run of marks ("....")
    // is walked once.
    std::int64_t j = -1, k = -1, m = -1;
    while (i < n) {
        if (i >= nextReport) {
            progress.at(std::uint64_t(i), std::uint64_t(n));
            nextReport = i + reportEvery;
        }
        const char16_t c = text[i];
        if (!isMark(c)) {
            ++i;
            continue;
        }
        if (i >= j) {
            j = i + 1;
            while (j < n && (isCloser(text[j]) || text[j] == TextMarkers::off)) ++j;
            k = j;
            while (k < n && isWhitespace(text[k])) ++k;
            m = k;
            while (m < n && (text[m] == TextMarkers::on || text[m] == TextMarkers::head)) ++m;
        }
        if (j < n && !isWhitespace(text[j])) {  // "3.14", "e.g", "end.Next"
            ++i;
            continue;
        }
        if (quotes.inside(start, j)) {
            ++i;
            continue;
        }
        if (m < n) {
            const char16_t d = text[m];
            if (!(Utf16::isUpper(d) || Utf16::isDigit(d) || isOpener(d))) {
                ++i;
                continue;
            }
        }
        if (c == u'.') {
            const std::int64_t w = words.strippedStart(i);
            if (abbreviationOrInitial(text.substr(w, i - w)) || leadingNumber(text, start, w, i)) {
                ++i;
                continue;
            }
        }
        const Range r = trimmed(text, start, j);
        if (r.lower < r.upper) out.push_back(r);
        start = k;
        i = k;
    }
    const Range r = trimmed(text, start, n);
    if (r.lower < r.upper) out.push_back(r);
    return out;
}

constexpr std::int64_t maxPiece = 240;
constexpr std::int64_t minCut = 81;

// Cuts a range longer than 240 units at the last separator (by preference
// order) within its first 240 units or so, else at the last blank. Only the
// window is searched, never the rest of the text.
void splitLong(std::u16string_view text, std::int64_t lower, std::int64_t upper, std::vector<Range>& out) {
    static constexpr std::u16string_view separators[] = {u"; ", u": ", u" \u2014 ", u", "};
    std::int64_t s = lower, e = upper;
    while (e - s >= maxPiece + 1) {
        const std::u16string_view w = text.substr(s, e - s);
        std::int64_t cut = -1;
        for (std::u16string_view sep : separators) {
            const std::int64_t len = static_cast<std::int64_t>(sep.size());
            const std::int64_t window = std::min<std::int64_t>(maxPiece + len, w.size());
            const size_t p = w.substr(0, window).rfind(sep);
            if (p != std::u16string_view::npos && static_cast<std::int64_t>(p) >= minCut) {
                cut = static_cast<std::int64_t>(p) + len;
                break;
            }
        }
        if (cut < 0) {
            const std::int64_t window = std::min<std::int64_t>(maxPiece + 1, w.size());
            const size_t p = w.substr(0, window).rfind(u' ');
            if (p == std::u16string_view::npos || p < 1) break;
            cut = static_cast<std::int64_t>(p) + 1;
        }
        const Range piece = trimmed(text, s, s + cut);
        if (piece.lower < piece.upper) out.push_back(piece);
        const Range rest = trimmed(text, s + cut, e);
        s = rest.lower;
        e = rest.upper;
    }
    if (s < e) out.push_back({s, e});
}

}  // namespace

std::vector<Range> spans(std::u16string_view paragraph, const Progress& progress) {
    std::vector<Range> out;
    for (const Range& r : splitParagraph(paragraph, progress)) splitLong(paragraph, r.lower, r.upper, out);
    progress.finish();
    return out;
}

std::vector<std::u16string> sentences(const std::vector<std::u16string>& paragraphs) {
    std::vector<std::u16string> out;
    for (const std::u16string& p : paragraphs)
        for (const Range& r : spans(p)) out.push_back(p.substr(r.lower, r.upper - r.lower));
    return out;
}

}  // namespace tovan::TextClean
