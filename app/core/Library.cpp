#include "Library.h"

#include <algorithm>
#include <mutex>
#include <system_error>

#include "AtomicFile.h"
#include "DocFiles.h"

namespace tovan {

namespace fs = std::filesystem;

namespace {

// Stores are serialized: the check for an equal document and the write that
// follows it must see every other store's files.
std::mutex storing;

void copyPdfTo(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    // Copying a file onto itself would first remove the only copy.
    if (fs::equivalent(source, target, ec)) return;
    AtomicFile::copy(source, target);
}

}  // namespace

Library::Library(fs::path dir_, QObject* parent) : QObject(parent), dir(std::move(dir_)) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    // What a save cut short by a crash left behind.
    AtomicFile::removeStale(dir);
    reload();
}

void Library::reload() {
    std::vector<Doc::Meta> rows = Doc::list(dir);
    std::stable_sort(rows.begin(), rows.end(), [](const Doc::Meta& a, const Doc::Meta& b) {
        return std::max(a.added, a.opened) > std::max(b.added, b.opened);
    });
    docs_ = std::move(rows);
    emit docsChanged();
}

void Library::save(const Doc& doc) {
    doc.savePos(dir);
    for (auto& row : docs_) {
        if (row.id != doc.id) continue;
        row.pos = doc.pos;
        row.done = doc.done;
        row.opened = doc.opened;
        emit docsChanged();
        return;
    }
}

fs::path Library::pdfPath(const std::u16string& id) const { return dir / fs::path(id + u".pdf"); }

void Library::remove(const std::u16string& id) {
    // An id that is no safe file name never named a file here; removing
    // "<id>.pdf" for it could reach outside the folder.
    if (DocFiles::safeId(id)) {
        Doc::remove(id, dir);
        std::error_code ec;
        fs::remove(pdfPath(id), ec);
    }
    loaded.erase(id);
    reload();
}

void Library::copyPdf(const fs::path& source, const Doc& doc) {
    if (!DocFiles::safeId(doc.id)) return;
    copyPdfTo(source, pdfPath(doc.id));
}

std::shared_ptr<Doc> Library::find(const std::u16string& source, const std::optional<std::u16string>& titlePrefix) {
    auto id = Doc::findSource(source, titlePrefix, dir);
    if (!id) return nullptr;
    return doc(*id);
}

std::shared_ptr<Doc> Library::saveOrExisting(const std::shared_ptr<Doc>& d, bool* stored) {
    if (!d) return nullptr;
    const Stored result = store(dir, d);
    if (stored) *stored = result.saved;
    return added(result);
}

Library::Stored Library::store(const fs::path& dir, const std::shared_ptr<Doc>& d, const Progress& progress,
                               const fs::path& pdf) {
    const std::lock_guard<std::mutex> hold(storing);
    Stored out{d, true};
    // The end is reported once the files are there.
    if (const auto id = d->saveOrExisting(dir, progress.part(0, 0.95)); !id) {
        out.saved = false;
    } else if (*id == d->id) {
        // Only a document stored under its own id gets a copy: an equal one
        // already listed has its own, and any other would belong to no row.
        if (!pdf.empty() && DocFiles::safeId(d->id)) copyPdfTo(pdf, dir / fs::path(d->id + u".pdf"));
    } else if (auto listed = Doc::load(*id, dir)) {
        // The listed one, read here rather than on the main thread. Gone or
        // unreadable, the new document serves (as a cached one would).
        out.doc = std::move(listed);
    }
    progress.finish();
    return out;
}

std::shared_ptr<Doc> Library::added(const Stored& stored) {
    if (!stored.doc) return nullptr;
    if (!stored.saved) {
        loaded[stored.doc->id] = stored.doc;
        return stored.doc;
    }
    // The copy already in use (being read, say) stays the one.
    auto& cached = loaded[stored.doc->id];
    if (!cached) cached = stored.doc;
    const std::shared_ptr<Doc> use = cached;
    reload();
    return use;
}

std::shared_ptr<Doc> Library::doc(const std::u16string& id) {
    if (auto it = loaded.find(id); it != loaded.end() && it->second) return it->second;
    auto d = Doc::load(id, dir);
    if (d)
        loaded[id] = d;
    else
        loaded.erase(id);
    return d;
}

}  // namespace tovan
