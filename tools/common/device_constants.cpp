#include "tools/common/device_constants.h"

#include <algorithm>
#include <cstdio>

namespace tools {

namespace {
constexpr std::size_t kAddressOffset = 0;
constexpr std::size_t kFrequencyOffset = 8;
constexpr std::size_t kSerialOffset = 12;
constexpr std::size_t kSerialLength = 32;
}  // namespace

bootcfg::ConstSettings EncodeConstants(const DeviceConstants& constants) {
  bootcfg::ConstSettings block;
  block.bytes.fill(0xFF);
  std::copy(constants.bluetoothAddress.begin(), constants.bluetoothAddress.end(),
            block.bytes.begin() + kAddressOffset);
  block.bytes[6] = block.bytes[7] = 0;
  platform::StoreLittleEndian(&block.bytes[kFrequencyOffset],
                              static_cast<std::uint32_t>(constants.frequencyOffset));
  for (std::size_t i = 0; i < kSerialLength; ++i) {
    block.bytes[kSerialOffset + i] = i < constants.serialNumber.size()
                                         ? static_cast<std::uint8_t>(constants.serialNumber[i])
                                         : 0;
  }
  return block;
}

DeviceConstants DecodeConstants(const bootcfg::ConstSettings& block) {
  DeviceConstants constants;
  std::copy_n(block.bytes.begin() + kAddressOffset, 6, constants.bluetoothAddress.begin());
  constants.frequencyOffset = static_cast<std::int32_t>(
      platform::LoadLittleEndian<std::uint32_t>(&block.bytes[kFrequencyOffset]));
  for (std::size_t i = 0; i < kSerialLength && block.bytes[kSerialOffset + i] != 0; ++i) {
    const auto c = static_cast<char>(block.bytes[kSerialOffset + i]);
    constants.serialNumber += c >= 32 && c < 127 ? c : '?';
  }
  return constants;
}

std::string FormatBluetoothAddress(const std::array<std::uint8_t, 6>& address) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", address[0], address[1],
                address[2], address[3], address[4], address[5]);
  return text;
}

}  // namespace tools
