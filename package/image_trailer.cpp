#include "package/image_trailer.h"

#include <algorithm>
#include <cstring>

#include "package/crc16.h"
#include "platform/byte_order.h"

namespace package {

namespace {

using platform::Files;
using platform::Handle;

// One read that must deliver exactly size bytes.
bool ReadExactly(Files& files, Handle file, void* buffer, DWORD size) {
  DWORD read = 0;
  return files.ReadFile(file, buffer, size, &read) && read == size;
}

bool ReadTable(Files& files, Handle file, std::vector<WORD>& table, WORD count) {
  std::vector<BYTE> raw(std::size_t{2} * count);
  if (!ReadExactly(files, file, raw.data(), static_cast<DWORD>(raw.size())))
    return false;
  table.resize(count);
  for (WORD i = 0; i < count; ++i)
    table[i] = platform::LoadLittleEndian<WORD>(&raw[std::size_t{2} * i]);
  return true;
}

}  // namespace

bool GetPackageSize(Files& files, Handle file, DWORD& size) {
  // A file of 0xFFFFFFFF bytes is told from a failure by the last error alone.
  platform::SetLastError(platform::kErrorSuccess);
  DWORD high = 0;
  size = files.GetFileSize(file, &high);
  if (size == platform::kInvalidFileSize && platform::GetLastError() != platform::kErrorSuccess)
    return false;
  if (high != 0) {
    platform::SetLastError(platform::kErrorFileTooLarge);
    return false;
  }
  return true;
}

TrailerResult ReadImageTrailer(Files& files, Handle file) {
  TrailerResult result;
  DWORD size = 0;
  if (!GetPackageSize(files, file, size))
    return result;
  result.fileSize = size;
  // A file too short to hold N and L has no blocks.
  result.verdict = Verdict::kNoBlocks;
  if (size < 4)
    return result;
  BYTE counts[4] = {};
  if (files.SetFilePointer(file, -4, platform::kFileEnd) == platform::kInvalidSetFilePointer ||
      !ReadExactly(files, file, counts, 2) || !ReadExactly(files, file, counts + 2, 2)) {
    result.verdict = Verdict::kUnreadable;
    return result;
  }
  ImageTrailer& trailer = result.trailer;
  trailer.wBlockCount = platform::LoadLittleEndian<WORD>(counts);
  trailer.wTagLength = platform::LoadLittleEndian<WORD>(counts + 2);
  if (trailer.wBlockCount == 0)
    return result;
  if (trailer.size() > size) {
    result.verdict = Verdict::kTrailerTooLong;
    return result;
  }
  result.verdict = Verdict::kUnreadable;
  trailer.szProductTag.resize(trailer.wTagLength);
  if (files.SetFilePointer(file, -static_cast<platform::LONG>(trailer.size()),
                           platform::kFileEnd) == platform::kInvalidSetFilePointer ||
      !ReadTable(files, file, trailer.wBlockIndex, trailer.wBlockCount) ||
      !ReadTable(files, file, trailer.wBlockCrc, trailer.wBlockCount) ||
      !ReadExactly(files, file, trailer.abReserved.data(), kReservedSize) ||
      !ReadExactly(files, file, trailer.szProductTag.data(), trailer.wTagLength)) {
    return result;
  }
  result.verdict = Verdict::kAccepted;
  return result;
}

bool CheckProductTag(const ImageTrailer& trailer) {
  const std::vector<BYTE>& field = trailer.szProductTag;
  const auto end = std::find(field.begin(), field.end(), BYTE{0});
  if (end == field.end())
    return false;
  const std::size_t length = static_cast<std::size_t>(end - field.begin());
  return length == std::strlen(kProductTag) &&
         std::equal(field.begin(), end, reinterpret_cast<const BYTE*>(kProductTag));
}

BlockCheck VerifyImageBlocks(Files& files, Handle file, const ImageTrailer& trailer,
                             BlockBuffer& buffer) {
  BlockCheck check;
  for (WORD i = 0; i < trailer.wBlockCount; ++i) {
    check.position = i;
    check.block = trailer.wBlockIndex[i];
    const auto offset = static_cast<platform::LONG>(DWORD{check.block} * IMAGE_BLOCK_SIZE);
    DWORD read = 0;
    if (files.SetFilePointer(file, offset, platform::kFileBegin) ==
            platform::kInvalidSetFilePointer ||
        !files.ReadFile(file, buffer.data(), IMAGE_BLOCK_SIZE, &read) || read > IMAGE_BLOCK_SIZE) {
      check.verdict = Verdict::kUnreadable;
      return check;
    }
    check.computed = Crc16(buffer.data(), static_cast<WORD>(read));
    if (check.computed != trailer.wBlockCrc[i]) {
      check.verdict = Verdict::kCrcMismatch;
      return check;
    }
  }
  check.verdict = Verdict::kAccepted;
  return check;
}

}  // namespace package
