#pragma once
// Tells when the screen locks and unlocks. Signals arrive on the thread that
// made the object (the main thread).

#include <QObject>

#include <memory>

namespace tovan {

class ScreenLock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ScreenLock() override = default;

    // The desktop's signals: LinuxScreenLock.
    static std::unique_ptr<ScreenLock> system();

signals:
    void locked();
    void unlocked();
};

}  // namespace tovan
