// Files: open for reading, size, seek, read, close. Shaped like the device's file calls; after a
// failed call GetLastError() tells why.
#pragma once

#include <string>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kGenericWrite = 0x40000000;
constexpr DWORD kFileShareRead = 1;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kFileAttributeNormal = 0x80;

constexpr DWORD kFileBegin = 0;
constexpr DWORD kFileCurrent = 1;
constexpr DWORD kFileEnd = 2;
constexpr DWORD kInvalidSetFilePointer = 0xFFFFFFFF;
constexpr DWORD kInvalidFileSize = 0xFFFFFFFF;

class Files {
 public:
  virtual ~Files() = default;

  // Opens an existing file. Returns kInvalidHandle on failure.
  virtual Handle CreateFile(const std::wstring& path, DWORD access, DWORD shareMode, DWORD creation,
                            DWORD attributes) = 0;
  // Reads up to toRead bytes; *read receives the count delivered (0 at the end of the file).
  // Returns true on success.
  virtual bool ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) = 0;
  // Moves the position. Returns the new position's low 32 bits, or kInvalidSetFilePointer on
  // failure (a position before the start fails with kErrorNegativeSeek).
  virtual DWORD SetFilePointer(Handle file, LONG distance, DWORD method) = 0;
  // Returns the size's low 32 bits (high ones in *high when given), or kInvalidFileSize with
  // the last error set on failure.
  virtual DWORD GetFileSize(Handle file, DWORD* high) = 0;
  // Returns true when the handle was closed.
  virtual bool CloseHandle(Handle file) = 0;
};

using ScopedFile = ScopedHandle<Files, &Files::CloseHandle, kInvalidHandle>;

}  // namespace platform
