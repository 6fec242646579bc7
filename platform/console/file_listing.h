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

// The device's files (kept below root) whose names the filter matches, by their device paths.
std::vector<std::wstring> ListMatchingFiles(const std::filesystem::path& root,
                                            const std::wstring& filter);

}  // namespace platform::console
