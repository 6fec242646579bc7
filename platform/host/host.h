// What the simulated device and the tools need of the host machine they run on. Declared here,
// implemented once per host (posix/ on Linux, win32/ on Windows).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform::host {

// A file or folder of a tree, reached from its root without following any link below the root.
// The root may be one: it is the folder the user named. A link anywhere below it is refused,
// never followed, so nothing outside the tree is read or written through it.
struct Below {
  std::filesystem::path root;
  std::filesystem::path relative;  // empty: the root itself

  // The tree of a plain path: its folder, taken as it is, and the name in it.
  static Below Of(const std::filesystem::path& path);
  std::filesystem::path path() const { return relative.empty() ? root : root / relative; }
  Below operator/(const std::filesystem::path& name) const { return {root, relative / name}; }
};

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

// Opens a file for reading; null on failure. Only a regular file is opened: anything else (a
// folder, a FIFO, a device, a link below the tree's root) is refused at once with
// kErrorAccessDenied, never waited on. A plain path is the user's: a link there is followed.
std::unique_ptr<ReadOnlyFile> OpenForReading(const Below& file, Share share = Share::kRead);
std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path,
                                             Share share = Share::kRead);

// Opens folder/components... for reading, as OpenForReading does; a component that is not found
// as written is looked up without regard to letter case.
std::unique_ptr<ReadOnlyFile> OpenBelow(const Below& folder,
                                        const std::vector<std::string>& components,
                                        Share share = Share::kRead);

// Reads a whole file of at most limit bytes; false when it cannot be read, or is longer
// (kErrorFileTooLarge).
bool ReadWholeFile(const Below& file, std::string& bytes, std::uint64_t limit = 0xFFFFFFFF);
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                   std::uint64_t limit = 0xFFFFFFFF);

// Replaces a file's contents so that a process killed at any moment leaves either the old or
// the new contents. The new contents are written to a temporary file of a name no one else
// holds, beside the target, which is removed again on any failure. Anything but a regular file
// at the target is refused, never followed. False with the last error set on failure.
bool ReplaceFile(const Below& file, std::string_view bytes);
bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

// Removes what ReplaceFile of this file left behind in a process killed meanwhile: regular files
// of its temporary files' naming, never a link. Only the one who holds every change of the tree
// may call it.
void RemoveLeftovers(const Below& file);

// Appends bytes with one write to a regular file (made when missing; a link is refused).
// Returns false with the last error set on failure.
bool AppendToFile(const Below& file, const void* bytes, std::size_t size);

// Makes the folder and every missing one above it, below the root (which must exist).
bool MakeFolders(const Below& folder);
// Whether the folder is one, reached without a link; false with the reason when it is not.
bool IsFolder(const Below& folder);

// The host's own words for why the last failed host call failed ("No space left on device").
std::string LastErrorText();
// Sets the last error and LastErrorText's words for it; false, for the failing call to return.
bool Failed(DWORD code, const std::string& why);

// A lock on a host file that holds across processes until it is destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// Takes the lock of a file (made when missing): exclusive, or shared with other shared holders.
// With wait it waits for the lock; without, it gives up at once when another holder has it
// (null, kErrorSharingViolation). Null with the last error set on failure.
std::unique_ptr<FileLock> LockFile(const Below& file, bool exclusive, bool wait);

// A path as a message shows it: text as it stands, and each byte of a name that is no text, or
// a control character, as \xNN.
std::string Shown(const std::filesystem::path& path);
inline std::string Shown(const Below& file) {
  return Shown(file.path());
}

// Whether standard output goes to a terminal, where text can be redrawn in place.
bool StandardOutputIsTerminal();

// Waits, as slow hardware does.
void Pause(unsigned milliseconds);

// Ends the process at once, as a power cut would: nothing is flushed, no destructor runs.
[[noreturn]] void PowerCut();

}  // namespace platform::host
