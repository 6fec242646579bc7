#include "platform/sim/device.h"

#include <nlohmann/json.hpp>

#include <system_error>

#include "platform/host/device_folder.h"
#include "platform/host/host.h"
#include "platform/sim/state_file.h"
#include "platform/text/utf8.h"

namespace platform::sim {

namespace {

constexpr int kFormatVersion = 1;
constexpr std::uint64_t kLargestDescription = std::uint64_t{64} * 1024;
const wchar_t kBinfsDriverKey[] = L"Drivers\\BINDRV";

}  // namespace

Device::Device(const std::filesystem::path& dir, const BinfsLayout& layout,
               DWORD bootLoaderCapacity, bool powerManager)
    : paths_(dir),
      layout_(layout),
      bootLoaderCapacity_(bootLoaderCapacity),
      faults_(paths_),
      registry_(paths_, faults_),
      powerManager_(powerManager ? std::make_unique<PowerManager>(paths_, registry_) : nullptr),
      events_(paths_, faults_, powerManager_.get()),
      kernel_(paths_, faults_, bootLoaderCapacity),
      devices_(paths_, layout_, registry_, faults_),
      files_(paths_, faults_),
      log_(paths_.debugLog()) {}

bool OnlyBeingMade(const DevicePaths& paths) {
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(paths.root, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (it->path().filename() != paths.creationLock().relative)
      return false;
  }
  return !ec;
}

namespace {

// The installed images with their lengths, written whole.
bool WriteImages(const DevicePaths& paths, const InitialState& state, std::string& error) {
  BinfsHeader header;
  for (int i = 0; i < 2; ++i) {
    if (state.images[i].size() > state.binfs.regionSize[i]) {
      error = "an installed image is larger than its BINFS region";
      return false;
    }
    if (!state.images[i].empty())
      header.length[i] = static_cast<DWORD>(state.images[i].size());
    if (!host::ReplaceFile(paths.image(i), state.images[i])) {
      error = CannotWrite(paths.image(i));
      return false;
    }
  }
  if (!SaveBinfsHeader(paths, header)) {
    error = CannotWrite(paths.imageHeaders());
    return false;
  }
  return true;
}

// The registry with the BINFS driver's key and the state's entries, and the power manager
// started with what it holds.
bool WriteRegistry(const DevicePaths& paths, const InitialState& state, std::string& error) {
  FaultInjector faults(paths);
  SimRegistry registry(paths, faults);
  bool saved = registry.Put(kBinfsDriverKey, L"Dll", StringValue(L"bindrv.dll")) &&
               registry.Put(kBinfsDriverKey, L"Prefix", StringValue(L"BIN")) &&
               registry.Put(kBinfsDriverKey, L"Index", DwordValue(1));
  for (const RegistryEntry& entry : state.registry)
    saved = saved && registry.Put(entry.key, entry.name, entry.value);
  PowerManager manager(paths, registry);
  if (!saved || (state.powerManager && !manager.ReloadActivityTimeouts())) {
    error =
        "cannot write the registry of " + host::Shown(paths.root) + ": " + host::LastErrorText();
    return false;
  }
  return true;
}

// The device's own files below fs/, each folder on its way made.
bool WriteFiles(const DevicePaths& paths, const InitialState& state, std::string& error) {
  for (const auto& [devicePath, contents] : state.files) {
    DWORD code = 0;
    const auto components = host::SplitDevicePath(devicePath, code);
    if (!components) {
      error = "bad device path " + ToUtf8(devicePath);
      return false;
    }
    host::Below file = paths.fileSystem();
    for (const std::string& component : *components)
      file = file / std::filesystem::u8path(component);
    const host::Below folder{file.root, file.relative.parent_path()};
    if (!host::MakeFolders(folder) || !host::ReplaceFile(file, contents)) {
      error = CannotWrite(file);
      return false;
    }
  }
  return true;
}

}  // namespace

bool Device::Create(const std::filesystem::path& dir, const InitialState& state,
                    std::string& error) {
  const DevicePaths paths(dir);
  std::error_code ec;
  // A folder that holds anything but a device being made is left alone: not even a lock is made
  // in it.
  if (std::filesystem::exists(dir, ec) && !OnlyBeingMade(paths) &&
      !std::filesystem::exists(paths.creationLock().path(), ec)) {
    error = host::Shown(dir) + " exists and is not empty";
    return false;
  }
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "cannot create " + host::Shown(dir) + ": " + ec.message();
    return false;
  }
  // Held while the device is made, so that a second maker is told it is busy.
  const auto making = host::LockFile(paths.creationLock(), true, false);
  if (!making) {
    const bool busy = GetLastError() == kErrorSharingViolation;
    error = host::Shown(dir) +
            (busy ? " is being made by another program" : ": " + host::LastErrorText());
    SetLastError(busy ? kErrorDeviceInUse : GetLastError());
    return false;
  }
  // Another maker may have finished meanwhile, or been killed half way.
  if (!OnlyBeingMade(paths)) {
    error = host::Shown(dir) + " exists and is not empty";
    return false;
  }
  const nlohmann::json config = {{"format", kFormatVersion},
                                 {"boot_loader_capacity", state.bootLoaderCapacity},
                                 {"binfs",
                                  {{"sector_size", state.binfs.sectorSize},
                                   {"main_region", state.binfs.regionSize[0]},
                                   {"rescue_region", state.binfs.regionSize[1]},
                                   {"write_delay_ms", state.binfs.writeDelayMs}}},
                                 {"power_manager", state.powerManager}};
  const auto bytes = [](const auto& block) {
    return std::string_view(reinterpret_cast<const char*>(block.data()), block.size());
  };
  const std::pair<host::Below, std::string_view> files[] = {
      {paths.registry(), "{}\n"},
      {paths.bootLoader(), state.bootLoader},
      {paths.settings(), bytes(state.settings)},
      {paths.constants(), bytes(state.constants)},
      {paths.faults(), "[]\n"},
      {paths.debugLog(), {}},
      {paths.powerManager(), "{\"enforced\": {}, \"reloads\": []}\n"},
  };
  for (const host::Below& folder : paths.folders()) {
    if (!host::MakeFolders(folder)) {
      error = "cannot create " + host::Shown(folder) + ": " + host::LastErrorText();
      return false;
    }
  }
  for (const auto& [file, contents] : files) {
    if (!host::ReplaceFile(file, contents)) {
      error = CannotWrite(file);
      return false;
    }
  }
  if (!WriteImages(paths, state, error) || !WriteRegistry(paths, state, error) ||
      !WriteFiles(paths, state, error)) {
    return false;
  }
  // Last: a device without its description is no device yet.
  if (!WriteStateFile(paths.config(), config)) {
    error = CannotWrite(paths.config());
    return false;
  }
  std::filesystem::remove(paths.creationLock().path(), ec);
  return true;
}

