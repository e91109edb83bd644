#pragma once
// The desktop clipboard through QClipboard. X11 and Wayland hold one item;
// its formats are the item's types. Needs a QGuiApplication.
#include "Pasteboard.h"

#include <QObject>

namespace tovan {

class QtPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtPasteboard(QObject* parent = nullptr);

    int64_t changeCount() const override { return count_; }
    std::optional<QString> string() const override;
    std::vector<Item> items() const override;
    void clear() override;
    void write(const std::vector<Item>& items) override;
    void setString(const QString& text) override;

private:
    int64_t count_ = 0;
};

}  // namespace tovan
