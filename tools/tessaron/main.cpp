// tessaron: the application on a simulated device, in the terminal.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>

#include "app/update_app.h"
#include "platform/console/console_frontend.h"
#include "platform/host.h"
#include "platform/sim/device.h"
#include "platform/text.h"
#include "resources/resources.h"
#include "tools/common/provision.h"

namespace {

// Exit statuses.
constexpr int kEnded = 0;
constexpr int kNoDevice = 1;
constexpr int kGaveUp = 3;
constexpr int kAlreadyRunning = 4;

bool ReadScript(const std::string& path, std::vector<std::wstring>& lines) {
  std::ifstream in(path);
  if (!in)
    return false;
  std::string line;
  while (std::getline(in, line))
    lines.push_back(platform::FromUtf8(line));
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "tessaron: replace the boot loader, the main image or the rescue image of a device with an "
      "image package, and choose the image it boots (here on a simulated device, in the "
      "terminal)"};
  std::string deviceDir = "./device";
  std::string scriptPath;
  cli.add_option("--device", deviceDir,
                 "Simulated device directory; made with the default contents and sample packages "
                 "when missing")
      ->capture_default_str();
  cli.add_option("--script", scriptPath,
                 "Answer the dialogs from FILE, one answer a line: click LABEL-OR-ID, check "
                 "LABEL-OR-ID, file PATH, cancel ('#' starts a comment). A script that runs out "
                 "or does not fit ends the run with status 3; another update running on the device, with "
                 "status 4");
  CLI11_PARSE(cli, argc, argv);

  std::optional<std::vector<std::wstring>> script;
  if (!scriptPath.empty()) {
    script.emplace();
    if (!ReadScript(scriptPath, *script)) {
      std::cerr << "tessaron: cannot read the script " << scriptPath << "\n";
      return kNoDevice;
    }
  }
  std::string error;
  if (!std::filesystem::exists(deviceDir)) {
    if (!tools::CreateDevice(deviceDir, {}, error)) {
      std::cerr << "tessaron: cannot make a device in " << deviceDir << ": " << error << "\n";
      return kNoDevice;
    }
    std::cout << "No device at " << deviceDir
              << ": made one with the default contents and sample packages.\n";
  }
  auto device = platform::sim::Device::Open(deviceDir, error);
  if (!device) {
    std::cerr << "tessaron: " << error << "\n";
    return kNoDevice;
  }

  platform::console::ConsoleFrontend frontend(std::cin, std::cout, device->paths().fileSystem(),
                                              std::move(script),
                                              platform::host::StandardOutputIsTerminal());
  const platform::ui::UiContext ui{frontend, resources::AppResources()};
  app::Services services{device->files(),   device->registry(), device->events(),
                         device->devices(), device->kernel(),   device->log()};
  app::CUpdateApp application(ui, services);
  application.InitInstance();
  if (application.anotherInstance())
    return kAlreadyRunning;
  if (frontend.aborted()) {
    std::cerr << "tessaron: " << platform::ToUtf8(frontend.abortReason()) << "\n";
    return kGaveUp;
  }
  return kEnded;
}
