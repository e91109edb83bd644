#include "LinuxPowerSource.h"

#include <array>
#include <gtest/gtest.h>

#include "TempDir.h"

namespace tovan {
namespace {
using test::TempDir;
namespace fs = std::filesystem;

TEST(LinuxPowerSource, ReadsTheMachinesOwnBattery) {
    struct Case {
        const char* what;
        std::vector<std::array<std::string, 3>> attrs;
        std::optional<PowerSource::Reading> reading;
    };
    const Case cases[] = {
        {"no supplies", {}, std::nullopt},
        {"energy counts", {{"BAT0", "type", "Battery"}, {"BAT0", "energy_now", "19990"}, {"BAT0", "energy_full", "100000"},
                           {"BAT0", "status", "Discharging"}}, PowerSource::Reading{19, false}},
        {"charge counts", {{"BAT1", "type", "Battery"}, {"BAT1", "charge_now", "500"}, {"BAT1", "charge_full", "1000"}},
         PowerSource::Reading{50, false}},
        {"capacity only, on mains", {{"AC", "type", "Mains"}, {"AC", "online", "1"}, {"BAT0", "type", "Battery"},
                                     {"BAT0", "capacity", "87"}, {"BAT0", "status", "Not charging"}},
         PowerSource::Reading{87, true}},
        {"mains offline", {{"AC", "type", "Mains"}, {"AC", "online", "0"}, {"BAT0", "type", "Battery"},
                           {"BAT0", "capacity", "30"}}, PowerSource::Reading{30, false}},
        {"a mouse's battery is not the machine's", {{"hidpp_battery_0", "type", "Battery"},
                                                    {"hidpp_battery_0", "scope", "Device"},
                                                    {"hidpp_battery_0", "capacity", "5"}}, std::nullopt},
        {"zero full energy falls back to capacity", {{"BAT0", "type", "Battery"}, {"BAT0", "energy_now", "10"},
                                                     {"BAT0", "energy_full", "0"}, {"BAT0", "capacity", "42"}},
         PowerSource::Reading{42, false}},
        {"garbage numbers", {{"BAT0", "type", "Battery"}, {"BAT0", "capacity", "lots"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        TempDir t;
        for (const auto& a : c.attrs)
            t.write(a[0] + "/" + a[1], a[2] + "\n");
        LinuxPowerSource p(t.path.string());
        EXPECT_EQ(p.battery(), c.reading) << c.what;
    }
}

}  // namespace
}  // namespace tovan
