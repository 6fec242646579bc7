#include "resources/string_table.h"

namespace resources {

// The string table, exactly as the device shows it, line breaks included.
std::map<platform::ui::UINT, std::wstring> StringTable() {
  return {
      {1, L"OS loading Success"},
      {2, L"OS loading Failure"},
      {3, L"Reading image file ..."},
      {4, L"Writing image ..."},
      {5,
       L"Please, choose a %s file.\n\nDon't use %s directory and don't push on power button "
       L"during process"},
      {6, L"Are you sure ???"},
      {7, L"OK"},
      {8, L"Cancel"},
      {9, L"Want do you want to upgrade ?"},
      {10, L"Bootloader"},
      {11, L"System"},
      {12, L"Please, wait during bootloader updating, don't switch off the device."},
      {13, L"Loading image in flash memory, please wait ..."},
      {14, L"Could not get old bootloader settings!\r\nContinue ?"},
      {15,
       L"Could not get constants settings(Bluetooth Address, Serial number, frequency "
       L"Offset)!\r\nContinue?"},
      {16, L"Do you want upgrade rescue image instead of main image?"},
      {17, L"Updating bootloader with\n%s\n\nAre you sure?"},
      {18, L"Updating main image with\n%s\n\nAre you sure?"},
      {19, L"Updating rescue image with\n%s\n\nAre you sure?"},
      {20, L"main image"},
      {21, L"rescue image"},
      {22, L"bootloader"},
  };
}

}  // namespace resources
