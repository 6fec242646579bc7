#include "platform/host/device_folder.h"

#include <algorithm>
#include <system_error>

#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::host {

namespace {

bool SameName(const std::filesystem::path& a, const std::filesystem::path& b) {
#ifdef _WIN32
  return LowerCase(a.native()) == LowerCase(b.native());
#else
  return EqualIgnoringAsciiCase(a.native(), b.native());
#endif
}

}  // namespace

std::optional<std::vector<std::string>> SplitDevicePath(const std::wstring& path, DWORD& error) {
  error = kErrorInvalidName;
  if (path.empty() || (path[0] != L'\\' && path[0] != L'/'))
    return std::nullopt;
  std::vector<std::string> components;
  std::wstring current;
  for (std::size_t i = 1; i <= path.size(); ++i) {
    const wchar_t c = i < path.size() ? path[i] : L'\\';
    if (c == L'\\' || c == L'/') {
      if (current.empty() || current == L"." || current == L"..")
        return std::nullopt;
      components.push_back(ToUtf8(current));
      current.clear();
    } else if (c < 32 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) {
      return std::nullopt;
    } else {
      current += c;
    }
  }
  return components;
}

std::optional<std::wstring> DevicePathOf(const std::filesystem::path& root,
                                         const std::filesystem::path& host) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::absolute(root, ec).lexically_normal();
  const std::filesystem::path file = std::filesystem::absolute(host, ec).lexically_normal();
  if (ec)
    return std::nullopt;
  // Names are found without regard to case, as on the device; a host's name that is no text is
  // compared as it stands.
  auto part = file.begin();
  for (const auto& name : base) {
    if (name.empty())
      continue;
    if (part == file.end() || !SameName(*part, name))
      return std::nullopt;
    ++part;
  }
  std::wstring devicePath;
  for (; part != file.end(); ++part) {
    if (!part->empty())
      devicePath += L"\\" + FromUtf8(part->u8string());
  }
  if (devicePath.empty())
    return std::nullopt;
  return devicePath;
}

std::vector<std::wstring> ListDeviceFiles(const std::filesystem::path& root) {
  std::vector<std::wstring> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_symlink(ec) || !it->is_regular_file(ec))
      continue;
    if (const auto devicePath = DevicePathOf(root, it->path()))
      files.push_back(*devicePath);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace platform::host
