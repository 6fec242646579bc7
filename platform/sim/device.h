// A simulated device persisted in a directory: registry, power manager, HAL over NOR flash,
// BINFS driver, file system, debug log and fault injection. Every change is written to the
// directory before the call that made it returns, in a way that a killed process cannot tear.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/sim/device_files.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"
#include "platform/sim/power_manager.h"
#include "platform/sim/sim_debug_log.h"
#include "platform/sim/sim_devices.h"
#include "platform/sim/sim_events.h"
#include "platform/sim/sim_kernel.h"
#include "platform/sim/sim_registry.h"

namespace platform::sim {

struct RegistryEntry {
  std::wstring key;  // below HKEY_LOCAL_MACHINE
  std::wstring name;
  RegValue value;
};

// Everything a new device starts with.
struct InitialState {
  std::string bootLoader;
  std::array<BYTE, kBootSettingsSize> settings{};
  std::array<BYTE, kConstSettingsSize> constants{};
  DWORD bootLoaderCapacity = 512 * 1024;
  BinfsLayout binfs;
  std::string images[2];  // main, rescue: installed whole, their lengths in the header
  std::vector<RegistryEntry> registry;  // the BINFS driver's key is added by Create
  bool powerManager = true;
  std::vector<std::pair<std::wstring, std::string>> files;  // by device path
};

// Bounds of a device's make beyond which it would take the host's disk or time: a BINFS region
// lives in a host file, and every write sleeps for the delay.
constexpr DWORD kLargestRegion = 512 * 1024 * 1024;
constexpr DWORD kLongestWriteDelay = 10000;  // milliseconds

// Whether the device's folder holds nothing but the lock of a device being made: empty, or being
// made by another program.
bool OnlyBeingMade(const DevicePaths& paths);

class Device {
 public:
  // Makes a new device in dir, which must not exist or be empty. Another program that makes one
  // there meanwhile is told that the device is busy: the last error is then kErrorDeviceInUse.
  // The device appears whole, with its description the last file written.
  static bool Create(const std::filesystem::path& dir, const InitialState& state,
                     std::string& error);
  // Opens an existing device, removing what killed programs left of their changes; null with a
  // message when dir holds none (the last error is kErrorDeviceInUse when one is being made).
  static std::unique_ptr<Device> Open(const std::filesystem::path& dir, std::string& error);

  Files& files() { return files_; }
  Registry& registry() { return registry_; }
  Events& events() { return events_; }
  Devices& devices() { return devices_; }
  Kernel& kernel() { return kernel_; }
  DebugLog& log() { return log_; }

  FaultInjector& faults() { return faults_; }
  SimRegistry& simRegistry() { return registry_; }
  const DevicePaths& paths() const { return paths_; }
  const BinfsLayout& binfsLayout() const { return layout_; }
  DWORD bootLoaderCapacity() const { return bootLoaderCapacity_; }
  // The power manager, or null when the device runs none.
  const PowerManager* powerManager() const { return powerManager_.get(); }

  // Handles, keys, events, driver activations and streams that callers still hold, described;
  // empty when everything was released.
  std::vector<std::string> Unreleased() const;

 private:
  Device(const std::filesystem::path& dir, const BinfsLayout& layout, DWORD bootLoaderCapacity,
         bool powerManager);

  DevicePaths paths_;
  BinfsLayout layout_;
  DWORD bootLoaderCapacity_;
  FaultInjector faults_;
  SimRegistry registry_;
  std::unique_ptr<PowerManager> powerManager_;
  SimEvents events_;
  SimKernel kernel_;
  SimDevices devices_;
  DeviceFiles files_;
  SimDebugLog log_;
};

}  // namespace platform::sim
