#pragma once
// Toggle-like buttons drawn as capsule chips, and a wrapping row of them of
// which one is the selected one.

#include <QAbstractButton>
#include <QStringList>

#include <functional>
#include <vector>

namespace tovan {

class Flow;

// A button drawn as a chip: on (chosen: accent text and outline on the soft
// accent) or off (plain text on the control background, separator outline).
class Chip : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int padX = 11;
    static constexpr int padY = 5;

    explicit Chip(const QString& text = {}, bool on = false, QWidget* parent = nullptr);

    bool on() const { return on_; }
    void setOn(bool on);

    // What the chip is painted with.
    struct Look {
        QColor text, fill, outline;
        qreal opacity;
    };
    static Look lookFor(bool on, bool pressed, const QPalette& palette);
    Look look() const { return lookFor(on_, isDown(), palette()); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    bool on_;
};

// One chip per item in a Flow with spacing 6; the chip whose text equals
// `selected` is on. Clicking a chip hands its text to `pick` (also when it is
// already on); the owner changes the selection with setSelected().
class FlowChips : public QWidget {
    Q_OBJECT
public:
    using Pick = std::function<void(const QString&)>;

    FlowChips(QStringList items, QString selected, Pick pick, QWidget* parent = nullptr);

    const QStringList& items() const { return items_; }
    const QString& selected() const { return selected_; }
    void setSelected(const QString& selected);
    const std::vector<Chip*>& chips() const { return chips_; }

    bool hasHeightForWidth() const override { return true; }

private:
    QStringList items_;
    QString selected_;
    Pick pick_;
    std::vector<Chip*> chips_;
};

}  // namespace tovan
