#include "platform/console/file_listing.h"

#include <algorithm>
#include <cwctype>

#include "platform/host/device_folder.h"

namespace platform::console {

bool Matches(const std::wstring& name, const std::wstring& pattern) {
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t star = std::wstring::npos;
  std::size_t mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == L'?' || std::towlower(static_cast<wint_t>(pattern[p])) ==
                                   std::towlower(static_cast<wint_t>(name[n])))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = n;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}

std::vector<std::wstring> Patterns(const std::wstring& filter) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (const wchar_t c : filter) {
    if (c == L'|') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  std::vector<std::wstring> patterns;
  for (std::size_t i = 1; i < parts.size(); i += 2) {
    std::wstring pattern;
    for (const wchar_t c : parts[i] + L";") {
      if (c == L';') {
        if (!pattern.empty())
          patterns.push_back(pattern);
        pattern.clear();
      } else {
        pattern += c;
      }
    }
  }
  return patterns;
}

std::vector<std::wstring> ListMatchingFiles(const std::filesystem::path& root,
                                            const std::wstring& filter) {
  const std::vector<std::wstring> patterns = Patterns(filter);
  std::vector<std::wstring> files;
  for (const std::wstring& devicePath : host::ListDeviceFiles(root)) {
    const std::wstring name = devicePath.substr(devicePath.rfind(L'\\') + 1);
    if (std::any_of(patterns.begin(), patterns.end(),
                    [&name](const std::wstring& pattern) { return Matches(name, pattern); })) {
      files.push_back(devicePath);
    }
  }
  return files;
}

}  // namespace platform::console
