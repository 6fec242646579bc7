#include "power/power_timeouts.h"

#include <cwchar>

#include "platform/byte_order.h"

namespace power {

namespace {

using platform::kErrorSuccess;
using platform::LONG;
using Found = TimeoutValue::Found;

constexpr const wchar_t* kNames[] = {L"ACUserIdle", L"ACSystemIdle", L"ACSuspend"};
// A timeout longer than this is taken for one that cannot be read, and so left alone.
constexpr DWORD kLongestValue = 1024;

constexpr wchar_t kPowerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Power";
constexpr wchar_t kTimeoutsSubKey[] = L"\\Timeouts";
constexpr wchar_t kReloadEvent[] = L"PowerManager/ReloadActivityTimeouts";

// The key path, built as the power manager's own tools build it: the power key, then the
// Timeouts subkey appended in a local buffer.
std::wstring TimeoutsKeyPath() {
  wchar_t path[128];
  std::wcsncpy(path, kPowerKey, std::size(path) - 1);
  path[std::size(path) - 1] = L'\0';
  std::wcsncat(path, kTimeoutsSubKey, std::size(path) - std::wcslen(path) - 1);
  return path;
}

// Four bytes first, as nearly every timeout is a DWORD; a longer value is read again whole.
TimeoutValue Query(platform::Registry& registry, platform::HKEY key, const wchar_t* name) {
  TimeoutValue value;
  value.data.resize(4);
  DWORD size = 4;
  LONG result = registry.RegQueryValueEx(key, name, &value.type, value.data.data(), &size);
  if (result == static_cast<LONG>(platform::kErrorMoreData) && size <= kLongestValue) {
    value.data.resize(size);
    result = registry.RegQueryValueEx(key, name, &value.type, value.data.data(), &size);
  }
  if (result == static_cast<LONG>(kErrorSuccess)) {
    value.data.resize(size);
  } else {
    value = {result == static_cast<LONG>(platform::kErrorFileNotFound) ? Found::kAbsent
                                                                       : Found::kUnreadable,
             platform::kRegNone,
             {}};
  }
  return value;
}

LONG Put(platform::Registry& registry, platform::HKEY key, const wchar_t* name,
         const TimeoutValue& value) {
  switch (value.found) {
    case Found::kValue:
      return registry.RegSetValueEx(key, name, 0, value.type, value.data.data(),
                                    static_cast<DWORD>(value.data.size()));
    case Found::kAbsent: {
      const LONG result = registry.RegDeleteValue(key, name);
      return result == static_cast<LONG>(platform::kErrorFileNotFound)
                 ? static_cast<LONG>(kErrorSuccess)
                 : result;
    }
    case Found::kUnreadable:
      break;
  }
  return kErrorSuccess;
}

}  // namespace

TimeoutValue TimeoutValue::Dword(DWORD number) {
  TimeoutValue value;
  value.data.resize(4);
  platform::StoreLittleEndian(value.data.data(), number);
  return value;
}

int TimeoutValue::Shown() const {
  if (found != Found::kValue || type != platform::kRegDword || data.size() != 4)
    return -1;
  return static_cast<int>(platform::LoadLittleEndian<DWORD>(data.data()));
}

PowerTimeouts PowerTimeouts::Of(DWORD userIdle, DWORD systemIdle, DWORD suspend) {
  return {{TimeoutValue::Dword(userIdle), TimeoutValue::Dword(systemIdle),
           TimeoutValue::Dword(suspend)}};
}

PowerTimeouts TimeoutsOffFor(const PowerTimeouts& saved) {
  PowerTimeouts off = PowerTimeouts::Of(0, 0, 0);
  for (std::size_t i = 0; i < std::size(off.values); ++i) {
    if (saved.values[i].found == Found::kUnreadable)
      off.values[i] = saved.values[i];
  }
  return off;
}

bool ReadPowerTimeouts(platform::Registry& registry, PowerTimeouts& record) {
  platform::ScopedKey key;
  if (platform::OpenKey(registry, platform::kHkeyLocalMachine, TimeoutsKeyPath(), key) !=
      static_cast<LONG>(kErrorSuccess))
    return false;
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    record.values[i] = Query(registry, key.get(), kNames[i]);
  key.Close();
  return true;
}

bool WritePowerTimeouts(platform::Registry& registry, platform::Events& events,
                        platform::DebugLog& log, const PowerTimeouts& record) {
  platform::ScopedKey key;
  LONG failure = platform::OpenKey(registry, platform::kHkeyLocalMachine, TimeoutsKeyPath(), key);
  if (key.valid()) {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      const LONG result = Put(registry, key.get(), kNames[i], record.values[i]);
      if (failure == static_cast<LONG>(kErrorSuccess))
        failure = result;
    }
    key.Close();
  }
  platform::NKDbgPrintfW(log, L"restore timeouts in registry: %i , %i , %i\r\n",
                         record.values[2].Shown(), record.values[1].Shown(),
                         record.values[0].Shown());
  const platform::Handle handle = events.OpenEvent(platform::kEventAllAccess, false, kReloadEvent);
  if (handle != platform::kNullHandle) {
    platform::ScopedEvent event(events, handle);
    events.EventModify(event.get(), platform::kEventSet);
  } else {
    platform::NKDbgPrintfW(log, L"Error: Could not open PM reload event\r\n");
  }
  return platform::Took(failure);
}

}  // namespace power
