// The device's calls on a desktop, for the tests: the system's own, but for the five calls that
// only Windows CE has and the "BIN1:" stream of the BINFS driver, which the simulated device in
// the folder named by TESSARON_STANDIN_DEVICE serves, and for the access of an opened or created
// registry key, which the device does not take. Never linked into the device program.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <memory>
#include <string>

#include "platform/device/device_calls.h"
#include "platform/sim/device.h"

namespace {

platform::sim::Device& Simulated() {
  static const std::unique_ptr<platform::sim::Device> device = [] {
    const char* folder = std::getenv("TESSARON_STANDIN_DEVICE");
    std::string error = "TESSARON_STANDIN_DEVICE names no simulated device";
    auto opened = folder ? platform::sim::Device::Open(folder, error) : nullptr;
    if (!opened) {
      std::fprintf(stderr, "stand-in: %s\n", error.c_str());
      std::exit(1);
    }
    return opened;
  }();
  return *device;
}

// Each open "BIN1:" stream, by the token handed out for it: a fresh address on the heap, which no
// handle of the system can be.
std::map<HANDLE, platform::Handle> streams;

platform::Handle* Stream(HANDLE handle) {
  const auto it = streams.find(handle);
  return it == streams.end() ? nullptr : &it->second;
}

// The count of a call of the simulated device, handed on in the system's DWORD.
struct Count {
  LPDWORD system;
  platform::DWORD value = 0;
  ~Count() {
    if (system)
      *system = value;
  }
  platform::DWORD* get() { return system ? &value : nullptr; }
};

HANDLE WINAPI StandInCreateFile(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                HANDLE model) {
  if (std::wcscmp(name, L"BIN1:") != 0)
    return ::CreateFileW(name, access, share, security, creation, flags, model);
  const platform::Handle stream =
      Simulated().devices().CreateFile(name, access, share, creation, flags);
  if (stream == platform::kInvalidHandle)
    return INVALID_HANDLE_VALUE;
  const HANDLE token = new char;
  streams[token] = stream;
  return token;
}

BOOL WINAPI StandInWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
  const platform::Handle* stream = Stream(file);
  if (!stream)
    return ::WriteFile(file, buffer, size, written, overlapped);
  Count count{written};
  return Simulated().devices().WriteFile(*stream, buffer, size, count.get());
}

BOOL WINAPI StandInDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                   DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  const platform::Handle* stream = Stream(device);
  if (!stream)
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
  Count count{returned};
  return Simulated().devices().DeviceIoControl(*stream, code, in, inSize, out, outSize,
                                               count.get());
}

BOOL WINAPI StandInCloseHandle(HANDLE object) {
  const platform::Handle* stream = Stream(object);
  if (!stream)
    return ::CloseHandle(object);
  const bool closed = Simulated().devices().CloseHandle(*stream);
  if (closed) {
    streams.erase(object);
    delete static_cast<char*>(object);
  }
  return closed;
}

// The device takes no access rights when it opens a key (they must be 0); a desktop grants
// nothing for 0, so the key is opened for reading and writing.
LSTATUS WINAPI StandInRegOpenKeyEx(HKEY root, LPCWSTR path, DWORD options, REGSAM access,
                                   PHKEY key) {
  return ::RegOpenKeyExW(root, path, options, access ? access : KEY_READ | KEY_WRITE, key);
}

LSTATUS WINAPI StandInRegCreateKeyEx(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR keyClass,
                                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                                     PHKEY key, LPDWORD disposition) {
  return ::RegCreateKeyExW(root, path, reserved, keyClass, options,
                           access ? access : KEY_READ | KEY_WRITE, security, key, disposition);
}

// As on the device: INVALID_HANDLE_VALUE when the driver cannot be loaded.
HANDLE WINAPI StandInActivateDevice(LPCWSTR key, DWORD context) {
  const platform::Handle driver = Simulated().devices().ActivateDevice(key, context);
  return driver == platform::kNullHandle ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(driver);
}

BOOL WINAPI StandInDeactivateDevice(HANDLE driver) {
  return Simulated().devices().DeactivateDevice(reinterpret_cast<platform::Handle>(driver));
}

BOOL WINAPI StandInKernelIoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                   LPDWORD returned) {
  Count count{returned};
  return Simulated().kernel().KernelIoControl(code, in, inSize, out, outSize, count.get());
}

// The device program only sets events.
BOOL WINAPI StandInEventModify(HANDLE event, DWORD function) {
  if (function == platform::kEventSet)
    return ::SetEvent(event);
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// The device services print each line whole, with "%s".
void StandInNKDbgPrintfW(LPCWSTR format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const std::wstring text =
      std::wcscmp(format, L"%s") == 0 ? va_arg(arguments, const wchar_t*) : format;
  va_end(arguments);
  ::OutputDebugStringW(text.c_str());
  Simulated().log().Print(text);
}

}  // namespace

namespace platform::device {

const DeviceCalls& OwnCalls() {
  static const DeviceCalls calls{StandInCreateFile,      ::ReadFile,
                                 StandInWriteFile,       ::SetFilePointer,
                                 ::GetFileSize,          StandInCloseHandle,
                                 StandInRegOpenKeyEx,    StandInRegCreateKeyEx,
                                 ::RegQueryValueExW,     ::RegSetValueExW,
                                 ::RegDeleteValueW,      ::RegFlushKey,
                                 ::RegCloseKey,          ::OpenEventW,
                                 StandInEventModify,     ::CreateMutexW,
                                 StandInActivateDevice,  StandInDeactivateDevice,
                                 StandInDeviceIoControl, StandInKernelIoControl,
                                 StandInNKDbgPrintfW};
  return calls;
}

}  // namespace platform::device
