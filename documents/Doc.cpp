#include "Doc.h"

#include "Cast.h"

#include <chrono>
#include <cmath>
#include <random>

#include "TextClean.h"

namespace tovan {

struct Doc::Index {
    std::vector<std::u16string> sentences;
    std::vector<std::int64_t> paraOf;
    std::optional<Spans> spans;
    std::optional<std::vector<std::vector<Box>>> regions;
};

namespace {

bool finite(const PdfLayout::Span& s) {
    return std::isfinite(s.l) && std::isfinite(s.t) && std::isfinite(s.r) && std::isfinite(s.b);
}

std::u16string titleKey(const std::u16string& title, const std::u16string& author) {
    if (author.empty()) return title;
    return title + u" \u00B7 " + author;
}

}  // namespace

// Sentences, their paragraphs and (with spans) their boxes, in one pass.
Doc::Index Doc::buildIndex(const std::vector<std::u16string>& paragraphs, std::optional<Doc::Spans>& spans,
                           const Progress& progress) {
    Doc::Index x;
    std::uint64_t total = 0, done = 0;
    for (const std::u16string& p : paragraphs) total += p.size();
    if (spans && spans->size() == paragraphs.size()) {
        // A box with a coordinate that is not finite could never be stored and
        // read again, so such spans go.
        for (auto& list : *spans) std::erase_if(list, [](const PdfLayout::Span& s) { return !finite(s); });
        x.spans = std::move(spans);
        x.regions.emplace();
    }
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const std::u16string& p = paragraphs[i];
        // A long paragraph (a text without blank lines is one) reports while
        // it is split, and then sentence by sentence.
        constexpr size_t longParagraph = 1 << 16;
        const Progress splitting = p.size() < longParagraph || total == 0
                                       ? Progress()
                                       : progress.part(double(done) / double(total),
                                                       double(done + p.size() / 2) / double(total));
        for (const TextClean::Range& r : TextClean::spans(p, splitting)) {
            x.sentences.push_back(p.substr(static_cast<size_t>(r.lower), static_cast<size_t>(r.upper - r.lower)));
            x.paraOf.push_back(static_cast<std::int64_t>(i));
            if (x.regions) x.regions->push_back(Doc::boxes((*x.spans)[i], r.lower, r.upper));
            // Sentence by sentence: a text without blank lines is one paragraph.
            progress.at(done + std::uint64_t(r.upper), total);
        }
        done += p.size();
        progress.at(done, total);
    }
    progress.finish();
    return x;
}

std::int64_t Doc::nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::u16string Doc::newId() {
    static thread_local std::mt19937_64 rng = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }();
    unsigned char b[16];
    for (int i = 0; i < 16; i += 8) {
        const std::uint64_t v = rng();
        for (int k = 0; k < 8; ++k) b[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static constexpr char16_t hex[] = u"0123456789abcdef";
    std::u16string s;
    s.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s += u'-';
        s += hex[b[i] >> 4];
        s += hex[b[i] & 0x0F];
    }
    return s;
}

Doc::Meta::Meta(std::u16string id_, std::u16string title_, std::u16string kind_, std::int64_t added_,
                std::int64_t count_, std::int64_t chars_)
    : id(std::move(id_)), title(std::move(title_)), kind(std::move(kind_)), added(added_), count(count_),
      chars(chars_) {}

std::u16string Doc::Meta::displayTitle() const { return titleKey(title, author); }

float Doc::Meta::progress() const {
    if (done) return 1;
    if (count == 0) return 0;
    return std::min(static_cast<float>(pos) / static_cast<float>(count), 1.0f);
}

namespace {

// floor(x + 0.5), at least 1, without an out-of-range conversion.
std::int64_t wholeMinutes(float minutes) {
    const float m = std::floor(minutes + 0.5f);
    if (!(m >= 1)) return 1;
    if (m >= 9.2e18f) return INT64_MAX;
    return static_cast<std::int64_t>(m);
}

}  // namespace

std::int64_t Doc::Meta::minutesLeft(float rate) const {
    const float p = progress();
    const float r = rate >= 0.5f ? rate : 0.5f;
    return wholeMinutes((1 - p) * static_cast<float>(chars) / 15 / r / 60);
}

Doc::Doc(Fields fields, const Progress& progress)
    : Doc(std::move(fields), buildIndex(fields.paragraphs, fields.spans, progress)) {}

Doc::Doc(Fields&& f, Index&& x)
    : id(std::move(f.id)), title(std::move(f.title)), kind(std::move(f.kind)), source(std::move(f.source)),
      author(std::move(f.author)), paragraphs(std::move(f.paragraphs)), sentences(std::move(x.sentences)),
      spans(std::move(x.spans)), regions(std::move(x.regions)), paraOf(std::move(x.paraOf)), added(f.added),
      pos(f.pos), opened(f.opened), done(f.done), isTransient(f.isTransient) {}

