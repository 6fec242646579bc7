// How this device lays out its 540-byte constants block. The application never looks inside
// it; the tools do, to make a device and to show one.
//   0   Bluetooth address, 6 bytes, most significant first
//   8   frequency offset of the radio's crystal, signed 32-bit, parts per billion
//   12  serial number, 32 ASCII characters padded with NUL
//   44  erased flash (0xFF) to the end
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "bootcfg/boot_settings.h"

namespace tools {

struct DeviceConstants {
  std::array<std::uint8_t, 6> bluetoothAddress{};
  std::int32_t frequencyOffset = 0;
  std::string serialNumber;
};

bootcfg::ConstSettings EncodeConstants(const DeviceConstants& constants);
DeviceConstants DecodeConstants(const bootcfg::ConstSettings& block);
std::string FormatBluetoothAddress(const std::array<std::uint8_t, 6>& address);

}  // namespace tools
