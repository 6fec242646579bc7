// The device's registry, kept in the device directory as JSON. Only HKEY_LOCAL_MACHINE exists;
// keys and value names are found without regard to letter case, as on the device. Every call
// sees what other processes changed before it; every change is made under the device's lock.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/handle_table.h"
#include "platform/registry.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"

namespace platform::sim {

struct RegValue {
  DWORD type = kRegNone;
  std::vector<BYTE> data;  // as the device returns it; REG_SZ holds wide characters and a NUL
};

RegValue StringValue(const std::wstring& text);
RegValue DwordValue(DWORD value);
// The text of a REG_SZ value, up to its first NUL.
std::wstring ValueText(const RegValue& value);
// The number of a 4-byte value.
std::optional<DWORD> ValueDword(const RegValue& value);

class SimRegistry final : public Registry {
 public:
  SimRegistry(const DevicePaths& paths, FaultInjector& faults);

  bool Load(std::string& error);

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

  // For setting a device up and looking at it; key paths are below HKEY_LOCAL_MACHINE.
  bool Put(const std::wstring& key, const std::wstring& name, const RegValue& value);
  bool Delete(const std::wstring& key, const std::optional<std::wstring>& name);
  std::optional<RegValue> Get(const std::wstring& key, const std::wstring& name);
  bool HasKey(const std::wstring& key);
  std::size_t openKeyCount() const { return open_.size(); }

 private:
  struct Entry {
    std::wstring name;
    RegValue value;
  };
  struct Key {
    std::wstring path;
    std::map<std::wstring, Entry> values;  // by folded name
  };
  struct OpenKey {
    std::wstring folded;
  };

  using Keys = std::map<std::wstring, Key>;  // by folded path

  // The key of a trimmed path; made with that spelling when missing.
  static Key& KeyAt(Keys& keys, const std::wstring& path);

  bool Save();
  // Reads the registry as it stands now; false (kErrorReadFault) when it cannot be read.
  bool Refresh();
  // Applies change to the registry as it stands now and saves it, under the device's lock.
  // kErrorSuccess, or why not; change returns kErrorSuccess or its own refusal.
  template <class Change>
  LONG Modify(Change change);

  const DevicePaths& paths_;
  FaultInjector& faults_;
  Keys keys_;
  HandleTable<OpenKey> open_;
};

}  // namespace platform::sim
