// The device's own services behind the platform's chief headers. Each method is one call of the
// device, made through its table of calls (device_calls.h); after a failure the last error is
// the device's own.
#pragma once

#include "platform/debuglog.h"
#include "platform/devices.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/kernel.h"
#include "platform/registry.h"

namespace platform::device {

struct DeviceCalls;

class DeviceFiles final : public Files {
 public:
  explicit DeviceFiles(const DeviceCalls& calls) : calls_(calls) {}
  Handle CreateFile(const std::wstring& path, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) override;
  DWORD SetFilePointer(Handle file, LONG distance, DWORD method) override;
  DWORD GetFileSize(Handle file, DWORD* high) override;
  bool CloseHandle(Handle file) override;

 private:
  const DeviceCalls& calls_;
};

class DeviceRegistry final : public Registry {
 public:
  explicit DeviceRegistry(const DeviceCalls& calls) : calls_(calls) {}
  LONG RegOpenKeyEx(HKEY root, const std::wstring& subKey, DWORD options, DWORD access,
                    HKEY* result) override;
  LONG RegCreateKeyEx(HKEY root, const std::wstring& subKey, DWORD options, DWORD access,
                      HKEY* result) override;
  LONG RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                       DWORD* size) override;
  LONG RegSetValueEx(HKEY key, const std::wstring& name, DWORD reserved, DWORD type,
                     const BYTE* data, DWORD size) override;
  LONG RegDeleteValue(HKEY key, const std::wstring& name) override;
  LONG RegFlushKey(HKEY key) override;
  LONG RegCloseKey(HKEY key) override;

 private:
  const DeviceCalls& calls_;
};

class DeviceEvents final : public Events {
 public:
  explicit DeviceEvents(const DeviceCalls& calls) : calls_(calls) {}
  Handle OpenEvent(DWORD access, bool inherit, const std::wstring& name) override;
  bool EventModify(Handle event, DWORD function) override;
  Handle CreateMutex(bool initialOwner, const std::wstring& name) override;
  bool CloseHandle(Handle object) override;

 private:
  const DeviceCalls& calls_;
};

class DeviceDevices final : public Devices {
 public:
  explicit DeviceDevices(const DeviceCalls& calls) : calls_(calls) {}
  Handle ActivateDevice(const std::wstring& registryPath, DWORD context) override;
  bool DeactivateDevice(Handle driver) override;
  Handle CreateFile(const std::wstring& name, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool DeviceIoControl(Handle device, DWORD code, const void* in, DWORD inSize, void* out,
                       DWORD outSize, DWORD* returned) override;
  bool WriteFile(Handle device, const void* buffer, DWORD toWrite, DWORD* written) override;
  bool CloseHandle(Handle device) override;

 private:
  const DeviceCalls& calls_;
};

class DeviceKernel final : public Kernel {
 public:
  explicit DeviceKernel(const DeviceCalls& calls) : calls_(calls) {}
  bool KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) override;

 private:
  const DeviceCalls& calls_;
};

class DeviceDebugLog final : public DebugLog {
 public:
  explicit DeviceDebugLog(const DeviceCalls& calls) : calls_(calls) {}
  void Print(std::wstring_view text) override;

 private:
  const DeviceCalls& calls_;
};

// The six services over one table of calls.
struct DeviceServices {
  explicit DeviceServices(const DeviceCalls& calls)
      : files(calls), registry(calls), events(calls), devices(calls), kernel(calls), log(calls) {}
  DeviceFiles files;
  DeviceRegistry registry;
  DeviceEvents events;
  DeviceDevices devices;
  DeviceKernel kernel;
  DeviceDebugLog log;
};

}  // namespace platform::device
