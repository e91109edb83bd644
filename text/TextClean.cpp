#include "TextClean.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <unicode/ustring.h>

#include "Regex.h"
#include "Utf16.h"
#include "TextMarkers.h"

namespace tovan::TextClean {

// ---------------------------------------------------------------------------
// Sentence splitting

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

template <class Map>
std::u16string caseMapped(std::u16string_view s, Map map) {
    std::u16string out(s.size() + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = map(out.data(), static_cast<int32_t>(out.size()), s.data(), static_cast<int32_t>(s.size()), "",
                    &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), u'\0');
        status = U_ZERO_ERROR;
        n = map(out.data(), n, s.data(), static_cast<int32_t>(s.size()), "", &status);
    }
    if (U_FAILURE(status)) return std::u16string(s);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::u16string lower(std::u16string_view s) { return caseMapped(s, u_strToLower); }
std::u16string upper(std::u16string_view s) { return caseMapped(s, u_strToUpper); }

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
    const std::u16string w = lower(word);
    if (w.size() == 1 && w[0] >= u'a' && w[0] <= u'z') return true;
    return abbrev().count(w) != 0;
}

std::vector<Range> splitParagraph(std::u16string_view text) {
    std::vector<Range> out;
    const std::int64_t n = static_cast<std::int64_t>(text.size());
    std::int64_t start = 0, i = 0;
    QuoteScan quotes(text);
    WordScan words(text);
    // j, k and m depend only on where the run of closers after a mark ends;
    // every mark inside that run shares them, so a long run of marks ("....")
    // is walked once.
    std::int64_t j = -1, k = -1, m = -1;
    while (i < n) {
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
            if (abbreviationOrInitial(text.substr(w, i - w))) {
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

std::vector<Range> spans(std::u16string_view paragraph) {
    std::vector<Range> out;
    for (const Range& r : splitParagraph(paragraph)) splitLong(paragraph, r.lower, r.upper, out);
    return out;
}

std::vector<std::u16string> sentences(const std::vector<std::u16string>& paragraphs) {
    std::vector<std::u16string> out;
    for (const std::u16string& p : paragraphs)
        for (const Range& r : spans(p)) out.push_back(p.substr(r.lower, r.upper - r.lower));
    return out;
}

// ---------------------------------------------------------------------------
// Paragraph cleaning

namespace {

constexpr std::u16string_view pageNumberPattern =
    u"(?i)^(page\\s+)?\\d{1,4}(\\s*(/|of)\\s*\\d{1,4})?$|^[-\u2013\u2014]\\s*\\d{1,4}\\s*[-\u2013\u2014]$|^[ivxlcdm]{1,6}$";
constexpr std::u16string_view bulletLinePattern = u"^[\u2022\u00B7\u25AA\u25E6\u2023]\\s*.+|^[-\u2013*]\\s+\\S.*";
constexpr std::u16string_view bulletMarkPattern = u"^[\u2022\u00B7\u25AA\u25E6\u2023\\-\u2013*]\\s*";
constexpr std::u16string_view digitRunPattern = u"\\d+";
constexpr std::u16string_view wordSplitPattern = u"\\s+";
constexpr std::u16string_view webAddressPattern =
    u"(?i)\\b(?:https?://|www\\.)([\\w.-]+\\.[a-z]{2,})(?:/[^\\s)\\]]*)?";
constexpr std::u16string_view leadingWwwPattern = u"^www\\.";
constexpr std::u16string_view citationPattern = u"\\s?\\[(\\d{1,3}([,\u2013-]\\s?\\d{1,3})*|citation needed|[a-z])\\]";
constexpr std::u16string_view spaceBeforePunctuationPattern = u"\\s+([,.;:!?])";
constexpr std::u16string_view spaceRunPattern = u"\\s{2,}";

bool isPageNumber(const std::u16string& line) { return matches(line, pageNumberPattern); }

bool isBullet(const std::u16string& line) { return matches(line, bulletLinePattern); }

std::u16string runningKey(const std::u16string& line) { return lower(replaceAll(line, digitRunPattern, u"#")); }

// Ends in . ! ? or :, looking past closing quotes and brackets (not past
// white space).
bool endsSentence(std::u16string_view text) {
    for (size_t i = text.size(); i > 0; --i) {
        switch (text[i - 1]) {
        case u'"': case u'\'': case u')': case u']': case u'\u201D': case u'\u2019':
            continue;
        case u'.': case u'!': case u'?': case u':':
            return true;
        default:
            return false;
        }
    }
    return false;
}

bool looksLikeHeading(const std::u16string& line) {
    if (line.size() > 70 || endsSentence(line)) return false;
    const std::vector<std::u16string> words = split(line, wordSplitPattern);
    if (words.size() > 10) return false;
    size_t capitals = 0;
    for (const std::u16string& w : words)
        if (!w.empty() && Utf16::isUpper(w[0])) ++capitals;
    return words.size() <= 2 * capitals;
}

// Keys of the lines that recur at the top or bottom of enough pages to be
// running headers or footers.
std::unordered_set<std::u16string> runningLines(const std::vector<std::vector<std::u16string>>& pages) {
    std::unordered_set<std::u16string> running;
    if (pages.size() < 3) return running;
    std::unordered_map<std::u16string, size_t> counts;
    for (const auto& page : pages) {
        std::vector<std::u16string> lines;
        for (const std::u16string& line : page) {
            std::u16string t = Utf16::trim(line);
            if (!t.empty()) lines.push_back(std::move(t));
        }
        std::unordered_set<std::u16string> seen;  // a page counts once for a key
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i >= 2 && i + 2 < lines.size()) continue;  // only the first two and the last two
            if (lines[i].size() >= 90) continue;
            std::u16string key = runningKey(lines[i]);
            if (seen.insert(key).second) ++counts[key];
        }
    }
    const size_t needed = pages.size() <= 5 ? 3 : pages.size() / 2;
    for (auto& [key, count] : counts)
        if (count >= needed) running.insert(key);
    return running;
}

void flush(std::u16string& buffer, std::vector<std::u16string>& paragraphs) {
    std::u16string t = Utf16::trim(buffer);
    if (!t.empty()) paragraphs.push_back(std::move(t));
    buffer.clear();
}

std::vector<std::u16string> splitLines(const std::u16string& page) {
    std::vector<std::u16string> lines;
    size_t at = 0;
    for (;;) {
        const size_t lf = page.find(u'\n', at);
        if (lf == std::u16string::npos) {
            lines.push_back(page.substr(at));
            return lines;
        }
        lines.push_back(page.substr(at, lf - at));
        at = lf + 1;
    }
}

}  // namespace

std::u16string normalizeChars(std::u16string_view text) {
    const bool unchanged = std::none_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'\uFB00' && c <= u'\uFB06') || c == u'\u00AD' || c == u'\u00A0' || c == u'\u2009' ||
               c == u'\u202F' || c == u'\r' || c == u'\f';
    });
    if (unchanged) return std::u16string(text);
    std::u16string a;
    a.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'\uFB00': a += u"ff"; break;
        case u'\uFB01': a += u"fi"; break;
        case u'\uFB02': a += u"fl"; break;
        case u'\uFB03': a += u"ffi"; break;
        case u'\uFB04': a += u"ffl"; break;
        case u'\uFB05': a += u"st"; break;
        case u'\uFB06': a += u"st"; break;
        case u'\u00AD': break;
        case u'\u00A0': case u'\u2009': case u'\u202F': a += u' '; break;
        default: a += c;
        }
    }
    // Line ends after the soft hyphens are gone, so that CR, soft hyphen, LF
    // is one line end as it would be had they been removed first.
    std::u16string out;
    out.reserve(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t c = a[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < a.size() && a[i + 1] == u'\n') ++i;
        } else if (c == u'\f') {
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::u16string> clean(const std::u16string& text) { return clean(std::vector<std::u16string>{text}); }

std::vector<std::u16string> clean(const std::vector<std::u16string>& pages) {
    std::vector<std::vector<std::u16string>> lines;
    lines.reserve(pages.size());
    for (const std::u16string& page : pages) lines.push_back(splitLines(normalizeChars(page)));
    const std::unordered_set<std::u16string> running = runningLines(lines);

    std::u16string buffer;
    std::vector<std::u16string> paragraphs;
    for (const auto& page : lines) {
        for (const std::u16string& line : page) {
            std::u16string t = Utf16::trim(line);
            if (t.empty()) {
                flush(buffer, paragraphs);
                continue;
            }
            if (isPageNumber(t)) continue;
            if (!running.empty() && running.count(runningKey(t))) continue;
            const bool bullet = isBullet(t);
            if (!buffer.empty()) {
                const size_t n = buffer.size();
                if (buffer[n - 1] == u'-' && n >= 2 && Utf16::isLetter(buffer[n - 2]) && Utf16::isLower(t[0])) {
                    buffer.pop_back();  // a word hyphenated at the line end
                } else if (bullet) {
                    flush(buffer, paragraphs);
                } else if (endsSentence(buffer) && looksLikeHeading(t)) {
                    flush(buffer, paragraphs);
                } else {
                    buffer += u' ';
                }
            }
            if (bullet) t = replaceFirst(t, bulletMarkPattern, u"");
            buffer += t;
        }
        if (!buffer.empty() && endsSentence(buffer)) flush(buffer, paragraphs);
    }
    flush(buffer, paragraphs);

    std::vector<std::u16string> out;
    out.reserve(paragraphs.size());
    for (const std::u16string& p : paragraphs) {
        std::u16string s = speakable(p);
        if (!s.empty()) out.push_back(std::move(s));
    }
    return out;
}

std::u16string speakable(const std::u16string& text) {
    std::u16string s = rx(webAddressPattern).replaceAll(text, [](const JMatch& m) {
        const auto host = m.group(1);
        return host ? replaceFirst(*host, leadingWwwPattern, u"") : std::u16string();
    });
    s = replaceAll(s, citationPattern, u"");
    s = replaceAll(s, spaceBeforePunctuationPattern, u"$1");
    s = replaceAll(s, spaceRunPattern, u" ");
    return Utf16::trim(s);
}

// ---------------------------------------------------------------------------
// Book body and title page

namespace {

constexpr std::u16string_view contentsPattern =
    u"(?i)(table of )?contents\\.?|(list of )?(illustrations|plates|figures)\\.?";
constexpr std::u16string_view headingPattern = u"(?i)(chapter|book|part|stave|volume|act)\\b.*|[IVXLC]+\\.?";

// The paragraph without narration marks, trimmed.
std::u16string plain(const std::u16string& p) {
    std::u16string s;
    s.reserve(p.size());
    for (char16_t c : p)
        if (c != TextMarkers::on && c != TextMarkers::off && c != TextMarkers::head) s += c;
    return Utf16::trim(s);
}

bool heading(const std::u16string& p, const std::u16string& plainForm) {
    return (!p.empty() && p[0] == TextMarkers::head) || matches(plainForm, headingPattern);
}

bool hasMarker(const std::u16string& upperCased, std::u16string_view a, std::u16string_view b) {
    return upperCased.find(a) != std::u16string::npos || upperCased.find(b) != std::u16string::npos;
}

}  // namespace

std::vector<std::u16string> bookBody(const std::vector<std::u16string>& paragraphs) {
    const size_t n = paragraphs.size();
    size_t start = 0, end = n;
    for (size_t i = 0; i < n; ++i) {
        const std::u16string u = upper(paragraphs[i]);
        if (hasMarker(u, u"*** START OF THE PROJECT GUTENBERG", u"*** START OF THIS PROJECT GUTENBERG"))
            start = i + 1;
        if (hasMarker(u, u"*** END OF THE PROJECT GUTENBERG", u"*** END OF THIS PROJECT GUTENBERG") && start <= i) {
            end = i;
            break;
        }
    }
    std::vector<std::u16string> kept;
    for (size_t k = start; k < end;) {
        const std::u16string form = plain(paragraphs[k]);
        if (matches(form, contentsPattern)) {
            // The heading and the short lines of its list.
            size_t dropped = 0;
            ++k;
            while (k < end && dropped < 199 && !(paragraphs[k].size() && paragraphs[k][0] == TextMarkers::head) &&
                   plain(paragraphs[k]).size() < 80) {
                ++k;
                ++dropped;
            }
            continue;
        }
        if (!form.empty()) kept.push_back(paragraphs[k]);
        ++k;
    }
    return titlePage(kept);
}

std::vector<std::u16string> titlePage(const std::vector<std::u16string>& paragraphs) {
    const size_t n = paragraphs.size();
    std::vector<std::u16string> out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        if (plain(paragraphs[i]).size() > 119) {
            out.insert(out.end(), paragraphs.begin() + static_cast<std::ptrdiff_t>(i), paragraphs.end());
            break;
        }
        size_t j = i;
        std::vector<std::u16string> forms;
        while (j < n) {
            std::u16string form = plain(paragraphs[j]);
            if (form.size() > 44 || heading(paragraphs[j], form)) break;
            forms.push_back(std::move(form));
            ++j;
        }
        if (j - i < 3) {
            out.push_back(paragraphs[i]);
            ++i;
            continue;
        }
        std::u16string joined;
        for (size_t k = 0; k < forms.size(); ++k) {
            if (k) joined += u' ';
            joined += forms[k];
        }
        out.push_back(std::move(joined));
        i = j;
    }
    return out;
}

}  // namespace tovan::TextClean
