#include "platform/sim/device_files.h"

#include "platform/host/device_folder.h"

namespace platform::sim {

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
  const auto components = host::SplitDevicePath(path, error);
  if (!components) {
    SetLastError(error);
    return nullptr;
  }
  return host::OpenBelow(paths_.fileSystem(), *components, share);
}

}  // namespace platform::sim
