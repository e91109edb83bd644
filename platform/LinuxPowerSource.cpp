#include "LinuxPowerSource.h"

#include <QDBusConnection>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tovan {
namespace fs = std::filesystem;

namespace {

std::string attr(const fs::path& dir, const char* name) {
    std::ifstream in(dir / name);
    std::string v;
    std::getline(in, v);
    while (!v.empty() && (v.back() == '\n' || v.back() == '\r' || v.back() == ' '))
        v.pop_back();
    return v;
}

std::optional<int64_t> number(const fs::path& dir, const char* name) {
    const std::string v = attr(dir, name);
    if (v.empty() || v.size() > 18 || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(v);
}

}  // namespace

LinuxPowerSource::LinuxPowerSource(std::string root, QObject* parent) : QObject(parent), root_(std::move(root)) {}

std::optional<PowerSource::Reading> LinuxPowerSource::battery() {
    std::error_code ec;
    std::vector<fs::path> supplies;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec))
        supplies.push_back(it->path());
    std::sort(supplies.begin(), supplies.end());
    bool mains = false;
    std::optional<Reading> out;
    for (const auto& s : supplies) {
        const std::string type = attr(s, "type");
        if ((type == "Mains" || type == "USB") && attr(s, "online") == "1")
            mains = true;
        if (out || type != "Battery" || attr(s, "scope") == "Device" || attr(s, "present") == "0")
            continue;
        std::optional<int64_t> now = number(s, "energy_now"), full = number(s, "energy_full");
        if (!now || !full) {
            now = number(s, "charge_now");
            full = number(s, "charge_full");
        }
        Reading r;
        if (now && full && *full > 0) {
            r.level = static_cast<int>(*now * 100 / *full);
        } else if (auto cap = number(s, "capacity")) {
            r.level = static_cast<int>(std::min<int64_t>(*cap, 100));
        } else {
            continue;
        }
        const std::string status = attr(s, "status");
        r.charging = status == "Charging" || status == "Full";
        out = r;
    }
    if (out && mains)
        out->charging = true;
    return out;
}

bool LinuxPowerSource::watch(std::function<void()> changed) {
    changed_ = std::move(changed);
    // UPower announces every change of its devices; without it a minute's
    // poll still notices the crossing of a threshold.
    QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.UPower"), QString(),
                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                         QStringLiteral("PropertiesChanged"), this, SLOT(upowerChanged()));
    if (!poll_) {
        poll_ = new QTimer(this);
        poll_->setInterval(60000);
        connect(poll_, &QTimer::timeout, this, &LinuxPowerSource::upowerChanged);
        poll_->start();
    }
    return true;
}

void LinuxPowerSource::upowerChanged() {
    if (changed_)
        changed_();
}

}  // namespace tovan
