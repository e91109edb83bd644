#pragma once
// The real clock and main queue: timers and posted tasks on the Qt event
// loop of the thread that makes it (the main thread; a QCoreApplication must
// exist). Tasks still pending when it is destroyed are dropped.

#include "Clock.h"

#include <QElapsedTimer>

#include <map>
#include <memory>

class QObject;
class QTimer;

namespace tovan {

class QtClock final : public Clock, public MainQueue {
public:
    QtClock();
    ~QtClock() override;
    double now() const override;
    TimerId callAt(double at, std::function<void()> task) override;
    void cancel(TimerId id) override;
    void post(std::function<void()> task) override;

private:
    std::unique_ptr<QObject> context_;
    QElapsedTimer elapsed_;
    TimerId next_ = 0;
    std::map<TimerId, QTimer*> timers_;
};

}  // namespace tovan
