#include "bootcfg/boot_config.h"

#include "bootcfg/hal_requests.h"

namespace bootcfg {

using platform::NKDbgPrintfW;

namespace {
// The line of a block that cannot be read: GetBootSelection's has a word of its own.
constexpr wchar_t kSelectionUnread[] = L"Erreur get settings n\u00b0 %d\r\n";
constexpr wchar_t kSettingsUnread[] = L"Error get settings n\u00b0 %d\r\n";
}  // namespace

bool BootConfig::Read(BootSettings& settings, const wchar_t* failureLine) {
  if (HalGetBootSettings(kernel_, settings))
    return true;
  NKDbgPrintfW(log_, failureLine, platform::GetLastError());
  return false;
}

int BootConfig::GetBootSelection() {
  BootSettings settings;
  if (!Read(settings, kSelectionUnread)) {
    return -1;
  }
  return settings.get(BootSettings::wBootImage);
}

bool BootConfig::SetBootSelection(DWORD value) {
  BootSettings settings;
  if (!Read(settings, kSettingsUnread)) {
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
  if (!Read(settings, kSettingsUnread)) {
    return false;
  }
  *out = MainImageLimit(settings.get(BootSettings::wMainLimitA),
                        settings.get(BootSettings::dwMainLimitB),
                        settings.get(BootSettings::dwRescueMaxSize));
  return true;
}

bool BootConfig::GetRescueImageMaxSize(DWORD* out) {
  BootSettings settings;
  if (!Read(settings, kSettingsUnread)) {
    return false;
  }
  *out = settings.get(BootSettings::dwRescueMaxSize);
  return true;
}

}  // namespace bootcfg
