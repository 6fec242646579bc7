// The five OEM HAL requests, made as the device expects them.
#pragma once

#include "bootcfg/boot_settings.h"
#include "platform/kernel.h"

namespace bootcfg {

// Each returns true on success; after a failure GetLastError() tells why. A failed get leaves
// nothing the caller may use.
bool HalGetBootSettings(platform::Kernel& kernel, BootSettings& settings);
bool HalSetBootSettings(platform::Kernel& kernel, const BootSettings& settings);
bool HalGetConstants(platform::Kernel& kernel, ConstSettings& constants);
bool HalSetConstants(platform::Kernel& kernel, const ConstSettings& constants);
// The whole boot-loader package, trailer included, in one request.
bool HalWriteBootLoader(platform::Kernel& kernel, const BYTE* image, DWORD size);

}  // namespace bootcfg
