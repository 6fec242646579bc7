// Where a simulated device keeps each part of its state inside its directory.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/host/host.h"

namespace platform::sim {

struct DevicePaths {
  explicit DevicePaths(std::filesystem::path dir) : root(std::move(dir)) {}

  std::filesystem::path root;
  std::filesystem::path config() const { return root / "device.json"; }
  std::filesystem::path registry() const { return root / "registry.json"; }
  std::filesystem::path bootLoader() const { return root / "nor" / "bootloader.bin"; }
  std::filesystem::path settings() const { return root / "nor" / "settings.bin"; }
  std::filesystem::path constants() const { return root / "nor" / "constants.bin"; }
  std::filesystem::path image(int which) const {
    return root / "binfs" / (which == 0 ? "main.img" : "rescue.img");
  }
  std::filesystem::path imageHeaders() const { return root / "binfs" / "headers.json"; }
  std::filesystem::path powerManager() const { return root / "power-manager.json"; }
  std::filesystem::path faults() const { return root / "faults.json"; }
  std::filesystem::path debugLog() const { return root / "debug.jsonl"; }
  std::filesystem::path fileSystem() const { return root / "fs"; }
  // Locks: every change of the device's state, the BINFS driver's one user, named mutexes.
  std::filesystem::path changeLock() const { return root / "device.lock"; }
  std::filesystem::path driverLock() const { return root / "binfs" / "driver.lock"; }
  std::filesystem::path mutexLock(const std::string& hexName) const {
    return root / ("mutex-" + hexName + ".lock");
  }
};

// Held for the length of one change of the device's state, so that a change made by another
// process never interleaves with it. Null, with the last error set, when it cannot be had.
inline std::unique_ptr<host::FileLock> LockForChange(const DevicePaths& paths) {
  return host::LockFile(paths.changeLock(), true, true);
}

}  // namespace platform::sim
