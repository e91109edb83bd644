#include "WatchedSettings.h"

#include <QMetaObject>
#include <QThread>

namespace tovan {

WatchedSettings::WatchedSettings(std::shared_ptr<SettingsStore> inner, QObject* parent)
    : QObject(parent), inner_(std::move(inner)) {}

std::optional<nlohmann::json> WatchedSettings::value(const std::string& key) const { return inner_->value(key); }

void WatchedSettings::setValue(const std::string& key, nlohmann::json value) {
    inner_->setValue(key, std::move(value));
    announce(key);
}

void WatchedSettings::remove(const std::string& key) {
    inner_->remove(key);
    announce(key);
}

void WatchedSettings::announce(const std::string& key) {
    const QString k = QString::fromStdString(key);
    if (QThread::currentThread() == thread())
        emit changed(k);
    else
        QMetaObject::invokeMethod(this, [this, k] { emit changed(k); }, Qt::QueuedConnection);
}

}  // namespace tovan
