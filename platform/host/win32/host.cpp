#include "platform/host/host.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/os/windows_api.h"
#include "platform/text/utf8.h"

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

thread_local std::string t_lastErrorText;

bool Fail(DWORD code, const char* text) {
  t_lastErrorText = text;
  SetLastError(code);
  return false;
}

bool Fail() {
  const ::DWORD error = ::GetLastError();
  char text[256] = {};
  if (!::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                        0, text, sizeof text, nullptr)) {
    std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
  }
  // The system's words end with a line end.
  for (std::size_t n = std::strlen(text); n && (text[n - 1] == '\n' || text[n - 1] == '\r');)
    text[--n] = '\0';
  return Fail(ErrorFromWindows(error), text);
}

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Close(); }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (valid())
      ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

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

// A link, a folder or anything but a plain file is refused before it is opened.
bool IsPlainFileOrMissing(const std::wstring& path) {
  const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ||
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

std::unique_ptr<ReadOnlyFile> Open(const std::wstring& path, Share share) {
  if (!IsPlainFileOrMissing(path))
    return Fail(kErrorAccessDenied, "not a regular file"), nullptr;
  HANDLE handle =
      ::CreateFileW(path.c_str(), GENERIC_READ, share == Share::kRead ? FILE_SHARE_READ : 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return Fail(), nullptr;
  auto file = std::make_unique<Win32ReadOnlyFile>(handle);
  if (::GetFileType(handle) != FILE_TYPE_DISK)
    return Fail(kErrorAccessDenied, "not a regular file"), nullptr;
  return file;
}

// Removes a temporary file unless it was kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty())
      ::DeleteFileW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::wstring path_;
};

class Win32FileLock final : public FileLock {
 public:
  explicit Win32FileLock(HANDLE handle) : handle_(handle) {}

 private:
  OwnedHandle handle_;  // closing it releases the lock
};

// Whether every folder from the root down to within is a folder and no link, each made first
// with make; false with the reason naming the first that is not.
bool FoldersBelow(const std::filesystem::path& root, const std::filesystem::path& within,
                  bool make) {
  std::filesystem::path path = root;
  for (const std::filesystem::path& name : within) {
    path /= name;
    if (make)
      ::CreateDirectoryW(path.wstring().c_str(), nullptr);
    const ::DWORD attributes = ::GetFileAttributesW(path.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return Fail();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return Failed(kErrorAccessDenied, Shown(name) + " is a link");
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Failed(kErrorPathNotFound, Shown(name) + " is not a folder");
  }
  return true;
}

bool ParentBelow(const Below& file) {
  return FoldersBelow(file.root, file.relative.parent_path(), false);
}

// The path of a file to be written: nothing, with the reason, when a folder on the way or the
// file itself is no plain one.
std::optional<std::wstring> WrittenPath(const Below& file) {
  if (!ParentBelow(file))
    return std::nullopt;
  std::wstring path = file.path().wstring();
  if (!IsPlainFileOrMissing(path))
    return Fail(kErrorAccessDenied, "not a regular file"), std::nullopt;
  return path;
}

// ReplaceFile's temporary files: the target's name, its process and a count, and ".tmp".
bool IsTemporaryOf(const std::wstring& name, const std::wstring& leaf) {
  if (name.size() <= leaf.size() + 5 || name.compare(0, leaf.size(), leaf) != 0 ||
      name[leaf.size()] != L'.' || name.compare(name.size() - 4, 4, L".tmp") != 0) {
    return false;
  }
  const std::wstring numbers = name.substr(leaf.size() + 1, name.size() - leaf.size() - 5);
  const std::size_t dot = numbers.find(L'.');
  return dot != std::wstring::npos && dot > 0 && dot + 1 < numbers.size() &&
         numbers.find_first_not_of(L"0123456789.") == std::wstring::npos &&
         numbers.find(L'.', dot + 1) == std::wstring::npos;
}

// The absolute path in the form that keeps every character of the names appended to it: a plain
// path loses a name's trailing dots and spaces, and would name another file.
std::wstring KeptPath(const std::filesystem::path& folder) {
  std::error_code ec;
  const std::wstring path = std::filesystem::absolute(folder, ec).lexically_normal().wstring();
  if (path.rfind(L"\\\\?\\", 0) == 0)
    return path;
  if (path.rfind(L"\\\\", 0) == 0)
    return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

}  // namespace

bool Failed(DWORD code, const std::string& why) {
  return Fail(code, why.c_str());
}

std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path, Share share) {
  return Open(path.wstring(), share);
}

std::unique_ptr<ReadOnlyFile> OpenForReading(const Below& file, Share share) {
  if (!ParentBelow(file))
    return nullptr;
  return Open(file.path().wstring(), share);
}

std::unique_ptr<ReadOnlyFile> OpenBelow(const Below& folder,
                                        const std::vector<std::string>& components, Share share) {
  if (components.empty()) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  if (!FoldersBelow(folder.root, folder.relative, false))
    return nullptr;
  // No folder on the way may be a link out of root; names match without regard to case here.
  std::wstring path = KeptPath(folder.path());
  for (std::size_t i = 0; i < components.size(); ++i) {
    path += L"\\" + FromUtf8(components[i]);
    if (i + 1 == components.size())
      break;
    const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Fail(kErrorPathNotFound, "no such folder"), nullptr;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      return Fail(kErrorAccessDenied, "a link"), nullptr;
  }
  return Open(path, share);
}

bool ReplaceFile(const Below& replaced, std::string_view bytes) {
  const std::optional<std::wstring> kept = WrittenPath(replaced);
  if (!kept)
    return false;
  const std::wstring& target = *kept;
  // CREATE_NEW never opens a name that exists, a link included: try fresh names until one is new.
  static unsigned counter = 0;
  for (;;) {
    wchar_t suffix[48];
    std::swprintf(suffix, std::size(suffix), L".%lu.%u.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()), ++counter);
    const std::wstring name = target + suffix;
    OwnedHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      if (::GetLastError() == ERROR_FILE_EXISTS)
        continue;
      return Fail();
    }
    TemporaryFile temp(name);
    ::DWORD written = 0;
    if (!bytes.empty() && (!::WriteFile(file.get(), bytes.data(),
                                        static_cast<::DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size())) {
      return Fail();
    }
    if (!::FlushFileBuffers(file.get()))
      return Fail();
    file.Close();
    if (!::MoveFileExW(name.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return Fail();
    }
    temp.Keep();
    return true;
  }
}

void RemoveLeftovers(const Below& file) {
  if (!ParentBelow(file))
    return;
  const std::wstring leaf = file.relative.filename().wstring();
  const std::filesystem::path folder = file.path().parent_path();
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder / (leaf + L".*.tmp")).wstring().c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    const bool plain =
        !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    if (plain && IsTemporaryOf(found.cFileName, leaf))
      ::DeleteFileW((folder / found.cFileName).wstring().c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

bool MakeFolders(const Below& folder) {
  return FoldersBelow(folder.root, folder.relative, true);
}

bool IsFolder(const Below& folder) {
  return FoldersBelow(folder.root, folder.relative, false);
}

bool AppendToFile(const Below& appended, const void* bytes, std::size_t size) {
  const std::optional<std::wstring> path = WrittenPath(appended);
  if (!path)
    return false;
  OwnedHandle file(::CreateFileW(path->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
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

std::string LastErrorText() {
  return t_lastErrorText;
}

std::unique_ptr<FileLock> LockFile(const Below& file, bool exclusive, bool wait) {
  const std::optional<std::wstring> path = WrittenPath(file);
  if (!path)
    return nullptr;
  HANDLE handle = ::CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return Fail(), nullptr;
  auto lock = std::make_unique<Win32FileLock>(handle);
  OVERLAPPED whole{};
  const ::DWORD flags =
      (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!::LockFileEx(handle, flags, 0, 1, 0, &whole)) {
    if (::GetLastError() == ERROR_LOCK_VIOLATION || ::GetLastError() == ERROR_IO_PENDING)
      return Fail(kErrorSharingViolation, "locked by another program"), nullptr;
    return Fail(), nullptr;
  }
  return lock;
}

bool StandardOutputIsTerminal() {
  return ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
}

void Pause(unsigned milliseconds) {
  ::Sleep(milliseconds);
}

void PowerCut() {
  ::TerminateProcess(::GetCurrentProcess(), 137);
  ::ExitProcess(137);
}

}  // namespace platform::host
