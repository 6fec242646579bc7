#include "platform/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

bool Fail() {
  SetLastError(ErrorFromErrno(errno));
  return false;
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
        SetLastError(kErrorReadFault);
        return false;
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

// The file that open() gave, when it is a regular file.
std::unique_ptr<ReadOnlyFile> OpenedFile(Fd fd) {
  if (fd.get() < 0)
    return Fail(), nullptr;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0)
    return Fail(), nullptr;
  if (!S_ISREG(info.st_mode)) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  return std::make_unique<PosixReadOnlyFile>(std::move(fd));
}

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path) {
  return OpenedFile(Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)));
}

std::unique_ptr<ReadOnlyFile> OpenBelow(const std::filesystem::path& root,
                                        const std::vector<std::string>& components) {
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
      SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound
                                                       : ErrorFromErrno(errno));
      return nullptr;
    }
    dir = std::move(next);
  }
  const std::string name = FindEntry(dir.get(), components.back());
  return OpenedFile(Fd(::openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)));
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path temp = path.string() + ".tmp";
  {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0)
      return Fail();
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        return Fail();
      done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0)
      return Fail();
  }
  if (::rename(temp.c_str(), path.c_str()) != 0)
    return Fail();
  Fd dir(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0)
    ::fsync(dir.get());
  return true;
}

bool AppendToFile(const std::filesystem::path& path, const void* bytes, std::size_t size) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0)
    return Fail();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd.get(), static_cast<const char*>(bytes) + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return Fail();
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool StandardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, read);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  return result;
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
