#include "journal/app_key.h"

namespace journal {

namespace {

using platform::kErrorFileNotFound;
using platform::kErrorSuccess;
using platform::LONG;

constexpr wchar_t kAppKey[] = L"Software\\Tessaron Loader";
// No value the application keeps is longer.
constexpr platform::DWORD kLongestValue = 4096;

bool Succeeded(LONG result) {
  return result == static_cast<LONG>(kErrorSuccess);
}

}  // namespace

LONG ReadAppValue(platform::Registry& registry, const std::wstring& name, platform::DWORD& type,
                  std::vector<platform::BYTE>& data) {
  platform::ScopedKey key;
  LONG result = platform::OpenKey(registry, platform::kHkeyLocalMachine, kAppKey, key);
  if (!Succeeded(result))
    return result;
  platform::DWORD size = 0;
  result = registry.RegQueryValueEx(key.get(), name, &type, nullptr, &size);
  if (!Succeeded(result))
    return result;
  if (size > kLongestValue)
    return static_cast<LONG>(platform::kErrorInvalidParameter);
  data.resize(size);
  result = registry.RegQueryValueEx(key.get(), name, &type, data.data(), &size);
  data.resize(size);
  return result;
}

LONG StoreAppValue(platform::Registry& registry, const std::wstring& name, platform::DWORD type,
                   const std::vector<platform::BYTE>& data) {
  platform::HKEY handle = platform::kNullHandle;
  LONG result = registry.RegCreateKeyEx(platform::kHkeyLocalMachine, kAppKey, 0, 0, &handle);
  if (!Succeeded(result))
    return result;
  const platform::ScopedKey key(registry, handle);
  result = registry.RegSetValueEx(key.get(), name, 0, type, data.data(),
                                  static_cast<platform::DWORD>(data.size()));
  return Succeeded(result) ? registry.RegFlushKey(key.get()) : result;
}

LONG RemoveAppValue(platform::Registry& registry, const std::wstring& name) {
  platform::ScopedKey key;
  LONG result = platform::OpenKey(registry, platform::kHkeyLocalMachine, kAppKey, key);
  // A removal lost to a power cut only repeats what was already done: no flush.
  if (Succeeded(result))
    result = registry.RegDeleteValue(key.get(), name);
  return result == static_cast<LONG>(kErrorFileNotFound) ? static_cast<LONG>(kErrorSuccess)
                                                         : result;
}

}  // namespace journal
