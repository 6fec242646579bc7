#include "tools/nbx/package_file.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "platform/host/host.h"
#include "platform/text/utf8.h"

namespace nbx {

namespace {

using package::IMAGE_BLOCK_SIZE;
using package::ImageTrailer;
using package::Verdict;
using platform::BYTE;
using platform::DWORD;
using platform::WORD;

// A tag field without its NUL may be 65535 bytes long: only its start is shown.
constexpr std::size_t kShownTagBytes = 64;

std::string Tagged(const std::string& text) {
  return "\"" + text + "\"";
}

// Listed blocks of one odd kind: how many, and the first in table order.
struct OddBlocks {
  std::size_t count = 0;
  WORD position = 0;
  WORD block = 0;

  void Add(WORD i, WORD number) {
    if (count++ == 0) {
      position = i;
      block = number;
    }
  }
  std::string First() const {
    return " (first: block " + std::to_string(block) + " at position " + std::to_string(position) +
           ")";
  }
};

// Payload bytes that no listed block covers.
struct Uncovered {
  std::uint64_t bytes = 0;
  std::size_t ranges = 0;
  std::uint64_t firstFrom = 0;
  std::uint64_t firstTo = 0;  // past its last byte

  void Add(std::uint64_t from, std::uint64_t to) {
    if (ranges++ == 0) {
      firstFrom = from;
      firstTo = to;
    }
    bytes += to - from;
  }
};

Uncovered FindUncovered(const ImageTrailer& trailer, DWORD payload) {
  std::vector<std::uint64_t> starts;
  for (const WORD block : trailer.wBlockIndex)
    starts.push_back(std::uint64_t{block} * IMAGE_BLOCK_SIZE);
  std::sort(starts.begin(), starts.end());
  Uncovered uncovered;
  std::uint64_t coveredTo = 0;
  for (const std::uint64_t start : starts) {
    if (start >= payload)
      break;
    if (start > coveredTo)
      uncovered.Add(coveredTo, start);
    coveredTo = std::max(coveredTo, std::min<std::uint64_t>(start + IMAGE_BLOCK_SIZE, payload));
  }
  if (coveredTo < payload)
    uncovered.Add(coveredTo, payload);
  return uncovered;
}

}  // namespace

std::string Reason() {
  std::string text = platform::host::LastErrorText();
  if (!text.empty())
    return text;
  const DWORD code = platform::GetLastError();
  // A read that delivers less than asked, or a file too large to read whole, fails without an
  // error of its own.
  return code == platform::kErrorSuccess ? "it could not be read whole"
                                         : "error " + std::to_string(code);
}

std::string TagText(const ImageTrailer& trailer) {
  std::string text;
  std::size_t shown = 0;
  for (const BYTE b : trailer.szProductTag) {
    if (b == 0)
      break;
    if (shown++ == kShownTagBytes)
      return text + "...";
    if (b >= 32 && b < 127 && b != '\\' && b != '"') {
      text += static_cast<char>(b);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      text += escaped;
    }
  }
  return text;
}

std::string Hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

bool Open(const std::string& path, Package& package) {
  // The arguments are UTF-8 where the host's names are text, and its bytes where they are not.
  const std::filesystem::path file = std::filesystem::u8path(path);
  package.path = platform::host::Shown(file);
  const platform::Handle handle = package.files.Open(file, platform::kFileShareRead);
  if (handle == platform::kInvalidHandle) {
    std::cerr << "nbx: cannot open " << package.path << ": " << Reason() << "\n";
    return false;
  }
  package.file = platform::ScopedFile(package.files, handle);
  DWORD high = 0;
  const DWORD low = package.files.GetFileSize(handle, &high);
  package.hostSize = std::uint64_t{high} << 32 | low;
  if (package.tooLarge())
    return true;
  package.check = package::CheckTrailer(package.files, handle);
  if (package.check.verdict == Verdict::kUnreadable) {
    std::cerr << "nbx: cannot read " << package.path << ": " << Reason() << "\n";
    return false;
  }
  return true;
}

std::string Refusal(const Package& package) {
  const package::PackageCheck& check = package.check;
  const ImageTrailer& trailer = check.trailer;
  const std::string counts =
      "N = " + std::to_string(trailer.wBlockCount) + ", L = " + std::to_string(trailer.wTagLength);
  if (package.tooLarge()) {
    return "the file holds " + std::to_string(package.hostSize) +
           " bytes, 4 GiB or more: its size does not fit the device's 32 bits";
  }
  const std::vector<BYTE>& field = trailer.szProductTag;
  switch (check.verdict) {
    case Verdict::kNoBlocks:
      return check.fileSize < 4 ? "the file is too short to list a block (" +
                                      std::to_string(check.fileSize) + " bytes)"
                                : "the trailer lists no block (N = 0)";
    case Verdict::kTrailerTooLong:
      return "the trailer is longer than the file: T = " + std::to_string(trailer.size()) +
             " bytes (" + counts + "), F = " + std::to_string(check.fileSize);
    case Verdict::kWrongTag:
      if (field.empty())
        return "the tag field is empty (L = 0), not " + Tagged(package::kProductTag);
      if (std::find(field.begin(), field.end(), BYTE{0}) == field.end()) {
        return "the tag field " + Tagged(TagText(trailer)) +
               " (L = " + std::to_string(trailer.wTagLength) +
               ") holds no NUL, so it is not the tag " + Tagged(package::kProductTag);
      }
      return "the tag is " + Tagged(TagText(trailer)) + ", not " + Tagged(package::kProductTag);
    case Verdict::kEmptyPayload:
      return "the payload is empty: the trailer takes the whole file (T = F = " +
             std::to_string(check.fileSize) + " bytes, " + counts + ")";
    case Verdict::kAccepted:
    case Verdict::kUnreadable:
    case Verdict::kCrcMismatch:
      break;
  }
  return {};
}

void WarnAboutLayout(const Package& package) {
  const std::string warning = "nbx: warning: " + package.path + ": ";
  if (!package.trailerRead())
    return;
  const ImageTrailer& trailer = package.trailer();
  const std::uint64_t size = package.check.fileSize;
  const std::uint64_t payload = package.payload();
  OddBlocks intoTrailer;
  OddBlocks inTrailer;
  OddBlocks pastEnd;
  for (WORD i = 0; i < trailer.wBlockCount; ++i) {
    const std::uint64_t start = std::uint64_t{trailer.wBlockIndex[i]} * IMAGE_BLOCK_SIZE;
    if (start >= size) {
      pastEnd.Add(i, trailer.wBlockIndex[i]);
    } else if (start >= payload) {
      inTrailer.Add(i, trailer.wBlockIndex[i]);
    } else if (start + IMAGE_BLOCK_SIZE > payload) {
      intoTrailer.Add(i, trailer.wBlockIndex[i]);
    }
  }
  if (intoTrailer.count) {
    std::cerr << warning << intoTrailer.count
              << " listed block(s) reach from the payload into the trailer at offset " << payload
              << ", so their CRCs cover trailer bytes" << intoTrailer.First() << "\n";
  }
  if (inTrailer.count) {
    std::cerr << warning << inTrailer.count << " listed block(s) start inside the trailer (offsets "
              << payload << " to " << size - 1 << ") and check trailer bytes only"
              << inTrailer.First() << "\n";
  }
  if (pastEnd.count) {
    std::cerr << warning << pastEnd.count
              << " listed block(s) start at or past the end of the file (" << size
              << " bytes): no byte is read for them, so only a CRC of 0x0000 passes"
              << pastEnd.First() << "\n";
  }
  const Uncovered uncovered = FindUncovered(trailer, package.payload());
  if (uncovered.ranges) {
    std::cerr << warning << uncovered.bytes << " payload byte(s) in " << uncovered.ranges
              << " range(s) are covered by no block, so nothing checks them (first: offsets "
              << uncovered.firstFrom << " to " << uncovered.firstTo - 1 << ")\n";
  }
}

}  // namespace nbx
