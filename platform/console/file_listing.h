// The file dialog's list: the device's files that a filter matches, by their device paths.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::console {

// Case-insensitive match of a file name against a pattern with * and ?.
bool Matches(const std::wstring& name, const std::wstring& pattern);

// The patterns of a filter "Description (pattern)|pattern;pattern|...||".
std::vector<std::wstring> Patterns(const std::wstring& filter);

// The regular files below root (the host folder behind the device's file system) that the
// filter matches, as sorted device paths (\A\B). Links are left out: the device opens none,
// and one may lead out of its file system.
std::vector<std::wstring> ListDeviceFiles(const std::filesystem::path& root,
                                          const std::wstring& filter);

}  // namespace platform::console
