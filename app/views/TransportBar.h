#pragma once
// The player bar under the main window's detail: title and status, the
// previous / play-pause / next buttons, a scrub slider over the sentences with
// the percentage read and the time left, the speed, voice and sleep-timer
// menus and the output picker. It shows nothing while no document is current.
//
// Its only state of its own is where the slider is held during a drag; the
// reading moves only when the drag ends.

#include <optional>

#include <QWidget>

class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace tovan {

class AppModel;
class Doc;
class ReadingState;
class RoutePicker;
class VoiceMenu;

class TransportBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double SPEEDS[] = {0.75, 0.9, 1.0, 1.15, 1.3, 1.5, 1.75, 2.0};
    static constexpr int SLEEP_MINUTES[] = {5, 10, 15, 30, 45, 60};

    TransportBar(AppModel& app, ReadingState& reading, QWidget* parent = nullptr);

    // The line under the title: a problem, "Getting the voice ready…", the
    // author, or "<voice> reading".
    QString status(const Doc& doc) const;
    // "59 s left", "1 min left", "2 h 2 min left".
    static QString timeLeft(double secondsLeft);
    // "1×", "1.5×", "1.75×" (single precision throughout).
    static QString speedLabel(float speed);
    // The rate the reading is heard at: the reading speed times the style's
    // pace. The speed menu shows and sets this figure.
    float heardSpeed() const;
    // The reading speed that gives this heard rate at the style's pace.
    float speedFor(float heard) const;
    // The slider's upper end: max(sentences, 2) - 1.
    static double sliderTop(int64_t sentences);

    // The drag in progress, if any (the slider's position while held).
    std::optional<double> scrub() const { return scrub_; }
    // What the slider does when the user moves and lets go of it.
    void dragTo(double value);
    void endDrag();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void refresh();
    void refreshMenus();

    AppModel& app_;
    ReadingState& reading_;
    std::optional<double> scrub_;

    QLabel* title_;
    QLabel* status_;
    QToolButton* previous_;
    QToolButton* play_;
    QToolButton* next_;
    QSlider* slider_;
    QLabel* percent_;
    QLabel* left_;
    QToolButton* speed_;
    QMenu* speedItems_;
    VoiceMenu* voice_;
    QToolButton* sleep_;
    QMenu* sleepItems_;
    RoutePicker* route_;
};

}  // namespace tovan
