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
constexpr DWORD kChild = kWsChild | kWsVisible;
constexpr DWORD kNoExStyles = 0;

DialogTemplate UpdateDialog() {
  return {IDD_UPDATE_DIALOG,
          L"",
          Font{L"System", 8},
          Size{116, 90},
          kWsPopup | kWsVisible | kWsCaption | kWsSysMenu | kDsSetFont,
          kWsExAppWindow | kWsExCaptionOkButton,
          kEnglish,
          {
              {kIdOk, ControlKind::kPushButton, L"OK", Rect{7, 63, 48, 15}, kChild | kWsTabStop},
              {kIdCancel, ControlKind::kPushButton, L"Cancel", Rect{59, 63, 48, 15},
               kChild | kWsTabStop},
              {IDC_MESSAGE, ControlKind::kStatic, L"Are you sure ???", Rect{8, 8, 100, 45},
               kChild | kWsGroup | kSsCenter},
          }};
}

DialogTemplate ProgressDialog() {
  return {IDD_PROGRESS,
          L"",
          Font{L"System", 8},
          Size{116, 90},
          kWsPopup | kWsCaption | kDsModalFrame | kDsSetFont,
          kNoExStyles,
          kFrench,
          {
              {IDC_PROGRESS_TEXT, ControlKind::kStatic,
               L"Loading image in flash memory, please wait ...", Rect{13, 14, 89, 47},
               kChild | kWsGroup | kSsLeft},
              {IDC_PROGRESS_BAR, ControlKind::kProgressBar, L"Progress1", Rect{18, 67, 79, 13},
               kChild | kWsBorder},
          }};
}

DialogTemplate BootSelectDialog() {
  return {IDD_BOOT_SELECT,
          L"Select the image to boot on",
          Font{L"System", 8},
          Size{124, 58},
          kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsSetFont,
          kNoExStyles,
          kEnglish,
          {
              {kIdOk, ControlKind::kPushButton, L"OK", Rect{7, 37, 50, 14},
               kChild | kWsTabStop | kBsDefPushButton},
              {kIdCancel, ControlKind::kPushButton, L"Cancel", Rect{67, 37, 50, 14},
               kChild | kWsTabStop},
              {IDC_BOOT_RESCUE, ControlKind::kAutoRadioButton, L"Boot the RESCUE image",
               Rect{7, 7, 110, 10}, kChild | kBsAutoRadioButton},
              {IDC_BOOT_MAIN, ControlKind::kAutoRadioButton, L"Boot the MAIN image",
               Rect{7, 19, 110, 10}, kChild | kBsAutoRadioButton},
          }};
}

constexpr DWORD kTargetStyle = kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsSetFont;

}  // namespace

DialogTemplate TargetTemplateBootLoaderOnly() {
  return {IDD_TARGET,
          L"Tessaron EBOOT Loader",
          Font{L"System", 8},
          Size{113, 70},
          kTargetStyle,
          kNoExStyles,
          kEnglish,
          {
              {kIdCancel, ControlKind::kPushButton, L"Cancel", Rect{7, 38, 98, 14},
               kChild | kWsTabStop | kBsDefPushButton},
              {IDC_UPDATE_BOOTLOADER, ControlKind::kPushButton, L"Update Bootloader",
               Rect{7, 13, 98, 14}, kChild | kWsTabStop},
          }};
}

DialogTemplate TargetTemplateAllTargets() {
  // The three targets stacked in the order of the flow's tests, Cancel apart below them.
  return {IDD_TARGET,
          L"Tessaron EBOOT Loader",
          Font{L"System", 8},
          Size{113, 106},
          kTargetStyle,
          kNoExStyles,
          kEnglish,
          {
              {kIdCancel, ControlKind::kPushButton, L"Cancel", Rect{7, 74, 98, 14},
               kChild | kWsTabStop | kBsDefPushButton},
              {IDC_UPDATE_BOOTLOADER, ControlKind::kPushButton, L"Update Bootloader",
               Rect{7, 13, 98, 14}, kChild | kWsTabStop},
              {IDC_UPDATE_MAIN, ControlKind::kPushButton, L"Update Main Image", Rect{7, 31, 98, 14},
               kChild | kWsTabStop},
              {IDC_UPDATE_RESCUE, ControlKind::kPushButton, L"Update Rescue Image",
               Rect{7, 49, 98, 14}, kChild | kWsTabStop},
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
