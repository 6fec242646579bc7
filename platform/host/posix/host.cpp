#include "platform/host/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "platform/text/strings.h"

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

// Gives visit the name of each entry of the open folder dir, until it returns true.
template <class Visit>
void ForEachName(int dir, Visit visit) {
  const int copy = dir < 0 ? -1 : ::dup(dir);
  DIR* entries = copy < 0 ? nullptr : ::fdopendir(copy);
  if (!entries) {
    if (copy >= 0)
      ::close(copy);
    return;
  }
  while (const dirent* entry = ::readdir(entries)) {
    if (visit(std::string(entry->d_name)))
      break;
  }
  ::closedir(entries);
}

// The entry of a directory whose name matches without regard to case, or the name itself.
std::string FindEntry(int dirFd, const std::string& name) {
  struct stat info {};
  if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    return name;
  std::string found = name;
  ForEachName(dirFd, [&](const std::string& entry) {
    if (!EqualIgnoringAsciiCase(entry, name))
      return false;
    found = entry;
    return true;
  });
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

// Removes a temporary file of a folder unless it was kept.
class TemporaryFile {
 public:
  TemporaryFile(int dir, std::string name) : dir_(dir), name_(std::move(name)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!name_.empty())
      ::unlinkat(dir_, name_.c_str(), 0);
  }
  void Keep() { name_.clear(); }

 private:
  int dir_;
  std::string name_;
};

// The temporary files of ReplaceFile are named after their target, a dot and this many letters
// or digits, as mkstemp names them.
constexpr std::size_t kTemporarySuffix = 6;

std::string RandomSuffix() {
  static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix(kTemporarySuffix, ' ');
  for (char& c : suffix)
    c = kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

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

// Why name in dir could not be opened as a folder, naming it when it is a link or no folder.
bool FailFolder(int dir, const std::filesystem::path& name, int error) {
  struct stat info {};
  const bool link =
      ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
  if (link || error == ENOTDIR) {
    return Failed(link ? kErrorAccessDenied : kErrorPathNotFound,
                  Shown(name) + (link ? " is a link" : " is not a folder"));
  }
  FailWith(error);
  if (error == ENOENT)
    SetLastError(kErrorPathNotFound);
  return false;
}

// The folder of a tree that holds file, opened from the root without following a link below
// it; with make, each missing folder on the way is made. On failure, the reason names the part
// of the path that is not a folder.
Fd OpenFolderOf(const std::filesystem::path& root, bool make, const std::filesystem::path& within) {
  Fd dir(::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0)
    return Fail(), Fd();
  for (const std::filesystem::path& name : within) {
    if (make && ::mkdirat(dir.get(), name.c_str(), 0755) != 0 && errno != EEXIST)
      return Fail(), Fd();
    Fd next(::openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0)
      return FailFolder(dir.get(), name, errno), Fd();
    dir = std::move(next);
  }
  return dir;
}

Fd OpenParent(const Below& file) {
  return OpenFolderOf(file.root, false, file.relative.parent_path());
}

// The name of file in its folder; a file that is the root itself has none.
std::string Leaf(const Below& file) {
  return file.relative.filename().string();
}

// Why what stands at name is no regular file; empty when it is one, or nothing is there.
std::string NotARegularFile(int dir, const std::string& name) {
  struct stat info {};
  if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISREG(info.st_mode))
    return {};
  return S_ISLNK(info.st_mode) ? "a link" : "not a regular file";
}

