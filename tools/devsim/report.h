// What devsim tells of a device: its state, read once into one record, and rendered as text or
// as JSON (devsim show [--json]; the tests read the JSON too).
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/boot_loader.h"
#include "platform/sim/device.h"
#include "tools/common/device_constants.h"

namespace tools {

struct SettingsState {
  int bootImage = 0;
  bool checksumOk = false;
  platform::DWORD mainMaxSize = 0;
  platform::DWORD rescueMaxSize = 0;
  int clearedOnSelect = 0;
};

struct ImageState {
  std::optional<platform::DWORD> length;  // what the header records
  std::uint64_t written = 0;
  bool whole = false;
  platform::DWORD region = 0;
  std::string sha256;
};

struct DeviceState {
  std::string device;
  std::string settingsHex;
  std::optional<SettingsState> settings;  // when the block is 112 bytes
  std::string constantsHex;
  std::optional<DeviceConstants> constants;  // when the block is 540 bytes
  std::uint64_t bootLoaderSize = 0;
  std::string bootLoaderSha256;
  ImageState images[2];  // main, rescue
  platform::DWORD sectorSize = 0;
  platform::sim::BootDecision boot;
  platform::sim::EnforcedTimeouts timeouts;  // as the registry holds them
  std::optional<std::string> storeFolder;
  std::optional<platform::sim::EnforcedTimeouts> enforced;  // by a running power manager
  std::size_t reloads = 0;
  std::vector<std::string> faults;
};

DeviceState ReadDeviceState(platform::sim::Device& device);
nlohmann::json RenderJson(const DeviceState& state);
std::string RenderText(const DeviceState& state);

// The device's state as JSON, as devsim show --json prints it.
inline nlohmann::json DescribeDevice(platform::sim::Device& device) {
  return RenderJson(ReadDeviceState(device));
}

}  // namespace tools
