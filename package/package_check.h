// What the device makes of a package: one verdict, which each writer reports in its own words
// and nbx prints. The trailer is checked first (tag, payload), the blocks after it: the OS image
// writer does steps of its own in between.
#pragma once

#include "package/image_trailer.h"

namespace package {

struct PackageCheck {
  Verdict verdict = Verdict::kUnreadable;
  DWORD fileSize = 0;    // F, once taken
  ImageTrailer trailer;  // once read
  WORD position = 0;     // kCrcMismatch: the first failing entry of the tables
  WORD block = 0;        // kCrcMismatch: its block number
  WORD computed = 0;     // kCrcMismatch: the CRC over the bytes the file delivered

  // P, the image's length, once the trailer was read.
  DWORD payload() const { return fileSize - trailer.size(); }
};

// Reads the trailer and checks its tag and payload: kAccepted when the blocks are next to check.
// Moves the file position.
PackageCheck CheckTrailer(platform::Files& files, platform::Handle file);

// Checks the listed blocks of a package whose trailer was accepted: kAccepted, kCrcMismatch or
// kUnreadable. Moves the file position.
void CheckBlocks(platform::Files& files, platform::Handle file, PackageCheck& check,
                 BlockBuffer& buffer);

// Both checks, in order.
PackageCheck CheckPackage(platform::Files& files, platform::Handle file, BlockBuffer& buffer);

}  // namespace package
