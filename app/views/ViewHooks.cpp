#include "ViewHooks.h"

#include <QDesktopServices>

namespace tovan {

ViewHooks& ViewHooks::shared() {
    static ViewHooks hooks = [] {
        ViewHooks h;
        h.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
        return h;
    }();
    return hooks;
}

}  // namespace tovan
