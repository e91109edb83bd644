#include "PdfLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

#include <nlohmann/json.hpp>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "Regex.h"
#include "Utf16.h"
#include "TextMarkers.h"

namespace tovan::PdfLayout {

void to_json(nlohmann::json& j, const Span& s) {
    j = nlohmann::json::object();
    j["page"] = s.page;
    j["start"] = s.start;
    j["end"] = s.end;
    j["l"] = static_cast<double>(s.l);
    j["t"] = static_cast<double>(s.t);
    j["r"] = static_cast<double>(s.r);
    j["b"] = static_cast<double>(s.b);
}

namespace {

std::int64_t integerKey(const nlohmann::json& j, const char* key) {
    const nlohmann::json& v = j.at(key);
    // A fractional number is not an integer; get<>() alone would truncate it.
    if (!v.is_number_integer())
        throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" is not an integer", &v);
    return v.get<std::int64_t>();
}

float floatKey(const nlohmann::json& j, const char* key) {
    const nlohmann::json& v = j.at(key);
    if (!v.is_number())
        throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" is not a number", &v);
    const double d = v.get<double>();
    // Out of float range the cast would be undefined; IEEE gives infinity.
    if (std::fabs(d) > std::numeric_limits<float>::max())
        return d > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

}  // namespace

void from_json(const nlohmann::json& j, Span& s) {
    if (!j.is_object()) throw nlohmann::json::type_error::create(302, "a span is not an object", &j);
    Span out;
    out.page = integerKey(j, "page");
    out.start = integerKey(j, "start");
    out.end = integerKey(j, "end");
    out.l = floatKey(j, "l");
    out.t = floatKey(j, "t");
    out.r = floatKey(j, "r");
    out.b = floatKey(j, "b");
    s = out;
}

std::u16string Para::text() const {
    if (!heading) return raw;
    std::u16string s;
    s.reserve(raw.size() + 1);
    s += TextMarkers::head;
    s += raw;
    return s;
}

// ---- layout analysis ----

