#pragma once
// The player bar's choice of where the reading is heard: a small button whose
// menu names the output now in use, then "Default output" and the machine's
// audio outputs, the one in use ticked. Choosing one hands its id ("" for
// the default) to `onChoose`, which moves the reading there; without it the
// entries are listed for information only.

#include <functional>
#include <string>

#include <QToolButton>

class QMenu;

namespace tovan {

class AudioOutput;

class RoutePicker : public QToolButton {
    Q_OBJECT
public:
    explicit RoutePicker(AudioOutput* output, QWidget* parent = nullptr);

    void setOutput(AudioOutput* output) { output_ = output; }
    std::function<void(const std::string& device)> onChoose;

    // Builds the menu's entries now (it is built each time it opens).
    void fill();
    QMenu* menu() const { return menu_; }

private:
    AudioOutput* output_;
    QMenu* menu_;
};

}  // namespace tovan
