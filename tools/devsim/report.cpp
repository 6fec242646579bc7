#include "tools/devsim/report.h"

#include <sstream>

#include "bootcfg/boot_settings.h"
#include "platform/host/host.h"
#include "platform/sim/power_manager.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"
#include "tools/common/sha256.h"

namespace tools {

namespace {

using bootcfg::BootSettings;
using nlohmann::json;
namespace sim = platform::sim;

const char* const kImageNames[2] = {"main", "rescue"};

std::string ReadOrEmpty(const platform::host::Below& file, std::uint64_t limit) {
  std::string bytes;
  platform::host::ReadWholeFile(file, bytes, limit);
  return bytes;
}

std::optional<SettingsState> DecodeSettings(const std::string& bytes) {
  if (bytes.size() != platform::kBootSettingsSize)
    return std::nullopt;
  BootSettings settings;
  std::copy(bytes.begin(), bytes.end(), settings.bytes.begin());
  const platform::DWORD rescueMax = settings.get(BootSettings::dwRescueMaxSize);
  return SettingsState{settings.get(BootSettings::wBootImage), bootcfg::IsConsistent(settings),
                       bootcfg::MainImageLimit(settings.get(BootSettings::wMainLimitA),
                                               settings.get(BootSettings::dwMainLimitB), rescueMax),
                       rescueMax, settings.get(BootSettings::bClearedOnSelect)};
}

json Number(const std::optional<platform::DWORD>& value) {
  return value ? json(*value) : json();
}

json Timeouts(const sim::EnforcedTimeouts& timeouts) {
  json record = json::object();
  for (int i = 0; i < 3; ++i)
    record[platform::ToUtf8(sim::kPowerTimeoutNames[i])] = Number(timeouts.values[i]);
  return record;
}

std::string Text(const std::optional<platform::DWORD>& value) {
  return value ? std::to_string(*value) : "(none)";
}

}  // namespace

DeviceState ReadDeviceState(sim::Device& device) {
  const sim::DevicePaths& paths = device.paths();
  DeviceState state;
  state.device = platform::host::Shown(paths.root);
  // A block longer than the device's own shows as one byte more, and so as not the device's.
  const std::string settings = ReadOrEmpty(paths.settings(), platform::kBootSettingsSize + 1);
  state.settingsHex = platform::HexEncode(settings);
  state.settings = DecodeSettings(settings);
  const std::string constants = ReadOrEmpty(paths.constants(), platform::kConstSettingsSize + 1);
  state.constantsHex = platform::HexEncode(constants);
  if (constants.size() == platform::kConstSettingsSize) {
    bootcfg::ConstSettings block;
    std::copy(constants.begin(), constants.end(), block.bytes.begin());
    state.constants = DecodeConstants(block);
  }
  const std::string bootLoader = ReadOrEmpty(paths.bootLoader(), device.bootLoaderCapacity());
  state.bootLoaderSize = bootLoader.size();
  state.bootLoaderSha256 = Sha256Hex(bootLoader);
  sim::BinfsHeader header;
  const bool headerRead = sim::LoadBinfsHeader(paths, header);
  for (int i = 0; i < 2; ++i) {
    const std::string bytes = ReadOrEmpty(paths.image(i), device.binfsLayout().regionSize[i]);
    ImageState& image = state.images[i];
    image.length = headerRead ? header.length[i] : std::nullopt;
    image.written = bytes.size();
    image.whole = image.length && *image.length > 0 && bytes.size() == *image.length;
    image.region = device.binfsLayout().regionSize[i];
    image.sha256 = Sha256Hex(bytes);
  }
  state.sectorSize = device.binfsLayout().sectorSize;
  state.boot = sim::DecideBoot(paths);
  for (int i = 0; i < 3; ++i) {
    const auto value = device.simRegistry().Get(sim::kPowerTimeoutsKey, sim::kPowerTimeoutNames[i]);
    if (value && value->type == platform::kRegDword)
      state.timeouts.values[i] = sim::ValueDword(*value);
  }
  if (const auto folder =
          device.simRegistry().Get(L"System\\StorageManager\\Profiles\\USER", L"Folder")) {
    state.storeFolder = platform::ToUtf8(sim::ValueText(*folder));
  }
  if (const sim::PowerManager* manager = device.powerManager()) {
    state.enforced = manager->enforced();
    state.reloads = manager->reloads().size();
  }
  for (const sim::Fault& fault : device.faults().armed())
    state.faults.push_back(sim::DescribeFault(fault));
  return state;
}

json RenderJson(const DeviceState& state) {
  json out;
  out["device"] = state.device;
  out["settings_hex"] = state.settingsHex;
  if (const auto& settings = state.settings) {
    out["boot_image"] = settings->bootImage;
    out["settings_checksum_ok"] = settings->checksumOk;
    out["main_max_size"] = settings->mainMaxSize;
    out["rescue_max_size"] = settings->rescueMaxSize;
    out["cleared_on_select"] = settings->clearedOnSelect;
  } else {
    out["settings_error"] = "the settings block is not 112 bytes";
  }
  out["constants_hex"] = state.constantsHex;
  if (const auto& constants = state.constants) {
    out["constants"] = {{"bluetooth_address", FormatBluetoothAddress(constants->bluetoothAddress)},
                        {"frequency_offset_ppb", constants->frequencyOffset},
                        {"serial_number", constants->serialNumber}};
  }
  out["bootloader"] = {{"size", state.bootLoaderSize}, {"sha256", state.bootLoaderSha256}};
  for (int i = 0; i < 2; ++i) {
    const ImageState& image = state.images[i];
    out[kImageNames[i]] = {{"length", Number(image.length)},
                           {"written", image.written},
                           {"whole", image.whole},
                           {"region", image.region},
                           {"sha256", image.sha256}};
  }
  out["sector_size"] = state.sectorSize;
  out["boot"] = {{"image", kImageNames[state.boot.image]},
                 {"reason", state.boot.reason},
                 {"whole", state.boot.whole}};
  out["timeouts"] = Timeouts(state.timeouts);
  out["store_folder"] = state.storeFolder ? json(*state.storeFolder) : json();
  out["power_manager"] =
      state.enforced ? json{{"enforced", Timeouts(*state.enforced)}, {"reloads", state.reloads}}
                     : json();
  out["faults"] = state.faults;
  return out;
}

std::string RenderText(const DeviceState& state) {
  std::ostringstream out;
  const auto field = [&out](const char* label, const std::string& text) {
    out << "  " << label << std::string(22 - std::string(label).size(), ' ') << text << "\n";
  };
  out << "Simulated device " << state.device << "\n";
  if (const auto& settings = state.settings) {
    const int image = settings->bootImage;
    field("boot image", std::to_string(image) + (image == 0   ? " (main)"
                                                 : image == 1 ? " (rescue)"
                                                              : " (unknown)"));
    field("settings checksum", settings->checksumOk ? "ok" : "WRONG");
    field("main image limit", std::to_string(settings->mainMaxSize) + " bytes");
    field("rescue image limit", std::to_string(settings->rescueMaxSize) + " bytes");
  } else {
    field("settings", "the settings block is not 112 bytes");
  }
  field("boot loader", std::to_string(state.bootLoaderSize) + " bytes, sha256 " +
                           state.bootLoaderSha256.substr(0, 16) + "...");
  for (int i = 0; i < 2; ++i) {
    const ImageState& image = state.images[i];
    field(i == 0 ? "main image" : "rescue image",
          std::to_string(image.written) + " of " + Text(image.length) + " bytes, " +
              (image.whole ? "whole" : "NOT whole") + ", region " + std::to_string(image.region));
  }
  if (const auto& constants = state.constants) {
    field("bluetooth address", FormatBluetoothAddress(constants->bluetoothAddress));
    field("frequency offset", std::to_string(constants->frequencyOffset) + " ppb");
    field("serial number", constants->serialNumber);
  }
  field("store folder", state.storeFolder.value_or("(none)"));
  const auto values = [](const sim::EnforcedTimeouts& timeouts) {
    return Text(timeouts.values[0]) + ", " + Text(timeouts.values[1]) + ", " +
           Text(timeouts.values[2]);
  };
  field("timeouts (registry)", "ACUserIdle " + Text(state.timeouts.values[0]) + ", ACSystemIdle " +
                                   Text(state.timeouts.values[1]) + ", ACSuspend " +
                                   Text(state.timeouts.values[2]));
  field("power manager", state.enforced ? "enforces " + values(*state.enforced) + " after " +
                                              std::to_string(state.reloads) + " reload(s)"
                                        : std::string("not running"));
  std::string faults;
  for (const std::string& fault : state.faults)
    faults += (faults.empty() ? "" : "; ") + fault;
  field("armed faults", faults.empty() ? "none" : faults);
  return out.str();
}

}  // namespace tools
