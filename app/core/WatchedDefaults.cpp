#include "WatchedDefaults.h"

#include <QMetaObject>
#include <QThread>

namespace tovan {

WatchedDefaults::WatchedDefaults(std::shared_ptr<Defaults> inner, QObject* parent)
    : QObject(parent), inner_(std::move(inner)) {}

std::optional<nlohmann::json> WatchedDefaults::value(const std::string& key) const { return inner_->value(key); }

void WatchedDefaults::setValue(const std::string& key, nlohmann::json value) {
    inner_->setValue(key, std::move(value));
    announce(key);
}

void WatchedDefaults::remove(const std::string& key) {
    inner_->remove(key);
    announce(key);
}

void WatchedDefaults::announce(const std::string& key) {
    const QString k = QString::fromStdString(key);
    if (QThread::currentThread() == thread())
        emit changed(k);
    else
        QMetaObject::invokeMethod(this, [this, k] { emit changed(k); }, Qt::QueuedConnection);
}

}  // namespace tovan
