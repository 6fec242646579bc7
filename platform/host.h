// What the simulated device and the tools need of the host machine they run on. Declared here,
// implemented once per host (posix/ on Linux).
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

// Opens a host path for reading; null on failure.
std::unique_ptr<ReadOnlyFile> OpenForReading(const std::filesystem::path& path);

// Opens root/components... for reading without leaving root: no component may be a link, and a
// component that is not found as written is looked up without regard to letter case.
std::unique_ptr<ReadOnlyFile> OpenBelow(const std::filesystem::path& root,
                                        const std::vector<std::string>& components);

// Replaces a file's contents so that a process killed at any moment leaves either the old or
// the new contents. Returns false with the last error set on failure.
bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

// Appends bytes with one write. Returns false with the last error set on failure.
bool AppendToFile(const std::filesystem::path& path, const void* bytes, std::size_t size);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes);

// Whether standard output goes to a terminal, where text can be redrawn in place.
bool StandardOutputIsTerminal();

struct CommandResult {
  int exitCode = -1;   // when the command exited
  int signal = 0;      // when a signal ended it
  std::string output;  // its standard output
};

// Runs a command line through the host's shell and collects its standard output.
CommandResult RunCommand(const std::string& command);

// Waits, as slow hardware does.
void Pause(unsigned milliseconds);

// Ends the process at once, as a power cut would: nothing is flushed, no destructor runs.
[[noreturn]] void PowerCut();

}  // namespace platform::host
