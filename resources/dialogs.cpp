#include "resources/resource.h"
#include "resources/resources.h"
#include "resources/string_table.h"

namespace resources {

using namespace platform::ui;
using platform::DWORD;
using platform::WORD;

namespace {

constexpr WORD kEnglish = 0x0409;
constexpr WORD kFrench = 0x040C;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

DialogTemplate UpdateDialog() {
  return {IDD_UPDATE_DIALOG,
          L"",
          L"System",
          8,
          116,
          90,
          WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
          WS_EX_APPWINDOW | WS_EX_CAPTIONOKBTN,
          kEnglish,
          {
              {IDOK, ControlKind::kPushButton, L"OK", 7, 63, 48, 15, kChild | WS_TABSTOP},
              {IDCANCEL, ControlKind::kPushButton, L"Cancel", 59, 63, 48, 15, kChild | WS_TABSTOP},
              {IDC_MESSAGE, ControlKind::kStatic, L"Are you sure ???", 8, 8, 100, 45,
               kChild | WS_GROUP | SS_CENTER},
          }};
}

DialogTemplate ProgressDialog() {
  return {IDD_PROGRESS,
          L"",
          L"System",
          8,
          116,
          90,
          WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
          0,
          kFrench,
          {
              {IDC_PROGRESS_TEXT, ControlKind::kStatic,
               L"Loading image in flash memory, please wait ...", 13, 14, 89, 47,
               kChild | WS_GROUP | SS_LEFT},
              {IDC_PROGRESS_BAR, ControlKind::kProgressBar, L"Progress1", 18, 67, 79, 13,
               kChild | WS_BORDER},
          }};
}

DialogTemplate BootSelectDialog() {
  return {IDD_BOOT_SELECT,
          L"Select the image to boot on",
          L"System",
          8,
          124,
          58,
          WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
          0,
          kEnglish,
          {
              {IDOK, ControlKind::kPushButton, L"OK", 7, 37, 50, 14,
               kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
              {IDCANCEL, ControlKind::kPushButton, L"Cancel", 67, 37, 50, 14, kChild | WS_TABSTOP},
              {IDC_BOOT_RESCUE, ControlKind::kAutoRadioButton, L"Boot the RESCUE image", 7, 7, 110,
               10, kChild | BS_AUTORADIOBUTTON},
              {IDC_BOOT_MAIN, ControlKind::kAutoRadioButton, L"Boot the MAIN image", 7, 19, 110, 10,
               kChild | BS_AUTORADIOBUTTON},
          }};
}

constexpr DWORD kTargetStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

}  // namespace

DialogTemplate TargetTemplateBootLoaderOnly() {
  return {IDD_TARGET,
          L"Tessaron EBOOT Loader",
          L"System",
          8,
          113,
          70,
          kTargetStyle,
          0,
          kEnglish,
          {
              {IDCANCEL, ControlKind::kPushButton, L"Cancel", 7, 38, 98, 14,
               kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
              {IDC_UPDATE_BOOTLOADER, ControlKind::kPushButton, L"Update Bootloader", 7, 13, 98, 14,
               kChild | WS_TABSTOP},
          }};
}

DialogTemplate TargetTemplateAllTargets() {
  // The three targets stacked in the order of the flow's tests, Cancel apart below them.
  return {IDD_TARGET,
          L"Tessaron EBOOT Loader",
          L"System",
          8,
          113,
          106,
          kTargetStyle,
          0,
          kEnglish,
          {
              {IDCANCEL, ControlKind::kPushButton, L"Cancel", 7, 74, 98, 14,
               kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
              {IDC_UPDATE_BOOTLOADER, ControlKind::kPushButton, L"Update Bootloader", 7, 13, 98, 14,
               kChild | WS_TABSTOP},
              {IDC_UPDATE_MAIN, ControlKind::kPushButton, L"Update Main Image", 7, 31, 98, 14,
               kChild | WS_TABSTOP},
              {IDC_UPDATE_RESCUE, ControlKind::kPushButton, L"Update Rescue Image", 7, 49, 98, 14,
               kChild | WS_TABSTOP},
          }};
}

const Resources& AppResources() {
  static const Resources resources = [] {
    Resources all;
    all.appName = L"tessaron";
    all.strings = StringTable();
#ifdef TESSARON_BOOTLOADER_ONLY_TARGET
    const DialogTemplate target = TargetTemplateBootLoaderOnly();
#else
    const DialogTemplate target = TargetTemplateAllTargets();
#endif
    for (const DialogTemplate& dialog :
         {UpdateDialog(), ProgressDialog(), BootSelectDialog(), target}) {
      all.dialogs.emplace(dialog.id, dialog);
    }
    return all;
  }();
  return resources;
}

}  // namespace resources
