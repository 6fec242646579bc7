// The file dialog as the device takes it, for the device program under Wine: Windows CE 5.0's
// GetOpenFileNameW fails on a record of any size but its own, which ends before the desktop's
// last fields; Wine takes the desktop's too. Linked into the 32-bit stand-in program alone.
#include "platform/os/windows_api.h"

static BOOL WINAPI DeviceGetOpenFileName(LPOPENFILENAMEW dialog) {
  if (dialog->lStructSize != OPENFILENAME_SIZE_VERSION_400W)
    return FALSE;
  static const auto system =
      reinterpret_cast<decltype(&DeviceGetOpenFileName)>(reinterpret_cast<void (*)()>(
          ::GetProcAddress(::LoadLibraryW(L"comdlg32.dll"), "GetOpenFileNameW")));
  return system(dialog);
}

// The program calls GetOpenFileNameW through this import slot, which the import library would
// otherwise define.
extern "C" {
decltype(&DeviceGetOpenFileName) importedGetOpenFileName __asm__("__imp__GetOpenFileNameW@4") =
    DeviceGetOpenFileName;
}
