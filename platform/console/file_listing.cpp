#include "platform/console/file_listing.h"

#include <algorithm>
#include <cwctype>
#include <system_error>

#include "platform/text/utf8.h"

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

std::vector<std::wstring> ListDeviceFiles(const std::filesystem::path& root,
                                          const std::wstring& filter) {
  std::vector<std::wstring> files;
  const std::vector<std::wstring> patterns = Patterns(filter);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_symlink(ec) || !it->is_regular_file(ec))
      continue;
    const std::wstring name = FromUtf8(it->path().filename().u8string());
    if (std::none_of(patterns.begin(), patterns.end(),
                     [&name](const std::wstring& pattern) { return Matches(name, pattern); })) {
      continue;
    }
    std::wstring devicePath;
    for (const auto& part : it->path().lexically_relative(root)) {
      devicePath += L"\\" + FromUtf8(part.u8string());
    }
    files.push_back(devicePath);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace platform::console
