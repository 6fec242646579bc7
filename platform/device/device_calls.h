// Every call the device services make, one function pointer each: bound to the device's own
// functions in the device program (own_calls.cpp), and to a stand-in in the desktop's tests.
// The services' code is the same in both.
#pragma once

#include "platform/device/ce_calls.h"

namespace platform::device {

struct DeviceCalls {
  decltype(&::CreateFileW) createFile;
  decltype(&::ReadFile) readFile;
  decltype(&::WriteFile) writeFile;
  decltype(&::SetFilePointer) setFilePointer;
  decltype(&::GetFileSize) getFileSize;
  decltype(&::CloseHandle) closeHandle;
  decltype(&::RegOpenKeyExW) regOpenKeyEx;
  decltype(&::RegCreateKeyExW) regCreateKeyEx;
  decltype(&::RegQueryValueExW) regQueryValueEx;
  decltype(&::RegSetValueExW) regSetValueEx;
  decltype(&::RegDeleteValueW) regDeleteValue;
  decltype(&::RegFlushKey) regFlushKey;
  decltype(&::RegCloseKey) regCloseKey;
  decltype(&::OpenEventW) openEvent;
  decltype(&::EventModify) eventModify;
  decltype(&::CreateMutexW) createMutex;
  decltype(&::ActivateDevice) activateDevice;
  decltype(&::DeactivateDevice) deactivateDevice;
  decltype(&::DeviceIoControl) deviceIoControl;
  decltype(&::KernelIoControl) kernelIoControl;
  decltype(&::NKDbgPrintfW) nkDbgPrintf;
};

// The calls of the program's own system.
const DeviceCalls& OwnCalls();

}  // namespace platform::device
