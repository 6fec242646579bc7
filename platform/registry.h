// Registry: open or create a key, query, set and delete values, flush, close. Calls return the
// error code itself (kErrorSuccess on success), as the device's registry calls do.
#pragma once

#include <string>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

using HKEY = Handle;
constexpr HKEY kHkeyLocalMachine = 0x80000002;

constexpr DWORD kRegNone = 0;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegBinary = 3;
constexpr DWORD kRegDword = 4;

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens root\subKey into *result. Returns kErrorFileNotFound when the key does not exist.
  virtual LONG RegOpenKeyEx(HKEY root, const std::wstring& subKey, DWORD options, DWORD access,
                            HKEY* result) = 0;
  // Opens root\subKey into *result, making it when missing.
  virtual LONG RegCreateKeyEx(HKEY root, const std::wstring& subKey, DWORD options, DWORD access,
                              HKEY* result) = 0;
  // Reads a value. With data null only *size (bytes) and *type are filled. When *size is
  // smaller than the value, returns kErrorMoreData and sets *size to the value's size.
  virtual LONG RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                               DWORD* size) = 0;
  // Stores a value of the given type, creating it when missing.
  virtual LONG RegSetValueEx(HKEY key, const std::wstring& name, DWORD reserved, DWORD type,
                             const BYTE* data, DWORD size) = 0;
  // Removes a value. Returns kErrorFileNotFound when the key has no such value.
  virtual LONG RegDeleteValue(HKEY key, const std::wstring& name) = 0;
  // Returns once every change made so far is kept where a power cut cannot take it.
  virtual LONG RegFlushKey(HKEY key) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;

  // Adapter for ScopedHandle, whose release reports a bool.
  bool CloseKey(HKEY key) { return RegCloseKey(key) == static_cast<LONG>(kErrorSuccess); }
};

using ScopedKey = ScopedHandle<Registry, &Registry::CloseKey, kNullHandle>;

// Opens root\subKey into key; the registry's code.
inline LONG OpenKey(Registry& registry, HKEY root, const std::wstring& subKey, ScopedKey& key) {
  HKEY handle = kNullHandle;
  const LONG result = registry.RegOpenKeyEx(root, subKey, 0, 0, &handle);
  if (result == static_cast<LONG>(kErrorSuccess))
    key = ScopedKey(registry, handle);
  return result;
}

// Whether the registry's code says the call took; the last error is set to it, to tell why not.
inline bool Took(LONG result) {
  SetLastError(static_cast<DWORD>(result));
  return result == static_cast<LONG>(kErrorSuccess);
}

}  // namespace platform
