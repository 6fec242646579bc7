// tessaron on the device: the application with its Win32 dialogs over the device's own
// services. The debug log goes to NKDbgPrintfW; the file dialog gives the device's own paths.
#include <exception>
#include <optional>
#include <string>

#include "app/update_app.h"
#include "platform/device/device_calls.h"
#include "platform/device/device_services.h"
#include "platform/text/utf8.h"
#include "platform/win32/win32_frontend.h"
#include "resources/resources.h"

namespace {

// The device has one file system and no drives; a desktop's dialog puts one before the path.
std::optional<std::wstring> DevicePath(const std::wstring& chosen) {
  const bool drive = chosen.size() >= 2 && chosen[1] == L':';
  return drive ? chosen.substr(2) : chosen;
}

int Run() {
  platform::device::DeviceServices device(platform::device::OwnCalls());
  platform::win32::Win32Frontend frontend({L"", DevicePath});
  platform::ui::UiContext ui{frontend, resources::AppResources()};
  app::Services services{device.files,   device.registry, device.events,
                         device.devices, device.kernel,   device.log};
  app::CUpdateApp(ui, services).InitInstance();
  return 0;
}

int Main() {
  // The last net: every failure foreseen is reported where it happens.
  try {
    return Run();
  } catch (const std::exception& error) {
    ::MessageBoxW(nullptr, platform::FromUtf8(error.what()).c_str(), L"tessaron",
                  MB_OK | MB_ICONERROR);
    return 1;
  }
}

}  // namespace

#ifdef _WIN32_WCE
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  return Main();
}
#else
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return Main();
}
#endif
