#include "platform/host.h"

#include <cstdio>

#include "platform/text.h"
#include "platform/win32/windows_api.h"

namespace platform::host {

namespace {

DWORD ErrorFromWindows(::DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return kErrorFileNotFound;
    case ERROR_PATH_NOT_FOUND:
      return kErrorPathNotFound;
    case ERROR_ACCESS_DENIED:
      return kErrorAccessDenied;
    case ERROR_SHARING_VIOLATION:
      return kErrorSharingViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kErrorDiskFull;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return kErrorNotEnoughMemory;
    default:
      return kErrorGenFailure;
  }
}

bool Fail() {
  SetLastError(ErrorFromWindows(::GetLastError()));
  return false;
}

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (valid())
      ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class Win32ReadOnlyFile final : public ReadOnlyFile {
 public:
  explicit Win32ReadOnlyFile(HANDLE handle) : handle_(handle) {}

  bool Read(void* buffer, DWORD toRead, DWORD* read) override {
    ::DWORD done = 0;
    const bool ok = ::ReadFile(handle_.get(), buffer, toRead, &done, nullptr) != 0;
    if (read)
      *read = done;
    if (!ok)
      SetLastError(kErrorReadFault);
    return ok;
  }

  std::int64_t Seek(std::int64_t distance, DWORD method) override {
    std::int64_t base = 0;
    if (method == 1) {
      base = Position(0, FILE_CURRENT);
    } else if (method == 2) {
      base = Size();
    }
    if (base < 0)
      return -1;
    if (base + distance < 0) {
      SetLastError(kErrorNegativeSeek);
      return -1;
    }
    return Position(base + distance, FILE_BEGIN);
  }

  std::int64_t Size() override {
    ::DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const ::DWORD low = ::GetFileSize(handle_.get(), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
      return Fail(), -1;
    return static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
  }

 private:
  // SetFilePointer with its high part, as the device offers it.
  std::int64_t Position(std::int64_t distance, ::DWORD method) {
    ::LONG high = static_cast<::LONG>(distance >> 32);
    ::SetLastError(NO_ERROR);
    const ::DWORD low =
        ::SetFilePointer(handle_.get(), static_cast<::LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
      return Fail(), -1;
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<::DWORD>(high)) << 32) | low);
  }

  OwnedHandle handle_;
};

std::unique_ptr<ReadOnlyFile> Open(const std::wstring& path) {
  const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return Fail(), nullptr;
  return std::make_unique<Win32ReadOnlyFile>(handle);
}

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path) {
  return Open(path.wstring());
}

std::unique_ptr<ReadOnlyFile> OpenBelow(const std::filesystem::path& root,
                                        const std::vector<std::string>& components) {
  if (components.empty()) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  // No folder on the way may be a link out of root; names match without regard to case here.
  std::wstring path = root.wstring();
  for (std::size_t i = 0; i < components.size(); ++i) {
    path += L"\\" + FromUtf8(components[i]);
    if (i + 1 == components.size())
      break;
    const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(kErrorPathNotFound);
      return nullptr;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      SetLastError(kErrorAccessDenied);
      return nullptr;
    }
  }
  return Open(path);
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  const std::wstring temp = path.wstring() + L".tmp";
  {
    OwnedHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
      return Fail();
    ::DWORD written = 0;
    if (!bytes.empty() && (!::WriteFile(file.get(), bytes.data(),
                                        static_cast<::DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size())) {
      return Fail();
    }
    if (!::FlushFileBuffers(file.get()))
      return Fail();
  }
  if (!::MoveFileExW(temp.c_str(), path.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail();
  }
  return true;
}

bool AppendToFile(const std::filesystem::path& path, const void* bytes, std::size_t size) {
  OwnedHandle file(::CreateFileW(path.wstring().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid())
    return Fail();
  ::DWORD written = 0;
  if (size && (!::WriteFile(file.get(), bytes, static_cast<::DWORD>(size), &written, nullptr) ||
               written != size)) {
    return Fail();
  }
  return true;
}

bool StandardOutputIsTerminal() {
  return ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::_popen(command.c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, read);
  result.exitCode = ::_pclose(pipe);
  return result;
}

void Pause(unsigned milliseconds) {
  ::Sleep(milliseconds);
}

void PowerCut() {
  ::TerminateProcess(::GetCurrentProcess(), 137);
  ::ExitProcess(137);
}

}  // namespace platform::host
