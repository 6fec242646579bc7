// The device's boot loader at power-on, as far as an update concerns it: which image it starts,
// and whether that image is whole. It reads what the device holds: the settings block (its
// checksum, then wBootImage) and the BINFS partition's header and images.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/sim/device_paths.h"
#include "platform/types.h"

namespace platform::sim {

struct BootDecision {
  int image = 0;                // 0 main, 1 rescue
  std::string reason;           // why the boot loader takes that image
  std::optional<DWORD> length;  // what the header records for it
  std::uint64_t written = 0;    // the bytes its region holds
  bool whole = false;           // a length is recorded, and exactly that many bytes are written
};

BootDecision DecideBoot(const DevicePaths& paths);

}  // namespace platform::sim
