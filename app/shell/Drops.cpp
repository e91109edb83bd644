#include "Drops.h"

#include <QMimeData>

namespace tovan {

void Drops::handle(const QMimeData& data, const Roads& roads) {
    auto library = [&] {
        if (roads.showLibrary) roads.showLibrary();
    };
    const QList<QUrl> urls = data.hasUrls() ? data.urls() : QList<QUrl>{};
    bool anyUrl = false;
    for (const QUrl& url : urls) {
        if (!url.isValid() || url.isEmpty()) continue;
        anyUrl = true;
        library();
        if (url.isLocalFile()) {
            if (roads.openFile) roads.openFile(url.toLocalFile().toStdString(), true);
        } else if (roads.openLink) {
            roads.openLink(url, true);
        }
    }
    if (anyUrl || !data.hasText()) return;
    const QString text = data.text();
    if (text.isEmpty()) return;
    library();
    if (roads.read) roads.read(text, true);
}

}  // namespace tovan
