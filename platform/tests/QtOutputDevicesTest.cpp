#include "QtOutputDevices.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tovan {
namespace {
namespace fs = std::filesystem;

TEST(QtOutputDevices, BluetoothIsTheSoundServersBluetoothStack) {
    EXPECT_TRUE(QtOutputDevices::bluetoothID("bluez_output.AA_BB_CC.1"));
    EXPECT_TRUE(QtOutputDevices::bluetoothID("bluez_sink.AA_BB.a2dp_sink"));
    EXPECT_FALSE(QtOutputDevices::bluetoothID("alsa_output.pci-0000_00_1f.3.analog-stereo"));
}

}  // namespace
}  // namespace tovan
