#include "ReadAnywhere.h"

#include <QTimer>

#include "AppModel.h"
#include "KeySender.h"
#include "Pasteboard.h"
#include "QtPasteboard.h"
#include "SelectedText.h"

namespace tovan {
namespace {

struct Installed {
    ReadAnywhere::Parts parts;
    std::unique_ptr<Selection> selection;
};
std::unique_ptr<Installed>& installed() {
    static std::unique_ptr<Installed> it;
    return it;
}

bool blank(const std::optional<QString>& text) { return !text || text->trimmed().isEmpty(); }

void deliver(const std::optional<QString>& text) {
    auto& in = installed();
    if (!in) return;
    if (blank(text)) {
        if (in->parts.beep) in->parts.beep();
        return;
    }
    if (in->parts.read) in->parts.read(*text);
}

}  // namespace

QString ReadAnywhere::untrustedMessage() {
    return QStringLiteral(
        "To read what you select in other apps, Lumora needs to reach the desktop's selection (an X11 or "
        "XWayland session). Until then, select text and choose Read with Lumora from Lumora's actions in "
        "the applications menu.");
}

ReadAnywhere::Parts ReadAnywhere::standardParts() {
    Parts p;
    p.selected = std::make_shared<PrimarySelection>();
    p.board = std::make_shared<QtPasteboard>();
    p.keys = std::make_shared<XcbKeySender>();
    p.after = [](int ms, std::function<void()> fn) { QTimer::singleShot(ms, std::move(fn)); };
    p.read = [](const QString& text) { AppModel::shared().read(text.toStdU16String(), std::nullopt, true); };
    p.problem = [](const QString& message) { AppModel::shared().setProblem(message); };
    return p;
}

void ReadAnywhere::install(Parts parts) {
    auto in = std::make_unique<Installed>();
    in->parts = std::move(parts);
    in->selection = std::make_unique<Selection>(in->parts.selected, in->parts.board, in->parts.keys, in->parts.after);
    installed() = std::move(in);
}

void ReadAnywhere::uninstall() { installed().reset(); }

void ReadAnywhere::readSelection() {
    auto& in = installed();
    if (!in) return;
    SelectedText& selected = *in->parts.selected;
    if (!selected.trusted()) {
        selected.askTrust();
        if (in->parts.problem) in->parts.problem(untrustedMessage());
        return;
    }
    if (!selected.trusted()) {
        if (in->parts.beep) in->parts.beep();
        return;
    }
    const std::optional<QString> text = in->selection->viaAccessibility();
    if (!blank(text)) {
        deliver(text);
        return;
    }
    in->selection->viaCopy([](std::optional<QString> copied) { deliver(copied); });
}

void ReadAnywhere::readClipboard() {
    auto& in = installed();
    if (!in) return;
    deliver(in->parts.board->string());
}

}  // namespace tovan
