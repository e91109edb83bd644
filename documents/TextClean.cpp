#include "TextClean.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "Regex.h"
#include "TextMarkers.h"
#include "Utf16.h"

namespace tovan::TextClean {

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
// Not before a letter or digit: ".po", ".5" and ":8080" begin a word.
constexpr std::u16string_view spaceBeforePunctuationPattern = u"\\s+([,.;:!?])(?![\\p{L}\\p{N}])";
constexpr std::u16string_view spaceRunPattern = u"\\s{2,}";

bool isWordChar(char16_t c) { return c == u'_' || Utf16::isLetter(c) || (c >= u'0' && c <= u'9'); }

// A bracket written straight after a name is an index into code rather than a
// citation when the name looks like code (one character, a digit, "_" or an
// inner capital, or reached through "." "->" "$") or when more code follows
// ("a[0][1]", "a[0].x", "a[0])", "a[0] = 1").
bool looksLikeIndex(const std::u16string& s, size_t open, size_t close) {
    if (open == 0) return false;
    if (s[open - 1] == u']' || s[open - 1] == u')') return true;  // "a[1][2]", "f()[0]"
    if (!isWordChar(s[open - 1])) return false;
    size_t begin = open;
    while (begin > 0 && isWordChar(s[begin - 1])) --begin;
    const std::u16string_view name(s.data() + begin, open - begin);
    if (name.size() == 1) return true;
    for (size_t i = 0; i < name.size(); ++i)
        if (name[i] == u'_' || (name[i] >= u'0' && name[i] <= u'9') || (i > 0 && Utf16::isUpper(name[i]))) return true;
    if (begin > 0 && (s[begin - 1] == u'.' || s[begin - 1] == u'>' || s[begin - 1] == u'$')) return true;
    if (close < s.size()) {
        const char16_t next = s[close];
        if (next == u'[' || next == u'(' || next == u')' || next == u'=' || next == u';' || next == u'-' ||
            next == u'+' || next == u'*' || next == u'/')
            return true;
        if (next == u'.' && close + 1 < s.size() && isWordChar(s[close + 1])) return true;
    }
    size_t after = close;
    while (after < s.size() && s[after] == u' ') ++after;
    return after > close && after < s.size() && std::u16string_view(u"=+-*/<>%|&").find(s[after]) != std::u16string_view::npos &&
           (after + 1 == s.size() || s[after + 1] == u' ' || s[after + 1] == u'=');
}

bool isPageNumber(const std::u16string& line) { return matches(line, pageNumberPattern); }

bool isBullet(const std::u16string& line) { return matches(line, bulletLinePattern); }

std::u16string runningKey(const std::u16string& line) { return Utf16::lowercased(replaceAll(line, digitRunPattern, u"#")); }

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
std::unordered_set<std::u16string> runningLines(const std::vector<std::vector<std::u16string_view>>& pages) {
    std::unordered_set<std::u16string> running;
    if (pages.size() < 3) return running;
    std::unordered_map<std::u16string, size_t> counts;
    for (const auto& page : pages) {
        std::vector<std::u16string> lines;
        for (std::u16string_view line : page) {
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

// The paragraph made speakable at once, so that a large text is not held
// once more as raw paragraphs. A paragraph of narration marks alone would be
// a silent sentence.
void flush(std::u16string& buffer, std::vector<std::u16string>& paragraphs, const Progress& progress) {
    std::u16string t = Utf16::trim(buffer);
    buffer.clear();
    if (t.empty()) return;
    std::u16string s = speakable(t, progress);
    if (hasText(s)) paragraphs.push_back(std::move(s));
}

// Views into the page, which must outlive them.
std::vector<std::u16string_view> splitLines(const std::u16string& page) {
    std::vector<std::u16string_view> lines;
    size_t at = 0;
    for (;;) {
        const size_t lf = page.find(u'\n', at);
        if (lf == std::u16string::npos) {
            lines.push_back(std::u16string_view(page).substr(at));
            return lines;
        }
        lines.push_back(std::u16string_view(page).substr(at, lf - at));
        at = lf + 1;
    }
}

std::u16string plain(const std::u16string& p);

}  // namespace

namespace {

bool normal(std::u16string_view text) {
    return std::none_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'\uFB00' && c <= u'\uFB06') || c == u'\u00AD' || c == u'\u00A0' || c == u'\u2009' ||
               c == u'\u202F' || c == u'\r' || c == u'\f';
    });
}

std::vector<std::u16string> cleanNormalized(std::vector<std::u16string> pages, Furniture furniture,
                                            const Progress& progress);

}  // namespace

