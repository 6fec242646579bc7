// The device manager with the BINFS block driver. The driver is loaded from its registry key
// ("\Drivers\BINDRV": Dll "bindrv.dll", Prefix "BIN", Index 1) and opened as its stream
// ("BIN1:"). The partition holds two regions, the main image and the rescue image; each keeps
// the bytes written to it and, in the partition's header, the length recorded for it. The driver
// has one user at a time, device-wide: while one process has it loaded, no other can load it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/devices.h"
#include "platform/host/handle_table.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"
#include "platform/sim/sim_registry.h"

namespace platform::sim {

struct BinfsLayout {
  DWORD sectorSize = 512;
  DWORD regionSize[2] = {0, 0};  // main, rescue
  DWORD writeDelayMs = 0;        // how long each stream write takes, as NAND flash does
};

// What the partition's header records for one image: its length, or none while the image is
// being rewritten.
struct BinfsHeader {
  std::optional<DWORD> length[2];
};

bool LoadBinfsHeader(const DevicePaths& paths, BinfsHeader& header);
bool SaveBinfsHeader(const DevicePaths& paths, const BinfsHeader& header);

class SimDevices final : public Devices {
 public:
  SimDevices(const DevicePaths& paths, const BinfsLayout& layout, SimRegistry& registry,
             FaultInjector& faults);

  Handle ActivateDevice(const std::wstring& registryPath, DWORD context) override;
  bool DeactivateDevice(Handle driver) override;
  Handle CreateFile(const std::wstring& name, DWORD access, DWORD shareMode, DWORD creation,
                    DWORD attributes) override;
  bool DeviceIoControl(Handle device, DWORD code, const void* in, DWORD inSize, void* out,
                       DWORD outSize, DWORD* returned) override;
  bool WriteFile(Handle device, const void* buffer, DWORD toWrite, DWORD* written) override;
  bool CloseHandle(Handle device) override;

  std::size_t activeCount() const { return drivers_.size(); }
  std::size_t openCount() const { return streams_.size(); }

 private:
  struct Driver {
    std::wstring streamName;
    std::unique_ptr<host::FileLock> user;
  };
  struct Stream {
    Handle driver;
    std::optional<int> image;  // selected by BIN_IOCTL_SELECT_IMAGE
    DWORD written = 0;
  };

  Stream* FindStream(Handle device);
  bool SelectImage(Stream& stream, const void* in, DWORD inSize, DWORD outSize);
  bool UpdateHeader(Stream& stream, const void* in, DWORD inSize, DWORD outSize);
  // Applies change to the partition's header as it stands, under the device's lock.
  bool ChangeHeader(const std::function<bool(BinfsHeader&)>& change);

  const DevicePaths& paths_;
  BinfsLayout layout_;
  SimRegistry& registry_;
  FaultInjector& faults_;
  HandleTable<Driver> drivers_;
  HandleTable<Stream> streams_;
};

}  // namespace platform::sim
