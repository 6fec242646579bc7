#include "bootcfg/boot_config.h"

#include "bootcfg/hal_requests.h"

namespace bootcfg {

using platform::NKDbgPrintfW;

int BootConfig::GetBootSelection() {
  BootSettings settings;
  if (!HalGetBootSettings(kernel_, settings)) {
    NKDbgPrintfW(log_, L"Erreur get settings n\u00b0 %d\r\n", platform::GetLastError());
    return -1;
  }
  return settings.get(BootSettings::wBootImage);
}

bool BootConfig::SetBootSelection(DWORD value) {
  BootSettings settings;
  if (!HalGetBootSettings(kernel_, settings)) {
    NKDbgPrintfW(log_, L"Error get settings n\u00b0 %d\r\n", platform::GetLastError());
    return false;
  }
  settings.set(BootSettings::wBootImage, static_cast<WORD>(value & 0xFFFF));
  settings.set(BootSettings::bClearedOnSelect, BYTE{0});
  settings.set(BootSettings::dwChecksum, ComputeChecksum(settings));
  if (!HalSetBootSettings(kernel_, settings)) {
    NKDbgPrintfW(log_, L"Error set settings n\u00b0 %d\r\n", platform::GetLastError());
    return false;
  }
  return true;
}

bool BootConfig::GetMainImageMaxSize(DWORD* out) {
  BootSettings settings;
  if (!HalGetBootSettings(kernel_, settings)) {
    NKDbgPrintfW(log_, L"Error get settings n\u00b0 %d\r\n", platform::GetLastError());
    return false;
  }
  *out = MainImageLimit(settings.get(BootSettings::wMainLimitA),
                        settings.get(BootSettings::dwMainLimitB),
                        settings.get(BootSettings::dwRescueMaxSize));
  return true;
}

bool BootConfig::GetRescueImageMaxSize(DWORD* out) {
  BootSettings settings;
  if (!HalGetBootSettings(kernel_, settings)) {
    NKDbgPrintfW(log_, L"Error get settings n\u00b0 %d\r\n", platform::GetLastError());
    return false;
  }
  *out = settings.get(BootSettings::dwRescueMaxSize);
  return true;
}

}  // namespace bootcfg
