// tessaron.exe: the application with the Win32 front end, on a simulated device.
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "app/update_app.h"
#include "platform/host/device_folder.h"
#include "platform/host/win32/debug_output.h"
#include "platform/os/windows_api.h"
#include "platform/sim/device.h"
#include "platform/text/utf8.h"
#include "platform/win32/win32_frontend.h"
#include "resources/resources.h"
#include "tools/common/provision.h"

namespace {

int Fail(const std::string& message) {
  ::MessageBoxW(nullptr, platform::FromUtf8(message).c_str(), L"tessaron", MB_OK | MB_ICONERROR);
  return 1;
}

int Run() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::filesystem::path deviceDir = L"device";
  for (int i = 1; i + 1 < count; ++i) {
    if (std::wstring(arguments[i]) == L"--device")
      deviceDir = arguments[i + 1];
  }
  ::LocalFree(arguments);

  bool made = false;
  std::string error;
  std::unique_ptr<platform::sim::Device> device = tools::OpenOrCreateDevice(deviceDir, made, error);
  if (!device)
    return Fail(error);

  // The file dialog opens in the host folder behind the device's file system.
  const std::filesystem::path files =
      std::filesystem::absolute(device->paths().fileSystem().path());
  platform::win32::Win32Frontend frontend(
      {files.lexically_normal().wstring(), [files](const std::wstring& chosen) {
         return platform::host::DevicePathOf(files, chosen);
       }});
  platform::ui::UiContext ui{frontend, resources::AppResources()};
  platform::host::DebugOutput log(device->log());
  app::Services services{device->files(),   device->registry(), device->events(),
                         device->devices(), device->kernel(),   log};
  app::CUpdateApp(ui, services).InitInstance();
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The last net: every failure foreseen is reported where it happens.
  try {
    return Run();
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}
