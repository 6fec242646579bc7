#include "platform/device/device_calls.h"

namespace platform::device {

const DeviceCalls& OwnCalls() {
  static const DeviceCalls calls{::CreateFileW,     ::ReadFile,        ::WriteFile,
                                 ::SetFilePointer,  ::GetFileSize,     ::CloseHandle,
                                 ::RegOpenKeyExW,   ::RegCreateKeyExW, ::RegQueryValueExW,
                                 ::RegSetValueExW,  ::RegDeleteValueW, ::RegFlushKey,
                                 ::RegCloseKey,     ::OpenEventW,      ::EventModify,
                                 ::CreateMutexW,    ::ActivateDevice,  ::DeactivateDevice,
                                 ::DeviceIoControl, ::KernelIoControl, ::NKDbgPrintfW};
  return calls;
}

}  // namespace platform::device
