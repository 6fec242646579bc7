// A stand-in of the device's power manager, for the Wine tests: it creates the named event
// "PowerManager/ReloadActivityTimeouts" and, each time the event is set, appends the three AC
// timeouts as the registry then holds them to the record named on its command line, one line a
// reload: "60 300 600", with "-" for a value that is absent or not a DWORD. Its first line,
// "ready", says that the event exists; once a file named as the record plus ".stop" exists, it
// ends with the line "stopped".
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os/windows_api.h"

namespace {

std::string Timeout(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LSTATUS status =
      ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
    return "-";
  return std::to_string(value);
}

std::string Timeouts() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
    return "no key";
  }
  const std::string line = Timeout(key, L"ACUserIdle") + " " + Timeout(key, L"ACSystemIdle") + " " +
                           Timeout(key, L"ACSuspend");
  ::RegCloseKey(key);
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: power_manager RECORD\n");
    return 2;
  }
  const std::wstring record = argv[1];
  const HANDLE reload =
      ::CreateEventW(nullptr, FALSE, FALSE, L"PowerManager/ReloadActivityTimeouts");
  if (!reload)
    return 1;
  std::ofstream out(std::filesystem::path(record), std::ios::binary);
  out << "ready" << std::endl;
  while (::GetFileAttributesW((record + L".stop").c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (::WaitForSingleObject(reload, 100) == WAIT_OBJECT_0)
      out << Timeouts() << std::endl;
  }
  ::CloseHandle(reload);
  out << "stopped" << std::endl;
  return 0;
}
