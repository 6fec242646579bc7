// The boot configuration: which image the boot loader starts and how large each image may be.
// Every operation reads the settings block afresh; nothing is cached.
#pragma once

#include "bootcfg/boot_settings.h"
#include "platform/debuglog.h"
#include "platform/kernel.h"

namespace bootcfg {

class BootConfig {
 public:
  BootConfig(platform::Kernel& kernel, platform::DebugLog& log) : kernel_(kernel), log_(log) {}

  // wBootImage (0 to 65535), or -1 when the block cannot be read.
  int GetBootSelection();
  // Stores the low 16 bits of value as wBootImage, clears bClearedOnSelect and writes the block
  // with a new checksum. True when the block was written.
  bool SetBootSelection(DWORD value);
  // True with the limit in *out; on failure *out is left as it was.
  bool GetMainImageMaxSize(DWORD* out);
  bool GetRescueImageMaxSize(DWORD* out);

 private:
  // Reads the block; on failure logs failureLine with the last error code.
  bool Read(BootSettings& settings, const wchar_t* failureLine);

  platform::Kernel& kernel_;
  platform::DebugLog& log_;
};

}  // namespace bootcfg
