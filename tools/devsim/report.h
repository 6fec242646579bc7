// What devsim tells of a device: its state, and what its boot loader would start.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "platform/sim/device.h"

namespace tools {

// The device's state as JSON (see devsim show --json).
nlohmann::json DescribeDevice(platform::sim::Device& device);
std::string RenderDevice(const nlohmann::json& state);

struct BootDecision {
  int image = 0;       // 0 main, 1 rescue
  std::string reason;  // why the boot loader takes that image
  bool whole = false;  // written length equals the length recorded in the header
  nlohmann::json imageState;
};

BootDecision DecideBoot(const nlohmann::json& state);

}  // namespace tools
