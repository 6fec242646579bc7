#include "platform/sim/sim_kernel.h"

#include <cstring>
#include <string>

#include "platform/host/host.h"

namespace platform::sim {

namespace {

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

// The two blocks that the boot loader keeps, and the requests that get and set each.
struct BlockRequests {
  DWORD get;
  DWORD set;
  host::Below (DevicePaths::*file)() const;
  DWORD size;
};

const BlockRequests kBlocks[] = {
    {IOCTL_HAL_GET_BOOT_SETTINGS, IOCTL_HAL_SET_BOOT_SETTINGS, &DevicePaths::settings,
     kBootSettingsSize},
    {IOCTL_HAL_GET_CONSTANTS, IOCTL_HAL_SET_CONSTANTS, &DevicePaths::constants, kConstSettingsSize},
};

}  // namespace

SimKernel::SimKernel(const DevicePaths& paths, FaultInjector& faults, DWORD bootLoaderCapacity)
    : paths_(paths), faults_(faults), bootLoaderCapacity_(bootLoaderCapacity) {}

bool SimKernel::KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                                DWORD* returned) {
  if (const auto error = faults_.Enter("KernelIoControl", code))
    return Refuse(*error);
  if (returned)
    *returned = 0;
  // A get takes no input; a set and the boot loader's write give no output.
  for (const BlockRequests& block : kBlocks) {
    if (code == block.get) {
      return in || inSize ? Refuse(kErrorInvalidParameter)
                          : Get((paths_.*block.file)(), block.size, out, outSize, returned);
    }
    if (code == block.set) {
      return out || outSize ? Refuse(kErrorInvalidParameter)
                            : Set((paths_.*block.file)(), block.size, in, inSize);
    }
  }
  if (code != IOCTL_HAL_WRITE_BOOTLOADER)
    return Refuse(kErrorNotSupported);
  if (out || outSize || !in || inSize == 0)
    return Refuse(kErrorInvalidParameter);
  if (inSize > bootLoaderCapacity_)
    return Refuse(kErrorDiskFull);
  return Replace(paths_.bootLoader(), in, inSize);
}

bool SimKernel::Get(const host::Below& block, DWORD size, void* out, DWORD outSize,
                    DWORD* returned) {
  if (!out || outSize != size)
    return Refuse(kErrorInvalidParameter);
  std::string bytes;
  if (!host::ReadWholeFile(block, bytes, size) || bytes.size() != size)
    return Refuse(kErrorReadFault);
  std::memcpy(out, bytes.data(), size);
  if (returned)
    *returned = size;
  return true;
}

bool SimKernel::Set(const host::Below& block, DWORD size, const void* in, DWORD inSize) {
  if (!in || inSize != size)
    return Refuse(kErrorInvalidParameter);
  return Replace(block, in, size);
}

// Under the lock of every change: a program that opens the device meanwhile takes no file half
// replaced for one left behind.
bool SimKernel::Replace(const host::Below& file, const void* bytes, DWORD size) {
  const auto lock = LockForChange(paths_);
  if (!lock || !host::ReplaceFile(file, std::string_view(static_cast<const char*>(bytes), size)))
    return Refuse(kErrorWriteFault);
  return true;
}

}  // namespace platform::sim
