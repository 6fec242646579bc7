// The device's power manager, as far as the application meets it: it owns the named event
// "PowerManager/ReloadActivityTimeouts" and, when the event is set, reloads its AC timeouts
// from the registry and enforces them. What it enforces, and each reload, is kept in the device
// directory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/device_paths.h"
#include "platform/sim/sim_registry.h"

namespace platform::sim {

extern const wchar_t kPowerTimeoutsKey[];  // below HKEY_LOCAL_MACHINE
extern const wchar_t* const kPowerTimeoutNames[3];

struct EnforcedTimeouts {
  // A value missing from the registry leaves the power manager's own default in force.
  std::optional<DWORD> values[3];
};

class PowerManager {
 public:
  PowerManager(const DevicePaths& paths, SimRegistry& registry);

  bool Load(std::string& error);
  bool ReloadActivityTimeouts();

  const EnforcedTimeouts& enforced() const { return enforced_; }
  // Each reload, oldest first (the most recent ones only).
  const std::vector<EnforcedTimeouts>& reloads() const { return reloads_; }

 private:
  bool Save();

  const DevicePaths& paths_;
  SimRegistry& registry_;
  EnforcedTimeouts enforced_;
  std::vector<EnforcedTimeouts> reloads_;
};

}  // namespace platform::sim
