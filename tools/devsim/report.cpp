#include "tools/devsim/report.h"

#include <sstream>

#include "bootcfg/boot_settings.h"
#include "platform/host/host.h"
#include "platform/sim/boot_loader.h"
#include "platform/sim/power_manager.h"
#include "platform/text/strings.h"
#include "platform/text/utf8.h"
#include "tools/common/device_constants.h"
#include "tools/common/sha256.h"

namespace tools {

namespace {

using bootcfg::BootSettings;
using nlohmann::json;
namespace sim = platform::sim;

std::string ReadOrEmpty(const std::filesystem::path& path) {
  std::string bytes;
  platform::host::ReadWholeFile(path, bytes);
  return bytes;
}

json Timeouts(const sim::EnforcedTimeouts& timeouts) {
  json record = json::object();
  for (int i = 0; i < 3; ++i) {
    record[platform::ToUtf8(sim::kPowerTimeoutNames[i])] =
        timeouts.values[i] ? json(*timeouts.values[i]) : json();
  }
  return record;
}

}  // namespace

json DescribeDevice(sim::Device& device) {
  const sim::DevicePaths& paths = device.paths();
  json state;
  state["device"] = paths.root.string();

  const std::string settingsBytes = ReadOrEmpty(paths.settings());
  state["settings_hex"] = platform::HexEncode(settingsBytes);
  if (settingsBytes.size() == platform::kBootSettingsSize) {
    BootSettings settings;
    std::copy(settingsBytes.begin(), settingsBytes.end(), settings.bytes.begin());
    state["boot_image"] = settings.get(BootSettings::wBootImage);
    state["settings_checksum_ok"] = bootcfg::IsConsistent(settings);
    state["main_max_size"] = bootcfg::MainImageLimit(settings.get(BootSettings::wMainLimitA),
                                                     settings.get(BootSettings::dwMainLimitB),
                                                     settings.get(BootSettings::dwRescueMaxSize));
    state["rescue_max_size"] = settings.get(BootSettings::dwRescueMaxSize);
    state["cleared_on_select"] = settings.get(BootSettings::bClearedOnSelect);
  } else {
    state["settings_error"] = "the settings block is not 112 bytes";
  }

  const std::string constantsBytes = ReadOrEmpty(paths.constants());
  state["constants_hex"] = platform::HexEncode(constantsBytes);
  if (constantsBytes.size() == platform::kConstSettingsSize) {
    bootcfg::ConstSettings block;
    std::copy(constantsBytes.begin(), constantsBytes.end(), block.bytes.begin());
    const DeviceConstants constants = DecodeConstants(block);
    state["constants"] = {{"bluetooth_address", FormatBluetoothAddress(constants.bluetoothAddress)},
                          {"frequency_offset_ppb", constants.frequencyOffset},
                          {"serial_number", constants.serialNumber}};
  }

  const std::string bootLoader = ReadOrEmpty(paths.bootLoader());
  state["bootloader"] = {{"size", bootLoader.size()}, {"sha256", Sha256Hex(bootLoader)}};

  sim::BinfsHeader header;
  const bool headerRead = sim::LoadBinfsHeader(paths, header);
  const char* const names[2] = {"main", "rescue"};
  for (int i = 0; i < 2; ++i) {
    const std::string image = ReadOrEmpty(paths.image(i));
    const bool recorded = headerRead && header.length[i].has_value();
    state[names[i]] = {
        {"length", recorded ? json(*header.length[i]) : json()},
        {"written", image.size()},
        {"whole", recorded && *header.length[i] > 0 && image.size() == *header.length[i]},
        {"region", device.binfsLayout().regionSize[i]},
        {"sha256", Sha256Hex(image)}};
  }
  state["sector_size"] = device.binfsLayout().sectorSize;
  const sim::BootDecision boot = sim::DecideBoot(paths);
  state["boot"] = {{"image", boot.image == 0 ? "main" : "rescue"},
                   {"reason", boot.reason},
                   {"whole", boot.whole}};

  sim::EnforcedTimeouts inRegistry;
  for (int i = 0; i < 3; ++i) {
    const auto value = device.simRegistry().Get(sim::kPowerTimeoutsKey, sim::kPowerTimeoutNames[i]);
    if (value && value->type == platform::kRegDword)
      inRegistry.values[i] = sim::ValueDword(*value);
  }
  state["timeouts"] = Timeouts(inRegistry);
  const auto folder =
      device.simRegistry().Get(L"System\\StorageManager\\Profiles\\USER", L"Folder");
  state["store_folder"] = folder ? json(platform::ToUtf8(sim::ValueText(*folder))) : json();
  if (const sim::PowerManager* manager = device.powerManager()) {
    state["power_manager"] = {{"enforced", Timeouts(manager->enforced())},
                              {"reloads", manager->reloads().size()}};
  } else {
    state["power_manager"] = nullptr;
  }
  json faults = json::array();
  for (const sim::Fault& fault : device.faults().armed())
    faults.push_back(sim::DescribeFault(fault));
  state["faults"] = faults;
  return state;
}

std::string RenderDevice(const json& state) {
  std::ostringstream out;
  const auto field = [&out](const char* label, const std::string& text) {
    out << "  " << label << std::string(22 - std::string(label).size(), ' ') << text << "\n";
  };
  const auto number = [](const json& value) {
    return value.is_null() ? std::string("(none)") : value.dump();
  };
  out << "Simulated device " << state["device"].get<std::string>() << "\n";
  if (state.contains("boot_image")) {
    const auto image = state["boot_image"].get<int>();
    field("boot image", std::to_string(image) + (image == 0   ? " (main)"
                                                 : image == 1 ? " (rescue)"
                                                              : " (unknown)"));
    field("settings checksum", state["settings_checksum_ok"].get<bool>() ? "ok" : "WRONG");
    field("main image limit", number(state["main_max_size"]) + " bytes");
    field("rescue image limit", number(state["rescue_max_size"]) + " bytes");
  } else {
    field("settings", state["settings_error"].get<std::string>());
  }
  field("boot loader", number(state["bootloader"]["size"]) + " bytes, sha256 " +
                           state["bootloader"]["sha256"].get<std::string>().substr(0, 16) + "...");
  for (const char* name : {"main", "rescue"}) {
    const json& image = state[name];
    const std::string text = number(image["written"]) + " of " + number(image["length"]) +
                             " bytes, " + (image["whole"].get<bool>() ? "whole" : "NOT whole") +
                             ", region " + number(image["region"]);
    field(name == std::string("main") ? "main image" : "rescue image", text);
  }
  if (state.contains("constants")) {
    const json& constants = state["constants"];
    field("bluetooth address", constants["bluetooth_address"].get<std::string>());
    field("frequency offset", number(constants["frequency_offset_ppb"]) + " ppb");
    field("serial number", constants["serial_number"].get<std::string>());
  }
  field("store folder",
        state["store_folder"].is_null() ? "(none)" : state["store_folder"].get<std::string>());
  const json& timeouts = state["timeouts"];
  field("timeouts (registry)", "ACUserIdle " + number(timeouts["ACUserIdle"]) + ", ACSystemIdle " +
                                   number(timeouts["ACSystemIdle"]) + ", ACSuspend " +
                                   number(timeouts["ACSuspend"]));
  if (state["power_manager"].is_null()) {
    field("power manager", "not running");
  } else {
    const json& enforced = state["power_manager"]["enforced"];
    field("power manager", "enforces " + number(enforced["ACUserIdle"]) + ", " +
                               number(enforced["ACSystemIdle"]) + ", " +
                               number(enforced["ACSuspend"]) + " after " +
                               number(state["power_manager"]["reloads"]) + " reload(s)");
  }
  std::string faults;
  for (const json& fault : state["faults"])
    faults += (faults.empty() ? "" : "; ") + fault.get<std::string>();
  field("armed faults", faults.empty() ? "none" : faults);
  return out.str();
}

}  // namespace tools
