#include "platform/host/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform::host {

namespace {

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:
      return kErrorAccessDenied;
    case ENOSPC:
      return kErrorDiskFull;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ENAMETOOLONG:
      return kErrorInvalidName;
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

bool FailWith(int error) {
  return Fail(ErrorFromErrno(error), std::strerror(error));
}

bool Fail() {
  return FailWith(errno);
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

class PosixReadOnlyFile final : public ReadOnlyFile {
 public:
  explicit PosixReadOnlyFile(Fd fd) : fd_(std::move(fd)) {}

  bool Read(void* buffer, DWORD toRead, DWORD* read) override {
    std::size_t total = 0;
    while (total < toRead) {
      const ssize_t n = ::read(fd_.get(), static_cast<char*>(buffer) + total, toRead - total);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0) {
        if (read)
          *read = static_cast<DWORD>(total);
        return Fail(kErrorReadFault, std::strerror(errno));
      }
      if (n == 0)
        break;
      total += static_cast<std::size_t>(n);
    }
    if (read)
      *read = static_cast<DWORD>(total);
    return true;
  }

  std::int64_t Seek(std::int64_t distance, DWORD method) override {
    std::int64_t base = 0;
    if (method == 1) {
      base = ::lseek(fd_.get(), 0, SEEK_CUR);
    } else if (method == 2) {
      base = Size();
    }
    if (base < 0)
      return Fail(), -1;
    const std::int64_t target = base + distance;
    if (target < 0) {
      SetLastError(kErrorNegativeSeek);
      return -1;
    }
    const off_t done = ::lseek(fd_.get(), static_cast<off_t>(target), SEEK_SET);
    if (done < 0)
      return Fail(), -1;
    return done;
  }

  std::int64_t Size() override {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0)
      return Fail(), -1;
    return info.st_size;
  }

 private:
  Fd fd_;
};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The entry of a directory whose name matches without regard to case, or the name itself.
std::string FindEntry(int dirFd, const std::string& name) {
  struct stat info {};
  if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    return name;
  const int copy = ::dup(dirFd);
  if (copy < 0)
    return name;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return name;
  }
  std::string found = name;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualIgnoringCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Whether what open() gave is a regular file; false with the reason when not.
bool IsRegularFile(const Fd& fd) {
  if (fd.get() < 0)
    return Fail();
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0)
    return Fail();
  if (!S_ISREG(info.st_mode))
    return Fail(kErrorAccessDenied, "not a regular file");
  return true;
}

// Takes the file's lock, which holds across processes until the file is closed. Without wait,
// false with kErrorSharingViolation when another holder has it.
bool Lock(const Fd& fd, bool exclusive, bool wait) {
  const int operation = (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
  int result = 0;
  while ((result = ::flock(fd.get(), operation)) != 0 && errno == EINTR) {
  }
  if (result == 0)
    return true;
  if (errno != EWOULDBLOCK)
    return Fail();
  return Fail(kErrorSharingViolation, "in use by another program");
}

// The file that open() gave, when it is a regular file that can be shared as asked. It was
// opened without blocking, so that a FIFO never waits for a writer; reads block again.
std::unique_ptr<ReadOnlyFile> OpenedFile(Fd fd, Share share) {
  if (!IsRegularFile(fd))
    return nullptr;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    return Fail(), nullptr;
  if (!Lock(fd, share == Share::kNone, false))
    return nullptr;
  return std::make_unique<PosixReadOnlyFile>(std::move(fd));
}

constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Removes a temporary file unless it was kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty())
      ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return Fail();
    done += static_cast<std::size_t>(n);
  }
  return true;
}

class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(Fd fd) : fd_(std::move(fd)) {}

 private:
  Fd fd_;  // closing it releases the lock
};

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path, Share share) {
  return OpenedFile(Fd(::open(path.c_str(), kReadFlags)), share);
}

std::unique_ptr<ReadOnlyFile> OpenBelow(const std::filesystem::path& root,
                                        const std::vector<std::string>& components, Share share) {
  if (components.empty()) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  Fd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0)
    return Fail(), nullptr;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    const std::string name = FindEntry(dir.get(), components[i]);
    Fd next(::openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) {
      const int error = errno;
      FailWith(error);
      if (error == ENOENT || error == ENOTDIR)
        SetLastError(kErrorPathNotFound);
      return nullptr;
    }
    dir = std::move(next);
  }
  const std::string name = FindEntry(dir.get(), components.back());
  return OpenedFile(Fd(::openat(dir.get(), name.c_str(), kReadFlags | O_NOFOLLOW)), share);
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
    return Fail(kErrorAccessDenied, S_ISLNK(info.st_mode) ? "a link" : "not a regular file");
  // mkostemp creates with O_EXCL: a name that exists, a link included, is never reused.
  std::string pattern = path.string() + ".XXXXXX";
  Fd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd.get() < 0)
    return Fail();
  TemporaryFile temp(pattern);
  if (::fchmod(fd.get(), 0644) != 0)
    return Fail();
  if (!WriteAll(fd.get(), bytes.data(), bytes.size()))
    return false;
  if (::fsync(fd.get()) != 0)
    return Fail();
  fd.reset();
  if (::rename(temp.path().c_str(), path.c_str()) != 0)
    return Fail();
  temp.Keep();
  Fd dir(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0)
    ::fsync(dir.get());
  return true;
}

bool AppendToFile(const std::filesystem::path& path, const void* bytes, std::size_t size) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
               0644));
  return IsRegularFile(fd) && WriteAll(fd.get(), static_cast<const char*>(bytes), size);
}

std::string LastErrorText() {
  return t_lastErrorText;
}

std::unique_ptr<FileLock> LockFile(const std::filesystem::path& path, bool exclusive, bool wait) {
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!IsRegularFile(fd) || !Lock(fd, exclusive, wait))
    return nullptr;
  return std::make_unique<PosixFileLock>(std::move(fd));
}

bool StandardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

void Pause(unsigned milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

void PowerCut() {
  ::kill(::getpid(), SIGKILL);
  std::_Exit(137);
}

}  // namespace platform::host
