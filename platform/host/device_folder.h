// A device's file system kept in a host folder, as the simulated device keeps it: the device
// path \A\B is the file A/B of the folder. The one place that maps between the two, for the
// simulated device and for the front ends' file dialogs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform::host {

// The components of a full device path, or nothing (with the error code) when the path is not
// one: it must start with a backslash and name no "..", no empty name and no reserved character.
std::optional<std::vector<std::string>> SplitDevicePath(const std::wstring& path, DWORD& error);

// The device path of a host path inside root (\A\B for root/A/B), or nothing for one outside.
std::optional<std::wstring> DevicePathOf(const std::filesystem::path& root,
                                         const std::filesystem::path& host);

// Every regular file below root, by its device path, sorted. Links are left out: the device
// opens none, and one may lead out of its file system.
std::vector<std::wstring> ListDeviceFiles(const std::filesystem::path& root);

}  // namespace platform::host
