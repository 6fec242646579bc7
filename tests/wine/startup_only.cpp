// A program that does nothing: what it imports is the toolchain's start-up code, which the
// imports check leaves out of the device program's imports.
#include "platform/os/windows_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return 0;
}
