#include "QtClock.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <cmath>

namespace tovan {

QtClock::QtClock() : context_(std::make_unique<QObject>()) { elapsed_.start(); }

QtClock::~QtClock() = default;  // the timers are the context's children

double QtClock::now() const { return double(elapsed_.nsecsElapsed()) / 1e9; }

Clock::TimerId QtClock::callAt(double at, std::function<void()> task) {
    const TimerId id = ++next_;
    auto* t = new QTimer(context_.get());
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
    const double ms = std::ceil((at - now()) * 1000.0);
    t->setInterval(ms > 0 ? int(std::min(ms, 2.0e9)) : 0);
    QObject::connect(t, &QTimer::timeout, context_.get(), [this, id, t, task = std::move(task)] {
        timers_.erase(id);
        t->deleteLater();
        task();
    });
    timers_[id] = t;
    t->start();
    return id;
}

void QtClock::cancel(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void QtClock::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

}  // namespace tovan
