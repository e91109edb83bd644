#include "MarkdownScan.h"

#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include "TextMarkers.h"

namespace tovan::MarkdownScan {

namespace {

using S = std::u16string;
constexpr size_t npos = S::npos;

UChar32 cpAt(const S& s, size_t i, size_t& next) {
    UChar32 c;
    next = i;
    U16_NEXT(s.data(), next, s.size(), c);
    return c;
}

// Start of the code point that ends at i (i > 0).
size_t cpStartBefore(const S& s, size_t i) {
    UChar32 c;
    U16_PREV(s.data(), 0, i, c);
    (void)c;
    return i;
}

UChar32 cpBefore(const S& s, size_t i) {
    UChar32 c;
    U16_PREV(s.data(), 0, i, c);
    return c;
}

bool isSpace(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE); }
// What "." does not match, and where "^" and "$" see a line end.
bool isLineEnd(UChar32 c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }
bool isWord(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_GET_GC_MASK(c) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) ||
           c == 0x200C || c == 0x200D;
}

// Where a multi-line "^" pattern is tried: the start, and after each line
// end except the end of the text and between CR and LF.
bool lineStart(const S& s, size_t p) {
    if (p == 0) return true;
    if (p >= s.size() || !isLineEnd(s[p - 1])) return false;
    return !(s[p - 1] == u'\r' && s[p] == u'\n');
}

// Multi-line "$".
bool lineEndAt(const S& s, size_t q) {
    if (q >= s.size()) return true;
    const char16_t c = s[q];
    return isLineEnd(c) && !(c == u'\n' && q > 0 && s[q - 1] == u'\r');
}

// End of the run of "\s" characters from p, crossing line ends.
size_t spaceRunEnd(const S& s, size_t p) {
    while (p < s.size()) {
        size_t next;
        if (!isSpace(cpAt(s, p, next))) break;
        p = next;
    }
    return p;
}

// Remembers the end of the last space run, so line starts inside one run
// (a long stretch of blank lines) do not walk it again each time.
class SpaceRuns {
public:
    explicit SpaceRuns(const S& s) : s_(s) {}
    size_t endFrom(size_t p) {
        if (p < from_ || p > end_) {
            from_ = p;
            end_ = spaceRunEnd(s_, p);
        }
        return end_;
    }

private:
    const S& s_;
    size_t from_ = npos, end_ = npos;
};

// The first position at or after p that "." does not match (or the end).
class LineEnds {
public:
    explicit LineEnds(const S& s) : s_(s) {}
    size_t from(size_t p) {
        if (p < from_ || p > end_) {
            from_ = p;
            end_ = p;
            while (end_ < s_.size() && !isLineEnd(s_[end_])) ++end_;
        }
        return end_;
    }

private:
    const S& s_;
    size_t from_ = npos, end_ = npos;
};

struct Piece {
    size_t start, end;
    S text;
};

S rebuild(const S& s, const std::vector<Piece>& pieces) {
    if (pieces.empty()) return s;
    S out;
    out.reserve(s.size());
    size_t pos = 0;
    for (const Piece& p : pieces) {
        out.append(s, pos, p.start - pos);
        out += p.text;
        pos = p.end;
    }
    out.append(s, pos, npos);
    return out;
}

// "!\[" or "\[", then "[^]]*" / "[^]]+", "]\(", "[^)]*", "\)". The first ']'
// after a candidate decides it, and every candidate before that ']' shares
// it, so one failure skips them all; once no ']' or ')' is left, nothing
// after can match.
template <bool image>
S brackets(const S& s) {
    std::vector<Piece> pieces;
    const size_t open = image ? 2 : 1;
    size_t i = 0;
    while ((i = image ? s.find(u"![", i) : s.find(u'[', i)) != npos) {
        const size_t b = s.find(u']', i + open);
        if (b == npos) break;
        if (!image && b == i + 1) {  // "[^]]+" needs one character
            ++i;
            continue;
        }
        if (b + 1 < s.size() && s[b + 1] == u'(') {
            const size_t c = s.find(u')', b + 2);
            if (c == npos) break;
            pieces.push_back({i, c + 1, image ? S() : s.substr(i + 1, b - i - 1)});
            i = c + 1;
        } else {
            i = b + 1;
        }
    }
    return rebuild(s, pieces);
}

