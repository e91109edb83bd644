#pragma once
// Capturing what is selected in the application in front: first the
// desktop's selection, and when that gives nothing, a Copy keystroke sent to
// that application, whose result is read from the clipboard a moment later
// before the user's clipboard is put back exactly as it was.
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tovan {

class KeySender;
class Pasteboard;
class SelectedText;

class Selection {
public:
    // Runs a function on the main thread after the given milliseconds.
    using After = std::function<void(int ms, std::function<void()> fn)>;
    // How long the other application gets to answer the Copy keystroke.
    static constexpr int copyWaitMs = 250;

    Selection(std::shared_ptr<SelectedText> selected, std::shared_ptr<Pasteboard> board,
              std::shared_ptr<KeySender> keys, After after);

    // The selected text (possibly empty), or nothing.
    std::optional<QString> viaAccessibility();
    // Sends Copy; `completion` gets the copied text, or nothing when the
    // other application copied nothing, after copyWaitMs on the main thread.
    // While one capture waits, a second one is refused at once (completion
    // with nothing and no keystroke): its keystroke would copy over the
    // first capture's and the clipboard could no longer be put back.
    void viaCopy(std::function<void(std::optional<QString>)> completion);
    bool capturing() const { return *capturing_; }

private:
    std::shared_ptr<SelectedText> selected_;
    std::shared_ptr<Pasteboard> board_;
    std::shared_ptr<KeySender> keys_;
    After after_;
    // Shared with a pending continuation, which may outlive this object.
    std::shared_ptr<bool> capturing_ = std::make_shared<bool>(false);
};

}  // namespace tovan
