#pragma once
// The one in-memory form of a document: its paragraphs, the sentences they are
// cut into (the unit of reading position and highlighting), the reading
// position and, for PDF documents, the boxes to light up on the page images.
//
// A Doc is shared (std::shared_ptr) by the reading controller, the views and
// the library. Only pos, opened, done and isTransient change after creation;
// they belong to the main thread. Everything else is fixed at creation and may
// be read from any thread.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExtractedDoc.h"
#include "PdfLayout.h"
#include "Progress.h"

namespace tovan {

class Cast;

class Doc {
public:
    // A highlight box: page, x0, top, x1, bottom (fractions of the page size).
    using Box = std::array<float, 5>;
    using Spans = std::vector<std::vector<PdfLayout::Span>>;

    // One document's row in the library list: enough to show it and estimate
    // its listening time without loading its paragraphs.
    struct Meta {
        std::u16string id;
        std::u16string title;
        std::u16string kind;
        std::int64_t added = 0;
        std::u16string author;
        std::u16string source;
        std::int64_t opened = 0;
        std::int64_t pos = 0;
        std::int64_t count = 0;  // sentences
        std::int64_t chars = 0;  // UTF-16 units of all sentences
        bool done = false;

        Meta(std::u16string id, std::u16string title, std::u16string kind, std::int64_t added, std::int64_t count,
             std::int64_t chars);

        std::u16string displayTitle() const;
        float progress() const;
        std::int64_t minutesLeft(float rate) const;
        bool operator==(const Meta&) const = default;
    };

    static std::int64_t nowMillis();
    // A random UUID, lower case, 8-4-4-4-12.
    static std::u16string newId();

    // A new ordinary document: fresh id, added = opened = now, position 0.
    Doc(std::u16string title, std::optional<std::u16string> author, std::u16string kind,
        std::optional<std::u16string> source, std::vector<std::u16string> paragraphs, std::int64_t now = nowMillis());

    static std::shared_ptr<Doc> create(std::u16string title, std::u16string kind, std::optional<std::u16string> source,
                                       std::vector<std::u16string> paragraphs);
    static std::shared_ptr<Doc> create(const ExtractedDoc& extracted);
    // The same, taking the paragraphs over (a large document is not copied).
    // Cutting the sentences reports to `progress` paragraph by paragraph and
    // stops with Progress::Cancelled when it is cancelled.
    static std::shared_ptr<Doc> create(ExtractedDoc&& extracted, const Progress& progress = {});
    // Read aloud once and not kept: id "screen-<now>", kind "screen".
    static std::shared_ptr<Doc> createTransient(std::u16string title, std::vector<std::u16string> paragraphs,
                                                std::int64_t now = nowMillis());
    // Spans are kept only with exactly one entry per paragraph; then every
    // sentence gets its highlight boxes. A span with a coordinate that is not
    // finite is left out (it could not be stored).
    static std::shared_ptr<Doc> createPdf(std::u16string id, std::u16string title, std::u16string source,
                                          std::vector<std::u16string> paragraphs, Spans spans,
                                          std::int64_t now = nowMillis(), const Progress& progress = {});

    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;

    // The boxes of the range from..<to of one paragraph: one per overlapping
    // span, its horizontal extent interpolated by character offset.
    static std::vector<Box> boxes(const std::vector<PdfLayout::Span>& spans, std::int64_t from, std::int64_t to);

    std::u16string displayTitle() const;
    // The page on which a sentence starts, -1 when unknown.
    std::int64_t pageOf(std::int64_t sentence) const;
    float progress() const;
    // Listening time from the position to the end at 15 units a second.
    std::int64_t minutesLeft(float rate) const;
    Meta meta() const;

    // ---- Library files (<id>.json, <id>.meta, <id>.pos in dir) ----
    // Removes <id>.meta, writes <id>.json, then <id>.meta again. Each file is
    // replaced atomically, so a reader (or a crash at any point) finds the old
    // document with its old row, or the new with its new row: a missing row is
    // rebuilt from the document it lists. A failed write leaves the previous
    // document. False when the document could not be stored (also for an id
    // that is no safe file name).
    bool save(const std::filesystem::path& dir) const;
    // Writes <id>.pos, unless the document is transient.
    bool savePos(const std::filesystem::path& dir) const;
    // Stores this document unless the library holds it already; returns the id
    // to open, nothing when this document had to be stored and could not be
    // (a full or read-only disk). A new pasted text replaces an equal old one:
    // the new document is saved first, and the old one is deleted only once
    // that worked.
    std::optional<std::u16string> saveOrExisting(const std::filesystem::path& dir) const;

    // The document stored under id (the file name decides the id), or null.
    static std::shared_ptr<Doc> load(std::u16string_view id, const std::filesystem::path& dir);
    // The library rows, newest opened first. Reads only <id>.meta and <id>.pos;
    // a missing or broken row is rebuilt from <id>.json.
    static std::vector<Meta> list(const std::filesystem::path& dir);
    // Unfinished rows, oldest added first.
    static std::vector<Meta> upNext(const std::filesystem::path& dir,
                                    const std::optional<std::u16string>& except = std::nullopt);
    // Every loadable document, newest opened first.
    static std::vector<std::shared_ptr<Doc>> all(const std::filesystem::path& dir);
    static std::optional<std::u16string> findSource(const std::u16string& source,
                                                    const std::optional<std::u16string>& titlePrefix,
                                                    const std::filesystem::path& dir);
    // Removes <id>.json, <id>.pos and <id>.meta, in that order.
    static void remove(std::u16string_view id, const std::filesystem::path& dir);

    const std::u16string id;
    const std::u16string title;
    const std::u16string kind;
    const std::u16string source;
    const std::u16string author;
    const std::vector<std::u16string> paragraphs;
    const std::vector<std::u16string> sentences;
    const std::optional<Spans> spans;                     // one entry per paragraph
    const std::optional<std::vector<std::vector<Box>>> regions;  // one entry per sentence
    const std::vector<std::int64_t> paraOf;               // paragraph of each sentence
    const std::int64_t added;
    std::int64_t pos = 0;
    std::int64_t opened;
    bool done = false;
    bool isTransient = false;

    // Everything a document is made from; the sentence index is built from it.
    struct Fields {
        std::u16string id, title, kind, source, author;
        std::vector<std::u16string> paragraphs;
        std::optional<Spans> spans;
        std::int64_t added = 0;
        std::int64_t pos = 0;
        std::int64_t opened = 0;
        bool done = false;
        bool isTransient = false;
    };
    // Used by the creators and by load: spans of the wrong length are dropped.
    explicit Doc(Fields fields, const Progress& progress = {});

    // The dialogue analysis of the paragraphs, made on first use. The reading
    // controller, the performer and the export call it from different threads:
    // the analysis runs under the document's own lock, so it is made once and
    // every caller gets the same object.
    std::shared_ptr<Cast> cast() const;

private:
    mutable std::mutex castLock_;
    mutable std::shared_ptr<Cast> castCache_;

    struct Index;
    static Index buildIndex(const std::vector<std::u16string>& paragraphs, std::optional<Spans>& spans,
                            const Progress& progress);
    Doc(Fields&& fields, Index&& index);
};

}  // namespace tovan
