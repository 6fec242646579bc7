// What devsim tells of a device: its state, with what its boot loader would start.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "platform/sim/device.h"

namespace tools {

// The device's state as JSON (see devsim show --json).
nlohmann::json DescribeDevice(platform::sim::Device& device);
std::string RenderDevice(const nlohmann::json& state);

}  // namespace tools
