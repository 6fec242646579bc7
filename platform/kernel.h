// The kernel's OEM HAL requests.
#pragma once

#include "platform/types.h"

namespace platform {

class Kernel {
 public:
  virtual ~Kernel() = default;

  // One HAL request. True on success; a successful get has filled the whole output buffer.
  virtual bool KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                               DWORD* returned) = 0;
};

}  // namespace platform

namespace platform {

// The device's OEM HAL requests: CTL_CODE(FILE_DEVICE_HAL, function, METHOD_BUFFERED,
// FILE_ANY_ACCESS) for functions 262 to 266.
constexpr DWORD HalRequestCode(DWORD function) {
  return (0x101u << 16) | (function << 2);
}
constexpr DWORD IOCTL_HAL_SET_CONSTANTS = HalRequestCode(262);
constexpr DWORD IOCTL_HAL_GET_CONSTANTS = HalRequestCode(263);
constexpr DWORD IOCTL_HAL_GET_BOOT_SETTINGS = HalRequestCode(264);
constexpr DWORD IOCTL_HAL_SET_BOOT_SETTINGS = HalRequestCode(265);
constexpr DWORD IOCTL_HAL_WRITE_BOOTLOADER = HalRequestCode(266);

// Sizes of the two blocks that the boot loader keeps.
constexpr DWORD kBootSettingsSize = 112;
constexpr DWORD kConstSettingsSize = 540;

}  // namespace platform