namespace {

// Patterns, compiled once per process through the shared cache.
const Regex& pageNumberRx() {
    static const Regex& r = rx(u"(?i)^(page\\s+)?\\d{1,4}(\\s*(/|of)\\s*\\d{1,4})?$|^[-\u2013\u2014]\\s*\\d{1,4}\\s*[-\u2013\u2014]$|^[ivxlcdm]{1,6}$");
    return r;
}
const Regex& spaceRunRx() {
    static const Regex& r = rx(u"\\s+");
    return r;
}
const Regex& listItemRx() {
    static const Regex& r =
        rx(u"^([\u2022\u00B7\u25AA\u25E6\u2023\u25CF\u25CB\u25A0\u25A1\u2013-]|\\d{1,2}[.)]|[a-z][.)])\\s+.*");
    return r;
}
const Regex& sentenceEndRx() {
    static const Regex& r = rx(u".*[.!?:\u201D\"]$");
    return r;
}
const Regex& digitRunRx() {
    static const Regex& r = rx(u"\\d+");
    return r;
}
const Regex& rowPunctRx() {
    static const Regex& r = rx(u".*[,.;:!?]$");
    return r;
}
// A bullet set apart from its item's text; never a table cell.
const Regex& bulletRx() {
    static const Regex& r = rx(u"[\u2022\u00B7\u25AA\u25E6\u2023\u25CF\u25CB\u25A0\u25A1]");
    return r;
}
const Regex& blankRx() {
    static const Regex& r = rx(u" ");
    return r;
}
const Regex& clauseEndRx() {
    static const Regex& r = rx(u".*[.,;:]$");
    return r;
}
const Regex& numberedHeadingRx() {
    static const Regex& r = rx(u"^(\\d+(\\.\\d+)*\\.?|[IVX]+\\.|Chapter \\w+|Part \\w+)\\s+\\p{Lu}.*");
    return r;
}
// Imprint and trademark lines ("© 2024 Acme Press") look like short
// capitalised headings but are never read as one.
const Regex& imprintRx() {
    static const Regex& r = rx(u".*[\u00A9\u00AE\u2122].*");
    return r;
}

float height(const Line& l) { return l.b - l.t; }
float width(const Line& l) { return l.r - l.l; }

bool isMargin(const Line& l) { return l.b < 0.09f * l.ph || l.t > 0.91f * l.ph; }

// Stable merge sort that moves an element ahead of an earlier one only when
// before(later, earlier) holds. Well defined for comparisons that are no
// strict weak ordering (the row order is not transitive) and for NaN
// coordinates, where std::stable_sort would not be.
template <class Before>
void stableSortBy(std::vector<Line>& v, Before before) {
    const size_t n = v.size();
    if (n < 2) return;
    std::vector<Line> tmp(n);
    for (size_t w = 1; w < n; w *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * w) {
            const size_t mid = std::min(lo + w, n), hi = std::min(lo + 2 * w, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = before(v[j], v[i]) ? std::move(v[j++]) : std::move(v[i++]);
            while (i < mid) tmp[k++] = std::move(v[i++]);
            while (j < hi) tmp[k++] = std::move(v[j++]);
        }
        v.swap(tmp);
    }
}

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

// The identity of a running line: its half of the page and its text with
// every number made "#", so "Page 3" and "Page 12" at the bottom are one.
std::u16string key(const Line& l) {
    std::u16string k = l.t < 0.5f * l.ph ? u"top:" : u"bottom:";
    k += lower(digitRunRx().replaceAll(Utf16::trim(l.text), u"#"));
    return k;
}

float medianHeight(const std::vector<Line>& lines) {
    if (lines.empty()) return 10.0f;
    std::vector<float> h;
    h.reserve(lines.size());
    for (const Line& l : lines) h.push_back(height(l));
    // A total order, so NaN heights cannot upset the sort.
    std::sort(h.begin(), h.end(), [](float a, float b) { return std::strong_order(a, b) < 0; });
    return h[h.size() / 2];
}

bool wide(const std::vector<Line>& lines, float w) {
    size_t n = 0;
    for (const Line& l : lines)
        if (width(l) > 0.25f * w) ++n;
    return 2 * n >= lines.size();
}

bool oneRow(const Line& a, const Line& c) {
    const float overlap = std::min(a.b, c.b) - std::max(a.t, c.t);
    return overlap > 0.6f * std::min(height(a), height(c));
}

std::vector<Line> mergeRows(const std::vector<Line>& lines) {
    std::vector<Line> out;
    out.reserve(lines.size());
    for (const Line& cur : lines) {
        if (!out.empty()) {
            Line& last = out.back();
            if (last.page == cur.page && oneRow(last, cur) && cur.l > last.r) {
                std::u16string a = Utf16::trim(last.text);
                // Cells of a table row are read with a comma between them;
                // a bullet drawn apart from its text is not a cell ("• item",
                // not "•, item", which would also hide the list item).
                const bool plain = rowPunctRx().whole(a) || bulletRx().whole(a);
                a += plain ? u" " : u", ";
                a += Utf16::trimView(cur.text);
                last.text = std::move(a);
                last.t = std::min(last.t, cur.t);
                last.r = cur.r;
                last.b = std::max(last.b, cur.b);
                continue;
            }
        }
        out.push_back(cur);
    }
    return out;
}

bool isHeading(const Line& line, const std::u16string& text, float median, const Line* previous) {
    const std::vector<std::u16string> words = blankRx().split(text);
    const size_t n = words.size();
    if (text.size() > 90 || n >= 13) return false;
    const bool numbered = numberedHeadingRx().whole(text);
    if (clauseEndRx().whole(text) && !numbered) return false;
    if (height(line) >= 1.25f * median) return true;
    if (n <= 8 && numbered) return true;
    const bool spaceAbove =
        previous == nullptr || previous->page != line.page || line.t - previous->b > 1.1f * median;
    if (n >= 6 || !spaceAbove) return false;
    size_t capitals = 0;
    for (const std::u16string& w : words)
        if (!w.empty() && Utf16::isUpper(w[0])) ++capitals;
    if (2 * capitals < n) return false;
    if (imprintRx().whole(text)) return false;
    return text.find(u'@') == std::u16string::npos;
}

bool endsSentence(const Line& l) { return sentenceEndRx().whole(Utf16::trim(l.text)); }

// Break (true) or join (false) between prev and the line L, whose heading
// verdict is h, while a paragraph with the given heading flag is open.
bool breaksBefore(const Line& L, const std::u16string& text, bool h, const Line& prev, bool paraHeading, float m) {
    if (prev.page != L.page) return h || paraHeading || endsSentence(prev);
    if (h != paraHeading) return true;
    if (h) return std::fabs(height(L) - height(prev)) > 0.2f * m || L.t - prev.b > 0.8f * m;
    if (L.t - prev.b > std::max(0.75f * m, 0.6f * height(prev))) return true;
    const bool ends = endsSentence(prev);
    if (L.t < prev.t - m) return ends;  // moved up, as into the next column
    if (listItemRx().whole(text)) return true;
    if (!ends) return false;
    if (L.l > prev.l + 0.9f * m) return true;  // an indented first line
    // prev was the short last line of its paragraph
    if (prev.r < L.r - 0.12f * prev.pw && width(L) > width(prev)) return true;
    return false;
}

}  // namespace

