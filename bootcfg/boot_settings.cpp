#include "bootcfg/boot_settings.h"

namespace bootcfg {

DWORD ComputeChecksum(const BootSettings& settings) {
  BootSettings copy = settings;
  copy.set(BootSettings::dwChecksum, DWORD{0});
  DWORD sum = 0;
  for (const BYTE b : copy.bytes)
    sum += b;
  return sum ^ BOOT_SETTINGS_CHECKSUM_XOR;
}

bool IsConsistent(const BootSettings& settings) {
  return settings.get(BootSettings::dwChecksum) == ComputeChecksum(settings);
}

DWORD MainImageLimit(WORD mainLimitA, DWORD mainLimitB, DWORD rescueMaxSize) {
  const double x0 = static_cast<double>(mainLimitA);
  const double x1 = x0 / MAIN_LIMIT_RATIO;
  const double x2 = x1 * static_cast<double>(mainLimitB);
  const double x3 = x2 - static_cast<double>(rescueMaxSize);
  if (x3 <= 0.0)
    return 0;
  if (x3 >= 4294967296.0)
    return 0xFFFFFFFF;
  return static_cast<DWORD>(x3);
}

}  // namespace bootcfg
