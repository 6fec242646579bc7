// The kernel's OEM HAL of the simulated device: the boot loader in NOR flash and the two blocks
// that the boot loader keeps beside it, each a file of the device directory.
#pragma once

#include "platform/kernel.h"
#include "platform/sim/device_paths.h"
#include "platform/sim/faults.h"

namespace platform::sim {

class SimKernel final : public Kernel {
 public:
  // bootLoaderCapacity is the size of the boot loader's NOR region.
  SimKernel(const DevicePaths& paths, FaultInjector& faults, DWORD bootLoaderCapacity);

  bool KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) override;

 private:
  bool Get(const host::Below& block, DWORD size, void* out, DWORD outSize, DWORD* returned);
  bool Set(const host::Below& block, DWORD size, const void* in, DWORD inSize);
  bool Replace(const host::Below& file, const void* bytes, DWORD size);

  const DevicePaths& paths_;
  FaultInjector& faults_;
  DWORD bootLoaderCapacity_;
};

}  // namespace platform::sim
