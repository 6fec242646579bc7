#include "tools/common/provision.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

#include "package/package_builder.h"
#include "platform/host/device_folder.h"
#include "platform/host/host.h"
#include "platform/sim/device.h"
#include "platform/sim/device_files.h"
#include "platform/sim/power_manager.h"
#include "platform/text/utf8.h"
#include "tools/common/device_constants.h"

namespace tools {

namespace {

using bootcfg::BootSettings;
using platform::BYTE;

constexpr DWORD kDefaultMainMax = 64 * 1024 * 1024;
constexpr std::size_t kBootLoaderImageSize = std::size_t{256} * 1024 - 1000;
constexpr std::size_t kMainImageSize = std::size_t{2} * 1024 * 1024;
constexpr std::size_t kRescueImageSize = 1024 * 1024 + 5000;

bool Gives(WORD a, std::uint64_t b, DWORD rescueMax, DWORD mainMax) {
  return b <= 0xFFFFFFFFu &&
         bootcfg::MainImageLimit(a, static_cast<DWORD>(b), rescueMax) == mainMax;
}

BootSettings DefaultSettings(const DeviceOptions& options, WORD mainLimitA, DWORD mainLimitB) {
  BootSettings settings;
  // What the boot loader keeps for itself: a signature, its version, the boot delay, its
  // network setup for downloads, and the device's name.
  const char signature[] = "EBCF";
  std::memcpy(&settings.bytes[4], signature, 4);
  platform::StoreLittleEndian<DWORD>(&settings.bytes[8], 0x00010002);
  platform::StoreLittleEndian<DWORD>(&settings.bytes[12], 3);
  platform::StoreLittleEndian<DWORD>(&settings.bytes[16], 0x3201A8C0);  // 192.168.1.50
  platform::StoreLittleEndian<DWORD>(&settings.bytes[20], 0x00FFFFFF);  // 255.255.255.0
  const char name[] = "TESSARON";
  std::memcpy(&settings.bytes[24], name, sizeof name);
  settings.set(BootSettings::wBootImage, options.bootImage);
  settings.set(BootSettings::bClearedOnSelect, BYTE{1});
  settings.set(BootSettings::wMainLimitA, mainLimitA);
  settings.set(BootSettings::dwRescueMaxSize, options.rescueMax);
  settings.set(BootSettings::dwMainLimitB, mainLimitB);
  settings.set(BootSettings::dwChecksum, bootcfg::ComputeChecksum(settings));
  return settings;
}

std::optional<std::string> Pack(const std::string& kind, std::size_t size, const std::string& tag,
                                std::string& error) {
  package::PackOptions options;
  options.tag = tag;
  const auto packed = package::PackImage(SampleImage(kind, size), options, error);
  if (!packed)
    return std::nullopt;
  return std::string(packed->bytes.begin(), packed->bytes.end());
}

}  // namespace

namespace {

bool FindMainLimitInputs(DWORD mainMax, DWORD rescueMax, WORD& mainLimitA, DWORD& mainLimitB) {
  const double partition = static_cast<double>(mainMax) + static_cast<double>(rescueMax);
  for (DWORD blockSize = 1u << 17; blockSize >= 512; blockSize >>= 1) {
    const double blocks = std::floor(partition * bootcfg::MAIN_LIMIT_RATIO / blockSize);
    for (double a = blocks - 1; a <= blocks + 2; ++a) {
      if (a < 0 || a > 0xFFFF)
        continue;
      if (Gives(static_cast<WORD>(a), blockSize, rescueMax, mainMax)) {
        mainLimitA = static_cast<WORD>(a);
        mainLimitB = blockSize;
        return true;
      }
    }
  }
  for (DWORD a = 1; a <= 0xFFFF; ++a) {
    const double b = std::floor(partition * bootcfg::MAIN_LIMIT_RATIO / a);
    for (double candidate = b - 2; candidate <= b + 2; ++candidate) {
      if (candidate < 0)
        continue;
      if (Gives(static_cast<WORD>(a), static_cast<std::uint64_t>(candidate), rescueMax, mainMax)) {
        mainLimitA = static_cast<WORD>(a);
        mainLimitB = static_cast<DWORD>(candidate);
        return true;
      }
    }
  }
  return false;
}

// Why a limit leaves a factory image out of its region, so that the device could not start it;
// empty when both fit.
std::string CheckFactoryImagesFit(DWORD mainMax, const DeviceOptions& options) {
  const auto tooSmall = [](const char* name, DWORD limit, std::size_t image) {
    return std::string("the ") + name + " image limit " + std::to_string(limit) +
           " is below the factory " + name + " image's " + std::to_string(image) +
           " bytes, so the device could not start it";
  };
  if (options.rescueMax < options.factoryImages[1]) {
    return tooSmall("rescue", options.rescueMax, options.factoryImages[1]) +
           "; the smallest rescue image limit that works is " +
           std::to_string(options.factoryImages[1]);
  }
  if (mainMax >= options.factoryImages[0])
    return {};
  std::string why = tooSmall("main", mainMax, options.factoryImages[0]);
  // Not every limit can be had from the settings block: the first from the image's size on.
  WORD a = 0;
  DWORD b = 0;
  for (std::size_t limit = options.factoryImages[0];
       limit <= std::min<std::size_t>(options.factoryImages[0] + 64, 0xFFFFFFFFu); ++limit) {
    if (FindMainLimitInputs(static_cast<DWORD>(limit), options.rescueMax, a, b))
      return why + "; the smallest main image limit that works is " + std::to_string(limit);
  }
  return why;
}

}  // namespace

bool ChooseMainLimitInputs(DWORD mainMax, DWORD rescueMax, WORD& mainLimitA, DWORD& mainLimitB,
                           std::string& why) {
  if (FindMainLimitInputs(mainMax, rescueMax, mainLimitA, mainLimitB))
    return true;
  why =
      "the limit is (wMainLimitA / 0.8) * dwMainLimitB - dwRescueMaxSize with a 16-bit "
      "wMainLimitA and a 32-bit dwMainLimitB, and no such inputs give exactly " +
      std::to_string(mainMax) + " bytes beside a rescue limit of " + std::to_string(rescueMax);
  WORD a = 0;
  DWORD b = 0;
  for (DWORD step = 1; step <= 64; ++step) {
    for (const std::int64_t candidate :
         {std::int64_t{mainMax} - step, std::int64_t{mainMax} + step}) {
      if (candidate < 0 || candidate > 0xFFFFFFFF)
        continue;
      if (FindMainLimitInputs(static_cast<DWORD>(candidate), rescueMax, a, b)) {
        why += "; the nearest limit that can be had is " + std::to_string(candidate);
        return false;
      }
    }
  }
  return false;
}

std::string SampleImage(const std::string& kind, std::size_t size) {
  std::string image(size, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (const char c : kind)
    state = (state ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    image[i] = static_cast<char>(state >> 56);
  }
  const std::string header = "TESSARON " + kind + " image\n";
  image.replace(0, std::min(header.size(), size), header.substr(0, size));
  return image;
}

bool CreateDevice(const std::filesystem::path& dir, const DeviceOptions& options,
                  std::string& error) {
  if (dir.empty()) {
    error = "an empty path names no folder for the device";
    return false;
  }
  const DWORD mainMax = options.mainMax.value_or(kDefaultMainMax);
  error = CheckFactoryImagesFit(mainMax, options);
  if (!error.empty())
    return false;
  WORD mainLimitA = 0;
  DWORD mainLimitB = 0;
  if (!ChooseMainLimitInputs(mainMax, options.rescueMax, mainLimitA, mainLimitB, error)) {
    return false;
  }
  platform::sim::InitialState state;
  state.bootLoader = SampleImage("boot loader (factory)", std::size_t{200} * 1024);
  state.settings = DefaultSettings(options, mainLimitA, mainLimitB).bytes;
  state.constants =
      EncodeConstants({{0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13}, -1250, "TSR5-0012-3456"}).bytes;
  // Whatever the limits say, a region holds at most this much, so that a large limit never lets
  // an update fill the host's disk. A write past it fails as on a full partition.
  state.binfs.regionSize[0] = std::min(mainMax, platform::sim::kLargestRegion);
  state.binfs.regionSize[1] = std::min(options.rescueMax, platform::sim::kLargestRegion);
  state.binfs.writeDelayMs = options.writeDelayMs;
  for (int i = 0; i < 2; ++i) {
    state.images[i] =
        SampleImage(i == 0 ? "main (factory)" : "rescue (factory)", options.factoryImages[i]);
  }
  using platform::sim::DwordValue;
  using platform::sim::StringValue;
  state.registry = {
      {L"System\\StorageManager\\Profiles\\USER", L"Folder", StringValue(options.storeFolder)},
      {platform::sim::kPowerTimeoutsKey, L"ACUserIdle", DwordValue(options.timeouts[0])},
      {platform::sim::kPowerTimeoutsKey, L"ACSystemIdle", DwordValue(options.timeouts[1])},
      {platform::sim::kPowerTimeoutsKey, L"ACSuspend", DwordValue(options.timeouts[2])},
  };
  const auto bootLoader = Pack("boot loader", kBootLoaderImageSize, package::kProductTag, error);
  const auto main = Pack("main", kMainImageSize, package::kProductTag, error);
  const auto rescue = Pack("rescue", kRescueImageSize, package::kProductTag, error);
  const auto wrongTag = Pack("rescue", kRescueImageSize, "KORVALIX", error);
  if (!bootLoader || !main || !rescue || !wrongTag)
    return false;
  std::string badCrc = *main;
  badCrc[3 * package::IMAGE_BLOCK_SIZE + 100] ^= 0x01;  // block 3 no longer matches its CRC
  state.files = {{SamplePaths::kBootLoader, *bootLoader},
                 {SamplePaths::kMain, *main},
                 {SamplePaths::kRescue, *rescue},
                 {SamplePaths::kBadCrc, badCrc},
                 {SamplePaths::kWrongTag, *wrongTag}};
  // A store folder whose name is not a valid folder name gets no sample inside it.
  DWORD code = 0;
  const std::wstring inStore =
      L"\\" + options.storeFolder + L"\\" + SamplePaths::kInStoreFolderName;
  if (platform::host::SplitDevicePath(inStore, code))
    state.files.emplace_back(inStore, *main);
  return platform::sim::Device::Create(dir, state, error);
}

std::unique_ptr<platform::sim::Device> OpenOrCreateDevice(const std::filesystem::path& dir,
                                                          bool& made, std::string& error) {
  made = false;
  if (dir.empty()) {
    error = "an empty path names no folder for the device";
    return nullptr;
  }
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(dir, ec);
  if (ec && status.type() != std::filesystem::file_type::not_found) {
    error = "cannot reach " + platform::host::Shown(dir) + ": " + ec.message();
    return nullptr;
  }
  const platform::sim::DevicePaths paths(dir);
  const bool fresh = status.type() == std::filesystem::file_type::not_found ||
                     (std::filesystem::is_directory(status) && platform::sim::OnlyBeingMade(paths));
  // Another program may have made it meanwhile: then it is opened.
  if (fresh) {
    made = CreateDevice(dir, {}, error);
    if (!made && !std::filesystem::exists(paths.config().path(), ec))
      return nullptr;
  }
  return platform::sim::Device::Open(dir, error);
}

}  // namespace tools
