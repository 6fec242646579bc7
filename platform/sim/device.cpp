#include "platform/sim/device.h"

#include <nlohmann/json.hpp>

#include <system_error>

#include "platform/host/host.h"

namespace platform::sim {

namespace {

constexpr int kFormatVersion = 1;
const wchar_t kBinfsDriverKey[] = L"Drivers\\BINDRV";

}  // namespace

Device::Device(const std::filesystem::path& dir, const BinfsLayout& layout,
               DWORD bootLoaderCapacity, bool powerManager)
    : paths_(dir),
      layout_(layout),
      bootLoaderCapacity_(bootLoaderCapacity),
      faults_(paths_.faults()),
      registry_(paths_, faults_),
      powerManager_(powerManager ? std::make_unique<PowerManager>(paths_, registry_) : nullptr),
      events_(paths_, faults_, powerManager_.get()),
      kernel_(paths_, faults_, bootLoaderCapacity),
      devices_(paths_, layout_, registry_, faults_),
      files_(paths_, faults_),
      log_(paths_.debugLog()) {}

bool Device::Create(const std::filesystem::path& dir, const InitialState& state,
                    std::string& error) {
  std::error_code ec;
  if (std::filesystem::exists(dir, ec) && !std::filesystem::is_empty(dir, ec)) {
    error = dir.string() + " exists and is not empty";
    return false;
  }
  const DevicePaths paths(dir);
  for (const auto& folder :
       {paths.bootLoader().parent_path(), paths.image(0).parent_path(), paths.fileSystem()}) {
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      error = "cannot create " + folder.string() + ": " + ec.message();
      return false;
    }
  }
  const nlohmann::json config = {{"format", kFormatVersion},
                                 {"boot_loader_capacity", state.bootLoaderCapacity},
                                 {"binfs",
                                  {{"sector_size", state.binfs.sectorSize},
                                   {"main_region", state.binfs.regionSize[0]},
                                   {"rescue_region", state.binfs.regionSize[1]},
                                   {"write_delay_ms", state.binfs.writeDelayMs}}},
                                 {"power_manager", state.powerManager}};
  BinfsHeader header;
  for (int i = 0; i < 2; ++i) {
    if (state.images[i].size() > state.binfs.regionSize[i]) {
      error = "an installed image is larger than its BINFS region";
      return false;
    }
    if (!state.images[i].empty())
      header.length[i] = static_cast<DWORD>(state.images[i].size());
  }
  const auto bytes = [](const auto& block) {
    return std::string_view(reinterpret_cast<const char*>(block.data()), block.size());
  };
  const std::string description = config.dump(2) + "\n";
  const std::pair<std::filesystem::path, std::string_view> files[] = {
      {paths.config(), description},
      {paths.registry(), "{}\n"},
      {paths.bootLoader(), state.bootLoader},
      {paths.settings(), bytes(state.settings)},
      {paths.constants(), bytes(state.constants)},
      {paths.image(0), state.images[0]},
      {paths.image(1), state.images[1]},
      {paths.faults(), "[]\n"},
      {paths.debugLog(), {}},
      {paths.powerManager(), "{\"enforced\": {}, \"reloads\": []}\n"},
  };
  for (const auto& [path, contents] : files) {
    if (!host::ReplaceFile(path, contents)) {
      error = "cannot write " + path.string() + ": " + host::LastErrorText();
      return false;
    }
  }
  if (!SaveBinfsHeader(paths, header)) {
    error = "cannot write " + paths.imageHeaders().string() + ": " + host::LastErrorText();
    return false;
  }
  auto device = Open(dir, error);
  if (!device)
    return false;
  SimRegistry& registry = device->registry_;
  bool saved = registry.Put(kBinfsDriverKey, L"Dll", StringValue(L"bindrv.dll")) &&
               registry.Put(kBinfsDriverKey, L"Prefix", StringValue(L"BIN")) &&
               registry.Put(kBinfsDriverKey, L"Index", DwordValue(1));
  for (const RegistryEntry& entry : state.registry)
    saved = saved && registry.Put(entry.key, entry.name, entry.value);
  // The power manager starts with what the registry holds.
  if (!saved || (device->powerManager_ && !device->powerManager_->ReloadActivityTimeouts())) {
    error = "cannot write the registry of " + dir.string() + ": " + host::LastErrorText();
    return false;
  }
  return true;
}

std::unique_ptr<Device> Device::Open(const std::filesystem::path& dir, std::string& error) {
  const DevicePaths paths(dir);
  std::string bytes;
  if (!host::ReadWholeFile(paths.config(), bytes)) {
    error = dir.string() + " is not a simulated device: cannot read " + paths.config().string() +
            ": " + host::LastErrorText();
    return nullptr;
  }
  const nlohmann::json config = nlohmann::json::parse(bytes, nullptr, false);
  const auto number =
      [&config](const nlohmann::json::json_pointer& pointer) -> std::optional<DWORD> {
    if (!config.is_object() || !config.contains(pointer))
      return std::nullopt;
    const nlohmann::json& value = config.at(pointer);
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > 0xFFFFFFFFu)
      return std::nullopt;
    return value.get<DWORD>();
  };
  using Pointer = nlohmann::json::json_pointer;
  const auto format = number(Pointer("/format"));
  const auto capacity = number(Pointer("/boot_loader_capacity"));
  const auto sector = number(Pointer("/binfs/sector_size"));
  const auto mainRegion = number(Pointer("/binfs/main_region"));
  const auto rescueRegion = number(Pointer("/binfs/rescue_region"));
  const auto writeDelay = number(Pointer("/binfs/write_delay_ms"));
  const auto powerManager = config.is_object() ? config.find("power_manager") : config.end();
  if (!format || *format != kFormatVersion || !capacity || !sector || !mainRegion ||
      !rescueRegion || !writeDelay || powerManager == config.end() || !powerManager->is_boolean()) {
    error = paths.config().string() + " is not a device description of this version";
    return nullptr;
  }
  BinfsLayout layout;
  layout.sectorSize = *sector;
  layout.regionSize[0] = *mainRegion;
  layout.regionSize[1] = *rescueRegion;
  layout.writeDelayMs = *writeDelay;
  std::unique_ptr<Device> device(new Device(dir, layout, *capacity, powerManager->get<bool>()));
  if (!device->faults_.Load(error) || !device->registry_.Load(error) ||
      (device->powerManager_ && !device->powerManager_->Load(error))) {
    return nullptr;
  }
  return device;
}

std::vector<std::string> Device::Unreleased() const {
  std::vector<std::string> open;
  const auto add = [&open](std::size_t count, const char* what) {
    if (count)
      open.push_back(std::to_string(count) + " " + what);
  };
  add(files_.openCount(), "file handle(s)");
  add(registry_.openKeyCount(), "registry key(s)");
  add(events_.openCount(), "event handle(s)");
  add(devices_.activeCount(), "driver activation(s)");
  add(devices_.openCount(), "stream handle(s)");
  return open;
}

}  // namespace platform::sim
