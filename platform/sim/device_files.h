// The device's file system: the device path \A\B is the file fs/A/B of the device directory.
// Nothing outside fs/ can be reached: ".." and links are refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/host/host_files.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"

namespace platform::sim {

class DeviceFiles final : public HostFilesBase {
 public:
  DeviceFiles(const DevicePaths& paths, FaultInjector& faults);

  Handle CreateFile(const std::wstring& path, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override;
  DWORD SetFilePointer(Handle file, LONG distance, DWORD method) override;
  DWORD GetFileSize(Handle file, DWORD* high) override;
  bool CloseHandle(Handle file) override;

 protected:
  std::unique_ptr<host::ReadOnlyFile> OpenPath(const std::wstring& path,
                                               host::Share share) override;

 private:
  const DevicePaths& paths_;
  FaultInjector& faults_;
};

}  // namespace platform::sim
