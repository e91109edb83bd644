#include "SymbolIcon.h"

#include <QApplication>
#include <QStyle>

#include <map>

namespace tovan {

QString themeIconName(const QString& symbol) {
    static const std::map<QString, QString> names = {
        {"book.closed", "accessories-dictionary"},
        {"text.cursor", "edit-select-all"},
        {"contextualmenu.and.cursorarrow", "open-menu"},
        {"doc.on.clipboard", "edit-paste"},
        {"playpause", "media-playback-start"},
        {"menubar.rectangle", "preferences-system-windows"},
        {"hifispeaker.2", "audio-speakers"},
        {"waveform.badge.plus", "document-save-as"},
        {"checkmark.circle.fill", "emblem-ok"},
        {"circle", "radio-button-off"},
        {"star.fill", "starred"},
        {"star", "non-starred"},
        {"play.fill", "media-playback-start"},
    };
    auto it = names.find(symbol);
    return it == names.end() ? symbol : it->second;
}

QIcon symbolIcon(const QString& symbol) {
    QIcon icon = QIcon::fromTheme(themeIconName(symbol));
    if (!icon.isNull() || !qApp) return icon;
    return qApp->style()->standardIcon(QStyle::SP_FileIcon);
}

}  // namespace tovan