// "(\*\*|__)(\S(?:.*?\S)?)\1" (width 2) and
// "(?<![\w*])([*_])(\S(?:.*?\S)?)\1(?![\w*])" (width 1). The optional part
// is greedy: the shortest closing marker after at least two characters on
// the same line wins, and only without one does a single character between
// the markers do. Closing markers are listed once; each candidate looks up
// the first one after its first character.
template <int width>
S paired(const S& s) {
    const size_t n = s.size();
    const auto notWordOrStar = [&](size_t at) {
        if (at >= n) return true;
        size_t next;
        const UChar32 c = cpAt(s, at, next);
        return !isWord(c) && c != u'*';
    };
    const auto markerAt = [&](size_t at, char16_t m) {
        if (at + width > n) return false;
        for (int k = 0; k < width; ++k)
            if (s[at + k] != m) return false;
        return width == 2 || notWordOrStar(at + 1);
    };
    // Closing markers: the marker at y, a non-space character ending at y.
    const char16_t marks[2] = {u'*', u'_'};
    std::vector<size_t> closers[2];
    for (size_t y = 1; y < n; ++y) {
        for (int k = 0; k < 2; ++k)
            if (markerAt(y, marks[k]) && !isSpace(cpBefore(s, y))) closers[k].push_back(y);
    }
    size_t next[2] = {0, 0};
    LineEnds lineEnds(s);

    std::vector<Piece> pieces;
    size_t i = 0;
    while (i + width <= n) {
        const char16_t m = s[i];
        const int k = m == u'*' ? 0 : m == u'_' ? 1 : -1;
        bool opens = k >= 0 && (width == 1 || s[i + 1] == m);
        if (opens && width == 1 && i > 0) {
            const UChar32 before = cpBefore(s, i);
            opens = !isWord(before) && before != u'*';
        }
        const size_t j = i + width;
        size_t j1 = j;
        if (opens) opens = j < n && !isSpace(cpAt(s, j, j1));
        if (!opens) {
            ++i;
            continue;
        }
        const size_t lineEnd = lineEnds.from(j1);
        auto& list = closers[k];
        size_t& at = next[k];
        while (at < list.size() && (list[at] <= j1 || cpStartBefore(s, list[at]) < j1)) ++at;
        size_t close = npos;
        if (at < list.size() && cpStartBefore(s, list[at]) < lineEnd) close = list[at];
        else if (markerAt(j1, m)) close = j1;
        if (close == npos) {
            ++i;
            continue;
        }
        S text;
        text += TextMarkers::on;
        text.append(s, j, close - j);
        text += TextMarkers::off;
        pieces.push_back({i, close + width, std::move(text)});
        i = close + width;
    }
    return rebuild(s, pieces);
}

}  // namespace

S images(const S& s) { return brackets<true>(s); }

S links(const S& s) { return brackets<false>(s); }

S strong(const S& s) { return paired<2>(s); }

S emphasis(const S& s) { return paired<1>(s); }

S headings(const S& s) {
    const size_t n = s.size();
    std::vector<Piece> pieces;
    for (size_t p = 0; p < n; ++p) {
        if (!lineStart(s, p)) continue;
        // "\s{0,3}#": at most three spaces, then the first '#'.
        size_t q = p;
        int spaces = 0;
        while (q < n && spaces < 4) {
            size_t next;
            if (!isSpace(cpAt(s, q, next))) break;
            q = next;
            ++spaces;
        }
        if (spaces == 4 || q >= n || s[q] != u'#') continue;
        size_t h = q;
        while (h < n && h - q < 6 && s[h] == u'#') ++h;
        // "\s*" may run over line ends; the lazy group then stops where the
        // rest of its line is only blanks and closing '#'.
        const size_t a = spaceRunEnd(s, h);
        size_t lineEnd = a;
        while (lineEnd < n && !isLineEnd(s[lineEnd])) ++lineEnd;
        size_t e = lineEnd;
        while (e > a && s[e - 1] == u'#') --e;
        while (e > a && isSpace(cpBefore(s, e))) e = cpStartBefore(s, e);
        // "\s*#*$", greedy: as far as a line end can still follow.
        const size_t w = spaceRunEnd(s, e);
        size_t end = w;
        while (end < n && s[end] == u'#') ++end;
        if (!lineEndAt(s, end)) {
            end = w;
            while (end > e && !lineEndAt(s, end)) end = cpStartBefore(s, end);
            if (!lineEndAt(s, end)) end = lineEnd;  // not reached: lineEnd lies in [e, w]
        }
        S text = u"\n";
        text += TextMarkers::head;
        text.append(s, a, e - a);
        text += u".\n";
        pieces.push_back({p, end, std::move(text)});
        p = end - 1;  // the loop's ++ makes it end
    }
    return rebuild(s, pieces);
}

S quoteMarkers(const S& s) {
    const size_t n = s.size();
    std::vector<Piece> pieces;
    SpaceRuns runs(s);
    for (size_t p = 0; p < n; ++p) {
        if (!lineStart(s, p)) continue;
        const size_t w = runs.endFrom(p);
        if (w >= n || s[w] != u'>') continue;
        size_t end = w + 1;
        if (end < n) {
            size_t next;
            if (isSpace(cpAt(s, end, next))) end = next;
        }
        pieces.push_back({p, end, S()});
        p = end - 1;
    }
    return rebuild(s, pieces);
}

S listMarkers(const S& s) {
    const size_t n = s.size();
    std::vector<Piece> pieces;
    SpaceRuns runs(s);
    for (size_t p = 0; p < n; ++p) {
        if (!lineStart(s, p)) continue;
        const size_t w = runs.endFrom(p);
        if (w >= n) continue;
        size_t m = npos;
        if (s[w] == u'-' || s[w] == u'*' || s[w] == u'+') {
            m = w + 1;
        } else {
            size_t d = w, next;
            while (d < n && u_charType(cpAt(s, d, next)) == U_DECIMAL_DIGIT_NUMBER) d = next;
            if (d > w && d < n && s[d] == u'.') m = d + 1;
        }
        if (m == npos) continue;
        const size_t end = spaceRunEnd(s, m);
        if (end == m) continue;  // "\s+" needs one
        pieces.push_back({p, end, u"\u2022 "});
        p = end - 1;
    }
    return rebuild(s, pieces);
}

}  // namespace tovan::MarkdownScan
