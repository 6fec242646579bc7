#include "resources/string_table.h"

#include "resources/resource.h"

namespace resources {

// The string table, exactly as the device shows it, line breaks included.
std::map<platform::ui::UINT, std::wstring> StringTable() {
  return {
      {IDS_OS_LOADING_SUCCESS, L"OS loading Success"},
      {IDS_OS_LOADING_FAILURE, L"OS loading Failure"},
      {IDS_READING_IMAGE, L"Reading image file ..."},
      {IDS_WRITING_IMAGE, L"Writing image ..."},
      {IDS_CHOOSE_FILE,
       L"Please, choose a %s file.\n\nDon't use %s directory and don't push on power button "
       L"during process"},
      {IDS_ARE_YOU_SURE, L"Are you sure ???"},
      {IDS_OK, L"OK"},
      {IDS_CANCEL, L"Cancel"},
      {IDS_WHAT_TO_UPGRADE, L"Want do you want to upgrade ?"},
      {IDS_BOOTLOADER_TITLE, L"Bootloader"},
      {IDS_SYSTEM_TITLE, L"System"},
      {IDS_WAIT_BOOTLOADER,
       L"Please, wait during bootloader updating, don't switch off the device."},
      {IDS_WAIT_IMAGE, L"Loading image in flash memory, please wait ..."},
      {IDS_NO_OLD_SETTINGS, L"Could not get old bootloader settings!\r\nContinue ?"},
      {IDS_NO_CONSTANTS,
       L"Could not get constants settings(Bluetooth Address, Serial number, frequency "
       L"Offset)!\r\nContinue?"},
      {IDS_RESCUE_INSTEAD, L"Do you want upgrade rescue image instead of main image?"},
      {IDS_CONFIRM_BOOTLOADER, L"Updating bootloader with\n%s\n\nAre you sure?"},
      {IDS_CONFIRM_MAIN, L"Updating main image with\n%s\n\nAre you sure?"},
      {IDS_CONFIRM_RESCUE, L"Updating rescue image with\n%s\n\nAre you sure?"},
      {IDS_NAME_MAIN, L"main image"},
      {IDS_NAME_RESCUE, L"rescue image"},
      {IDS_NAME_BOOTLOADER, L"bootloader"},
      {IDS_RESCUE_STARTED,
       L"The device starts the rescue image now: the main image may not be whole.\r\nIf this "
       L"update fails, the device may start neither.\r\nContinue ?"},
      {IDS_MAIN_UNFINISHED,
       L"An earlier update did not finish the main image.\r\nIf this update fails, the device "
       L"may start neither.\r\nContinue ?"},
      {IDS_RESCUE_UNFINISHED,
       L"An earlier update did not finish the rescue image.\r\nIf this update fails, the device "
       L"may start neither.\r\nContinue ?"},
      {IDS_BOOT_UNFINISHED_MAIN,
       L"The main image may not be whole: an update did not finish it, and the device could not "
       L"start it.\r\nBoot it all the same ?"},
      {IDS_BOOT_UNFINISHED_RESCUE,
       L"The rescue image may not be whole: an update did not finish it, and the device could "
       L"not start it.\r\nBoot it all the same ?"},
  };
}

}  // namespace resources
