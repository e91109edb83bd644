// Collects the string argument of every emission of one signal, and spins the
// event loop until enough have come (at most 5 s).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

struct Spy {
    QStringList got;
    template <class Sender, class Signal>
    Spy(Sender* sender, Signal signal) {
        QObject::connect(sender, signal, [this](const QString& s) { got << s; });
    }
    bool wait(int n, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return got.size() >= n;
    }
};
