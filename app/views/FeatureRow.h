#pragma once
// A card-shaped row presenting one capability: an icon tile, the title with
// an optional key hint and a status badge, the explanation under it, the
// control that acts on it at the trailing side, and an optional footer under
// the text column. The row keeps no state of its own beyond what it shows.

#include <QFrame>
#include <QString>

#include <optional>

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace tovan {

class Feature : public QFrame {
    Q_OBJECT
public:
    // The badge beside the title.
    struct State {
        enum class Kind { needs, off, ready };
        Kind kind = Kind::ready;
        QString text;
        static State needs(QString t) { return {Kind::needs, std::move(t)}; }
        static State off(QString t) { return {Kind::off, std::move(t)}; }
        static State ready() { return {}; }
        bool operator==(const State&) const = default;
    };

    static constexpr int padding = 16;
    static constexpr int tileSide = 38;
    static constexpr int lineSpacing = 14;
    // The footer starts under the text column: tile plus spacing.
    static constexpr int footerIndent = tileSide + lineSpacing;

    // The trailing control and the footer (either may be null) become the
    // row's children.
    Feature(const QString& icon, const QString& title, std::optional<QString> keys, const QString& detail,
            State state, QWidget* trailing, QWidget* footer = nullptr, QWidget* parent = nullptr);

    const State& state() const { return state_; }
    void setState(const State& state);
    QLabel* badge() const { return badge_; }
    QWidget* trailing() const { return trailing_; }
    QWidget* footer() const { return footer_; }
    void setFooter(QWidget* footer);

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void styleBadge();

    State state_;
    QLabel* badge_;
    QWidget* trailing_;
    QWidget* footer_ = nullptr;
    QVBoxLayout* card_;
};

}  // namespace tovan