// Opens name in dir as open() does, refusing a link; the reason when it cannot.
Fd OpenAt(int dir, const std::string& name, int flags, mode_t mode = 0) {
  Fd fd(::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
  if (fd.get() >= 0)
    return fd;
  if (errno == ELOOP)
    Fail(kErrorAccessDenied, "a link");
  else
    Fail();
  return fd;
}

bool IsTemporaryOf(const std::string& name, const std::string& leaf) {
  return name.size() == leaf.size() + 1 + kTemporarySuffix &&
         name.compare(0, leaf.size(), leaf) == 0 && name[leaf.size()] == '.' &&
         std::all_of(name.begin() + static_cast<std::ptrdiff_t>(leaf.size()) + 1, name.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path, Share share) {
  return OpenedFile(Fd(::open(path.c_str(), kReadFlags)), share);
}

std::unique_ptr<ReadOnlyFile> OpenForReading(const Below& file, Share share) {
  const Fd dir = OpenParent(file);
  if (dir.get() < 0)
    return nullptr;
  Fd fd = OpenAt(dir.get(), Leaf(file), kReadFlags);
  if (fd.get() < 0)
    return nullptr;
  return OpenedFile(std::move(fd), share);
}

std::unique_ptr<ReadOnlyFile> OpenBelow(const Below& folder,
                                        const std::vector<std::string>& components, Share share) {
  if (components.empty()) {
    SetLastError(kErrorAccessDenied);
    return nullptr;
  }
  Fd dir = OpenFolderOf(folder.root, false, folder.relative);
  if (dir.get() < 0)
    return nullptr;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    const std::string name = FindEntry(dir.get(), components[i]);
    Fd next(::openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0)
      return FailFolder(dir.get(), name, errno), nullptr;
    dir = std::move(next);
  }
  const std::string name = FindEntry(dir.get(), components.back());
  return OpenedFile(Fd(::openat(dir.get(), name.c_str(), kReadFlags | O_NOFOLLOW)), share);
}

bool ReplaceFile(const Below& file, std::string_view bytes) {
  const Fd dir = OpenParent(file);
  if (dir.get() < 0)
    return false;
  const std::string leaf = Leaf(file);
  if (const std::string why = NotARegularFile(dir.get(), leaf); !why.empty())
    return Fail(kErrorAccessDenied, why.c_str());
  // O_EXCL never opens a name that exists, a link included: a fresh name is tried until one is
  // new.
  std::string temporary;
  Fd fd;
  for (int tries = 0; fd.get() < 0; ++tries) {
    temporary = leaf + "." + RandomSuffix();
    fd = Fd(::openat(dir.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0 && (errno != EEXIST || tries == 100))
      return Fail();
  }
  TemporaryFile temp(dir.get(), temporary);
  if (!WriteAll(fd.get(), bytes.data(), bytes.size()))
    return false;
  if (::fsync(fd.get()) != 0)
    return Fail();
  fd.reset();
  if (::renameat(dir.get(), temporary.c_str(), dir.get(), leaf.c_str()) != 0)
    return Fail();
  temp.Keep();
  ::fsync(dir.get());
  return true;
}

void RemoveLeftovers(const Below& file) {
  const Fd dir = OpenParent(file);
  const std::string leaf = Leaf(file);
  ForEachName(dir.get(), [&](const std::string& name) {
    struct stat info {};
    if (IsTemporaryOf(name, leaf) &&
        ::fstatat(dir.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode)) {
      ::unlinkat(dir.get(), name.c_str(), 0);
    }
    return false;
  });
}

bool AppendToFile(const Below& file, const void* bytes, std::size_t size) {
  const Fd dir = OpenParent(file);
  if (dir.get() < 0)
    return false;
  const Fd fd = OpenAt(dir.get(), Leaf(file), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, 0644);
  return IsRegularFile(fd) && WriteAll(fd.get(), static_cast<const char*>(bytes), size);
}

bool MakeFolders(const Below& folder) {
  return OpenFolderOf(folder.root, true, folder.relative).get() >= 0;
}

bool IsFolder(const Below& folder) {
  return OpenFolderOf(folder.root, false, folder.relative).get() >= 0;
}

std::string LastErrorText() {
  return t_lastErrorText;
}

bool Failed(DWORD code, const std::string& why) {
  return Fail(code, why.c_str());
}

std::unique_ptr<FileLock> LockFile(const Below& file, bool exclusive, bool wait) {
  const Fd dir = OpenParent(file);
  if (dir.get() < 0)
    return nullptr;
  Fd fd = OpenAt(dir.get(), Leaf(file), O_RDWR | O_CREAT | O_NONBLOCK, 0644);
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