std::u16string normalizeChars(std::u16string_view text) {
    if (normal(text)) return std::u16string(text);
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

std::vector<std::u16string> clean(const std::u16string& text, Furniture furniture, const Progress& progress) {
    std::vector<std::u16string> pages;
    pages.push_back(normalizeChars(text));
    return cleanNormalized(std::move(pages), furniture, progress);
}

std::vector<std::u16string> clean(std::u16string&& text, Furniture furniture, const Progress& progress) {
    std::vector<std::u16string> pages;
    pages.push_back(normal(text) ? std::move(text) : normalizeChars(text));
    text = std::u16string();
    return cleanNormalized(std::move(pages), furniture, progress);
}

std::vector<std::u16string> clean(const std::vector<std::u16string>& pages, Furniture furniture,
                                  const Progress& progress) {
    std::vector<std::u16string> normalized;
    normalized.reserve(pages.size());
    for (const std::u16string& page : pages) normalized.push_back(normalizeChars(page));
    return cleanNormalized(std::move(normalized), furniture, progress);
}

namespace {

// A paragraph this long is ended at a line end, preferably one that ends a
// sentence, and at any line end once it is twice as long: a text without
// blank lines would otherwise be one paragraph of the whole text, cleaned in
// one piece (several copies of it at once, with no report in between).
// Written paragraphs are far shorter, so they never change.
constexpr size_t longParagraph = size_t(1) << 20;

// Whether the line breaks the paragraph only because of its length.
bool overlong(const std::u16string& buffer, bool markOpen) {
    if (buffer.size() < longParagraph || markOpen) return false;
    return buffer.size() >= 2 * longParagraph || endsSentence(buffer);
}

// Where a line too long to clean in one piece (a text without line ends) is
// cut, at or after `from`: the index after a single blank between a sentence's
// end and a capital, else (none within the next bound) between two words;
// npos when there is none. Joined with one blank, the pieces give the line.
size_t cutPoint(std::u16string_view line, size_t from) {
    const size_t near = std::min(line.size(), from + longParagraph);
    for (size_t i = std::max<size_t>(from, 2); i < near; ++i)
        if (line[i - 1] == u' ' && (line[i - 2] == u'.' || line[i - 2] == u'!' || line[i - 2] == u'?') &&
            Utf16::isUpper(line[i]))
            return i;
    for (size_t i = std::max<size_t>(from, 2); i < line.size(); ++i)
        if (line[i - 1] == u' ' && !Utf16::isWhitespace(line[i - 2]) && Utf16::isLetter(line[i])) return i;
    return std::u16string_view::npos;
}

size_t nextCut(std::u16string_view rest) {
    return rest.size() > 2 * longParagraph ? cutPoint(rest, longParagraph) : std::u16string_view::npos;
}

// Whether a narration mark is still open after the line (the paragraph is not
// cut between a mark and its end).
bool markOpenAfter(std::u16string_view line, bool open) {
    for (char16_t c : line) {
        if (c == TextMarkers::on) open = true;
        if (c == TextMarkers::off) open = false;
    }
    return open;
}

std::vector<std::u16string> cleanNormalized(std::vector<std::u16string> pages, Furniture furniture,
                                            const Progress& progress) {
    const bool printed = furniture == Furniture::printedPages;
    std::uint64_t total = 0, done = 0;
    for (const std::u16string& page : pages) total += page.size();
    std::vector<std::vector<std::u16string_view>> lines;
    lines.reserve(pages.size());
    for (const std::u16string& page : pages) lines.push_back(splitLines(page));
    const std::unordered_set<std::u16string> running =
        printed ? runningLines(lines) : std::unordered_set<std::u16string>();

    std::u16string buffer;
    bool markOpen = false;
    std::vector<std::u16string> paragraphs;
    for (const auto& page : lines) {
        for (std::u16string_view line : page) {
            const std::uint64_t lineStart = done;
            done += line.size() + 1;
            std::u16string_view rest = Utf16::trimView(line);
            size_t cut = nextCut(rest);
            // Reported as far as the piece taken now reaches.
            const auto reached = [&] {
                progress.at(cut == std::u16string_view::npos ? done
                                                             : lineStart + std::uint64_t(rest.data() - line.data()) + cut,
                            total);
            };
            reached();
            // Only a line of millions of units is cut, so the rules below
            // (blank, page number, running line) never drop its first piece.
            std::u16string t(rest.substr(0, cut == std::u16string_view::npos ? cut : cut - 1));
            if (t.empty()) {
                flush(buffer, paragraphs, progress);
                continue;
            }
            if (printed && isPageNumber(t)) continue;
            if (!running.empty() && running.count(runningKey(t))) continue;
            const bool bullet = isBullet(t);
            if (!buffer.empty()) {
                const size_t n = buffer.size();
                if (buffer[n - 1] == u'-' && n >= 2 && Utf16::isLetter(buffer[n - 2]) && Utf16::isLower(t[0])) {
                    buffer.pop_back();  // a word hyphenated at the line end
                } else if (bullet) {
                    flush(buffer, paragraphs, progress);
                } else if (endsSentence(buffer) && looksLikeHeading(t)) {
                    flush(buffer, paragraphs, progress);
                } else if (overlong(buffer, markOpen)) {
                    flush(buffer, paragraphs, progress);
                } else {
                    buffer += u' ';
                }
            }
            if (bullet) t = replaceFirst(t, bulletMarkPattern, u"");
            buffer += t;
            markOpen = markOpenAfter(t, markOpen);
            while (cut != std::u16string_view::npos) {
                rest = rest.substr(cut);
                cut = nextCut(rest);
                reached();
                if (overlong(buffer, markOpen)) {
                    flush(buffer, paragraphs, progress);
                } else {
                    buffer += u' ';
                }
                const std::u16string_view piece = rest.substr(0, cut == std::u16string_view::npos ? cut : cut - 1);
                buffer += piece;
                markOpen = markOpenAfter(piece, markOpen);
            }
        }
        if (!buffer.empty() && endsSentence(buffer)) flush(buffer, paragraphs, progress);
    }
    flush(buffer, paragraphs, progress);
    progress.finish();
    return paragraphs;
}

}  // namespace

bool hasText(const std::u16string& paragraph) { return !plain(paragraph).empty(); }

std::u16string speakable(const std::u16string& text, const Progress& progress) {
    std::u16string s = rx(webAddressPattern).replaceAll(text, [](const JMatch& m) {
        const auto host = m.group(1);
        return host ? replaceFirst(*host, leadingWwwPattern, u"") : std::u16string();
    });
    progress.check();
    s = rx(citationPattern).replaceAll(s, [](const JMatch& m) -> std::u16string {
        const std::u16string& in = m.source();
        const size_t open = in.find(u'[', size_t(m.start(0)));
        return looksLikeIndex(in, open, size_t(m.end(0))) ? *m.group(0) : std::u16string();
    });
    progress.check();
    s = replaceAll(s, spaceBeforePunctuationPattern, u"$1");
    progress.check();
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
        const std::u16string u = Utf16::uppercased(paragraphs[i]);
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
