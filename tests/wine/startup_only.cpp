// A program that does nothing: what it imports is the toolchain's start-up code, which the
// imports check leaves out of the device program's imports. Its entry point is the device's.
#include "platform/os/windows_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  return 0;
}
