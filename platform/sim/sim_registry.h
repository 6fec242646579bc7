// The device's registry, kept in the device directory as JSON. Only HKEY_LOCAL_MACHINE exists;
// keys and value names are found without regard to letter case, as on the device.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/handle_table.h"
#include "platform/registry.h"
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
  SimRegistry(std::filesystem::path file, FaultInjector& faults);

  bool Load(std::string& error);

  LONG RegOpenKeyEx(HKEY root, const std::wstring& subKey, DWORD options, DWORD access,
                    HKEY* result) override;
  LONG RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                       DWORD* size) override;
  LONG RegSetValueEx(HKEY key, const std::wstring& name, DWORD reserved, DWORD type,
                     const BYTE* data, DWORD size) override;
  LONG RegCloseKey(HKEY key) override;

  // For setting a device up and looking at it; key paths are below HKEY_LOCAL_MACHINE.
  bool Put(const std::wstring& key, const std::wstring& name, const RegValue& value);
  bool Delete(const std::wstring& key, const std::optional<std::wstring>& name);
  std::optional<RegValue> Get(const std::wstring& key, const std::wstring& name) const;
  bool HasKey(const std::wstring& key) const;
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

  bool Save();

  std::filesystem::path file_;
  FaultInjector& faults_;
  std::map<std::wstring, Key> keys_;  // by folded path
  HandleTable<OpenKey> open_;
};

}  // namespace platform::sim
