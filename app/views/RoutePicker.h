#pragma once
// The player bar's choice of where the reading is heard: a small button whose
// menu names the output now in use and the machine's audio outputs.
//
// The sentence player keeps one output for its whole life, so moving the
// reading to another device is handed to `onChoose`; without one the devices
// are listed for information only.

#include <functional>

#include <QAudioDevice>
#include <QToolButton>

class QMenu;

namespace tovan {

class AudioOutput;

class RoutePicker : public QToolButton {
    Q_OBJECT
public:
    explicit RoutePicker(AudioOutput* output, QWidget* parent = nullptr);

    void setOutput(AudioOutput* output) { output_ = output; }
    std::function<void(const QAudioDevice& device)> onChoose;

private:
    void fill();

    AudioOutput* output_;
    QMenu* menu_;
};

}  // namespace tovan
