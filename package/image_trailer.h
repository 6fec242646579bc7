// The trailer at the end of every image package, and the checks made on it before any byte of
// the image reaches flash.
//
// Layout from the end of a file of F bytes, T = 4*N + L + 21:
//   F-T          N block numbers (u16), block k being file bytes k*16384 .. k*16384+16383
//   F-T+2N       N CRC-16 values (u16), one per listed block
//   F-T+4N       17 reserved bytes
//   F-L-4        the product tag, L bytes, ended by a NUL inside the field
//   F-4          N (u16)
//   F-2          L (u16)
#pragma once

#include <array>
#include <vector>

#include "platform/files.h"

namespace package {

using platform::BYTE;
using platform::DWORD;
using platform::WORD;

constexpr DWORD IMAGE_BLOCK_SIZE = 16384;
constexpr char kProductTag[] = "KORVALIN";
constexpr DWORD kReservedSize = 17;

// The one buffer through which blocks are read: 16 KiB, so held on the heap by its owner.
using BlockBuffer = std::array<BYTE, IMAGE_BLOCK_SIZE>;

struct ImageTrailer {
  WORD wBlockCount = 0;  // N
  WORD wTagLength = 0;   // L
  std::vector<WORD> wBlockIndex;
  std::vector<WORD> wBlockCrc;
  std::array<BYTE, kReservedSize> abReserved{};
  std::vector<BYTE> szProductTag;

  // T: the trailer's length in bytes.
  DWORD size() const { return 4u * wBlockCount + wTagLength + 21u; }
};

// What the device decides about a package, from its trailer to its blocks: one verdict, which
// each writer reports in its own words and nbx prints.
enum class Verdict {
  kAccepted,        // nothing refused it so far
  kNoBlocks,        // N is 0 (also an empty file or one too short to hold N)
  kTrailerTooLong,  // T is larger than the file
  kUnreadable,      // a size, seek or read call failed or delivered too few bytes, or the file
                    // is 4 GiB or larger
  kWrongTag,        // the tag field does not hold "KORVALIN"
  kEmptyPayload,    // the trailer is the whole file: there is no image to write
  kCrcMismatch,     // a listed block's CRC differs
};

struct TrailerResult {
  Verdict verdict = Verdict::kUnreadable;  // kAccepted once the whole trailer was read
  DWORD fileSize = 0;                      // F, when it could be taken
  ImageTrailer trailer;
};

// F, the size of the open package. False with the last error set when it cannot be taken, or
// when the file is 4 GiB or larger (kErrorFileTooLarge): no size of a package may wrap.
bool GetPackageSize(platform::Files& files, platform::Handle file, DWORD& size);

// Reads the trailer of the open package. Nothing is allocated before N is known to be non-zero
// and T is known to fit into the file. Moves the file position.
TrailerResult ReadImageTrailer(platform::Files& files, platform::Handle file);

// True when the tag field holds "KORVALIN" and a NUL within its L bytes. Letter case counts; a
// field without a NUL is not a tag.
bool CheckProductTag(const ImageTrailer& trailer);

struct BlockCheck {
  Verdict verdict = Verdict::kAccepted;  // or kCrcMismatch, kUnreadable
  WORD position = 0;                     // i, the first failing entry of the tables
  WORD block = 0;                        // wBlockIndex[i]
  WORD computed = 0;                     // the CRC over the bytes delivered, for kCrcMismatch
};

// Checks every listed block in table order, stopping at the first that fails. The CRC covers
// exactly the bytes the file delivers for the block: fewer at the end of the file, none past
// it. A seek or read that fails stops the check as kUnreadable. Moves the file position.
BlockCheck VerifyImageBlocks(platform::Files& files, platform::Handle file,
                             const ImageTrailer& trailer, BlockBuffer& buffer);

}  // namespace package
