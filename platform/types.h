// Basic types of the device's API and the thread's last error code.
#pragma once

#include <cstdint>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;

// An opaque handle. Each group says which value means "no handle".
using Handle = std::uintptr_t;
constexpr Handle kNullHandle = 0;
constexpr Handle kInvalidHandle = ~Handle{0};

// Error codes with the device's numbers.
constexpr DWORD kErrorSuccess = 0;
constexpr DWORD kErrorInvalidFunction = 1;
constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorNotEnoughMemory = 8;
constexpr DWORD kErrorInvalidData = 13;
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorWriteFault = 29;
constexpr DWORD kErrorReadFault = 30;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorSharingViolation = 32;
constexpr DWORD kErrorNotSupported = 50;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorDiskFull = 112;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorNegativeSeek = 131;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorFileTooLarge = 223;
constexpr DWORD kErrorMoreData = 234;
constexpr DWORD kErrorDeviceInUse = 2404;

// The code that the last failed platform call on this thread left.
DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace platform
