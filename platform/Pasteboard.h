#pragma once
// The general clipboard, seen as items of typed data, with a count that moves
// whenever any program (this one included) puts something new on it.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tovan {

class Pasteboard {
public:
    // One item: its types (MIME names), in order, each with its bytes.
    struct Item {
        std::vector<std::pair<QString, QByteArray>> types;
        bool operator==(const Item&) const = default;
    };

    virtual ~Pasteboard() = default;
    virtual int64_t changeCount() const = 0;
    // The plain text on the clipboard; nothing when it holds no text.
    virtual std::optional<QString> string() const = 0;
    // A copy of everything on the clipboard, types without data left out.
    virtual std::vector<Item> items() const = 0;
    virtual void clear() = 0;
    virtual void write(const std::vector<Item>& items) = 0;
    virtual void setString(const QString& text) = 0;
};

// Kept in memory: the fake for tests, and the clipboard of a headless run.
class MemoryPasteboard final : public Pasteboard {
public:
    int64_t changeCount() const override { return count_; }
    std::optional<QString> string() const override;
    std::vector<Item> items() const override { return items_; }
    void clear() override;
    void write(const std::vector<Item>& items) override;
    void setString(const QString& text) override;

private:
    std::vector<Item> items_;
    int64_t count_ = 0;
};

}  // namespace tovan
