#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tovan {

QtPasteboard::QtPasteboard(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) count_++;
    });
}

std::optional<QString> QtPasteboard::string() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

std::vector<Pasteboard::Item> QtPasteboard::items() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data) return {};
    Item item;
    for (const QString& type : data->formats()) {
        QByteArray bytes = data->data(type);
        if (!bytes.isEmpty()) item.types.emplace_back(type, std::move(bytes));
    }
    if (item.types.empty()) return {};
    return {item};
}

void QtPasteboard::clear() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void QtPasteboard::write(const std::vector<Item>& items) {
    // The desktop clipboard holds one item: every item's types go into it,
    // the first item's version of a type winning.
    auto* data = new QMimeData;
    for (const auto& item : items)
        for (const auto& [type, bytes] : item.types)
            if (!data->hasFormat(type)) data->setData(type, bytes);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void QtPasteboard::setString(const QString& text) { QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard); }

}  // namespace tovan
