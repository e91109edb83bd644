#include "Hotkey.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace tovan {

namespace {
Hotkey::Backend* backend = nullptr;
bool isInstalled = false;
}  // namespace

void Hotkey::setBackend(Backend* b) { backend = b; }

std::map<std::uint32_t, Hotkey::Action>& Hotkey::handlers() {
    static std::map<std::uint32_t, Action> table;
    return table;
}

bool Hotkey::installed() { return isInstalled; }

void Hotkey::install() {
    if (isInstalled) return;
    isInstalled = true;
    if (backend) backend->install();
}

std::unique_ptr<Hotkey> Hotkey::create(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                                       Action action) {
    std::unique_ptr<Hotkey> key(new Hotkey(id));
    install();
    handlers()[id] = std::move(action);
    if (backend) key->ref_ = backend->registerKey(keyCode, modifiers, id);
    // A refused registration is dropped at once; its release takes the
    // action out of the table again.
    if (!key->ref_) return nullptr;
    return key;
}

Hotkey::~Hotkey() {
    if (ref_ && backend) backend->unregisterKey(*ref_);
    handlers().erase(id_);
}

void Hotkey::pressed(std::uint32_t id) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [id] {
            auto& table = handlers();
            auto it = table.find(id);
            if (it == table.end() || !it->second) return;
            Action action = it->second;  // the action may release its own hot key
            action();
        },
        Qt::QueuedConnection);
}

}  // namespace tovan
