// Reading a package as the device's writers read it, and telling what they would do with it.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_check.h"
#include "platform/host/host_files.h"

namespace nbx {

// Exit statuses of info and verify.
constexpr int kOk = 0;
constexpr int kRefused = 1;
constexpr int kUnreadable = 2;

// A package file open for reading, with the device's verdict on its trailer
// (package::CheckTrailer).
struct Package {
  std::string path;
  platform::HostFiles files;
  platform::ScopedFile file;
  std::uint64_t hostSize = 0;  // the whole file
  package::PackageCheck check;

  // The device refuses a file whose size does not fit 32 bits; its trailer is not read.
  bool tooLarge() const { return hostSize > 0xFFFFFFFFu; }
  // Whether the whole trailer was read: it lists blocks and fits the file.
  bool trailerRead() const {
    return !tooLarge() && check.verdict != package::Verdict::kNoBlocks &&
           check.verdict != package::Verdict::kTrailerTooLong;
  }
  const package::ImageTrailer& trailer() const { return check.trailer; }
  // P = F - T, for a trailer that was read.
  platform::DWORD payload() const { return check.payload(); }
};

// Opens the package and checks its trailer. False, with one line on standard error naming the
// file and the reason, when the file cannot be read.
bool Open(const std::string& path, Package& package);

// Why the device refuses the package before it checks a block: 4 GiB or more, no block listed,
// a trailer longer than the file, the tag, an empty payload. Empty when it goes on to the blocks.
std::string Refusal(const Package& package);

// Tells on standard error what the device takes without complaint but is odd: listed blocks
// that reach into the trailer or past the end, payload bytes that no block covers.
void WarnAboutLayout(const Package& package);

// The host's words for the last failure, or its error code.
std::string Reason();

// The tag as text: up to its first NUL, other bytes escaped.
std::string TagText(const package::ImageTrailer& trailer);
std::string Hex16(unsigned value);

}  // namespace nbx
