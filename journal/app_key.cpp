#include "journal/app_key.h"

namespace journal {

namespace {

using platform::kErrorSuccess;
using platform::LONG;

constexpr wchar_t kAppKey[] = L"Software\\Tessaron Loader";
// No value the application keeps is longer.
constexpr platform::DWORD kLongestValue = 4096;

bool Succeeded(LONG result) {
  return result == static_cast<LONG>(kErrorSuccess);
}

}  // namespace

LONG OpenAppKey(platform::Registry& registry, bool make, platform::ScopedKey& key) {
  platform::HKEY handle = platform::kNullHandle;
  const LONG result =
      make ? registry.RegCreateKeyEx(platform::kHkeyLocalMachine, kAppKey, 0, 0, &handle)
           : registry.RegOpenKeyEx(platform::kHkeyLocalMachine, kAppKey, 0, 0, &handle);
  if (Succeeded(result))
    key = platform::ScopedKey(registry, handle);
  return result;
}

LONG ReadAppValue(platform::Registry& registry, const std::wstring& name, platform::DWORD& type,
                  std::vector<platform::BYTE>& data) {
  platform::ScopedKey key;
  LONG result = OpenAppKey(registry, false, key);
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

LONG WriteAppValue(platform::Registry& registry, const std::wstring& name, platform::DWORD type,
                   const std::vector<platform::BYTE>* data) {
  platform::ScopedKey key;
  LONG result = OpenAppKey(registry, data != nullptr, key);
  if (!data && result == static_cast<LONG>(platform::kErrorFileNotFound))
    return kErrorSuccess;  // nothing to remove
  if (!Succeeded(result))
    return result;
  if (!data) {
    // A removal lost to a power cut only repeats what was already done: no flush.
    result = registry.RegDeleteValue(key.get(), name);
    return result == static_cast<LONG>(platform::kErrorFileNotFound)
               ? static_cast<LONG>(kErrorSuccess)
               : result;
  }
  result = registry.RegSetValueEx(key.get(), name, 0, type, data->data(),
                                  static_cast<platform::DWORD>(data->size()));
  return Succeeded(result) ? registry.RegFlushKey(key.get()) : result;
}

}  // namespace journal
