#include "Pasteboard.h"

namespace tovan {

std::optional<QString> MemoryPasteboard::string() const {
    for (const auto& item : items_)
        for (const auto& [type, data] : item.types)
            if (type == QLatin1String("text/plain") || type == QLatin1String("text/plain;charset=utf-8"))
                return QString::fromUtf8(data);
    return std::nullopt;
}

void MemoryPasteboard::clear() {
    items_.clear();
    count_++;
}

void MemoryPasteboard::write(const std::vector<Item>& items) {
    items_.insert(items_.end(), items.begin(), items.end());
    count_++;
}

void MemoryPasteboard::setString(const QString& text) {
    items_ = {Item{{{QStringLiteral("text/plain"), text.toUtf8()}}}};
    count_++;
}

}  // namespace tovan
