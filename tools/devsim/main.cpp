// devsim: create, inspect and boot a simulated device, and arm faults in it.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>

#include "platform/host/host.h"
#include "platform/sim/boot_loader.h"
#include "platform/sim/device.h"
#include "platform/sim/state_file.h"
#include "platform/text/utf8.h"
#include "tools/common/last_net.h"
#include "tools/common/provision.h"
#include "tools/devsim/report.h"

namespace {

namespace sim = platform::sim;

std::unique_ptr<sim::Device> OpenDevice(const std::string& dir) {
  std::string error = "an empty path names no folder for the device";
  auto device = dir.empty() ? nullptr : sim::Device::Open(dir, error);
  if (!device)
    std::cerr << "devsim: " << error << "\n";
  return device;
}

// A change to the device's files that did not take, in one line with the host's reason.
int CannotWrite(const platform::host::Below& file) {
  std::cerr << "devsim: " << sim::CannotWrite(file) << "\n";
  return 1;
}

// "U,S,A": three decimal numbers of 32 bits, nothing else.
bool ParseTimeouts(const std::string& text, platform::DWORD (&values)[3]) {
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    const auto [stop, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc() || stop == at || (i < 2 ? stop == end || *stop != ',' : stop != end))
      return false;
    at = stop + 1;
  }
  return true;
}

int Init(const std::string& dir, tools::DeviceOptions options, const std::string& timeouts) {
  if (options.writeDelayMs > platform::sim::kLongestWriteDelay) {
    std::cerr << "devsim: --write-delay takes at most " << platform::sim::kLongestWriteDelay
              << " ms, as a write of the device's flash never takes longer\n";
    return 2;
  }
  if (!timeouts.empty() && !ParseTimeouts(timeouts, options.timeouts)) {
    std::cerr << "devsim: --timeouts takes three numbers of 32 bits: "
                 "ACUserIdle,ACSystemIdle,ACSuspend\n";
    return 2;
  }
  std::string error;
  if (!tools::CreateDevice(dir, options, error)) {
    std::cerr << "devsim: " << error << "\n";
    return 1;
  }
  std::cout << "Created a simulated device in " << platform::host::Shown(dir) << "\n";
  return 0;
}

int Show(const std::string& dir, bool asJson) {
  auto device = OpenDevice(dir);
  if (!device)
    return 1;
  const tools::DeviceState state = tools::ReadDeviceState(*device);
  std::cout << (asJson ? tools::RenderJson(state).dump(2) + "\n" : tools::RenderText(state));
  return 0;
}

int Boot(const std::string& dir, bool asJson) {
  auto device = OpenDevice(dir);
  if (!device)
    return 1;
  const sim::BootDecision boot = sim::DecideBoot(device->paths());
  const char* name = boot.image == 0 ? "main" : "rescue";
  const nlohmann::json length = boot.length ? nlohmann::json(*boot.length) : nlohmann::json();
  if (asJson) {
    std::cout << nlohmann::json{{"image", name},
                                {"reason", boot.reason},
                                {"whole", boot.whole},
                                {"length", length},
                                {"written", boot.written}}
                     .dump(2)
              << "\n";
  } else {
    std::cout << "The boot loader starts the " << name << " image (" << boot.reason << ").\n";
    if (boot.whole) {
      std::cout << "The " << name << " image is whole: " << boot.written
                << " bytes, as its header records.\n";
    } else {
      std::cout << "The " << name << " image is NOT whole: " << boot.written
                << " bytes written, header records "
                << (length.is_null() ? std::string("no length") : length.dump() + " bytes")
                << ".\n";
    }
  }
  return boot.whole ? 0 : 3;
}

int Fault(const std::string& dir, const std::vector<std::string>& words, unsigned nth,
          platform::DWORD error, bool list, bool clear) {
  auto device = OpenDevice(dir);
  if (!device)
    return 1;
  sim::FaultInjector& faults = device->faults();
  if (clear) {
    if (!faults.Clear())
      return CannotWrite(device->paths().faults());
    std::cout << "No fault armed.\n";
    return 0;
  }
  if (list || words.empty()) {
    if (faults.armed().empty())
      std::cout << "No fault armed.\n";
    for (const sim::Fault& fault : faults.armed())
      std::cout << sim::DescribeFault(fault) << "\n";
    return 0;
  }
  const bool powerCut = words[0] == "power-cut";
  if (words.size() != (powerCut ? 2u : 1u)) {
    std::cerr << "devsim: give one call, as in 'devsim fault DIR ReadFile' or "
                 "'devsim fault DIR power-cut WriteFile'\n";
    return 2;
  }
  if (error == platform::kErrorSuccess) {
    std::cerr << "devsim: --error 0 is success: a call made to fail needs a non-zero error code\n";
    return 2;
  }
  sim::Fault fault;
  std::string message;
  if (!sim::ParseFaultTarget(words.back(), fault, message)) {
    std::cerr << "devsim: " << message << "\n";
    return 2;
  }
  fault.nth = nth;
  fault.error = error;
  fault.powerCut = powerCut;
  if (!faults.Arm(fault))
    return CannotWrite(device->paths().faults());
  std::cout << "Armed: " << sim::DescribeFault(fault) << "\n";
  return 0;
}

