#pragma once
// The reading list as the application sees it: the library folder, the rows
// the views show (newest first) and the documents already read this run.
// The files of each document and their formats are Doc's (Doc.h); this store
// adds the PDF copy "<id>.pdf", the list order and the cache.
//
// Main thread only, but for store(), the file side of adding a document,
// which adding roads run on their worker threads. File-system failures are
// absorbed: a folder that cannot be made, a PDF copy that fails and a
// document that cannot be read never raise; a document that fails to load
// counts as absent.

#include <QObject>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Doc.h"

namespace tovan {

class Library : public QObject {
    Q_OBJECT
public:
    // Makes the folder (with its parents) and reads the rows.
    explicit Library(std::filesystem::path dir, QObject* parent = nullptr);

    const std::filesystem::path dir;

    // The rows in display order: greatest of added and opened first, rows with
    // equal keys in the order Doc::list gives them. Changes emit docsChanged.
    const std::vector<Doc::Meta>& docs() const { return docs_; }

    // Documents loaded or saved during this run, by id. Views may read and
    // store into it.
    std::map<std::u16string, std::shared_ptr<Doc>> loaded;

    // Writes the position file and updates the document's row in place (pos,
    // done, opened), without reordering; no row, no list change.
    void save(const Doc& doc);
    // Removes the document's files and its PDF copy, drops it from the cache
    // and reloads the rows.
    void remove(const std::u16string& id);
    // Replaces "<id>.pdf" by a copy of the source file, whole or not at all:
    // a failed copy leaves the previous one. No list change.
    void copyPdf(const std::filesystem::path& source, const Doc& doc);
    // The first listed document whose source is the given one (or, with a
    // title prefix, whose source is empty and whose display title begins with
    // it); null when none matches or it cannot be read.
    std::shared_ptr<Doc> find(const std::u16string& source, const std::optional<std::u16string>& titlePrefix);
    // Stores a new document, or finds the equal one already listed; returns
    // the document to use (the listed one when there was one). When it could
    // not be stored, `stored` (if given) becomes false and the document is
    // returned all the same, kept in memory only. It is store() and added()
    // in one, on the main thread.
    std::shared_ptr<Doc> saveOrExisting(const std::shared_ptr<Doc>& doc, bool* stored = nullptr);

    // What store() did, for added().
    struct Stored {
        std::shared_ptr<Doc> doc;  // the new document, or the equal one listed (loaded)
        bool saved = true;         // false: the new document could not be stored
    };
    // Any thread: the file work of saveOrExisting for the library in `dir`,
    // touching none of the lists: the equal document already listed is loaded
    // from its file, else the new one is written (Doc::saveOrExisting, which
    // reports to `progress` and stops on a cancel until it commits) and, for a
    // PDF, `pdf` copied to "<id>.pdf". Stores run one at a time in the process,
    // so two that add equal documents at once give one row.
    static Stored store(const std::filesystem::path& dir, const std::shared_ptr<Doc>& doc,
                        const Progress& progress = {}, const std::filesystem::path& pdf = {});
    // Main thread: takes what store() did into the cache and the rows, and
    // returns the document to use (the cached one when it is already loaded).
    std::shared_ptr<Doc> added(const Stored& stored);
    // From the cache, else from the folder (then cached); null when it cannot
    // be read (then it leaves the cache).
    std::shared_ptr<Doc> doc(const std::u16string& id);
    // Reads the rows from the folder again.
    void reload();

    std::filesystem::path pdfPath(const std::u16string& id) const;

signals:
    void docsChanged();

private:
    std::vector<Doc::Meta> docs_;
};

}  // namespace tovan
