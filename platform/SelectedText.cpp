#include "SelectedText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tovan {

std::optional<QString> PrimarySelection::selection() {
    QClipboard* clip = QGuiApplication::clipboard();
    if (!clip || !clip->supportsSelection()) return std::nullopt;
    const QMimeData* data = clip->mimeData(QClipboard::Selection);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

}  // namespace tovan
