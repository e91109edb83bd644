#include "DocFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "AtomicFile.h"
#include "Regex.h"

namespace fs = std::filesystem;
using nlohmann::json;
using ordered_json = nlohmann::ordered_json;

namespace tovan {

namespace {

std::string utf8(std::u16string_view s) { return u8(s); }  // a lone surrogate becomes U+FFFD

// Strict: nothing for malformed UTF-8.
std::optional<std::u16string> utf16(std::string_view s) {
    std::u16string out(s.size(), u'\0');
    if (s.empty()) return out;
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(), static_cast<int32_t>(s.size()),
                  &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<size_t>(n));
    return out;
}

fs::path fileFor(const fs::path& dir, std::u16string_view id, const char* extension) {
    return dir / (utf8(id) + extension);
}

const fs::path& ensure(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::int64_t clampToInt64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return INT64_MAX;  // 2^63 and beyond
    if (d <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(d);  // truncates toward zero
}

float toFloat(double d) {
    if (std::fabs(d) > std::numeric_limits<float>::max())
        return d > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

bool isDecimalSyntax(std::string_view s) {
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal integer with an optional sign and nothing else; nothing when the
// text is another thing or the value does not fit.
std::optional<std::int64_t> decimalInteger(std::string_view s) {
    if (!isDecimalSyntax(s)) return std::nullopt;
    if (s[0] == '+') s.remove_prefix(1);
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

std::int64_t numberAsInt64(const json& v) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<std::int64_t>();
    return clampToInt64(v.get<double>());
}

std::optional<std::u16string> stringOf(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return utf16(it->get_ref<const std::string&>());  // the parser has checked the UTF-8
}

json valueOf(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? json() : *it;
}

void dumpTo(std::string& out, const ordered_json& j) {
    out = j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Stable sorts that keep the listing order among equal keys.
template <class T, class Key>
void stableSortDescending(std::vector<T>& list, Key key) {
    std::stable_sort(list.begin(), list.end(), [&](const T& a, const T& b) { return key(a) > key(b); });
}

}  // namespace

namespace DocFiles {

bool safeId(std::u16string_view id) {
    if (id.empty() || id.find(u"..") != std::u16string_view::npos) return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const char16_t c = id[i];
        if (c == u'/' || c == u'\0') return false;
        if (U16_IS_LEAD(c)) {
            if (i + 1 >= id.size() || !U16_IS_TRAIL(id[i + 1])) return false;
            ++i;
        } else if (U16_IS_TRAIL(c)) {
            return false;
        }
    }
    return true;
}

std::vector<std::u16string> ids(const fs::path& dir) {
    std::vector<std::u16string> out;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return out;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".json") != 0) continue;
        const auto stem = utf16(std::string_view(name).substr(0, name.size() - 5));
        if (stem && safeId(*stem)) out.push_back(*stem);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::int64_t lenientInt64(const json& v) {
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    if (v.is_number()) return numberAsInt64(v);
    if (!v.is_string()) return 0;
    const std::string& s = v.get_ref<const std::string&>();
    if (const auto i = decimalInteger(s)) return *i;
    if (s.empty()) return 0;
    const char c = s[0];
    if (c == '\0' || c == '\t' || (c >= '\n' && c <= '\r') || c == ' ') return 0;
    static const locale_t posix = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char* end = nullptr;
    errno = 0;
    const double d = ::strtod_l(s.c_str(), &end, posix);
    if (end != s.c_str() + s.size()) return 0;  // also a NUL inside the text
    if (!std::isfinite(d)) {
        // Overflow of a plain number clamps; "inf" and "nan" give 0.
        return isDecimalSyntax(s) || errno == ERANGE ? clampToInt64(d) : 0;
    }
    return clampToInt64(d);
}

Position parsePos(std::string_view bytes) {
    Position p;
    const auto text = utf16(bytes);
    if (!text) return p;
    std::u16string_view s = *text;
    auto white = [](char16_t c) { return !U16_IS_SURROGATE(c) && u_isUWhiteSpace(c); };
    while (!s.empty() && white(s.front())) s.remove_prefix(1);
    while (!s.empty() && white(s.back())) s.remove_suffix(1);
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t blank = s.find(u' ', at);
        fields.push_back(utf8(s.substr(at, blank == std::u16string_view::npos ? std::u16string_view::npos : blank - at)));
        if (blank == std::u16string_view::npos) break;
        at = blank + 1;
    }
    p.pos = decimalInteger(fields[0]);
    if (!p.pos) return p;
    if (fields.size() >= 2) {
        p.opened = decimalInteger(fields[1]);
        if (!p.opened) return p;
    }
    if (fields.size() >= 3) p.done = fields[2] == "1";
    return p;
}

Position readPos(const fs::path& dir, std::u16string_view id) {
    if (!safeId(id)) return {};
    std::string bytes;
    if (!AtomicFile::read(fileFor(dir, id, ".pos"), bytes)) return {};
    return parsePos(bytes);
}

std::string docJson(const Doc& d) {
    ordered_json j = ordered_json::object();
    j["id"] = utf8(d.id);
    j["title"] = utf8(d.title);
    j["kind"] = utf8(d.kind);
    j["source"] = utf8(d.source);
    if (!d.author.empty()) j["author"] = utf8(d.author);
    j["added"] = d.added;
    j["pos"] = d.pos;
    j["opened"] = d.opened;
    // The paragraphs are written one at a time after the fields before them,
    // not built into the tree: a large document is not held once more as a
    // tree of copies. The bytes are those of the whole tree's dump.
    std::string out;
    dumpTo(out, j);
    out.pop_back();  // the closing brace
    // Room for text mostly in ASCII with a few longer characters and escapes,
    // so that the string is not grown (and copied) near its end.
    size_t size = out.size() + 32;
    for (const auto& p : d.paragraphs) size += p.size() + p.size() / 16 + 3;
    out.reserve(size);
    out += ",\"paragraphs\":[";
    for (size_t i = 0; i < d.paragraphs.size(); ++i) {
        if (i) out += ',';
        std::string one;
        dumpTo(one, ordered_json(utf8(d.paragraphs[i])));
        out += one;
    }
    out += ']';
    if (d.spans) {
        ordered_json spans = ordered_json::array();
        for (const auto& list : *d.spans) {
            ordered_json entry = ordered_json::array();
            for (const auto& s : list) {
                // A coordinate that is not finite would be written as null and
                // the document would never load again; Doc keeps none, and
                // this is the last guard.
                if (!std::isfinite(s.l) || !std::isfinite(s.t) || !std::isfinite(s.r) || !std::isfinite(s.b))
                    continue;
                entry.push_back(ordered_json::array({s.page, s.start, s.end, static_cast<double>(s.l),
                                                     static_cast<double>(s.t), static_cast<double>(s.r),
                                                     static_cast<double>(s.b)}));
            }
            spans.push_back(std::move(entry));
        }
        out += ",\"spans\":";
        std::string list;
        dumpTo(list, spans);
        out += list;
    }
    out += '}';
    return out;
}

std::string metaJson(const Doc::Meta& m) {
    ordered_json j = ordered_json::object();
    j["title"] = utf8(m.title);
    j["kind"] = utf8(m.kind);
    j["added"] = m.added;
    j["count"] = m.count;
    j["chars"] = m.chars;
    j["source"] = utf8(m.source);
    if (!m.author.empty()) j["author"] = utf8(m.author);
    std::string out;
    dumpTo(out, j);
    return out;
}

std::string posText(const Doc& d) {
    return std::to_string(d.pos) + " " + std::to_string(d.opened) + " " + (d.done ? "1" : "0");
}

std::optional<Doc::Meta> parseMeta(std::u16string id, std::string_view bytes) {
    const json j = json::parse(bytes, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    const auto title = stringOf(j, "title");
    if (!title) return std::nullopt;
    Doc::Meta m(std::move(id), *title, stringOf(j, "kind").value_or(u"text"), lenientInt64(valueOf(j, "added")),
                lenientInt64(valueOf(j, "count")), lenientInt64(valueOf(j, "chars")));
    m.author = stringOf(j, "author").value_or(u"");
    m.source = stringOf(j, "source").value_or(u"");
    return m;
}

std::shared_ptr<Doc> parseDoc(std::u16string id, std::string_view bytes, const Position& position) {
    const json j = json::parse(bytes, nullptr, false);
    if (!j.is_object()) return nullptr;
    const auto paragraphsValue = j.find("paragraphs");
    if (paragraphsValue == j.end() || !paragraphsValue->is_array()) return nullptr;
    std::vector<std::u16string> paragraphs;
    paragraphs.reserve(paragraphsValue->size());
    for (const json& p : *paragraphsValue) {
        if (!p.is_string()) return nullptr;
        auto text = utf16(p.get_ref<const std::string&>());
        if (!text) return nullptr;
        paragraphs.push_back(std::move(*text));
    }
    // The file name gives the id; the stored one must merely be there.
    if (!stringOf(j, "id")) return nullptr;
    const auto title = stringOf(j, "title");
    if (!title) return nullptr;

    Doc::Fields f;
    f.id = std::move(id);
    f.title = *title;
    f.kind = stringOf(j, "kind").value_or(u"text");
    f.source = stringOf(j, "source").value_or(u"");
    f.author = stringOf(j, "author").value_or(u"");
    f.added = lenientInt64(valueOf(j, "added"));
    f.pos = position.pos.value_or(lenientInt64(valueOf(j, "pos")));
    f.opened = position.opened.value_or(lenientInt64(valueOf(j, "opened")));
    f.done = position.done.value_or(false);
    f.paragraphs = std::move(paragraphs);

    const auto spansValue = j.find("spans");
    if (spansValue != j.end() && spansValue->is_array()) {
        Doc::Spans spans;
        spans.reserve(spansValue->size());
        for (const json& entry : *spansValue) {
            if (!entry.is_array()) return nullptr;
            std::vector<PdfLayout::Span> list;
            list.reserve(entry.size());
            for (const json& s : entry) {
                if (!s.is_array() || s.size() < 7) return nullptr;
                for (size_t k = 0; k < 7; ++k)
                    if (!s[k].is_number()) return nullptr;
                list.push_back(PdfLayout::Span{numberAsInt64(s[0]), numberAsInt64(s[1]), numberAsInt64(s[2]),
                                               toFloat(s[3].get<double>()), toFloat(s[4].get<double>()),
                                               toFloat(s[5].get<double>()), toFloat(s[6].get<double>())});
            }
            spans.push_back(std::move(list));
        }
        f.spans = std::move(spans);  // Doc drops them when the count is wrong
    }

    auto doc = std::make_shared<Doc>(std::move(f));
    const std::int64_t last = std::max<std::int64_t>(static_cast<std::int64_t>(doc->sentences.size()) - 1, 0);
    doc->pos = std::max<std::int64_t>(0, std::min(doc->pos, last));
    return doc;
}

}  // namespace DocFiles

// ---------------------------------------------------------------------------
// Doc's library operations

namespace {

void writeMeta(const fs::path& dir, const Doc::Meta& m) {
    AtomicFile::write(fileFor(dir, m.id, ".meta"), DocFiles::metaJson(m));
}

void applyPosition(Doc::Meta& row, const DocFiles::Position& p) {
    if (p.pos) row.pos = std::max<std::int64_t>(*p.pos, 0);
    if (p.opened) row.opened = *p.opened;
    if (p.done) row.done = *p.done;
}

}  // namespace

bool Doc::save(const fs::path& dir) const {
    if (!DocFiles::safeId(id)) return false;
    ensure(dir);
    // The old row goes first and the new one is written only after the
    // document: a row never describes another version of its document, and
    // without a row the list rebuilds it from the document that is there.
    const fs::path row = fileFor(dir, id, ".meta");
    if (::unlink(row.c_str()) != 0 && errno != ENOENT) return false;
    if (!AtomicFile::write(fileFor(dir, id, ".json"), DocFiles::docJson(*this))) return false;
    writeMeta(dir, meta());
    return true;
}

bool Doc::savePos(const fs::path& dir) const {
    if (isTransient || !DocFiles::safeId(id)) return false;
    ensure(dir);
    return AtomicFile::write(fileFor(dir, id, ".pos"), DocFiles::posText(*this));
}

std::shared_ptr<Doc> Doc::load(std::u16string_view id, const fs::path& dir) {
    if (!DocFiles::safeId(id)) return nullptr;
    std::string bytes;
    if (!AtomicFile::read(fileFor(dir, id, ".json"), bytes)) return nullptr;
    return DocFiles::parseDoc(std::u16string(id), bytes, DocFiles::readPos(dir, id));
}

std::vector<Doc::Meta> Doc::list(const fs::path& dir) {
    ensure(dir);
    std::vector<Meta> rows;
    for (const std::u16string& id : DocFiles::ids(dir)) {
        std::optional<Meta> row;
        std::string bytes;
        if (AtomicFile::read(fileFor(dir, id, ".meta"), bytes)) row = DocFiles::parseMeta(id, bytes);
        if (!row) {
            const auto doc = load(id, dir);
            if (!doc) continue;
            row = doc->meta();
            writeMeta(dir, *row);
        }
        applyPosition(*row, DocFiles::readPos(dir, id));
        rows.push_back(std::move(*row));
    }
    stableSortDescending(rows, [](const Meta& m) { return m.opened; });
    return rows;
}

std::vector<Doc::Meta> Doc::upNext(const fs::path& dir, const std::optional<std::u16string>& except) {
    std::vector<Meta> rows;
    for (Meta& m : list(dir))
        if (!m.done && (!except || m.id != *except)) rows.push_back(std::move(m));
    std::stable_sort(rows.begin(), rows.end(), [](const Meta& a, const Meta& b) { return a.added < b.added; });
    return rows;
}

std::vector<std::shared_ptr<Doc>> Doc::all(const fs::path& dir) {
    ensure(dir);
    std::vector<std::shared_ptr<Doc>> docs;
    for (const std::u16string& id : DocFiles::ids(dir))
        if (auto d = load(id, dir)) docs.push_back(std::move(d));
    stableSortDescending(docs, [](const std::shared_ptr<Doc>& d) { return d->opened; });
    return docs;
}

std::optional<std::u16string> Doc::saveOrExisting(const fs::path& dir) const {
    const Meta n = meta();
    const std::u16string key = displayTitle();
    std::optional<Meta> match;
    for (const Meta& m : list(dir)) {
        bool same;
        if (!n.source.empty()) {
            same = m.source == n.source || (m.source.empty() && m.kind == kind && m.displayTitle() == key);
        } else {
            same = m.kind == kind && m.displayTitle() == key && m.chars == n.chars;
        }
        if (same) {
            match = m;
            break;
        }
    }
    if (!match) {
        if (!save(dir)) return std::nullopt;
        return id;
    }
    if (kind != u"text") return match->id;
    // A new text replaces the old entry; the old one goes only once the new
    // one is stored, so a failed save loses nothing.
    if (match->id == id) {
        if (!save(dir)) return std::nullopt;
        return id;
    }
    if (!save(dir)) return match->id;
    remove(match->id, dir);
    return id;
}

std::optional<std::u16string> Doc::findSource(const std::u16string& source,
                                              const std::optional<std::u16string>& titlePrefix, const fs::path& dir) {
    for (const Meta& m : list(dir)) {
        if (m.source == source) return m.id;
        if (m.source.empty() && titlePrefix && m.displayTitle().starts_with(*titlePrefix)) return m.id;
    }
    return std::nullopt;
}

void Doc::remove(std::u16string_view id, const fs::path& dir) {
    if (!DocFiles::safeId(id)) return;
    for (const char* extension : {".json", ".pos", ".meta"}) ::unlink(fileFor(dir, id, extension).c_str());
}

}  // namespace tovan
