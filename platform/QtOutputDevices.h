#pragma once
// The default output as Qt Multimedia sees it (PulseAudio or PipeWire
// underneath). A device is Bluetooth when the sound server names it after
// its Bluetooth stack ("bluez_…").

#include "OutputDevices.h"

#include <QObject>

class QMediaDevices;

namespace tovan {

class QtOutputDevices final : public QObject, public OutputDevices {
    Q_OBJECT
public:
    explicit QtOutputDevices(QObject* parent = nullptr);
    std::optional<Device> current() override;
    void watch(std::function<void()> changed) override;
    // Whether a device id of the sound server names a Bluetooth device.
    static bool bluetoothID(const std::string& id);

private:
    QMediaDevices* devices_ = nullptr;
    std::function<void()> changed_;
};

}  // namespace tovan
