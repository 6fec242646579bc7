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

std::string Timeout(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  const LSTATUS status =
      ::RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts",
                     name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return status == ERROR_SUCCESS && size == sizeof value ? std::to_string(value) : "-";
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
      out << Timeout(L"ACUserIdle") << ' ' << Timeout(L"ACSystemIdle") << ' '
          << Timeout(L"ACSuspend") << std::endl;
  }
  ::CloseHandle(reload);
  out << "stopped" << std::endl;
  return 0;
}