int Run(int argc, char** argv) {
  CLI::App app{"devsim: create, inspect and boot a simulated Tessaron device"};
  app.require_subcommand(1);

  std::string dir;
  tools::DeviceOptions options;
  std::string storeFolder = "Flash";
  std::string timeouts;
  platform::DWORD mainMax = 0;
  auto* init = app.add_subcommand("init", "Create a device with defaults and sample packages");
  init->add_option("DIR", dir, "Device directory (must not exist or be empty)")->required();
  init->add_option("--store-folder", storeFolder, "User-store folder named in the registry")
      ->capture_default_str();
  auto* mainMaxOption = init->add_option(
      "--main-max", mainMax,
      "Main image size limit in bytes (default 67108864), at least the factory main image's " +
          std::to_string(options.factoryImages[0]) +
          "; its BINFS region holds at most 512 MiB whatever the limit");
  init->add_option("--rescue-max", options.rescueMax,
                   "Rescue image size limit in bytes, at least the factory rescue image's " +
                       std::to_string(options.factoryImages[1]))
      ->capture_default_str();
  init->add_option("--boot-image", options.bootImage,
                   "Image the boot loader starts: 0 main, 1 rescue")
      ->check(CLI::IsMember({0, 1}))
      ->capture_default_str();
  init->add_option("--write-delay", options.writeDelayMs,
                   "Milliseconds each BINFS write takes, to watch the progress bar (at most " +
                       std::to_string(platform::sim::kLongestWriteDelay) + ")")
      ->capture_default_str();
  init->add_option("--timeouts", timeouts,
                   "Power timeouts U,S,A: ACUserIdle,ACSystemIdle,ACSuspend (default 60,300,600)");

  bool asJson = false;
  auto* show = app.add_subcommand("show", "Print the device's state");
  show->add_option("DIR", dir, "Device directory")->required();
  show->add_flag("--json", asJson, "Print JSON");

  auto* boot =
      app.add_subcommand("boot",
                         "Tell which image the boot loader would start and whether it is whole "
                         "(exit 0 whole, 3 not whole)");
  boot->add_option("DIR", dir, "Device directory")->required();
  boot->add_flag("--json", asJson, "Print JSON");

  std::vector<std::string> words;
  unsigned nth = 1;
  platform::DWORD error = platform::kErrorGenFailure;
  bool list = false;
  bool clear = false;
  auto* fault = app.add_subcommand(
      "fault",
      "Arm a fault that the next program using the device obeys:\n"
      "  devsim fault DIR CALL[:CODE] [--nth N] [--error CODE]\n"
      "  devsim fault DIR power-cut CALL[:CODE] [--nth N]\n"
      "CALL is a device call (KernelIoControl, DeviceIoControl, WriteFile, ReadFile,\n"
      "RegOpenKeyEx, ...); CODE a request code or name (IOCTL_HAL_WRITE_BOOTLOADER,\n"
      "BIN_IOCTL_SELECT_IMAGE, 3, 0x01010420). Each fault fires once.");
  fault->add_option("DIR", dir, "Device directory")->required();
  fault->add_option("WHAT", words, "[power-cut] CALL[:CODE]");
  fault->add_option("--nth", nth, "Which matching call, counted from 1")
      ->check(CLI::Range(1u, 0xFFFFFFFFu))
      ->capture_default_str();
  fault->add_option("--error", error, "Error code the call fails with (not 0)")
      ->capture_default_str();
  fault->add_flag("--list", list, "List the armed faults");
  fault->add_flag("--clear", clear, "Remove every armed fault");

  CLI11_PARSE(app, argc, argv);

  if (init->parsed()) {
    options.storeFolder = platform::FromUtf8(storeFolder);
    if (mainMaxOption->count())
      options.mainMax = mainMax;
    return Init(dir, options, timeouts);
  }
  if (show->parsed())
    return Show(dir, asJson);
  if (boot->parsed())
    return Boot(dir, asJson);
  return Fault(dir, words, nth, error, list, clear);
}

}  // namespace

int main(int argc, char** argv) {
  return tools::RunWithLastNet("devsim", [&] { return Run(argc, argv); });
}
