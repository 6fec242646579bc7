#include "platform/sim/sim_kernel.h"

#include <cstring>
#include <string>

#include "platform/host.h"

namespace platform::sim {

namespace {
bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}
}  // namespace

SimKernel::SimKernel(const DevicePaths& paths, FaultInjector& faults, DWORD bootLoaderCapacity)
    : paths_(paths), faults_(faults), bootLoaderCapacity_(bootLoaderCapacity) {}

bool SimKernel::KernelIoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                                DWORD* returned) {
  if (const auto error = faults_.Enter("KernelIoControl", code))
    return Refuse(*error);
  if (returned)
    *returned = 0;
  switch (code) {
    case IOCTL_HAL_GET_BOOT_SETTINGS:
      if (in || inSize)
        return Refuse(kErrorInvalidParameter);
      return Get(paths_.settings(), kBootSettingsSize, out, outSize, returned);
    case IOCTL_HAL_SET_BOOT_SETTINGS:
      if (out || outSize)
        return Refuse(kErrorInvalidParameter);
      return Set(paths_.settings(), kBootSettingsSize, in, inSize);
    case IOCTL_HAL_GET_CONSTANTS:
      if (in || inSize)
        return Refuse(kErrorInvalidParameter);
      return Get(paths_.constants(), kConstSettingsSize, out, outSize, returned);
    case IOCTL_HAL_SET_CONSTANTS:
      if (out || outSize)
        return Refuse(kErrorInvalidParameter);
      return Set(paths_.constants(), kConstSettingsSize, in, inSize);
    case IOCTL_HAL_WRITE_BOOTLOADER:
      if (out || outSize || !in || inSize == 0)
        return Refuse(kErrorInvalidParameter);
      if (inSize > bootLoaderCapacity_)
        return Refuse(kErrorDiskFull);
      if (!host::ReplaceFile(paths_.bootLoader(),
                             std::string_view(static_cast<const char*>(in), inSize)))
        return Refuse(kErrorWriteFault);
      return true;
    default:
      return Refuse(kErrorNotSupported);
  }
}

bool SimKernel::Get(const std::filesystem::path& block, DWORD size, void* out, DWORD outSize,
                    DWORD* returned) {
  if (!out || outSize != size)
    return Refuse(kErrorInvalidParameter);
  std::string bytes;
  if (!host::ReadWholeFile(block, bytes) || bytes.size() != size)
    return Refuse(kErrorReadFault);
  std::memcpy(out, bytes.data(), size);
  if (returned)
    *returned = size;
  return true;
}

bool SimKernel::Set(const std::filesystem::path& block, DWORD size, const void* in, DWORD inSize) {
  if (!in || inSize != size)
    return Refuse(kErrorInvalidParameter);
  if (!host::ReplaceFile(block, std::string_view(static_cast<const char*>(in), size)))
    return Refuse(kErrorWriteFault);
  return true;
}

}  // namespace platform::sim
