// Making a simulated device with sensible defaults and sample packages in its file system.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "bootcfg/boot_settings.h"
#include "platform/sim/device.h"

namespace tools {

using platform::DWORD;
using platform::WORD;

struct DeviceOptions {
  std::wstring storeFolder = L"Flash";
  std::optional<DWORD> mainMax;        // the main image's limit; 64 MiB when not given
  DWORD rescueMax = 16 * 1024 * 1024;  // the rescue image's limit
  WORD bootImage = bootcfg::BOOT_IMAGE_MAIN;
  DWORD timeouts[3] = {60, 300, 600};  // ACUserIdle, ACSystemIdle, ACSuspend (seconds)
  // The sizes of the main and rescue images the device left the factory with. A limit below
  // one of them is refused: the device could not start that image.
  std::size_t factoryImages[2] = {1536 * 1024, 768 * 1024};
  DWORD writeDelayMs = 0;  // each BINFS write takes this long, to watch the progress
};

// Inputs of the settings block that make the main image's limit exactly mainMax, preferring a
// NAND block size that is a power of two. False with the reason when no inputs give it.
bool ChooseMainLimitInputs(DWORD mainMax, DWORD rescueMax, WORD& mainLimitA, DWORD& mainLimitB,
                           std::string& why);

// The samples that a new device carries, by device path.
struct SamplePaths {
  static constexpr const wchar_t* kBootLoader = L"\\Storage\\EbootLoader.nbX";
  static constexpr const wchar_t* kMain = L"\\Storage\\EbootMain.nbX";
  static constexpr const wchar_t* kRescue = L"\\Storage\\EbootRescue.nbX";
  static constexpr const wchar_t* kBadCrc = L"\\Storage\\EbootBadCrc.nbX";
  static constexpr const wchar_t* kWrongTag = L"\\Storage\\EbootWrongTag.nbX";
  static constexpr const wchar_t* kInStoreFolderName = L"EbootMain.nbX";
};

// Creates the device in dir (which must not exist or be an empty folder), with its sample
// packages. False with the reason, naming the file, when it cannot.
bool CreateDevice(const std::filesystem::path& dir, const DeviceOptions& options,
                  std::string& error);

// Opens the device in dir, made first with the defaults when dir is missing or an empty folder
// (made says so). A folder that holds anything else must be a device: it is never written to
// otherwise. Null with the reason when there is no device to be had.
std::unique_ptr<platform::sim::Device> OpenOrCreateDevice(const std::filesystem::path& dir,
                                                          bool& made, std::string& error);

// Deterministic bytes that look like an image of the given kind.
std::string SampleImage(const std::string& kind, std::size_t size);

}  // namespace tools
