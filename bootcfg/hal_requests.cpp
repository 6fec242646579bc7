#include "bootcfg/hal_requests.h"

namespace bootcfg {

using platform::IOCTL_HAL_GET_BOOT_SETTINGS;
using platform::IOCTL_HAL_GET_CONSTANTS;
using platform::IOCTL_HAL_SET_BOOT_SETTINGS;
using platform::IOCTL_HAL_SET_CONSTANTS;
using platform::IOCTL_HAL_WRITE_BOOTLOADER;

// The returned-byte counts are passed where the device's callers pass one, and never read.

bool HalGetBootSettings(platform::Kernel& kernel, BootSettings& settings) {
  DWORD returned = 0;
  return kernel.KernelIoControl(IOCTL_HAL_GET_BOOT_SETTINGS, nullptr, 0, settings.bytes.data(),
                                platform::kBootSettingsSize, &returned);
}

bool HalSetBootSettings(platform::Kernel& kernel, const BootSettings& settings) {
  DWORD returned = 0;
  return kernel.KernelIoControl(IOCTL_HAL_SET_BOOT_SETTINGS, settings.bytes.data(),
                                platform::kBootSettingsSize, nullptr, 0, &returned);
}

bool HalGetConstants(platform::Kernel& kernel, ConstSettings& constants) {
  DWORD returned = 0;
  return kernel.KernelIoControl(IOCTL_HAL_GET_CONSTANTS, nullptr, 0, constants.bytes.data(),
                                platform::kConstSettingsSize, &returned);
}

bool HalSetConstants(platform::Kernel& kernel, const ConstSettings& constants) {
  return kernel.KernelIoControl(IOCTL_HAL_SET_CONSTANTS, constants.bytes.data(),
                                platform::kConstSettingsSize, nullptr, 0, nullptr);
}

bool HalWriteBootLoader(platform::Kernel& kernel, const BYTE* image, DWORD size) {
  return kernel.KernelIoControl(IOCTL_HAL_WRITE_BOOTLOADER, image, size, nullptr, 0, nullptr);
}

}  // namespace bootcfg
