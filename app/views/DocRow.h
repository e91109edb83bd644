#pragma once
// One row of the reading list: the kind's icon on a soft tile, the title, the
// author, a small progress bar and how long is left to play.

#include <QString>
#include <QWidget>

#include "Doc.h"

class QLabel;
class QProgressBar;

namespace tovan {

class DocRow : public QWidget {
    Q_OBJECT
public:
    // playing: this entry is the current document and it is being read now;
    // pace: the speaking rate the time left is estimated with.
    DocRow(Doc::Meta meta, bool playing, float pace, QWidget* parent = nullptr);

    const Doc::Meta& meta() const { return meta_; }
    // The symbol name for the entry's kind ("book.closed", "globe", …).
    QString icon() const { return iconFor(meta_.kind); }
    // "Finished", "12 min", "1 h 5 min left", …
    QString detail() const { return detailFor(meta_, pace_); }

    static QString iconFor(const std::u16string& kind);
    static QString detailFor(const Doc::Meta& meta, float pace);

private:
    Doc::Meta meta_;
    float pace_;
};

}  // namespace tovan
