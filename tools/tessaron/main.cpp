// tessaron: the application on a simulated device, in the terminal.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>
#include <string_view>

#include "app/update_app.h"
#include "platform/console/console_frontend.h"
#include "platform/host/host.h"
#include "platform/text/utf8.h"
#include "resources/resources.h"
#include "tools/common/last_net.h"
#include "tools/common/provision.h"

namespace {

// Exit statuses.
constexpr int kEnded = 0;
constexpr int kNoDevice = 1;
constexpr int kGaveUp = 3;
constexpr int kRefused = 4;  // another update runs, or may run, or the device is being made

// The script's lines. It is read whole, so that a FIFO or a folder is refused, never waited on.
bool ReadScript(const std::string& path, std::vector<std::wstring>& lines) {
  std::string bytes;
  if (!platform::host::ReadWholeFile(path, bytes))
    return false;
  // An editor may begin a UTF-8 file with a byte-order mark.
  std::string_view text = bytes;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text.remove_prefix(kByteOrderMark.size());
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    lines.push_back(platform::FromUtf8(text.substr(0, end)));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return true;
}

int Run(int argc, char** argv) {
  CLI::App cli{
      "tessaron: replace the boot loader, the main image or the rescue image of a device with an "
      "image package, and choose the image it boots (here on a simulated device, in the "
      "terminal)"};
  std::string deviceDir = "./device";
  std::string scriptPath;
  cli.add_option("--device", deviceDir,
                 "Simulated device directory; made with the default contents and sample packages "
                 "when missing or empty (a folder that holds anything else must be a device)")
      ->capture_default_str();
  cli.add_option(
      "--script", scriptPath,
      "Answer the dialogs from FILE, one answer a line: click LABEL-OR-ID, check "
      "LABEL-OR-ID, file PATH, cancel ('#' starts a comment). A script that runs out "
      "or does not fit ends the run with status 3; another update running on the device, with "
      "status 4");
  CLI11_PARSE(cli, argc, argv);

  std::optional<std::vector<std::wstring>> script;
  if (!scriptPath.empty()) {
    script.emplace();
    if (!ReadScript(scriptPath, *script)) {
      std::cerr << "tessaron: cannot read the script " << platform::host::Shown(scriptPath) << ": "
                << platform::host::LastErrorText() << "\n";
      return kNoDevice;
    }
  }
  bool made = false;
  std::string error;
  auto device = tools::OpenOrCreateDevice(deviceDir, made, error);
  if (!device) {
    std::cerr << "tessaron: " << error << "\n";
    return platform::GetLastError() == platform::kErrorDeviceInUse ? kRefused : kNoDevice;
  }
  if (made) {
    std::cout << "No device at " << platform::host::Shown(deviceDir)
              << ": made one with the default contents and sample packages.\n";
  }

  platform::console::ConsoleFrontend frontend(
      std::cin, std::cout, device->paths().fileSystem().path(), std::move(script),
      platform::host::StandardOutputIsTerminal());
  platform::ui::UiContext ui{frontend, resources::AppResources()};
  app::Services services{device->files(),   device->registry(), device->events(),
                         device->devices(), device->kernel(),   device->log()};
  app::CUpdateApp application(ui, services);
  application.InitInstance();
  if (application.refused())
    return kRefused;
  if (frontend.aborted()) {
    std::cerr << "tessaron: " << platform::ToUtf8(frontend.abortReason()) << "\n";
    return kGaveUp;
  }
  return kEnded;
}

}  // namespace

int main(int argc, char** argv) {
  return tools::RunWithLastNet("tessaron", [&] { return Run(argc, argv); });
}
