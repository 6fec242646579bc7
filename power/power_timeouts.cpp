#include "power/power_timeouts.h"

#include <cwchar>

#include "platform/byte_order.h"

namespace power {

const PowerTimeouts g_TimeoutsOff = PowerTimeouts::Of(0, 0, 0);

PowerTimeouts TimeoutsOffFor(const PowerTimeouts& saved) {
  PowerTimeouts off = g_TimeoutsOff;
  for (std::size_t i = 0; i < std::size(off.found); ++i) {
    if (saved.found[i] == PowerTimeouts::Found::kUnreadable)
      off.found[i] = PowerTimeouts::Found::kUnreadable;
  }
  return off;
}

namespace {

using platform::BYTE;
using platform::kErrorSuccess;

struct TimeoutValue {
  const wchar_t* name;
  DWORD PowerTimeouts::*field;
};

constexpr TimeoutValue kValues[] = {
    {L"ACUserIdle", &PowerTimeouts::dwACUserIdle},
    {L"ACSystemIdle", &PowerTimeouts::dwACSystemIdle},
    {L"ACSuspend", &PowerTimeouts::dwACSuspend},
};

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

bool OpenTimeoutsKey(platform::Registry& registry, platform::ScopedKey& key) {
  platform::HKEY handle = platform::kNullHandle;
  if (registry.RegOpenKeyEx(platform::kHkeyLocalMachine, TimeoutsKeyPath(), 0, 0, &handle) !=
      static_cast<platform::LONG>(kErrorSuccess)) {
    return false;
  }
  key = platform::ScopedKey(registry, handle);
  return true;
}

}  // namespace

bool ReadPowerTimeouts(platform::Registry& registry, PowerTimeouts& record) {
  platform::ScopedKey key;
  if (!OpenTimeoutsKey(registry, key))
    return false;
  for (std::size_t i = 0; i < std::size(kValues); ++i) {
    BYTE buffer[4] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const platform::LONG result =
        registry.RegQueryValueEx(key.get(), kValues[i].name, &type, buffer, &size);
    if (result == static_cast<platform::LONG>(kErrorSuccess) && size == sizeof buffer) {
      record.*kValues[i].field = platform::LoadLittleEndian<DWORD>(buffer);
      record.found[i] = PowerTimeouts::Found::kValue;
    } else {
      record.found[i] = result == static_cast<platform::LONG>(platform::kErrorFileNotFound)
                            ? PowerTimeouts::Found::kAbsent
                            : PowerTimeouts::Found::kUnreadable;
    }
  }
  key.Close();
  return true;
}

bool WritePowerTimeouts(platform::Registry& registry, platform::Events& events,
                        platform::DebugLog& log, const PowerTimeouts& record) {
  platform::ScopedKey key;
  const bool opened = OpenTimeoutsKey(registry, key);
  if (opened) {
    for (std::size_t i = 0; i < std::size(kValues); ++i) {
      switch (record.found[i]) {
        case PowerTimeouts::Found::kValue: {
          BYTE data[4];
          platform::StoreLittleEndian(data, record.*kValues[i].field);
          registry.RegSetValueEx(key.get(), kValues[i].name, 0, platform::kRegDword, data, 4);
          break;
        }
        case PowerTimeouts::Found::kAbsent:
          registry.RegDeleteValue(key.get(), kValues[i].name);
          break;
        case PowerTimeouts::Found::kUnreadable:
          break;
      }
    }
    key.Close();
  }
  platform::NKDbgPrintfW(log, L"restore timeouts in registry: %i , %i , %i\r\n", record.dwACSuspend,
                         record.dwACSystemIdle, record.dwACUserIdle);
  const platform::Handle handle = events.OpenEvent(platform::kEventAllAccess, false, kReloadEvent);
  if (handle != platform::kNullHandle) {
    platform::ScopedEvent event(events, handle);
    events.EventModify(event.get(), platform::kEventSet);
  } else {
    platform::NKDbgPrintfW(log, L"Error: Could not open PM reload event\r\n");
  }
  return opened;
}

}  // namespace power
