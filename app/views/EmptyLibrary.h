#pragma once
// The reading-list section while the list is empty: the badge, a welcome,
// four tiles with the add actions, a way to the free books and a hint about
// dropping files and the read-selection hot key.

#include <QWidget>

namespace tovan {

class AppModel;
struct ViewHooks;

class EmptyLibrary : public QWidget {
    Q_OBJECT
public:
    EmptyLibrary(AppModel& app, ViewHooks& hooks, QWidget* parent = nullptr);
};

}  // namespace tovan