std::vector<Line> readingOrder(const std::vector<Line>& lines) {
    if (lines.empty()) return {};
    const float W = lines.front().pw;
    std::vector<Line> left, right, spanning;
    for (const Line& l : lines) {
        if (l.r <= 0.52f * W)
            left.push_back(l);
        else if (l.l >= 0.48f * W)
            right.push_back(l);
        else
            spanning.push_back(l);
    }
    const bool twoColumns = left.size() >= 6 && right.size() >= 6 && 4 * spanning.size() <= lines.size() &&
                            wide(left, W) && wide(right, W);
    if (!twoColumns) {
        std::vector<Line> sorted = lines;
        stableSortBy(sorted, [](const Line& a, const Line& c) { return oneRow(a, c) ? a.l < c.l : a.t < c.t; });
        return mergeRows(sorted);
    }
    float top = std::numeric_limits<float>::infinity();
    for (const Line& l : left) top = std::min(top, l.t);
    for (const Line& l : right) top = std::min(top, l.t);
    std::vector<Line> above, below;
    for (Line& l : spanning) (l.t < top + 1.0f ? above : below).push_back(std::move(l));
    const auto byTop = [](const Line& a, const Line& c) { return a.t < c.t; };
    std::vector<Line> out;
    out.reserve(lines.size());
    for (std::vector<Line>* g : {&above, &left, &right, &below}) {
        stableSortBy(*g, byTop);
        for (Line& l : *g) out.push_back(std::move(l));
    }
    return out;
}

std::vector<Para> layout(const std::vector<Line>& lines) {
    // Page count; saturated, so an absurd page index cannot overflow it.
    std::int64_t pages = 0;
    for (const Line& l : lines)
        if (l.page >= pages) pages = l.page == std::numeric_limits<std::int64_t>::max() ? l.page : l.page + 1;

    std::unordered_map<std::u16string, std::int64_t> running;
    for (const Line& l : lines)
        if (isMargin(l)) ++running[key(l)];

    std::vector<Line> kept;
    kept.reserve(lines.size());
    for (const Line& l : lines) {
        const std::u16string_view t = Utf16::trimView(l.text);
        if (t.empty()) continue;
        if (isMargin(l)) {
            if (pageNumberRx().whole(std::u16string(t))) continue;
            if (pages >= 2) {
                const std::int64_t n = running[key(l)];
                if (pages <= 3 ? n >= 2 : n >= pages / 2) continue;
            }
        }
        kept.push_back(l);
    }

    const float m = medianHeight(kept);

    // Small print in the margins (footnote marks, imprint lines).
    std::erase_if(kept, [m](const Line& l) {
        return isMargin(l) && height(l) < 0.85f * m && spaceRunRx().split(Utf16::trim(l.text)).size() <= 12;
    });

    // Pages in ascending order, each page's lines in their current order. Only
    // pages that hold lines are visited, so a huge page index costs nothing.
    std::map<std::int64_t, std::vector<Line>> byPage;
    for (Line& l : kept)
        if (l.page >= 0) byPage[l.page].push_back(std::move(l));
    std::vector<Line> ordered;
    ordered.reserve(kept.size());
    for (auto& [page, pageLines] : byPage)
        for (Line& l : readingOrder(pageLines)) ordered.push_back(std::move(l));

    std::vector<Para> out;
    bool open = false;
    Para para;
    const Line* prev = nullptr;
    for (const Line& L : ordered) {
        const std::u16string text = spaceRunRx().replaceAll(Utf16::trim(L.text), u" ");
        const bool h = isHeading(L, text, m, prev);
        if (!open || breaksBefore(L, text, h, *prev, para.heading, m)) {
            if (open && !para.raw.empty()) out.push_back(std::move(para));
            para = Para{};
            para.heading = h;
            open = true;
        }
        std::u16string& buf = para.raw;
        const size_t n = buf.size();
        std::int64_t start;
        if (n == 0) {
            start = 0;
        } else if (buf[n - 1] == u'-' && n >= 2 && Utf16::isLetter(buf[n - 2]) && !text.empty() &&
                   Utf16::isLower(text[0])) {
            buf.pop_back();  // "exam-" + "ple" reads "example"
            start = static_cast<std::int64_t>(n) - 1;
        } else {
            buf += u' ';
            start = static_cast<std::int64_t>(n) + 1;
        }
        buf += text;
        para.spans.push_back(Span{L.page, start, static_cast<std::int64_t>(buf.size()), L.l / L.pw, L.t / L.ph,
                                  L.r / L.pw, L.b / L.ph});
        prev = &L;
    }
    if (open && !para.raw.empty()) out.push_back(std::move(para));
    return out;
}

}  // namespace tovan::PdfLayout
