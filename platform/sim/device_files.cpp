#include "platform/sim/device_files.h"

#include "platform/text/utf8.h"

namespace platform::sim {

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

DeviceFiles::DeviceFiles(const DevicePaths& paths, FaultInjector& faults)
    : paths_(paths), faults_(faults) {}

Handle DeviceFiles::CreateFile(const std::wstring& path, DWORD access, DWORD shareMode,
                               DWORD creation, DWORD attributes) {
  if (const auto error = faults_.Enter("CreateFile")) {
    SetLastError(*error);
    return kInvalidHandle;
  }
  return HostFilesBase::CreateFile(path, access, shareMode, creation, attributes);
}

bool DeviceFiles::ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) {
  if (const auto error = faults_.Enter("ReadFile")) {
    if (read)
      *read = 0;
    SetLastError(*error);
    return false;
  }
  return HostFilesBase::ReadFile(file, buffer, toRead, read);
}

DWORD DeviceFiles::SetFilePointer(Handle file, LONG distance, DWORD method) {
  if (const auto error = faults_.Enter("SetFilePointer")) {
    SetLastError(*error);
    return kInvalidSetFilePointer;
  }
  return HostFilesBase::SetFilePointer(file, distance, method);
}

DWORD DeviceFiles::GetFileSize(Handle file, DWORD* high) {
  if (const auto error = faults_.Enter("GetFileSize")) {
    SetLastError(*error);
    return kInvalidFileSize;
  }
  return HostFilesBase::GetFileSize(file, high);
}

bool DeviceFiles::CloseHandle(Handle file) {
  if (const auto error = faults_.Enter("CloseHandle")) {
    SetLastError(*error);
    return false;
  }
  return HostFilesBase::CloseHandle(file);
}

std::unique_ptr<host::ReadOnlyFile> DeviceFiles::OpenPath(const std::wstring& path,
                                                          host::Share share) {
  DWORD error = kErrorSuccess;
  const auto components = SplitDevicePath(path, error);
  if (!components) {
    SetLastError(error);
    return nullptr;
  }
  return host::OpenBelow(paths_.fileSystem(), *components, share);
}

}  // namespace platform::sim
