#include "platform/host/host_files.h"

#include "platform/text/utf8.h"

namespace platform {

namespace {

// Sharing holds across processes: the host keeps a file opened without FILE_SHARE_READ to its
// one opener until it is closed.
host::Share ShareOf(DWORD shareMode) {
  return shareMode & kFileShareRead ? host::Share::kRead : host::Share::kNone;
}

}  // namespace

Handle HostFilesBase::CreateFile(const std::wstring& path, DWORD access, DWORD shareMode,
                                 DWORD creation, DWORD /*attributes*/) {
  // Only reading is offered: the application never writes files.
  if (access & ~kGenericRead || creation != kOpenExisting) {
    SetLastError(kErrorAccessDenied);
    return kInvalidHandle;
  }
  return Adopt(OpenPath(path, ShareOf(shareMode)));
}

Handle HostFilesBase::Adopt(std::unique_ptr<host::ReadOnlyFile> file) {
  return file ? open_.Add(std::move(file)) : kInvalidHandle;
}

bool HostFilesBase::ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) {
  if (read)
    *read = 0;
  host::ReadOnlyFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (!buffer && toRead != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return open->Read(buffer, toRead, read);
}

DWORD HostFilesBase::SetFilePointer(Handle file, LONG distance, DWORD method) {
  host::ReadOnlyFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return kInvalidSetFilePointer;
  }
  if (method > kFileEnd) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidSetFilePointer;
  }
  const std::int64_t position = open->Seek(distance, method);
  if (position < 0)
    return kInvalidSetFilePointer;
  return static_cast<DWORD>(position);
}

DWORD HostFilesBase::GetFileSize(Handle file, DWORD* high) {
  host::ReadOnlyFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return kInvalidFileSize;
  }
  const std::int64_t size = open->Size();
  if (size < 0)
    return kInvalidFileSize;
  if (high)
    *high = static_cast<DWORD>(static_cast<std::uint64_t>(size) >> 32);
  return static_cast<DWORD>(size);
}

bool HostFilesBase::CloseHandle(Handle file) {
  if (!open_.Remove(file)) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

Handle HostFiles::Open(const std::filesystem::path& path, DWORD shareMode) {
  return Adopt(host::OpenForReading(path, ShareOf(shareMode)));
}

std::unique_ptr<host::ReadOnlyFile> HostFiles::OpenPath(const std::wstring& path,
                                                        host::Share share) {
  return host::OpenForReading(std::filesystem::u8path(ToUtf8(path)), share);
}

}  // namespace platform
