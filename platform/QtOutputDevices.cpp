#include "QtOutputDevices.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <algorithm>
#include <cctype>

namespace tovan {

QtOutputDevices::QtOutputDevices(QObject* parent) : QObject(parent) {}

bool QtOutputDevices::bluetoothID(const std::string& id) {
    std::string low = id;
    std::transform(low.begin(), low.end(), low.begin(), [](unsigned char c) { return std::tolower(c); });
    return low.find("bluez") != std::string::npos || low.find("bluetooth") != std::string::npos;
}

std::optional<OutputDevices::Device> QtOutputDevices::current() {
    const QAudioDevice d = QMediaDevices::defaultAudioOutput();
    if (d.isNull() || d.description().isEmpty())
        return std::nullopt;
    return Device{d.description().toStdU16String(), bluetoothID(d.id().toStdString())};
}

void QtOutputDevices::watch(std::function<void()> changed) {
    changed_ = std::move(changed);
    if (!devices_) {
        devices_ = new QMediaDevices(this);
        connect(devices_, &QMediaDevices::audioOutputsChanged, this, [this] {
            if (changed_)
                changed_();
        });
    }
}

}  // namespace tovan
