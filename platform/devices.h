// The device manager and stream devices: load and unload a driver, open its stream ("BIN1:"),
// send it requests, write to it, close it.
#pragma once

#include <string>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

class Devices {
 public:
  virtual ~Devices() = default;

  // Loads the driver named by a registry key (such as "\Drivers\BINDRV"). Returns the driver
  // handle, or kNullHandle on failure.
  virtual Handle ActivateDevice(const std::wstring& registryPath, DWORD context) = 0;
  // Unloads a driver. True on success.
  virtual bool DeactivateDevice(Handle driver) = 0;
  // Opens a loaded driver's stream ("BIN1:"). Returns kInvalidHandle on failure.
  virtual Handle CreateFile(const std::wstring& name, DWORD access, DWORD shareMode, DWORD creation,
                            DWORD attributes) = 0;
  // Sends a request to the driver. *returned (when given) receives the output byte count.
  virtual bool DeviceIoControl(Handle device, DWORD code, const void* in, DWORD inSize, void* out,
                               DWORD outSize, DWORD* returned) = 0;
  virtual bool WriteFile(Handle device, const void* buffer, DWORD toWrite, DWORD* written) = 0;
  virtual bool CloseHandle(Handle device) = 0;
};

using ScopedDriver = ScopedHandle<Devices, &Devices::DeactivateDevice, kNullHandle>;
using ScopedStream = ScopedHandle<Devices, &Devices::CloseHandle, kInvalidHandle>;

}  // namespace platform

namespace platform {

// Requests of the BINFS block driver ("\Drivers\BINDRV", stream "BIN1:").
constexpr DWORD BIN_IOCTL_UPDATE_HEADER = 1;    // in: the image's length, 4 bytes
constexpr DWORD BIN_IOCTL_SELECT_IMAGE = 2;     // in: 1 byte, 0 main image, 1 rescue image
constexpr DWORD BIN_IOCTL_GET_SECTOR_SIZE = 3;  // out: 4 bytes

}  // namespace platform