Doc::Doc(std::u16string title, std::optional<std::u16string> author, std::u16string kind,
         std::optional<std::u16string> source, std::vector<std::u16string> paragraphs, std::int64_t now)
    : Doc(Fields{newId(), std::move(title), std::move(kind), source.value_or(u""), author.value_or(u""),
                 std::move(paragraphs), std::nullopt, now, 0, now, false, false}) {}

std::shared_ptr<Doc> Doc::create(std::u16string title, std::u16string kind, std::optional<std::u16string> source,
                                 std::vector<std::u16string> paragraphs) {
    return std::make_shared<Doc>(std::move(title), std::nullopt, std::move(kind), std::move(source),
                                 std::move(paragraphs));
}

std::shared_ptr<Doc> Doc::create(const ExtractedDoc& e) {
    return std::make_shared<Doc>(e.title, e.author, e.kind, e.source, e.paragraphs);
}

std::shared_ptr<Doc> Doc::create(ExtractedDoc&& e, const Progress& progress) {
    const std::int64_t now = nowMillis();
    return std::make_shared<Doc>(Fields{newId(), std::move(e.title), std::move(e.kind), e.source.value_or(u""),
                                        e.author.value_or(u""), std::move(e.paragraphs), std::nullopt, now, 0, now,
                                        false, false},
                                 progress);
}

std::shared_ptr<Doc> Doc::createTransient(std::u16string title, std::vector<std::u16string> paragraphs,
                                          std::int64_t now) {
    std::string digits = std::to_string(now);
    std::u16string id = u"screen-";
    id.append(digits.begin(), digits.end());
    return std::make_shared<Doc>(Fields{std::move(id), std::move(title), u"screen", u"", u"", std::move(paragraphs),
                                        std::nullopt, now, 0, now, false, true});
}

std::shared_ptr<Doc> Doc::createPdf(std::u16string id, std::u16string title, std::u16string source,
                                    std::vector<std::u16string> paragraphs, Spans spans, std::int64_t now,
                                    const Progress& progress) {
    return std::make_shared<Doc>(Fields{std::move(id), std::move(title), u"pdf", std::move(source), u"",
                                        std::move(paragraphs), std::move(spans), now, 0, now, false, false},
                                 progress);
}

std::vector<Doc::Box> Doc::boxes(const std::vector<PdfLayout::Span>& spans, std::int64_t from, std::int64_t to) {
    std::vector<Box> out;
    for (const PdfLayout::Span& s : spans) {
        const std::int64_t lo = std::max(s.start, from);
        const std::int64_t hi = std::min(s.end, to);
        if (lo >= hi) continue;
        // Differences in double: offsets read from a file may be far apart, and
        // int64 subtraction could overflow. Exact for any real offset.
        const double len = static_cast<double>(s.end) - static_cast<double>(s.start);
        const float d = len >= 2 ? static_cast<float>(len) : 1.0f;
        const float fromStart = static_cast<float>(static_cast<double>(lo) - static_cast<double>(s.start));
        const float toStart = static_cast<float>(static_cast<double>(hi) - static_cast<double>(s.start));
        const float x0 = s.l + fromStart * (s.r - s.l) / d;
        const float x1 = s.l + (s.r - s.l) * toStart / d;
        out.push_back({static_cast<float>(s.page), x0, s.t, x1, s.b});
    }
    return out;
}

std::u16string Doc::displayTitle() const { return titleKey(title, author); }

std::int64_t Doc::pageOf(std::int64_t sentence) const {
    if (!regions || sentence < 0 || sentence >= static_cast<std::int64_t>(regions->size())) return -1;
    const std::vector<Box>& list = (*regions)[static_cast<size_t>(sentence)];
    if (list.empty()) return -1;
    const float page = list.front()[0];
    if (!(page >= -9.2e18f && page <= 9.2e18f)) return -1;
    return static_cast<std::int64_t>(page);
}

float Doc::progress() const {
    if (done) return 1;
    if (sentences.empty()) return 0;
    return std::min(static_cast<float>(pos) / static_cast<float>(sentences.size()), 1.0f);
}

std::int64_t Doc::minutesLeft(float rate) const {
    std::int64_t c = 0;
    for (size_t i = static_cast<size_t>(std::max<std::int64_t>(pos, 0)); i < sentences.size(); ++i)
        c += static_cast<std::int64_t>(sentences[i].size());
    const float r = rate >= 0.5f ? rate : 0.5f;
    return wholeMinutes(static_cast<float>(c) / 15 / r / 60);
}

std::shared_ptr<Cast> Doc::cast() const {
    std::lock_guard<std::mutex> hold(castLock_);
    if (!castCache_) castCache_ = Cast::analyze(paragraphs);
    return castCache_;
}

Doc::Meta Doc::meta() const {
    std::int64_t chars = 0;
    for (const std::u16string& s : sentences) chars += static_cast<std::int64_t>(s.size());
    Meta m(id, title, kind, added, static_cast<std::int64_t>(sentences.size()), chars);
    m.author = author;
    m.source = source;
    m.opened = opened;
    m.pos = pos;
    m.done = done;
    return m;
}

}  // namespace tovan
