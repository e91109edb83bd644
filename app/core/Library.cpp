#include "Library.h"

#include <algorithm>
#include <system_error>

#include "AtomicFile.h"
#include "DocFiles.h"

namespace tovan {

namespace fs = std::filesystem;

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
    const fs::path target = pdfPath(doc.id);
    std::error_code ec;
    // Copying a file onto itself would first remove the only copy.
    if (fs::equivalent(source, target, ec)) return;
    AtomicFile::copy(source, target);
}

std::shared_ptr<Doc> Library::find(const std::u16string& source, const std::optional<std::u16string>& titlePrefix) {
    auto id = Doc::findSource(source, titlePrefix, dir);
    if (!id) return nullptr;
    return doc(*id);
}

std::shared_ptr<Doc> Library::saveOrExisting(const std::shared_ptr<Doc>& d, bool* stored) {
    if (stored) *stored = true;
    if (!d) return nullptr;
    const std::optional<std::u16string> saved = d->saveOrExisting(dir);
    if (!saved) {
        if (stored) *stored = false;
        loaded[d->id] = d;
        return d;
    }
    const std::u16string& id = *saved;
    if (id == d->id) loaded[id] = d;
    reload();
    auto found = doc(id);
    return found ? found : d;
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
