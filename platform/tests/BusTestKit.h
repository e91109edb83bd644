// A thread for the service objects a bus test calls synchronously: the
// service answers there while the test's own thread waits for the reply.
#pragma once

#include <QThread>

class ServiceThread {
public:
    ServiceThread() { thread_.start(); }
    ~ServiceThread() {
        thread_.quit();
        thread_.wait();
    }
    QThread* thread() { return &thread_; }

private:
    QThread thread_;
};
