#include "platform/sim/sim_registry.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <cwctype>

#include "platform/host/host.h"
#include "platform/sim/state_file.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"

namespace platform::sim {

namespace {

// Far more than a device's registry holds; every call reads it whole.
constexpr std::uint64_t kLargestRegistry = std::uint64_t{1024} * 1024;

const std::pair<DWORD, const char*> kTypeNames[] = {{kRegNone, "REG_NONE"},
                                                    {kRegSz, "REG_SZ"},
                                                    {kRegBinary, "REG_BINARY"},
                                                    {kRegDword, "REG_DWORD"}};

const char* TypeName(DWORD type) {
  for (const auto& [code, name] : kTypeNames)
    if (code == type)
      return name;
  return nullptr;
}

nlohmann::json ToJson(const RegValue& value) {
  nlohmann::json entry;
  const char* name = TypeName(value.type);
  entry["type"] = name ? nlohmann::json(name) : nlohmann::json(value.type);
  // As text only what reads back byte for byte: a string ended by its one NUL.
  if (value.type == kRegSz && StringValue(ValueText(value)).data == value.data) {
    entry["value"] = ToUtf8(ValueText(value));
  } else if (value.type == kRegDword && value.data.size() == 4) {
    entry["value"] = *ValueDword(value);
  } else {
    entry["hex"] = HexEncode(std::string(value.data.begin(), value.data.end()));
  }
  return entry;
}

bool FromJson(const nlohmann::json& entry, RegValue& value) {
  if (!entry.is_object() || !entry.contains("type"))
    return false;
  const nlohmann::json& type = entry["type"];
  if (type.is_number_unsigned()) {
    value.type = type.get<DWORD>();
  } else if (type.is_string()) {
    bool found = false;
    for (const auto& [code, name] : kTypeNames) {
      if (type.get<std::string>() == name) {
        value.type = code;
        found = true;
      }
    }
    if (!found)
      return false;
  } else {
    return false;
  }
  if (entry.contains("hex")) {
    std::string bytes;
    if (!entry["hex"].is_string() || !HexDecode(entry["hex"].get<std::string>(), bytes))
      return false;
    value.data.assign(bytes.begin(), bytes.end());
    return true;
  }
  if (!entry.contains("value"))
    return false;
  const nlohmann::json& data = entry["value"];
  if (value.type == kRegSz && data.is_string()) {
    value.data = StringValue(FromUtf8(data.get<std::string>())).data;
    return true;
  }
  if (value.type == kRegDword && data.is_number_unsigned() &&
      data.get<std::uint64_t>() <= 0xFFFFFFFFu) {
    value.data = DwordValue(data.get<DWORD>()).data;
    return true;
  }
  return false;
}

// "\Drivers\BINDRV" and "Drivers\BINDRV" name the same key.
std::wstring Trim(const std::wstring& path) {
  std::size_t begin = 0;
  std::size_t end = path.size();
  while (begin < end && path[begin] == L'\\')
    ++begin;
  while (end > begin && path[end - 1] == L'\\')
    --end;
  return path.substr(begin, end - begin);
}

}  // namespace

RegValue StringValue(const std::wstring& text) {
  RegValue value{kRegSz, {}};
  value.data.resize((text.size() + 1) * sizeof(wchar_t));
  std::memcpy(value.data.data(), text.c_str(), value.data.size());
  return value;
}

RegValue DwordValue(DWORD number) {
  RegValue value{kRegDword, std::vector<BYTE>(4)};
  for (int i = 0; i < 4; ++i)
    value.data[i] = static_cast<BYTE>(number >> (8 * i));
  return value;
}

std::wstring ValueText(const RegValue& value) {
  std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

std::optional<DWORD> ValueDword(const RegValue& value) {
  if (value.data.size() != 4)
    return std::nullopt;
  DWORD number = 0;
  for (int i = 0; i < 4; ++i)
    number |= static_cast<DWORD>(value.data[i]) << (8 * i);
  return number;
}

SimRegistry::SimRegistry(const DevicePaths& paths, FaultInjector& faults)
    : paths_(paths), faults_(faults) {}

bool SimRegistry::Load(std::string& error) {
  keys_.clear();
  const host::Below file = paths_.registry();
  nlohmann::json document;
  if (!ReadStateFile(file, kLargestRegistry, document, error))
    return false;
  if (!document.is_object()) {
    error = host::Shown(file) + " is not a JSON object";
    return false;
  }
  for (const auto& [path, values] : document.items()) {
    const std::wstring wide = FromUtf8(path);
    const std::wstring prefix = L"HKEY_LOCAL_MACHINE\\";
    if (wide.compare(0, prefix.size(), prefix) != 0 || !values.is_object()) {
      error = host::Shown(file) + ": bad key " + Excerpt(path);
      return false;
    }
    const std::wstring keyPath = Trim(wide.substr(prefix.size()));
    Key& key = keys_[LowerCase(keyPath)];
    key.path = keyPath;
    for (const auto& [name, entry] : values.items()) {
      RegValue value;
      if (!FromJson(entry, value)) {
        error = host::Shown(file) + ": bad value " + Excerpt(name) + " of " + Excerpt(path);
        return false;
      }
      key.values[LowerCase(FromUtf8(name))] = Entry{FromUtf8(name), value};
    }
  }
  return true;
}

bool SimRegistry::Save() {
  nlohmann::json document = nlohmann::json::object();
  for (const auto& [folded, key] : keys_) {
    nlohmann::json values = nlohmann::json::object();
    for (const auto& [foldedName, entry] : key.values)
      values[ToUtf8(entry.name)] = ToJson(entry.value);
    document[ToUtf8(L"HKEY_LOCAL_MACHINE\\" + key.path)] = values;
  }
  return WriteStateFile(paths_.registry(), document);
}

bool SimRegistry::Refresh() {
  std::string error;
  if (Load(error))
    return true;
  SetLastError(kErrorReadFault);
  return false;
}

// Every call reads the registry's file afresh, so a change refused or not saved needs no undoing
// in memory.
template <class Change>
LONG SimRegistry::Modify(Change change) {
  const auto lock = LockForChange(paths_);
  if (!lock || !Refresh())
    return static_cast<LONG>(GetLastError());
  if (const LONG refused = change(keys_); refused != kErrorSuccess)
    return refused;
  return static_cast<LONG>(Save() ? kErrorSuccess : GetLastError());
}

LONG SimRegistry::RegOpenKeyEx(HKEY root, const std::wstring& subKey, DWORD /*options*/,
                               DWORD /*access*/, HKEY* result) {
  if (const auto error = faults_.Enter("RegOpenKeyEx"))
    return static_cast<LONG>(*error);
  if (!result)
    return kErrorInvalidParameter;
  if (root != kHkeyLocalMachine)
    return kErrorInvalidHandle;
  if (!Refresh())
    return static_cast<LONG>(GetLastError());
  const std::wstring folded = LowerCase(Trim(subKey));
  if (!keys_.count(folded))
    return kErrorFileNotFound;
  *result = open_.Add(std::make_unique<OpenKey>(OpenKey{folded}));
  return kErrorSuccess;
}

SimRegistry::Key& SimRegistry::KeyAt(Keys& keys, const std::wstring& path) {
  Key& key = keys[LowerCase(path)];
  if (key.path.empty())
    key.path = path;
  return key;
}

LONG SimRegistry::RegCreateKeyEx(HKEY root, const std::wstring& subKey, DWORD /*options*/,
                                 DWORD /*access*/, HKEY* result) {
  if (const auto error = faults_.Enter("RegCreateKeyEx"))
    return static_cast<LONG>(*error);
  if (!result)
    return kErrorInvalidParameter;
  if (root != kHkeyLocalMachine)
    return kErrorInvalidHandle;
  const std::wstring path = Trim(subKey);
  if (path.empty())
    return kErrorInvalidParameter;
  const LONG made = Modify([&](Keys& keys) -> LONG {
    KeyAt(keys, path);
    return kErrorSuccess;
  });
  if (made != kErrorSuccess)
    return made;
  *result = open_.Add(std::make_unique<OpenKey>(OpenKey{LowerCase(path)}));
  return kErrorSuccess;
}

LONG SimRegistry::RegQueryValueEx(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                                  DWORD* size) {
  if (const auto error = faults_.Enter("RegQueryValueEx"))
    return static_cast<LONG>(*error);
  const OpenKey* open = open_.Find(key);
  if (!open)
    return kErrorInvalidHandle;
  if (!Refresh())
    return static_cast<LONG>(GetLastError());
  const auto keyIt = keys_.find(open->folded);
  if (keyIt == keys_.end())
    return kErrorFileNotFound;
  const auto valueIt = keyIt->second.values.find(LowerCase(name));
  if (valueIt == keyIt->second.values.end())
    return kErrorFileNotFound;
  const RegValue& value = valueIt->second.value;
  if (data && !size)
    return kErrorInvalidParameter;
  if (type)
    *type = value.type;
  const auto length = static_cast<DWORD>(value.data.size());
  if (!data) {
    if (size)
      *size = length;
    return kErrorSuccess;
  }
  if (*size < length) {
    *size = length;
    return kErrorMoreData;
  }
  std::memcpy(data, value.data.data(), length);
  *size = length;
  return kErrorSuccess;
}

LONG SimRegistry::RegSetValueEx(HKEY key, const std::wstring& name, DWORD /*reserved*/, DWORD type,
                                const BYTE* data, DWORD size) {
  if (const auto error = faults_.Enter("RegSetValueEx"))
    return static_cast<LONG>(*error);
  const OpenKey* open = open_.Find(key);
  if (!open)
    return kErrorInvalidHandle;
  if (!data && size)
    return kErrorInvalidParameter;
  return Modify([&](Keys& keys) -> LONG {
    const auto it = keys.find(open->folded);
    if (it == keys.end())
      return kErrorFileNotFound;
    it->second.values[LowerCase(name)] = Entry{name, RegValue{type, {data, data + size}}};
    return kErrorSuccess;
  });
}

LONG SimRegistry::RegDeleteValue(HKEY key, const std::wstring& name) {
  if (const auto error = faults_.Enter("RegDeleteValue"))
    return static_cast<LONG>(*error);
  const OpenKey* open = open_.Find(key);
  if (!open)
    return kErrorInvalidHandle;
  return Modify([&](Keys& keys) -> LONG {
    const auto it = keys.find(open->folded);
    if (it == keys.end() || it->second.values.erase(LowerCase(name)) == 0)
      return kErrorFileNotFound;
    return kErrorSuccess;
  });
}

// Every change is on the disk before the call that made it returns: there is nothing left to do.
LONG SimRegistry::RegFlushKey(HKEY key) {
  if (const auto error = faults_.Enter("RegFlushKey"))
    return static_cast<LONG>(*error);
  return static_cast<LONG>(open_.Find(key) ? kErrorSuccess : kErrorInvalidHandle);
}

LONG SimRegistry::RegCloseKey(HKEY key) {
  if (const auto error = faults_.Enter("RegCloseKey"))
    return static_cast<LONG>(*error);
  return static_cast<LONG>(open_.Remove(key) ? kErrorSuccess : kErrorInvalidHandle);
}

bool SimRegistry::Put(const std::wstring& keyPath, const std::wstring& name,
                      const RegValue& value) {
  return Modify([&](Keys& keys) -> LONG {
           KeyAt(keys, Trim(keyPath)).values[LowerCase(name)] = Entry{name, value};
           return kErrorSuccess;
         }) == kErrorSuccess;
}

bool SimRegistry::Delete(const std::wstring& keyPath, const std::optional<std::wstring>& name) {
  return Modify([&](Keys& keys) -> LONG {
           const auto it = keys.find(LowerCase(Trim(keyPath)));
           if (it == keys.end())
             return kErrorSuccess;
           if (name) {
             it->second.values.erase(LowerCase(*name));
           } else {
             keys.erase(it);
           }
           return kErrorSuccess;
         }) == kErrorSuccess;
}

std::optional<RegValue> SimRegistry::Get(const std::wstring& keyPath, const std::wstring& name) {
  if (!Refresh())
    return std::nullopt;
  const auto it = keys_.find(LowerCase(Trim(keyPath)));
  if (it == keys_.end())
    return std::nullopt;
  const auto valueIt = it->second.values.find(LowerCase(name));
  if (valueIt == it->second.values.end())
    return std::nullopt;
  return valueIt->second.value;
}

bool SimRegistry::HasKey(const std::wstring& keyPath) {
  return Refresh() && keys_.count(LowerCase(Trim(keyPath))) != 0;
}

}  // namespace platform::sim
