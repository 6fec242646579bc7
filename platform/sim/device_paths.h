// Where a simulated device keeps each part of its state inside its directory.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/host.h"

namespace platform::sim {

// Each is reached from the device's folder without following a link below it.
struct DevicePaths {
  explicit DevicePaths(std::filesystem::path dir) : root(std::move(dir)) {}

  std::filesystem::path root;
  host::Below config() const { return At("device.json"); }
  host::Below registry() const { return At("registry.json"); }
  host::Below bootLoader() const { return At("nor/bootloader.bin"); }
  host::Below settings() const { return At("nor/settings.bin"); }
  host::Below constants() const { return At("nor/constants.bin"); }
  host::Below image(int which) const {
    return At(which == 0 ? "binfs/main.img" : "binfs/rescue.img");
  }
  host::Below imageHeaders() const { return At("binfs/headers.json"); }
  host::Below powerManager() const { return At("power-manager.json"); }
  host::Below faults() const { return At("faults.json"); }
  host::Below debugLog() const { return At("debug.jsonl"); }
  host::Below fileSystem() const { return At("fs"); }
  // The folders that hold the files above.
  std::vector<host::Below> folders() const { return {At("nor"), At("binfs"), fileSystem()}; }
  // Locks: the device being made, every change of its state, the BINFS driver's one user, named
  // mutexes.
  host::Below creationLock() const { return At("creating.lock"); }
  host::Below changeLock() const { return At("device.lock"); }
  host::Below driverLock() const { return At("binfs/driver.lock"); }
  host::Below mutexLock(const std::string& lockName) const {
    return At("mutex-" + lockName + ".lock");
  }
  // The files that the device replaces whole as it changes.
  std::vector<host::Below> replaced() const {
    return {config(), registry(), bootLoader(),   settings(),     constants(),
            image(0), image(1),   imageHeaders(), powerManager(), faults()};
  }

 private:
  host::Below At(const std::string& relative) const { return {root, relative}; }
};

// Held for the length of one change of the device's state, so that a change made by another
// process never interleaves with it. Null, with the last error set, when it cannot be had.
inline std::unique_ptr<host::FileLock> LockForChange(const DevicePaths& paths) {
  return host::LockFile(paths.changeLock(), true, true);
}

}  // namespace platform::sim
