#include "platform/host_files.h"

#include "platform/text.h"

namespace platform {

Handle HostFilesBase::CreateFile(const std::wstring& path, DWORD access, DWORD shareMode,
                                 DWORD creation, DWORD /*attributes*/) {
  // Only reading is offered: the application never writes files.
  if (access & ~kGenericRead || creation != kOpenExisting) {
    SetLastError(kErrorAccessDenied);
    return kInvalidHandle;
  }
  const std::wstring key = LowerCase(path);
  for (const auto& [handle, open] : open_.entries()) {
    if (open->key == key && (!(open->shareMode & 1) || !(shareMode & 1))) {
      SetLastError(kErrorSharingViolation);
      return kInvalidHandle;
    }
  }
  auto file = OpenPath(path);
  if (!file)
    return kInvalidHandle;
  return open_.Add(std::make_unique<OpenFile>(OpenFile{std::move(file), key, shareMode}));
}

bool HostFilesBase::ReadFile(Handle file, void* buffer, DWORD toRead, DWORD* read) {
  if (read)
    *read = 0;
  OpenFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (!buffer && toRead != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return open->file->Read(buffer, toRead, read);
}

DWORD HostFilesBase::SetFilePointer(Handle file, LONG distance, DWORD method) {
  OpenFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return kInvalidSetFilePointer;
  }
  if (method > kFileEnd) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidSetFilePointer;
  }
  const std::int64_t position = open->file->Seek(distance, method);
  if (position < 0)
    return kInvalidSetFilePointer;
  return static_cast<DWORD>(position);
}

DWORD HostFilesBase::GetFileSize(Handle file, DWORD* high) {
  OpenFile* open = open_.Find(file);
  if (!open) {
    SetLastError(kErrorInvalidHandle);
    return kInvalidFileSize;
  }
  const std::int64_t size = open->file->Size();
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

std::unique_ptr<host::ReadOnlyFile> HostFiles::OpenPath(const std::wstring& path) {
  return host::OpenForReading(std::filesystem::u8path(ToUtf8(path)));
}

}  // namespace platform
