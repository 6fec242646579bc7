// What the simulated device and the tools need of the host machine they run on. Declared here,
// implemented once per host (posix/ on Linux, win32/ on Windows).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::host {

// A host file open for reading. Failures set the last error with the device's codes.
class ReadOnlyFile {
 public:
  virtual ~ReadOnlyFile() = default;
  virtual bool Read(void* buffer, DWORD toRead, DWORD* read) = 0;
  // Moves the position (method: 0 begin, 1 current, 2 end); -1 on failure.
  virtual std::int64_t Seek(std::int64_t distance, DWORD method) = 0;
  virtual std::int64_t Size() = 0;
};

// How an open file is shared with later openers, in this process or any other: kRead lets
// them read it too, kNone keeps it to this opener until it is closed (kErrorSharingViolation).
enum class Share { kRead, kNone };

// Opens a host path for reading; null on failure. Only a regular file is opened: anything else
// (a folder, a FIFO, a device) is refused at once with kErrorAccessDenied, never waited on.
std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path,
                                             Share share = Share::kRead);

// Opens root/components... for reading without leaving root: no component may be a link, and a
// component that is not found as written is looked up without regard to letter case. Only a
// regular file is opened, as OpenForReading does.
std::unique_ptr<ReadOnlyFile> OpenBelow(const std::filesystem::path& root,
                                        const std::vector<std::string>& components,
                                        Share share = Share::kRead);

// Replaces a file's contents so that a process killed at any moment leaves either the old or
// the new contents. The new contents are written to a temporary file of a name no one else
// holds, beside the target, which is removed again on any failure. A link or anything but a
// regular file at path is refused, never followed. False with the last error set on failure.
bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

// Appends bytes with one write to a regular file (made when missing; a link is refused).
// Returns false with the last error set on failure.
bool AppendToFile(const std::filesystem::path& path, const void* bytes, std::size_t size);

// The host's own words for why the last failed host call failed ("No space left on device").
std::string LastErrorText();

// A lock on a host file that holds across processes until it is destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// Takes the lock of path (the file is made when missing): exclusive, or shared with other
// shared holders. With wait it waits for the lock; without, it gives up at once when another
// holder has it (null, kErrorSharingViolation). Null with the last error set on failure.
std::unique_ptr<FileLock> LockFile(const std::filesystem::path& path, bool exclusive, bool wait);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes);

// Whether standard output goes to a terminal, where text can be redrawn in place.
bool StandardOutputIsTerminal();

// Waits, as slow hardware does.
void Pause(unsigned milliseconds);

// Ends the process at once, as a power cut would: nothing is flushed, no destructor runs.
[[noreturn]] void PowerCut();

}  // namespace platform::host
