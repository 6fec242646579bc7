#include "platform/device/device_services.h"

#include <string>

#include "platform/device/device_calls.h"

// At the top level, where the Windows headers' names (HKEY in HKEY_LOCAL_MACHINE) are their own.
namespace {

HANDLE Native(platform::Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
platform::Handle Ours(HANDLE handle) {
  return reinterpret_cast<platform::Handle>(handle);
}
HKEY NativeKey(platform::HKEY key) {
  // The predefined key is a sign-extended 32-bit value.
  if (key == platform::kHkeyLocalMachine)
    return HKEY_LOCAL_MACHINE;
  return reinterpret_cast<HKEY>(key);
}

// The device's DWORD is unsigned long, the platform's a 32-bit unsigned int: the counts travel
// through one of the device's own.
class Count {
 public:
  explicit Count(platform::DWORD* count) : count_(count) {}
  Count(const Count&) = delete;
  Count& operator=(const Count&) = delete;
  ~Count() {
    if (count_)
      *count_ = static_cast<platform::DWORD>(value_);
  }
  DWORD* get() { return count_ ? &value_ : nullptr; }

 private:
  platform::DWORD* count_;
  DWORD value_ = 0;
};

}  // namespace

namespace platform::device {

Handle DeviceFiles::CreateFile(const std::wstring& path, DWORD access, DWORD shareMode,
                               DWORD creation, DWORD attributes) {
  return Ours(
      calls_.createFile(path.c_str(), access, shareMode, nullptr, creation, attributes, nullptr));
}

bool DeviceFiles::ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) {
  Count count(read);
  return calls_.readFile(Native(file), buffer, toRead, count.get(), nullptr);
}

DWORD DeviceFiles::SetFilePointer(Handle file, LONG distance, DWORD method) {
  return calls_.setFilePointer(Native(file), distance, nullptr, method);
}

DWORD DeviceFiles::GetFileSize(Handle file, DWORD* high) {
  Count count(high);
  return calls_.getFileSize(Native(file), count.get());
}

bool DeviceFiles::CloseHandle(Handle file) {
  return calls_.closeHandle(Native(file));
}

LONG DeviceRegistry::RegOpenKeyEx(HKEY root, const std::wstring& subKey, DWORD options,
                                  DWORD access, HKEY* result) {
  ::HKEY key = nullptr;
  const LONG status = calls_.regOpenKeyEx(NativeKey(root), subKey.c_str(), options, access, &key);
  if (status == static_cast<LONG>(kErrorSuccess))
    *result = reinterpret_cast<HKEY>(key);
  return status;
}

LONG DeviceRegistry::RegCreateKeyEx(HKEY root, const std::wstring& subKey, DWORD options,
                                    DWORD access, HKEY* result) {
  ::HKEY key = nullptr;
  const LONG status = calls_.regCreateKeyEx(NativeKey(root), subKey.c_str(), 0, nullptr, options,
                                            access, nullptr, &key, nullptr);
  if (status == static_cast<LONG>(kErrorSuccess))
    *result = reinterpret_cast<HKEY>(key);
  return status;
}

LONG DeviceRegistry::RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                                     DWORD* size) {
  Count typeCount(type);
  ::DWORD bytes = *size;
  const LONG status =
      calls_.regQueryValueEx(NativeKey(key), name.c_str(), nullptr, typeCount.get(), data, &bytes);
  *size = static_cast<DWORD>(bytes);
  return status;
}

LONG DeviceRegistry::RegSetValueEx(HKEY key, const std::wstring& name, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD size) {
  return calls_.regSetValueEx(NativeKey(key), name.c_str(), reserved, type, data, size);
}

LONG DeviceRegistry::RegDeleteValue(HKEY key, const std::wstring& name) {
  return calls_.regDeleteValue(NativeKey(key), name.c_str());
}

LONG DeviceRegistry::RegFlushKey(HKEY key) {
  return calls_.regFlushKey(NativeKey(key));
}

LONG DeviceRegistry::RegCloseKey(HKEY key) {
  return calls_.regCloseKey(NativeKey(key));
}

Handle DeviceEvents::OpenEvent(DWORD access, bool inherit, const std::wstring& name) {
  return Ours(calls_.openEvent(access, inherit, name.c_str()));
}

bool DeviceEvents::EventModify(Handle event, DWORD function) {
  return calls_.eventModify(Native(event), function);
}

Handle DeviceEvents::CreateMutex(bool initialOwner, const std::wstring& name) {
  return Ours(calls_.createMutex(nullptr, initialOwner, name.c_str()));
}

bool DeviceEvents::CloseHandle(Handle object) {
  return calls_.closeHandle(Native(object));
}

Handle DeviceDevices::ActivateDevice(const std::wstring& registryPath, DWORD context) {
  // The device tells a failure by INVALID_HANDLE_VALUE, where the platform has no handle.
  const HANDLE driver = calls_.activateDevice(registryPath.c_str(), context);
  return driver == INVALID_HANDLE_VALUE ? kNullHandle : Ours(driver);
}

bool DeviceDevices::DeactivateDevice(Handle driver) {
  return calls_.deactivateDevice(Native(driver));
}

Handle DeviceDevices::CreateFile(const std::wstring& name, DWORD access, DWORD shareMode,
                                 DWORD creation, DWORD attributes) {
  return Ours(
      calls_.createFile(name.c_str(), access, shareMode, nullptr, creation, attributes, nullptr));
}

bool DeviceDevices::DeviceIoControl(Handle device, DWORD code, const void* in, DWORD inSize,
                                    void* out, DWORD outSize, DWORD* returned) {
  Count count(returned);
  return calls_.deviceIoControl(Native(device), code, const_cast<void*>(in), inSize, out, outSize,
                                count.get(), nullptr);
}

bool DeviceDevices::WriteFile(Handle device, const void* buffer, DWORD toWrite, DWORD* written) {
  Count count(written);
  return calls_.writeFile(Native(device), buffer, toWrite, count.get(), nullptr);
}

bool DeviceDevices::CloseHandle(Handle device) {
  return calls_.closeHandle(Native(device));
}

bool DeviceKernel::KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
  Count count(returned);
  return calls_.kernelIoControl(code, const_cast<void*>(in), inSize, out, outSize, count.get());
}

void DeviceDebugLog::Print(std::wstring_view text) {
  calls_.nkDbgPrintf(L"%s", std::wstring(text).c_str());
}

}  // namespace platform::device
