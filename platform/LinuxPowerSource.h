#pragma once
// The battery as the kernel reports it under /sys/class/power_supply: the
// first supply of type "Battery" that powers the machine itself (scope not
// "Device", which marks a mouse's or a headset's battery); its level from
// energy_now/energy_full or charge_now/charge_full, else "capacity". On mains
// when any "Mains" or "USB" supply is online, or the battery says "Charging"
// or "Full". Changes arrive from UPower's signals on the system bus when it
// runs, and from a poll once a minute either way.

#include "PowerSource.h"

#include <QObject>

#include <string>

class QTimer;

namespace tovan {

class LinuxPowerSource final : public QObject, public PowerSource {
    Q_OBJECT
public:
    explicit LinuxPowerSource(std::string root = "/sys/class/power_supply", QObject* parent = nullptr);
    std::optional<Reading> battery() override;
    bool watch(std::function<void()> changed) override;

private slots:
    void upowerChanged();

private:
    std::string root_;
    std::function<void()> changed_;
    QTimer* poll_ = nullptr;
};

}  // namespace tovan