namespace {

// The device's make, as its description gives it; nothing when it is not one of this version
// or beyond the bounds of a device.
std::optional<std::tuple<BinfsLayout, DWORD, bool>> ReadMake(const DevicePaths& paths,
                                                             std::string& error) {
  nlohmann::json config;
  if (!ReadStateFile(paths.config(), kLargestDescription, config, error)) {
    error = host::Shown(paths.root) + " is not a simulated device: " + error;
    return std::nullopt;
  }
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
    error = host::Shown(paths.config()) + " is not a device description of this version";
    return std::nullopt;
  }
  if (*mainRegion > kLargestRegion || *rescueRegion > kLargestRegion ||
      *capacity > kLargestRegion || *writeDelay > kLongestWriteDelay) {
    error = host::Shown(paths.config()) +
            " describes a device beyond the simulator's bounds: regions and the boot loader up "
            "to " +
            std::to_string(kLargestRegion) + " bytes, writes up to " +
            std::to_string(kLongestWriteDelay) + " ms";
    return std::nullopt;
  }
  BinfsLayout layout;
  layout.sectorSize = *sector;
  layout.regionSize[0] = *mainRegion;
  layout.regionSize[1] = *rescueRegion;
  layout.writeDelayMs = *writeDelay;
  return std::make_tuple(layout, *capacity, powerManager->get<bool>());
}

// Whether every folder and file of the device is what the device keeps there: a link or anything
// but a regular file in place of one is refused, with the reason. A file may be missing, as after
// a failed change.
bool CheckFiles(const DevicePaths& paths, std::string& error) {
  for (const host::Below& folder : paths.folders()) {
    if (!host::IsFolder(folder) && GetLastError() == kErrorAccessDenied) {
      error = host::Shown(paths.root) + " is not a sound device: " + host::LastErrorText();
      return false;
    }
  }
  std::vector<host::Below> files = paths.replaced();
  files.push_back(paths.debugLog());
  for (const host::Below& file : files) {
    if (!host::OpenForReading(file) && GetLastError() == kErrorAccessDenied) {
      error = CannotRead(file);
      return false;
    }
  }
  BinfsHeader header;
  std::error_code ec;
  if (std::filesystem::exists(paths.imageHeaders().path(), ec) && !LoadBinfsHeader(paths, header)) {
    error = host::Shown(paths.imageHeaders()) + " is not a BINFS header";
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Device> Device::Open(const std::filesystem::path& dir, std::string& error) {
  const DevicePaths paths(dir);
  const auto make = ReadMake(paths, error);
  if (!make) {
    // A description still missing may be one that another program is writing.
    std::error_code ec;
    if (std::filesystem::exists(paths.creationLock().path(), ec) &&
        !host::LockFile(paths.creationLock(), true, false) &&
        GetLastError() == kErrorSharingViolation) {
      error = host::Shown(dir) + " is being made by another program";
      SetLastError(kErrorDeviceInUse);
    }
    return nullptr;
  }
  const auto& [layout, capacity, powerManager] = *make;
  if (!CheckFiles(paths, error))
    return nullptr;
  {
    // What a killed program left of a change is no change: gone, under the lock of every change.
    const auto lock = LockForChange(paths);
    if (!lock) {
      error = "cannot lock " + host::Shown(paths.changeLock()) + ": " + host::LastErrorText();
      return nullptr;
    }
    for (const host::Below& file : paths.replaced())
      host::RemoveLeftovers(file);
  }
  std::unique_ptr<Device> device(new Device(dir, layout, capacity, powerManager));
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
