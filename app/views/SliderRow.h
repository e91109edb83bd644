#pragma once
// A titled slider with texts at both ends and the committed value at the
// right of the title. It reports a value once per drag, when the user lets
// go, so one drag makes one change however far the thumb travels.

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QSlider;

namespace tovan {

class SliderRow : public QWidget {
    Q_OBJECT
public:
    using Commit = std::function<void(double)>;
    // Positions across the range; fine enough that the slider is continuous
    // to the eye and to the value texts.
    static constexpr int steps = 100000;

    SliderRow(const QString& label, const QString& lo, const QString& hi, double value, double min, double max,
              const QString& shown, Commit commit, QWidget* parent = nullptr);

    // The committed value and its text, from the owner.
    void setValue(double value, const QString& shown);
    double value() const { return value_; }
    QString shownText() const;
    const std::optional<double>& live() const { return live_; }

    // What the slider's own signals do: moving sets the live value only;
    // releasing commits it once (nothing when the thumb never moved).
    void dragTo(double value);
    void release();

    QSlider* slider() const { return slider_; }

private:
    int positionOf(double v) const;
    double valueAt(int position) const;

    double value_;
    double min_, max_;
    std::optional<double> live_;
    Commit commit_;
    QLabel* shown_;
    QSlider* slider_;
};

}  // namespace tovan
